"""Reads the rig pose that the library publishes for VR motion compensation.

The block "Local\\motionRigPose" (512 bytes) holds six little-endian doubles at offsets 0 to 40:
sway, surge, heave, yaw, roll, pitch. On Windows it is a named file mapping; on Linux the POSIX shared
memory object "/Local.motionRigPose" (a backslash becomes a dot), with the library's
TARVELMOND_SHM_NAMESPACE, when set, in front: "/<namespace>.Local.motionRigPose". The reader opens it
read-only and keeps it mapped, so that reading a pose each frame costs one copy of 48 bytes. A pose
may mix two ticks of the library's 500 Hz loop, never two halves of one value.
"""

import collections
import mmap
import os
import struct
import sys

POSE_BLOCK_NAME = "Local\\motionRigPose"
_POSE_FORMAT = "<6d"
POSE_BYTES = struct.calcsize(_POSE_FORMAT)  # 48

Pose = collections.namedtuple("Pose", "sway surge heave yaw roll pitch")


def posix_shm_name(name=POSE_BLOCK_NAME, namespace=None):
    """The POSIX shared-memory name under which the Linux library publishes `name`."""
    if namespace is None:
        namespace = os.environ.get("TARVELMOND_SHM_NAMESPACE", "")
    prefix = namespace + "." if namespace else ""
    return "/" + prefix + name.replace("\\", ".").replace("/", ".")


class PoseReader:
    """Opens the pose block (FileNotFoundError while nobody publishes it) and reads poses from it."""

    def __init__(self, name=POSE_BLOCK_NAME, namespace=None):
        self._view = None
        self._windows = None
        if sys.platform == "win32":
            self._windows = _WindowsView(name)
        else:
            self._view = _map_posix(posix_shm_name(name, namespace))

    def read(self):
        if self._windows is not None:
            data = self._windows.read(POSE_BYTES)
        elif self._view is not None:
            data = self._view[:POSE_BYTES]
        else:
            raise ValueError("the pose reader is closed")
        return Pose(*struct.unpack(_POSE_FORMAT, data))

    def close(self):
        if self._view is not None:
            self._view.close()
            self._view = None
        if self._windows is not None:
            self._windows.close()
            self._windows = None

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
        return False


def read_pose(name=POSE_BLOCK_NAME, namespace=None):
    """One pose, opening and closing the block for it."""
    with PoseReader(name, namespace) as reader:
        return reader.read()


def _map_posix(shm_name):
    # Linux keeps POSIX shared memory as files under /dev/shm.
    descriptor = os.open("/dev/shm" + shm_name, os.O_RDONLY)
    try:
        size = os.fstat(descriptor).st_size
        if size < POSE_BYTES:
            raise ValueError(f"{shm_name} holds {size} bytes, fewer than a pose")
        return mmap.mmap(descriptor, POSE_BYTES, mmap.MAP_SHARED, mmap.PROT_READ)
    finally:
        os.close(descriptor)


class _WindowsView:
    """A read-only view of a named file mapping, opened with the kernel's own calls: Python's
    mmap would create the block when it does not exist."""

    _FILE_MAP_READ = 0x0004

    def __init__(self, name):
        import ctypes
        from ctypes import wintypes

        self._ctypes = ctypes
        kernel32 = ctypes.WinDLL("kernel32", use_last_error=True)
        kernel32.OpenFileMappingW.restype = wintypes.HANDLE
        kernel32.OpenFileMappingW.argtypes = [wintypes.DWORD, wintypes.BOOL, wintypes.LPCWSTR]
        kernel32.MapViewOfFile.restype = wintypes.LPVOID
        kernel32.MapViewOfFile.argtypes = [wintypes.HANDLE, wintypes.DWORD, wintypes.DWORD,
                                           wintypes.DWORD, ctypes.c_size_t]
        kernel32.UnmapViewOfFile.argtypes = [wintypes.LPCVOID]
        kernel32.CloseHandle.argtypes = [wintypes.HANDLE]
        self._kernel32 = kernel32
        self._mapping = kernel32.OpenFileMappingW(self._FILE_MAP_READ, False, name)
        if not self._mapping:
            raise FileNotFoundError(ctypes.get_last_error(), f"no shared block {name}")
        self._view = kernel32.MapViewOfFile(self._mapping, self._FILE_MAP_READ, 0, 0, POSE_BYTES)
        if not self._view:
            error = ctypes.get_last_error()
            kernel32.CloseHandle(self._mapping)
            raise OSError(error, f"cannot map {name}")

    def read(self, count):
        return self._ctypes.string_at(self._view, count)

    def close(self):
        self._kernel32.UnmapViewOfFile(self._view)
        self._kernel32.CloseHandle(self._mapping)
