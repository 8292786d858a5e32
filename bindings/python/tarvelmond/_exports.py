"""Every function the library exports, with its C signature and the Library method that calls it.

This table is the one place where the binding names the exports: the library is bound from it, and
the completeness test compares it with include/tarvelmond.h.
"""

from ctypes import POINTER, c_bool, c_char_p, c_double, c_int, c_ubyte, c_uint, c_uint16, c_void_p

_double_array = POINTER(POINTER(c_double))

# export name: (Library method, result type, argument types)
EXPORTS = {
    # Life cycle and pacing
    "startGamesource_Thread": ("start_game_source", None, []),
    "stopGamesource_Thread": ("stop_game_source", None, []),
    "setMotionsystemready": ("set_motion_system_ready", None, [c_int]),
    "setTimerPrecision": ("set_timer_precision", None, [c_int]),
    # Game and telemetry queries
    "getGameID": ("game_id", c_int, []),
    "getGameName": ("game_name", None, [c_char_p]),
    "getGameTimeFrame": ("game_time_frame", c_double, []),
    "getMotionDataTimeFrame": ("motion_data_time_frame", c_double, []),
    "getGameDataCount": ("game_data_count", c_int, []),
    "getGameData": ("game_data", None, [_double_array, POINTER(c_int)]),
    "getGameDataNames": ("game_data_names", None, [POINTER(POINTER(c_char_p)), POINTER(c_int)]),
    # Motion cues, profiles and limits
    "getMotionCueData": ("motion_cues", None, [c_int, _double_array, POINTER(c_int)]),
    "setActiveAxis": ("set_active_axis", None, [c_int, c_int, c_bool]),
    "setBelt_Mix": ("set_belt_mix", None, [c_int, c_int, c_double]),
    "setcheckFilterstring": ("set_filter", c_int, [c_int, c_int, c_char_p]),
    "SetRigDofLimitValue": ("set_rig_limit", None, [c_int, c_double, c_double]),
    "SetInputDofLimitValue": ("set_input_limit", None, [c_int, c_double, c_double]),
    "getactiveProfil": ("active_profile", c_int, []),
    "getTransitionStatus": ("transition_status", c_double, []),
    "getProfilAirTransitionStatus": ("air_transition_status", c_double, []),
    "getProfilGrdTransitionStatus": ("ground_transition_status", c_double, []),
    # Histories: the Free functions are called by the methods that copy the blocks out
    "GetCalculationSnapshots": ("calculation_snapshots", POINTER(c_double), [POINTER(c_int)]),
    "FreeCalculationSnapshots": ("calculation_snapshots", None, [c_void_p]),
    "GetAccelerationSnapshots": ("acceleration_snapshots", POINTER(c_double), [POINTER(c_int)]),
    "FreeAccelerationSnapshots": ("acceleration_snapshots", None, [c_void_p]),
    "GetPositionSnapshot": ("position_snapshot", POINTER(c_double), []),
    # Output frame and motion cancel
    "getOutputData": ("output_frame", None, [POINTER(c_ubyte)]),
    "activateMotionCancel": ("activate_motion_cancel", None, [c_bool]),
    "setFilterMotionCancel": ("set_motion_cancel_filter", None, [c_double]),
    "setGainMotionCancel": ("set_motion_cancel_gain", None, [c_double]),
    # Serial link to the motion controller
    "startKestrovane_Thread": ("run_bridge", c_int, []),
    "stopKestrovane_Thread": ("stop_bridge", None, []),
    "sendMessagemmf": ("send_message", c_int, [POINTER(c_ubyte)]),
    "autoMessagemmf": ("auto_message", c_int, [POINTER(c_ubyte)]),
    "readMessagemmf": ("read_message", c_int, [POINTER(c_ubyte)]),
    "newMessagemmf": ("has_message", c_int, []),
    "isConnected": ("is_connected", c_int, []),
    "isInterfaceRunning": ("is_interface_running", c_int, []),
    "pauseInterface": ("pause_interface", c_int, []),
    "resumeInterface": ("resume_interface", c_int, []),
    "enableAutoconnect": ("enable_autoconnect", c_int, []),
    "disableAutoconnect": ("disable_autoconnect", c_int, []),
    "setStandartPort": ("set_standard_port", c_int, [c_char_p]),
    "getOutputTimeFrame": ("output_time_frame", c_double, []),
    # The controller over the network: the listen loop and the multicast sender run on the caller's
    # thread until stopKestrovane_Thread ends them
    "setUDPport": ("set_udp_port", None, [c_uint16]),
    "startUPDListenThread": ("run_udp_listener", None, []),
    "setMulticastAddr": ("set_multicast_address", None, [c_char_p, c_uint16]),
    "startUPDMulticastSenderThread": ("run_multicast_sender", None, []),
    # Wind device: the strings are UTF-16 on every platform (wchar_t on Windows, char16_t elsewhere)
    "initWindSerial": ("init_wind_serial", c_int, [POINTER(c_uint16), c_int, POINTER(c_uint16), c_uint]),
}
