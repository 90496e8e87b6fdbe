"""The target's compiler and flags reach builds outside CMake as text: a
toolchain folder whose path holds quotes or a command substitution is
taken as it is, and nothing of it is run."""

import os
import subprocess
from pathlib import Path

SOURCE = Path(__file__).resolve().parents[2]


def test_values_are_taken_as_text(tmp_path):
    marker = tmp_path / "ran"
    toolchain = f"{tmp_path}/it's $(touch {marker}) `touch {marker}`"
    result = subprocess.run(
        ["sh", "-c", '. scripts/target-env.sh && target_env && printf "%s\\n" "$CC" "$TARGET_SYSROOT"'],
        cwd=SOURCE, env=dict(os.environ, APSUITE_TARGET_TOOLCHAIN=toolchain),
        capture_output=True, text=True, timeout=60)
    assert result.returncode == 0, result.stderr
    assert result.stdout.splitlines() == [
        f"clang-14 --target=aarch64-linux-musl --sysroot={toolchain}/sysroot",
        f"{toolchain}/sysroot"]
    assert not marker.exists()
