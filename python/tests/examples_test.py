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


def test_the_telegrams_of_two_scanners_from_a_broker(tmp_path):
    import shutil
    import socket
    import time

    import pytest

    pytest.importorskip("paho.mqtt.client")
    if shutil.which("mosquitto") is None:
        pytest.skip("no mosquitto")
    from helpers import block, program

    with socket.socket() as free:
        free.bind(("127.0.0.1", 0))
        broker_port = free.getsockname()[1]
    (tmp_path / "broker.conf").write_text(f"listener {broker_port} 127.0.0.1\nallow_anonymous true\n")
    broker = subprocess.Popen(["mosquitto", "-c", str(tmp_path / "broker.conf")], stderr=subprocess.DEVNULL)
    publisher = None
    try:
        time.sleep(0.5)
        publisher = subprocess.Popen([program("telegram-record"), "--port", "0", "--address", "127.0.0.1",
                                      "--format", "csv", "--count", "12",
                                      "--publish", f"mqtt://127.0.0.1:{broker_port}/line"],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        udp_port = int(re.search(r"UDP port (\d+)", publisher.stderr.readline()).group(1))
        child = subprocess.Popen([sys.executable, str(EXAMPLES / "broker_scans.py"), "127.0.0.1", str(broker_port),
                                  "line", "12"], stdout=subprocess.PIPE, text=True)
        assert child.stdout.readline().startswith("subscribed to line/#")
        time.sleep(1)
        one = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        two = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        one.bind(("127.0.0.1", 41001))
        two.bind(("127.0.0.2", 41002))
        for scan in range(1, 4):
            for b in (0, 1):
                one.sendto(block(scan, b, [scan]), ("127.0.0.1", udp_port))
                # The second scanner skips its scan 101.
                if scan != 2:
                    two.sendto(block(99 + scan, b, [scan]), ("127.0.0.1", udp_port))
        one.sendto(block(4, 0, [4]), ("127.0.0.1", udp_port))
        one.sendto(block(4, 1, [4]), ("127.0.0.1", udp_port))
        out, _ = child.communicate(timeout=30)
        one.close()
        two.close()
    finally:
        if publisher is not None:
            publisher.kill()
            publisher.wait()
        broker.kill()
        broker.wait()
    lines = out.splitlines()
    assert [l for l in lines if l.startswith("127.0.0.1:41001")] == [
        f"127.0.0.1:41001 scan {n}: 2 blocks" for n in (1, 2, 3, 4)]
    assert [l for l in lines if l.startswith("127.0.0.2:41002")] == [
        "127.0.0.2:41002 scan 100: 2 blocks", "127.0.0.2:41002 scan 102: 2 blocks"]
