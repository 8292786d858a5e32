"""Python binding of the Tarvelmond motion-simulator driver library (ctypes, no compiled part).

    import tarvelmond
    rig = tarvelmond.load()                  # or tarvelmond.load("/opt/tarvelmond/lib/libtarvelmond.so")
    rig.set_filter(tarvelmond.Profile.AIR, 0, "GAIN(EMAHP(EMALP(VALUE;8);400);0.6)")
    rig.start_game_source()
"""

from .library import (CUE_CHANNELS, GAME_DATA_SLOTS, MESSAGE_BYTES, OUTPUT_FRAME_BYTES, CueStage,
                      Library, Profile, default_library_name, load)
from .pose import POSE_BLOCK_NAME, Pose, PoseReader, posix_shm_name, read_pose

__all__ = [
    "CUE_CHANNELS", "GAME_DATA_SLOTS", "MESSAGE_BYTES", "OUTPUT_FRAME_BYTES", "CueStage", "Library",
    "Profile", "default_library_name", "load", "POSE_BLOCK_NAME", "Pose", "PoseReader", "posix_shm_name",
    "read_pose",
]
