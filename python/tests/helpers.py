"""What the package's tests share (imported by name: pytest puts this
folder on the path): telegrams made byte by byte, and the
project's programs from the build the tests run in."""

import os
import shutil
import struct
import subprocess
from pathlib import Path

import pytest

HERE = Path(__file__).resolve().parent


def block(scan_no, block_no, values, total_size=None, byte4=0, byte8=0):
    """A type-6 telegram: the 20-byte header, then the values."""
    body = struct.pack(f"<{len(values)}H", *values)
    total = 20 + len(body) if total_size is None else total_size
    return struct.pack("<IBxxxBxxxHHI", total, byte4, byte8, 6, block_no, scan_no) + body


def beams(start, stop, step, total_size=46, byte4=0, byte8=0):
    """A type-1 telegram: the header, 20 bytes not read, the beam range."""
    header = struct.pack("<IBxxxBxxxHHI", total_size, byte4, byte8, 1, 0, 0)
    return header + bytes(20) + struct.pack("<HHH", start, stop, step)


def program(name):
    """A program of the build: $TELEGRAM_BIN/name, else the test build's."""
    folder = Path(os.environ.get("TELEGRAM_BIN", HERE.parents[1] / "build-test"))
    path = folder / name
    if not path.exists():
        pytest.skip(f"{path} is not built")
    return str(path)


def send(port, *options):
    """telegram-sender to a port of this computer, to its end."""
    subprocess.run([program("telegram-sender"), "--port", str(port), *options], check=True,
                   stdout=subprocess.DEVNULL, timeout=60)
