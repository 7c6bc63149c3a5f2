"""The examples of the documentation, run as a user runs them, against
telegram-sender."""

import re
import subprocess
import sys
from pathlib import Path

from helpers import send

EXAMPLES = Path(__file__).resolve().parents[1] / "examples"


def start(example, *args):
    """The example started, and the port it says it listens on."""
    child = subprocess.Popen([sys.executable, str(EXAMPLES / example), *map(str, args)],
                             stdout=subprocess.PIPE, text=True)
    first = child.stdout.readline()
    port = re.search(r"port (\d+)", first)
    assert port, first
    return child, int(port.group(1))


def test_record_then_read_the_capture_into_an_array(tmp_path):
    path = tmp_path / "ten.pcapng"
    child, port = start("record_ten_seconds.py", path, 0, 3)
    send(port, "--scans", "5", "--blocks", "3", "--size", "200")
    out, _ = child.communicate(timeout=30)
    assert child.returncode == 0
    assert out.startswith(f"20 telegrams in {path}; lost: Loss(telegrams=20, block_telegrams=15, missing_blocks=0,")

    out = subprocess.run([sys.executable, str(EXAMPLES / "capture_to_array.py"), str(path), str(port)],
                         check=True, capture_output=True, text=True).stdout
    assert out.startswith("5 scans x 270 values, mean ")


def test_watch_scans_until_the_scanner_goes_quiet():
    child, port = start("watch_scans.py", 0, 1)
    send(port, "--scans", "4", "--blocks", "2", "--size", "100")
    out, _ = child.communicate(timeout=30)
    assert child.returncode == 0
    lines = out.splitlines()
    assert [line.split(":")[0] for line in lines[:4]] == [f"scan {n}" for n in range(1, 5)]
    assert lines[0].endswith("of 80 values")
    assert lines[4] == f"no telegram on port {port} within 1 s"
    assert lines[5].startswith("lost: Loss(telegrams=12, block_telegrams=8, missing_blocks=0,")
