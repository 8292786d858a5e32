"""Messages between the host and a motion controller through the library's serial bridge: the bridge
runs on a Python thread, the library's own port scan finds the virtual controller on a
pseudo-terminal, and what crosses the wire is checked against the controller protocol."""

import os
import time

import pytest

from conftest import BridgeThread, ControllerPeer, eventually

IDENTIFIED_CHIP = "USB\\VID_1A86&PID_7523"  # a CH340, one of the chips the scan accepts


def crc16_arc(data):
    crc = 0
    for byte in data:
        crc ^= byte
        for _ in range(8):
            crc = (crc >> 1) ^ 0xA001 if crc & 1 else crc >> 1
    return crc


def with_crc(frame):
    return frame + crc16_arc(frame).to_bytes(2, "little")


def command(code, value):
    return bytes([0xF9, 0xF9, code, 0x00, value & 0xFF, value >> 8, 0x0A, 0x0D])


@pytest.fixture
def controller(stopped_afterwards, monkeypatch):
    """The virtual controller, declared to the library in its environment; the library's threads are
    stopped before the controller goes and the environment is restored."""
    peer = ControllerPeer(com_number=4)
    monkeypatch.setenv("TARVELMOND_SERIAL_DIR", peer.serial_dir)
    monkeypatch.setenv("TARVELMOND_PORT_IDENTITY", f"{peer.com_name}={IDENTIFIED_CHIP}")
    yield peer
    stopped_afterwards.stop_all()
    peer.stop()


def test_without_a_bridge_the_library_refuses_messages(stopped_afterwards):
    rig = stopped_afterwards
    assert not rig.send_message(command(0x40, 1))
    assert not rig.auto_message(command(0x40, 1))
    assert rig.read_message() == b"" and not rig.has_message()
    assert not rig.is_connected()


def test_messages_cross_the_bridge_both_ways(stopped_afterwards, controller):
    rig = stopped_afterwards
    assert crc16_arc(b"123456789") == 0xBB3D, "the published check value"
    bridge = BridgeThread(rig)
    rig.enable_autoconnect()
    assert eventually(rig.is_connected, 30), "the scan did not find the controller"
    assert rig.is_interface_running()

    def commands():
        return [data for kind, crc, data in controller.messages() if kind == "command" and crc]

    # After identifying the controller the library greets it with two commands, each with its CRC.
    assert controller.wait_for(lambda _: len(commands()) >= 2)
    assert commands()[:2] == [with_crc(command(4, 1)[:6]), with_crc(command(2, 1)[:6])]

    # A host message goes out with its CRC in place of the terminator; bytes after the terminator
    # are not part of it.
    assert rig.send_message(command(0x40, 0x0107) + b"more bytes")
    assert controller.wait_for(lambda _: with_crc(command(0x40, 0x0107)[:6]) in commands())
    # The library looks for the terminator within 512 bytes and no further.
    assert rig.send_message(bytes(510) + b"\x0a\x0d")
    assert not rig.send_message(bytes(511) + b"\x0a\x0d")
    assert not rig.send_message(b"\xf9\xf9\x40\x00\x01\x00")

    # An automatic message goes out unchanged, again and again as the controller expects.
    automatic = command(0x41, 5)
    assert rig.auto_message(automatic)

    def repeats():
        return sum(1 for kind, crc, data in controller.messages() if kind == "command" and data == automatic)

    assert controller.wait_for(lambda _: repeats() >= 11)
    time.sleep(0.1)
    assert repeats() <= 12

    # The controller's frames reach the host ending in 0x0A 0x0D, whatever end they had on the wire.
    report = bytes([0xF8, 0xF8]) + bytes(range(1, 35))
    controller.send(with_crc(report))
    assert eventually(rig.has_message)
    assert rig.read_message() == report + b"\x0a\x0d"
    assert rig.read_message() == b"" and not rig.has_message()
    # A frame that carries the terminator inside reaches the host up to it.
    early_end = report[:10] + b"\x0a\x0d" + report[12:]
    controller.send(with_crc(early_end))
    assert eventually(rig.has_message)
    assert rig.read_message() == early_end[:12]

    assert rig.output_time_frame() > 0.0
    rig.pause_interface()
    assert not rig.is_interface_running() and not rig.is_connected()
    assert rig.resume_interface(), "auto-connect is on"
    assert eventually(rig.is_connected, 30)
    assert bridge.stop() == 1


def test_the_standard_port_is_tried_three_times_and_refused_without_a_controller(stopped_afterwards, tmp_path,
                                                                                 monkeypatch):
    rig = stopped_afterwards
    assert not rig.set_standard_port("USB0"), "no COM name"
    assert rig.set_standard_port("\\\\.\\COM12")
    # COM7 is a device that accepts the open but is no serial port.
    (tmp_path / "com7").symlink_to(os.devnull)
    monkeypatch.setenv("TARVELMOND_SERIAL_DIR", str(tmp_path))
    monkeypatch.setenv("TARVELMOND_PORT_IDENTITY", f"COM7={IDENTIFIED_CHIP}")
    assert rig.set_standard_port("COM7")
    rig.disable_autoconnect()
    started = time.monotonic()
    assert not rig.resume_interface()
    assert time.monotonic() - started >= 1.0, "three tries, 500 ms apart"
    assert not rig.is_connected() and rig.is_interface_running()
