"""The library's other outputs while its thread runs against the game emulator playing X-Plane: the
rig pose read by the Python reader while the library writes it, and the wind device configured with
UTF-16 strings through the binding."""

import math
import os
import select
import threading
import time

import pytest

import tarvelmond
from tarvelmond import CueStage, Profile
from conftest import Emulator, eventually

LATERAL, PITCH_POSITION, WIND = 0, 9, 21


@pytest.fixture(scope="module")
def flying(rig):
    emulator = Emulator("xplane", pitch=10.0, lateral_g=0.5)
    try:
        for dof in (LATERAL, PITCH_POSITION):
            rig.set_filter(Profile.AIR, dof, "VALUE")
        rig.set_input_limit(LATERAL, -5.0, 5.0)
        rig.start_game_source()
        rig.set_motion_system_ready(True)
        assert eventually(lambda: rig.game_id() == 0, 30), "X-Plane not detected"
        assert eventually(lambda: rig.transition_status() >= 100.0, 20)
        yield rig
    finally:
        rig.stop_all()
        rig.activate_motion_cancel(False)
        emulator.stop()


def expected_pose(final, gain):
    """The pose the library publishes for these final cues, unsmoothed: roll and pitch add their
    tilt and position channels once more."""
    return (gain * final[0], gain * final[1], gain * final[2], gain * final[3],
            ((final[6] + final[4]) + final[8]) * gain, ((final[7] + final[5]) + final[9]) * gain)


def test_the_reader_sees_the_pose_the_library_writes(flying):
    flying.activate_motion_cancel(False)
    flying.activate_motion_cancel(True)
    flying.set_motion_cancel_filter(1.0)  # unsmoothed
    flying.set_motion_cancel_gain(1.0)
    final = flying.motion_cues(CueStage.FINAL)
    assert final[PITCH_POSITION] == 10.0 and final[LATERAL] != 0.0
    one, two = expected_pose(final, 1.0), expected_pose(final, 2.0)
    with tarvelmond.PoseReader() as reader:
        assert eventually(lambda: reader.read() == pytest.approx(one, rel=1e-12))
        assert reader.read().pitch == pytest.approx(2 * 10.0), "pitch position enters the pose twice"

        # Read as a compensation layer reads, every frame, while the host switches the gain: every
        # value read is one the library wrote for one gain or the other, never a mixture of bytes.
        stop = threading.Event()

        def switch_gain():
            while not stop.is_set():
                for gain in (2.0, 1.0):
                    flying.set_motion_cancel_gain(gain)
                    time.sleep(0.003)

        switcher = threading.Thread(target=switch_gain)
        switcher.start()
        seen = set()
        try:
            deadline = time.monotonic() + 1.0
            while time.monotonic() < deadline:
                pose = reader.read()
                for value, with_one, with_two in zip(pose, one, two):
                    assert any(value == pytest.approx(written, rel=1e-12) for written in (with_one, with_two))
                seen.add(pose.sway == pytest.approx(two[0], rel=1e-12))
        finally:
            stop.set()
            switcher.join()
        assert seen == {True, False}, "the reader follows the library's writes"

        flying.set_motion_cancel_gain(2.0)
        assert eventually(lambda: reader.read() == pytest.approx(two, rel=1e-12))
        assert all(math.isfinite(v) for v in reader.read())


def test_the_pose_block_exists_only_while_published(flying, tmp_path):
    flying.activate_motion_cancel(True)
    assert len(tarvelmond.read_pose()) == 6
    flying.stop_game_source()
    flying.activate_motion_cancel(False)
    with pytest.raises(FileNotFoundError):
        tarvelmond.PoseReader()
    # Another name that nobody publishes, in a namespace of its own.
    with pytest.raises(FileNotFoundError):
        tarvelmond.PoseReader(namespace="nobody" + str(os.getpid()))
    flying.start_game_source()
    assert eventually(lambda: flying.game_id() == 0, 30)


def read_until(descriptor, done, wait):
    """What arrives on the descriptor, until `done` holds for it or the time has passed."""
    data = b""
    deadline = time.monotonic() + wait
    while not done(data) and time.monotonic() < deadline:
        ready, _, _ = select.select([descriptor], [], [], 0.05)
        if ready:
            data += os.read(descriptor, 4096)
    return data


def test_the_wind_device_is_named_in_utf16(flying, tmp_path):
    assert not flying.init_wind_serial(str(tmp_path / "COM5"), 115200), "no such device"

    device, port = os.openpty()
    try:
        # A name outside ASCII and outside the basic plane: it reaches the library only in UTF-16.
        name = tmp_path / "wind-\u00df-\U0001f300"
        name.symlink_to(os.ttyname(port))
        assert flying.init_wind_serial(str(name), 115200, "8N1", 10)

        # Channel 21 remaps the speed to a constant 40 %: the device gets 0x00 when it starts, then the
        # wind cue as it fades in from 0 to 40 % of 255.
        assert flying.set_filter(Profile.AIR, WIND, "REMAP(VALUE;0;1;40;40)")
        flying.set_active_axis(Profile.AIR, WIND, True)
        full = bytes([int(0.4 * 255)])
        received = read_until(device, lambda data: data.count(full) > 10, 15)
        assert received[:1] == b"\x00" and received.count(full) > 10, received[-40:]
        assert list(received) == sorted(received), "the fade only rises"
    finally:
        flying.set_active_axis(Profile.AIR, WIND, False)
        flying.stop_game_source()  # stops the wind device with it
        os.close(device)
        os.close(port)
