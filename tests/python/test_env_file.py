"""update_env_file against a temporary HOME, each call in its own process."""

import json
import os
import stat
import subprocess
import sys

import pytest

SETTING_VARIABLES = ("TAVIMOR_USER_CONFIG_DIR", "TAVIMOR_HOME_DIR", "TAVIMOR_WINDOWS_MANAGED_CONFIG_DIR")


def run_in_child(home, code, **extra_env):
    """Runs `code` with HOME=home in a fresh interpreter; returns what it printed as JSON."""
    env = {k: v for k, v in os.environ.items() if k not in SETTING_VARIABLES and not k.startswith("TAVIMOR_")}
    env["HOME"] = str(home)
    env.update(extra_env)
    prelude = (
        "import json, tavimor_revizer_client as m\n"
        "def outcome(f):\n"
        "    try:\n"
        "        return {'ok': f()}\n"
        "    except Exception as e:\n"
        "        return {'error': type(e).__name__, 'text': str(e), 'args': len(e.args),\n"
        "                'errno': getattr(e, 'errno', None)}\n"
    )
    done = subprocess.run([sys.executable, "-c", prelude + code], env=env, capture_output=True, text=True, check=True)
    return json.loads(done.stdout)


def update(home, updates, **extra_env):
    return run_in_child(home, f"print(json.dumps(outcome(lambda: m.update_env_file({updates!r}))))", **extra_env)


def env_file(home):
    return home / ".tavimor" / "env"


def test_creates_file_and_directories(tmp_path):
    result = update(tmp_path, {"A": "1"})
    assert result == {"ok": str(env_file(tmp_path))}
    assert env_file(tmp_path).read_bytes() == b"A=1\n"
    assert stat.S_IMODE(env_file(tmp_path).stat().st_mode) == 0o600


def test_empty_dict_still_writes(tmp_path):
    assert update(tmp_path, {}) == {"ok": str(env_file(tmp_path))}
    assert env_file(tmp_path).read_bytes() == b"\n"


def test_rewrite_keeps_other_lines_and_appends_new_keys(tmp_path):
    path = env_file(tmp_path)
    path.parent.mkdir()
    path.write_bytes(b"# comment\r\n\r\nexport A=old\nB=2\nA = again\n")
    path.chmod(0o644)
    assert update(tmp_path, {"A": "new", "B": None, "C": "3", "D": "4", "GONE": None}) == {"ok": str(path)}
    lines = path.read_text().split("\n")
    assert lines[:3] == ["# comment", "", "A=new"]
    assert lines[3] == "A=new"
    assert sorted(lines[4:6]) == ["C=3", "D=4"] and lines[6:] == [""]
    assert stat.S_IMODE(path.stat().st_mode) == 0o600


def test_directory_variables_choose_the_file(tmp_path):
    config = tmp_path / "cfg"
    assert update(tmp_path, {"A": "1"}, TAVIMOR_USER_CONFIG_DIR=str(config)) == {"ok": str(config / "env")}
    assert update(tmp_path, {"A": "1"}, TAVIMOR_USER_CONFIG_DIR="", TAVIMOR_HOME_DIR=str(tmp_path / "th")) == {
        "ok": str(tmp_path / "th" / ".tavimor" / "env")
    }


def test_symlink_is_followed_and_its_target_returned(tmp_path):
    real = tmp_path / "real"
    real.mkdir()
    (real / "env").write_text("A=1\n")
    (tmp_path / ".tavimor").mkdir()
    env_file(tmp_path).symlink_to("../real/env")
    result = update(tmp_path, {"A": "2"})
    assert result == {"ok": str(tmp_path / ".tavimor" / ".." / "real" / "env")}
    assert env_file(tmp_path).is_symlink()
    assert (real / "env").read_text() == "A=2\n"


def test_io_failures_are_oserror_with_the_text_only(tmp_path):
    path = env_file(tmp_path)
    path.parent.mkdir()
    path.write_bytes(b"A=\xff\n")
    result = update(tmp_path, {"A": "1"})
    assert result == {
        "error": "OSError",
        "text": f"Failed to read {path}: stream did not contain valid UTF-8",
        "args": 1,
        "errno": None,
    }
    assert path.read_bytes() == b"A=\xff\n"


def test_failure_text_with_a_path_that_is_not_utf8_keeps_its_message(tmp_path):
    home = tmp_path / os.fsdecode(b"h\xff")
    env_file(home).parent.mkdir(parents=True)
    env_file(home).write_bytes(b"A=\xff\n")
    result = update(home, {"A": "1"})
    shown = str(env_file(tmp_path / "h\ufffd"))
    assert result == {
        "error": "OSError",
        "text": f"Failed to read {shown}: stream did not contain valid UTF-8",
        "args": 1,
        "errno": None,
    }


@pytest.mark.parametrize(
    "updates, text",
    [
        ({"": "v"}, 'invalid env file key "": a key must not be empty or contain "=", "#", white space, a line break or NUL'),
        ({"A=B": "v"}, 'invalid env file key "A=B": a key must not be empty or contain "=", "#", white space, a line break or NUL'),
        ({"#A": "v"}, 'invalid env file key "#A": a key must not be empty or contain "=", "#", white space, a line break or NUL'),
        ({"A B": "v"}, 'invalid env file key "A B": a key must not be empty or contain "=", "#", white space, a line break or NUL'),
        ({"A\nB": "v"}, 'invalid env file key "A\\nB": a key must not be empty or contain "=", "#", white space, a line break or NUL'),
        ({"A\x00": "v"}, 'invalid env file key "A\\0": a key must not be empty or contain "=", "#", white space, a line break or NUL'),
        ({"K": "x\nTAVIMOR_REVIZER_ENDPOINT=evil"}, 'invalid env file value for key "K": a value must not contain a line break or NUL'),
        ({"K": "x\r"}, 'invalid env file value for key "K": a value must not contain a line break or NUL'),
        ({"K": "x\x00"}, 'invalid env file value for key "K": a value must not contain a line break or NUL'),
    ],
)
def test_unsafe_keys_and_values_are_refused_and_nothing_is_written(tmp_path, updates, text):
    path = env_file(tmp_path)
    path.parent.mkdir()
    path.write_bytes(b"KEEP=1\n")
    path.chmod(0o644)
    assert update(tmp_path, {"OK": "fine", **updates}) == {"error": "ValueError", "text": text, "args": 1, "errno": None}
    assert path.read_bytes() == b"KEEP=1\n"
    assert stat.S_IMODE(path.stat().st_mode) == 0o644


def test_type_errors_write_nothing(tmp_path):
    assert update(tmp_path, {"A": "1", "B": 2})["error"] == "TypeError"
    assert not env_file(tmp_path).exists()


@pytest.mark.parametrize(
    "value, line",
    [
        ("plain $HOME a=b \\x", "K=plain $HOME a=b \\x"),
        ("", "K="),
        (" lead", 'K=" lead"'),
        ("trail\t", 'K="trail\t"'),
        ('"quoted"', 'K="\\"quoted\\""'),
        ("'single'", 'K="\'single\'"'),
        ("a #b\\", 'K="a #b\\\\"'),
    ],
)
def test_values_the_loader_would_misread_are_quoted(tmp_path, value, line):
    """Plain values stay plain lines; a value with blanks at its ends, a leading
    quote or a "#" is double-quoted so the configuration loader reads it back
    unchanged (the loader's side is covered by the C++ round-trip test)."""
    assert "ok" in update(tmp_path, {"K": value})
    assert env_file(tmp_path).read_text() == line + "\n"
