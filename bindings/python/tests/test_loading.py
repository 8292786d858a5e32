"""Loading the library, and what a freshly loaded library answers."""

import json
import re

import pytest

import tarvelmond
from tarvelmond._exports import EXPORTS
from conftest import HEADER, library_file, run_fresh


def test_a_fresh_library_answers_with_its_defaults():
    printed = run_fresh(f"""
import json, tarvelmond
rig = tarvelmond.load({str(library_file())!r})
print(json.dumps({{
    "active_profile": rig.active_profile(), "air": rig.air_transition_status(),
    "ground": rig.ground_transition_status(), "fade": rig.transition_status(), "game_id": rig.game_id(),
    "game_name": rig.game_name(), "count": rig.game_data_count(), "data": rig.game_data(),
    "names": rig.game_data_names(), "cues": [rig.motion_cues(s) for s in tarvelmond.CueStage],
    "position": rig.position_snapshot(), "calculation": rig.calculation_snapshots(),
    "acceleration": rig.acceleration_snapshots(), "frame": rig.output_frame().hex(),
    "connected": rig.is_connected(), "interface": rig.is_interface_running(),
    "message": rig.read_message().hex(), "waiting": rig.has_message(),
}}))
""")
    fresh = json.loads(printed)
    assert (fresh["active_profile"], fresh["air"], fresh["ground"], fresh["fade"]) == (0, 100.0, 0.0, 100.0)
    assert (fresh["game_id"], fresh["game_name"]) == (-1, "No Game online")
    assert fresh["count"] == 44, "hosts have always been told 44"
    assert fresh["data"] == [0.0] * 43
    names = fresh["names"]
    assert len(names) == 43 and names[:3] == [None, "lateral_speed", "lateral_accel"]
    assert names[41] == "simtools_axis4b" and names[42] is None
    assert fresh["cues"] == [[0.0] * 23] * 4 and fresh["position"] == [0.0] * 23
    assert fresh["calculation"] == [] and fresh["acceleration"] == []
    assert fresh["frame"] == "00" * 36
    assert not fresh["connected"] and fresh["interface"]
    assert fresh["message"] == "" and not fresh["waiting"]


def test_an_unknown_cue_stage_hands_out_nothing(rig):
    with pytest.raises(ValueError):
        rig.motion_cues(4)
    with pytest.raises(ValueError):
        rig.motion_cues(-1)


def test_the_library_is_found_by_name_through_the_usual_search():
    printed = run_fresh("import tarvelmond; rig = tarvelmond.load(); print(rig.path, rig.game_data_count())",
                        env={"LD_LIBRARY_PATH": str(library_file().parent)})
    assert printed.split() == ["libtarvelmond.so", "44"]


def test_a_missing_library_is_an_error(tmp_path):
    with pytest.raises(OSError):
        tarvelmond.load(tmp_path / "libtarvelmond.so")


def exported_functions():
    """The function names include/tarvelmond.h exports."""
    declaration = re.compile(r"^TARVELMOND_API\s+[^(;]*?\b(\w+)\s*\(", re.MULTILINE)
    return set(declaration.findall(HEADER.read_text()))


def test_every_exported_function_has_a_binding():
    exported = exported_functions()
    assert len(exported) >= 45, "the header's declarations were not found"
    unbound = sorted(exported - set(EXPORTS))
    assert not unbound, f"exported but not bound in Python: {unbound}"
    stale = sorted(set(EXPORTS) - exported)
    assert not stale, f"bound but no longer exported: {stale}"
    for name, (method, _, _) in EXPORTS.items():
        assert callable(getattr(tarvelmond.Library, method, None)), f"{name}: no method {method}"
