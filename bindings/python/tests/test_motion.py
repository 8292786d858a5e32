"""Limits, filter strings, cues and histories while the library's thread runs against the game
emulator playing X-Plane (pitch 10 degrees, lateral load 0.5 g, sent on 127.0.0.1:4321)."""

import struct
import time

import pytest

from tarvelmond import CueStage, Profile
from conftest import Emulator, eventually

PITCH_DEGREES = 10.0
LATERAL_G = 0.5
PITCH_POSITION = 9  # the DOF channel fed by the pitch angle; its input limits are always ±360
LATERAL = 0  # the DOF channel fed by the lateral load, clamped to its input limits


def settle(rig):
    assert eventually(lambda: rig.transition_status() >= 100.0, 20), "the output fade did not end"
    time.sleep(0.05)


@pytest.fixture(scope="module")
def flying(rig):
    emulator = Emulator("xplane", pitch=PITCH_DEGREES, lateral_g=LATERAL_G)
    try:
        rig.set_filter(Profile.AIR, PITCH_POSITION, "VALUE")
        rig.set_filter(Profile.AIR, LATERAL, "VALUE")
        rig.set_input_limit(LATERAL, -5.0, 5.0)
        rig.set_rig_limit(LATERAL, -5.0, 5.0)
        rig.start_game_source()
        rig.set_motion_system_ready(True)
        assert eventually(lambda: rig.game_id() == 0, 30), "X-Plane not detected"
        assert rig.game_name() == "Xplane"
        assert eventually(lambda: rig.motion_cues(CueStage.AIR)[PITCH_POSITION] == PITCH_DEGREES, 10)
        yield rig
    finally:
        rig.stop_all()
        emulator.stop()


def test_the_telemetry_block_carries_the_game_values_under_their_names(flying):
    data = dict(zip(flying.game_data_names(), flying.game_data()))
    assert data["pitch_position"] == pytest.approx(PITCH_DEGREES)
    assert abs(data["lateral_accel_g"]) == pytest.approx(LATERAL_G, rel=1e-6)
    assert flying.game_time_frame() > 0.0 and flying.motion_data_time_frame() > 0.0


def test_histories_are_copied_oldest_first_and_taken_once(flying):
    settle(flying)
    flying.calculation_snapshots()
    flying.acceleration_snapshots()
    # Tripling the pitch chain holds the output at 10 degrees and fades it to 30 over four seconds:
    # the records taken meanwhile rise from one to the next.
    assert flying.set_filter(Profile.AIR, PITCH_POSITION, "GAIN(VALUE;3)")
    time.sleep(0.3)
    records = flying.calculation_snapshots()
    assert flying.transition_status() < 100.0, "the fade ended before the records were taken"
    assert 0 < len(records) <= 150 and all(len(r) == 23 for r in records)
    pitch = [r[PITCH_POSITION] for r in records]
    assert all(a <= b for a, b in zip(pitch, pitch[1:])), pitch
    assert PITCH_DEGREES <= pitch[0] < pitch[-1] < 3 * PITCH_DEGREES

    telemetry = flying.acceleration_snapshots()
    assert 0 < len(telemetry) <= 150 and all(len(r) == 43 for r in telemetry)
    slot = flying.game_data_names().index("pitch_position")
    assert {r[slot] for r in telemetry} == {PITCH_DEGREES}

    # A second call right away finds only what the thread recorded in between.
    assert len(flying.calculation_snapshots()) < len(records)
    time.sleep(1.0)  # about 500 ticks: the history keeps the last 150
    # A tick writing its record as the copy is taken is overwriting the oldest one; it is handed out by
    # the next call, so this one may find one record fewer.
    assert 149 <= len(flying.calculation_snapshots()) <= 150

    assert flying.set_filter(Profile.AIR, PITCH_POSITION, "VALUE")
    settle(flying)
    assert flying.position_snapshot()[PITCH_POSITION] == PITCH_DEGREES


def test_filter_strings_install_or_keep_the_old_chain(flying):
    def air_pitch():
        return flying.motion_cues(CueStage.AIR)[PITCH_POSITION]

    assert flying.set_filter(Profile.AIR, PITCH_POSITION, "GAIN(VALUE;0,5)"), "a decimal comma is a number"
    assert eventually(lambda: air_pitch() == PITCH_DEGREES * 0.5)
    assert not flying.set_filter(Profile.AIR, PITCH_POSITION, "GAIN(VALUE;")
    assert not flying.set_filter(Profile.AIR, PITCH_POSITION, "GAIN(value;2)"), "VALUE is case-sensitive"
    time.sleep(0.05)
    assert air_pitch() == PITCH_DEGREES * 0.5, "a rejected string keeps the chain"
    assert flying.set_filter(Profile.AIR, PITCH_POSITION, b"mul(VALUE;0x2)"), "bytes, a hexadecimal number"
    assert eventually(lambda: air_pitch() == PITCH_DEGREES * 2)
    assert flying.set_filter(Profile.AIR, PITCH_POSITION, "VALUE")


def test_limits_clamp_the_inputs_and_the_axes_of_the_output_frame(flying):
    def air_lateral():
        return flying.motion_cues(CueStage.AIR)[LATERAL]

    flying.set_input_limit(LATERAL, -0.2, 0.2)
    assert eventually(lambda: abs(air_lateral()) == pytest.approx(0.2))
    flying.set_input_limit(PITCH_POSITION, -1.0, 1.0)  # ignored: the angle channels take ±360
    flying.set_input_limit(LATERAL, -5.0, 5.0)
    assert eventually(lambda: abs(air_lateral()) == pytest.approx(LATERAL_G))
    assert flying.motion_cues(CueStage.AIR)[PITCH_POSITION] == PITCH_DEGREES

    settle(flying)
    flying.set_rig_limit(LATERAL, -0.1, 0.1)

    def lateral_axis():
        frame = flying.output_frame()
        assert frame[:2] == b"\xfc\xfc"
        return struct.unpack_from("<f", frame, 2)[0]

    assert eventually(lambda: abs(lateral_axis()) == pytest.approx(0.1))
    flying.set_rig_limit(LATERAL, -5.0, 5.0)
    assert eventually(lambda: abs(lateral_axis()) == pytest.approx(LATERAL_G))


def test_motion_stops_when_the_rig_is_not_ready(flying):
    flying.set_motion_system_ready(False)
    time.sleep(0.05)
    flying.acceleration_snapshots()
    time.sleep(0.1)
    assert flying.acceleration_snapshots() == [], "nothing is computed while the rig is not ready"
    assert flying.game_id() == 0, "the game stays connected"
    flying.set_motion_system_ready(True)
    assert eventually(lambda: len(flying.acceleration_snapshots()) > 0)
