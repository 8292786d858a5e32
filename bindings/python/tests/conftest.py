"""The real library and the test peers, as the binding's tests use them.

TARVELMOND_LIBRARY names the built libtarvelmond.so (by default build/native/bin of this checkout);
the game emulator and the controller peer are taken from the same folder. Tests that start the
library's threads stop them again, so that each test begins with the threads stopped.
"""

import os
import pathlib
import queue
import subprocess
import sys
import threading
import time

import pytest

HERE = pathlib.Path(__file__).resolve().parent
SOURCE_ROOT = HERE.parents[2]
sys.path.insert(0, str(HERE.parent))

import tarvelmond  # noqa: E402

HEADER = SOURCE_ROOT / "include" / "tarvelmond.h"


def library_file():
    return pathlib.Path(os.environ.get("TARVELMOND_LIBRARY",
                                       SOURCE_ROOT / "build" / "native" / "bin" / "libtarvelmond.so"))


def peer_program(name):
    program = library_file().parent / name
    if not program.exists():
        pytest.fail(f"{program} is missing: build the native preset first")
    return program


def eventually(condition, timeout=10.0):
    """Polls until the condition holds; False once the time has passed."""
    deadline = time.monotonic() + timeout
    while not condition():
        if time.monotonic() > deadline:
            return False
        time.sleep(0.005)
    return True


def run_fresh(code, env=None):
    """Runs Python code in a new interpreter (a library loaded for the first time) and returns what
    it prints; fails the test if it fails."""
    environment = dict(os.environ, PYTHONPATH=str(HERE.parent), **(env or {}))
    done = subprocess.run([sys.executable, "-c", code], env=environment, capture_output=True, text=True,
                          timeout=60)
    assert done.returncode == 0, done.stderr
    return done.stdout


@pytest.fixture(scope="session")
def rig():
    library = tarvelmond.load(library_file())
    yield library
    library.stop_all()


@pytest.fixture
def stopped_afterwards(rig):
    """The library, with its threads stopped and motion cancel off once the test is over."""
    yield rig
    rig.stop_all()
    rig.activate_motion_cancel(False)


class Emulator:
    """The game emulator playing one game (game_emulator <game> <seconds> <pitch> <lateral g>)."""

    def __init__(self, game, seconds=120, pitch=10.0, lateral_g=0.5):
        self.process = subprocess.Popen([str(peer_program("game_emulator")), game, str(seconds), str(pitch),
                                         str(lateral_g)], stdout=subprocess.DEVNULL)

    def stop(self):
        self.process.terminate()
        self.process.wait(timeout=10)


class ControllerPeer:
    """The virtual motion controller on a pseudo-terminal the library opens as COMn (the
    controller_peer program): what it received, and bytes it sends to the library."""

    def __init__(self, com_number):
        self.process = subprocess.Popen([str(peer_program("controller_peer")), str(com_number)],
                                        stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True, bufsize=1)
        ready = self.process.stdout.readline().split()
        assert ready[:2] == ["ready", f"COM{com_number}"], ready
        self.com_name = ready[1]
        self.serial_dir = ready[2]
        self._lines = queue.Queue()
        self._messages = []
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()

    def _read(self):
        for line in self.process.stdout:
            self._lines.put(line.split())

    def messages(self):
        """(kind, crc_form, bytes) of every message received so far."""
        while not self._lines.empty():
            kind, end, data = (self._lines.get() + [""])[:3]
            self._messages.append((kind, end == "crc", bytes.fromhex(data)))
        return list(self._messages)

    def wait_for(self, condition, timeout=10.0):
        return eventually(lambda: condition(self.messages()), timeout)

    def send(self, data):
        self.process.stdin.write(data.hex() + "\n")
        self.process.stdin.flush()

    def stop(self):
        self.process.stdin.close()
        self.process.wait(timeout=10)


class BridgeThread:
    """The serial bridge on a Python thread the host lends it."""

    def __init__(self, rig):
        self.rig = rig
        self.result = None
        self.thread = threading.Thread(target=self._run, daemon=True)
        self.thread.start()

    def _run(self):
        self.result = self.rig.run_bridge()

    def stop(self):
        self.rig.stop_bridge()
        self.thread.join(timeout=10)
        return self.result
