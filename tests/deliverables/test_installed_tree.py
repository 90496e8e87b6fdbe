"""What `cmake --install` lays into the device's image: the daemons and the
tool where the image expects them, the message queue limits airsift needs
where the device's init reads them, the broker's ACL files for the
telemetry daemons' users, and no trace of the build host."""

import json
import os
import re
import subprocess
from pathlib import Path, PurePosixPath

import pytest

from sandbox import MSGMAX, MSGMNB, TARGET_BUILD, binary

# The build whose deliverables the suite runs.
BUILD = TARGET_BUILD or Path(os.environ["APSUITE_INSTALL_BUILD"])
SCAN_TEXT_SIZE = 10504


def cache_value(name):
    text = (BUILD / "CMakeCache.txt").read_text()
    return re.search(rf"^{name}:\w+=(.*)$", text, re.M).group(1)


# What an image's build (prefix /usr) installs, by path in the image.
IMAGE = {"usr/sbin/airsift", "usr/sbin/linetap", "usr/sbin/confwatch", "usr/bin/pinrig",
         "etc/sysctl.d/60-airsift-msgqueue.conf",
         "usr/share/acl.d/airsift.json", "usr/share/acl.d/linetap.json"}
ACL_FILES = {"airsift.json": {"user": "airsift", "publish": ["telemetry_airsift"]},
             "linetap.json": {"user": "linetap", "publish": ["telemetry_linetap"]}}


def expected_files(prefix):
    """What the install lays out for prefix, relative to the root: beneath
    it, but for /usr, whose configuration goes to /etc."""
    files = IMAGE if prefix == "/usr" else {
        str(PurePosixPath(prefix.lstrip("/"), path.removeprefix("usr/"))) for path in IMAGE}
    # pinrig is left out only when the build says so, never for want of libgpiod.
    if cache_value("APSUITE_PINRIG") == "OFF":
        files = {path for path in files if not path.endswith("/pinrig")}
    return files


@pytest.fixture(scope="module")
def image(tmp_path_factory):
    root = tmp_path_factory.mktemp("image")
    subprocess.run(["cmake", "--install", str(BUILD), "--component", "apsuite"],
                   env=dict(os.environ, DESTDIR=str(root)), check=True, capture_output=True)
    return root


def programs(image):
    return [path for path in image.rglob("*") if path.is_file() and path.suffix not in (".conf", ".json")]


def readelf(*args):
    return subprocess.run(["readelf", *map(str, args)], capture_output=True, text=True,
                          check=True).stdout


def test_layout_holds_the_programs_the_sysctl_file_and_the_acl_files(image):
    installed = {str(p.relative_to(image)) for p in image.rglob("*") if not p.is_dir()}
    assert installed == expected_files(cache_value("CMAKE_INSTALL_PREFIX"))
    for program in programs(image):
        assert os.access(program, os.X_OK), program


def test_programs_are_built_for_the_build_machine_and_carry_no_build_host_path(image):
    machine = re.search(r"Machine:\s+(.+)", readelf("-h", binary("airsift"))).group(1)
    build_paths = {str(BUILD), str(BUILD.resolve()), str(Path(__file__).resolve().parents[2])}
    for program in programs(image):
        assert re.search(r"Machine:\s+(.+)", readelf("-h", program)).group(1) == machine
        dynamic = readelf("-d", program)
        assert not re.search(r"\((RPATH|RUNPATH)\)", dynamic), f"{program}:\n{dynamic}"
        assert not any(path in dynamic for path in build_paths), dynamic


def test_sysctl_limits_take_a_scan_message_and_match_what_the_suite_runs_with(image):
    conf = next(image.rglob("60-airsift-msgqueue.conf")).read_text()
    limits = dict(re.findall(r"^(kernel\.\w+) = (\d+)$", conf, re.M))
    assert limits == {"kernel.msgmax": str(MSGMAX), "kernel.msgmnb": str(MSGMNB)}
    assert SCAN_TEXT_SIZE <= MSGMAX <= MSGMNB


def test_acl_files_let_each_daemon_publish_its_object_and_nothing_more(image):
    acl_dir = next(image.rglob("acl.d"))
    assert {p.name: json.loads(p.read_text()) for p in acl_dir.iterdir()} == ACL_FILES


# A prefix given at install time holds whatever the build named; /usr's
# configuration goes to /etc, where the device's init reads it.
@pytest.mark.parametrize("prefix", ["/opt/apsuite", "/usr/local", "/usr"])
def test_install_with_a_prefix_writes_beneath_it(tmp_path, prefix):
    result = subprocess.run(["cmake", "--install", str(BUILD), "--component", "apsuite",
                             "--prefix", prefix],
                            env=dict(os.environ, DESTDIR=str(tmp_path)),
                            capture_output=True, text=True, check=True)
    written = re.findall(r"^-- (?:Installing|Up-to-date): (.+)$", result.stdout, re.M)
    assert written and all(Path(path).is_relative_to(tmp_path) for path in written), written
    installed_files = {str(p.relative_to(tmp_path)) for p in tmp_path.rglob("*") if not p.is_dir()}
    assert installed_files == expected_files(prefix)
