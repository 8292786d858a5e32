"""The library loaded with ctypes, its exports as methods.

Values handed out by address (telemetry, cues, the position record) are copied into tuples; the
history blocks are copied and released with the library's own Free function; text goes in as UTF-8
(UTF-16 for the wind device) and comes out as str. Every method is a direct call of one export on the
caller's thread: ctypes releases the GIL for the call, so run_bridge() may block a Python thread of
its own while other threads go on calling the library.
"""

import ctypes
import enum
import os
import sys

from ._exports import EXPORTS

CUE_CHANNELS = 23  # cues per stage and per calculation record
GAME_DATA_SLOTS = 43  # telemetry values per acceleration record
GAME_NAME_BYTES = 21  # getGameName's buffer
OUTPUT_FRAME_BYTES = 36
MESSAGE_BYTES = 512  # the longest message, and readMessagemmf's buffer


class Profile(enum.IntEnum):
    AIR = 0
    GROUND = 1


class CueStage(enum.IntEnum):
    AIR = 0
    GROUND = 1
    FINAL = 2
    HELD = 3


def default_library_name():
    return "tarvelmond.dll" if sys.platform == "win32" else "libtarvelmond.so"


def load(path=None):
    """Loads the library from `path`, or by its plain name through the system's usual search:
    LD_LIBRARY_PATH, the linker cache and the system folders on Linux; on Windows Python's own
    folder, the system folders and those added with os.add_dll_directory (not PATH)."""
    return Library(path)


def _message_buffer(message):
    # The library looks for the terminator in up to 512 bytes: it reads from a buffer of that size,
    # never beyond the caller's bytes.
    data = bytes(message)[:MESSAGE_BYTES]
    buffer = (ctypes.c_ubyte * MESSAGE_BYTES)()
    ctypes.memmove(buffer, data, len(data))
    return buffer


def _utf16(text):
    # ctypes' c_wchar is 32 bits wide on Linux; the library takes UTF-16 everywhere.
    units = str(text).encode("utf-16-le") + b"\0\0"
    return (ctypes.c_uint16 * (len(units) // 2)).from_buffer_copy(units)


def _doubles_by_address(export, *arguments):
    """A copy of the array an export hands out through its (double**, int*) out-parameters; None when
    it hands out nothing."""
    data, count = ctypes.POINTER(ctypes.c_double)(), ctypes.c_int(0)
    export(*arguments, ctypes.byref(data), ctypes.byref(count))
    return tuple(data[:count.value]) if data else None


class Library:
    def __init__(self, path=None):
        self.path = os.fspath(path) if path is not None else default_library_name()
        self.raw = ctypes.CDLL(self.path)
        for name, (_, restype, argtypes) in EXPORTS.items():
            function = getattr(self.raw, name)
            function.restype = restype
            function.argtypes = argtypes

    # Life cycle and pacing

    def start_game_source(self):
        """Starts the library's real-time thread (a second call while it runs does nothing)."""
        self.raw.startGamesource_Thread()

    def stop_game_source(self):
        """Ends the real-time thread and waits for it."""
        self.raw.stopGamesource_Thread()

    def set_motion_system_ready(self, ready):
        self.raw.setMotionsystemready(1 if ready else 0)

    def set_timer_precision(self, precise):
        self.raw.setTimerPrecision(1 if precise else 0)

    # Game and telemetry queries

    def game_id(self):
        return self.raw.getGameID()

    def game_name(self):
        buffer = ctypes.create_string_buffer(GAME_NAME_BYTES)
        self.raw.getGameName(buffer)
        return buffer.value.decode("utf-8", "replace")

    def game_time_frame(self):
        return self.raw.getGameTimeFrame()

    def motion_data_time_frame(self):
        return self.raw.getMotionDataTimeFrame()

    def game_data_count(self):
        return self.raw.getGameDataCount()

    def game_data(self):
        """The 43 telemetry values of the latest tick, copied."""
        return _doubles_by_address(self.raw.getGameData) or ()

    def game_data_names(self):
        """The channel name of each telemetry slot, aligned with game_data(): None for slot 0 (a
        constant zero) and slot 42 (the belt sum). The library's own table starts with slot 1's name
        and ends with two null entries."""
        names, count = ctypes.POINTER(ctypes.c_char_p)(), ctypes.c_int(0)
        self.raw.getGameDataNames(ctypes.byref(names), ctypes.byref(count))
        if not names:
            return ()
        table = [n.decode("ascii") if n is not None else None for n in names[:count.value]]
        return tuple([None] + table[:-1])

    # Motion cues, profiles and limits

    def motion_cues(self, stage):
        """The 23 cues of a stage (CueStage), copied; ValueError for a stage the library does not
        know (it then hands out nothing)."""
        cues = _doubles_by_address(self.raw.getMotionCueData, int(stage))
        if cues is None:
            raise ValueError(f"no cue stage {stage}")
        return cues

    def set_active_axis(self, profile, dof, active):
        self.raw.setActiveAxis(int(profile), dof, bool(active))

    def set_belt_mix(self, profile, index, weight):
        self.raw.setBelt_Mix(int(profile), index, weight)

    def set_filter(self, profile, dof, chain):
        """Installs a filter chain such as "GAIN(EMALP(VALUE;8);0.6)"; False (the old chain kept) when
        the library rejects the string."""
        text = chain.encode("utf-8") if isinstance(chain, str) else bytes(chain)
        return self.raw.setcheckFilterstring(int(profile), dof, text) == 1

    def set_rig_limit(self, dof, low, high):
        self.raw.SetRigDofLimitValue(dof, low, high)

    def set_input_limit(self, dof, low, high):
        self.raw.SetInputDofLimitValue(dof, low, high)

    def active_profile(self):
        return self.raw.getactiveProfil()

    def transition_status(self):
        """Progress of the output fade in percent."""
        return self.raw.getTransitionStatus()

    def air_transition_status(self):
        return self.raw.getProfilAirTransitionStatus()

    def ground_transition_status(self):
        return self.raw.getProfilGrdTransitionStatus()

    # Histories

    def calculation_snapshots(self):
        """Every position record since the previous call (23 cues each), oldest first."""
        return self._take_history(self.raw.GetCalculationSnapshots, self.raw.FreeCalculationSnapshots,
                                  CUE_CHANNELS)

    def acceleration_snapshots(self):
        """Every telemetry record since the previous call (43 values each), oldest first."""
        return self._take_history(self.raw.GetAccelerationSnapshots, self.raw.FreeAccelerationSnapshots,
                                  GAME_DATA_SLOTS)

    @staticmethod
    def _take_history(take, release, width):
        count = ctypes.c_int(0)
        block = take(ctypes.byref(count))
        if not block:
            return []
        try:
            values = block[:count.value * width]
        finally:
            release(block)
        return [tuple(values[i:i + width]) for i in range(0, len(values), width)]

    def position_snapshot(self):
        """The latest position record (23 cues), copied."""
        record = self.raw.GetPositionSnapshot()
        return tuple(record[:CUE_CHANNELS]) if record else ()

    # Output frame and motion cancel

    def output_frame(self):
        """The last 36-byte frame built for the controller."""
        buffer = (ctypes.c_ubyte * OUTPUT_FRAME_BYTES)()
        self.raw.getOutputData(buffer)
        return bytes(buffer)

    def activate_motion_cancel(self, enable):
        self.raw.activateMotionCancel(bool(enable))

    def set_motion_cancel_filter(self, ticks):
        self.raw.setFilterMotionCancel(ticks)

    def set_motion_cancel_gain(self, gain):
        self.raw.setGainMotionCancel(gain)

    # Serial link to the motion controller

    def run_bridge(self):
        """Runs the serial bridge on the calling thread until stop_bridge(); returns 1."""
        return self.raw.startKestrovane_Thread()

    def stop_bridge(self):
        """Asks the bridge to end and waits for its loop to finish."""
        self.raw.stopKestrovane_Thread()

    def send_message(self, message):
        """Queues a message for the controller (it ends at its first 0x0A 0x0D, at most 512 bytes);
        False when the library refuses it."""
        return self.raw.sendMessagemmf(_message_buffer(message)) == 1

    def auto_message(self, message):
        """Queues a message that the bridge repeats as the controller expects; False when refused."""
        return self.raw.autoMessagemmf(_message_buffer(message)) == 1

    def read_message(self):
        """The oldest frame received from the controller, or b"" when none waits."""
        buffer = (ctypes.c_ubyte * MESSAGE_BYTES)()
        count = self.raw.readMessagemmf(buffer)
        return bytes(buffer[:max(0, min(count, MESSAGE_BYTES))])

    def has_message(self):
        return self.raw.newMessagemmf() == 1

    def is_connected(self):
        return self.raw.isConnected() == 1

    def is_interface_running(self):
        return self.raw.isInterfaceRunning() == 1

    def pause_interface(self):
        self.raw.pauseInterface()

    def resume_interface(self):
        """True when connected or auto-connect is on."""
        return self.raw.resumeInterface() == 1

    def enable_autoconnect(self):
        self.raw.enableAutoconnect()

    def disable_autoconnect(self):
        self.raw.disableAutoconnect()

    def set_standard_port(self, port):
        """Names the controller's fixed port ("COM7"); False when the name holds no "COM"."""
        return self.raw.setStandartPort(port.encode("utf-8") if isinstance(port, str) else bytes(port)) == 1

    def output_time_frame(self):
        return self.raw.getOutputTimeFrame()

    # The controller over the network
    def set_udp_port(self, port):
        """The port the next listen loop binds (53241 until set)."""
        self.raw.setUDPport(port)

    def run_udp_listener(self):
        """Runs the UDP listen loop on this thread until stop_bridge ends it: give it a thread of its own."""
        self.raw.startUPDListenThread()

    def set_multicast_address(self, address, port):
        """The sender's group ("239.1.2.3"); a text that is no dotted quad changes nothing."""
        self.raw.setMulticastAddr(address.encode("ascii") if isinstance(address, str) else bytes(address), port)

    def run_multicast_sender(self):
        """Runs the multicast sender on this thread until stop_bridge ends it (or it cannot start)."""
        self.raw.startUPDMulticastSenderThread()

    # Wind device

    def init_wind_serial(self, port, baud_rate, mode="8N1", interval_ms=15):
        """Configures the library's wind driver; False when the port is no known device."""
        return self.raw.initWindSerial(_utf16(port), baud_rate, _utf16(mode), interval_ms) == 1

    # Stopping

    def stop_all(self):
        """Stops the real-time thread and the bridge (the bridge's own thread then returns): what a
        host does before it lets the library go."""
        self.set_motion_system_ready(False)
        self.stop_game_source()
        self.stop_bridge()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop_all()
        return False
