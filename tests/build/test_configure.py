"""Configuring the tree against a given platform: libgpiod v2 is required,
since the image needs pinrig, unless the build leaves pinrig out by name."""

import os
import re
import subprocess
from pathlib import Path

import pytest

SOURCE = Path(__file__).resolve().parents[2]
BUILD = Path(os.environ["APSUITE_INSTALL_BUILD"])
# Debian 12's own libgpiod-dev is version 1: a gpiod.h without line settings.
GPIOD_V1_HEADER = "struct gpiod_chip;\nstruct gpiod_line *gpiod_chip_get_line(struct gpiod_chip *chip, unsigned int offset);\n"


def cache_value(name):
    text = (BUILD / "CMakeCache.txt").read_text()
    return re.search(rf"^{name}:\w+=(.*)$", text, re.M).group(1)


@pytest.fixture
def configure(tmp_path):
    """cmake on a fresh build folder against the suite's own platform, with
    libgpiod v1 where v2 should be."""
    v1 = tmp_path / "gpiod-v1"
    (v1 / "include").mkdir(parents=True)
    (v1 / "include" / "gpiod.h").write_text(GPIOD_V1_HEADER)

    def run(*options):
        return subprocess.run(
            ["cmake", "-S", str(SOURCE), "-B", str(tmp_path / "build"), "-DAPSUITE_TESTS=OFF",
             f"-DCMAKE_PREFIX_PATH={cache_value('APSUITE_PLATFORM_PREFIX')}",
             f"-DGPIOD_INCLUDE_DIR={v1 / 'include'}", *options],
            capture_output=True, text=True, timeout=120)
    return run


def test_without_libgpiod_v2_configure_fails_and_names_the_way_out(configure):
    result = configure()
    assert result.returncode != 0
    assert "libgpiod v2, which pinrig needs, was not found" in result.stderr
    assert "-DAPSUITE_PINRIG=OFF" in result.stderr


def test_pinrig_left_out_by_name_configures_without_it(configure, tmp_path):
    result = configure("-DAPSUITE_PINRIG=OFF")
    assert result.returncode == 0, result.stderr
    assert "pinrig left out (APSUITE_PINRIG=OFF)" in result.stdout
    def installs(folder):
        return "file(INSTALL" in (tmp_path / "build" / folder / "cmake_install.cmake").read_text()
    assert not installs("pinrig")
    assert installs("confwatch")
