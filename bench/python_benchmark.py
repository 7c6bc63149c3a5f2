"""The Python package's speed, beside plain Python and C++, in one run.

Live: telegram-sender sends the largest telegrams (65,507 bytes) at
1 Gbit/s; each reader takes the mean of every block's values and counts
what it got:
  - plain Python: socket.recv_into + struct + numpy.frombuffer;
  - tgr: Receiver, telegram.values.mean();
  - the C++ receiver (telegram-receiver, its report to /dev/null).
From a capture of the same telegrams:
  - plain Python: a pcapng reader written by hand with struct, a block
    at a time;
  - tgr: Capture, telegram.values.mean();
  - C++: capture-means, the same work through the library's C interface.
And how long Ctrl-C takes to interrupt a Receiver's blocking wait.

Each reader runs in a process of its own; CPU is that process's user+system
time. Run it as root in a network namespace of its own, so that nothing
else holds the port:

    cmake -S . -B build-release -DTELEGRAM_PYTHON=ON -DPython_EXECUTABLE=/usr/bin/python3
    cmake --build build-release --target tgr_python capture-means telegram-receiver telegram-sender
    unshare -n sh -c 'ip link set lo up; /usr/bin/python3 bench/python_benchmark.py build-release'
"""

import argparse
import os
import resource
import signal
import subprocess
import sys
import tempfile
import time
from pathlib import Path

LARGEST = 65507
PORT = 9999
RATE = 1_000_000_000 // (LARGEST * 8)  # telegrams a second at 1 Gbit/s

# Each live reader: receives `count` telegrams or until 2 s of quiet, takes
# each block's mean, prints "<received> <cpu seconds>".
PLAIN_LIVE = r"""
import socket, struct, sys, time, numpy
count = int(sys.argv[1])
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 8 << 20)
s.bind(("", 9999)); s.settimeout(2)
buf = bytearray(65536); header = struct.Struct("<I8xHHI")
print("ready", flush=True)
got = 0; means = 0.0; start = None
try:
    while got < count:
        n = s.recv_into(buf)
        if start is None: start = time.process_time()
        total, kind, block, scan = header.unpack_from(buf)
        got += 1
        if kind == 6:
            end = min(n, total)
            means += numpy.frombuffer(buf, "<u2", (end - 20) // 2, 20).mean()
except socket.timeout:
    pass
print(got, time.process_time() - (start or 0))
"""

TGR_LIVE = r"""
import sys, time, tgr
count = int(sys.argv[1])
with tgr.Receiver(9999, timeout=2) as r:
    print("ready", flush=True)
    got = 0; means = 0.0; start = None
    try:
        for t in r:
            if start is None: start = time.process_time()
            got += 1
            if t.type == 6:
                means += t.values.mean()
            if got == count: break
    except TimeoutError:
        pass
print(got, time.process_time() - (start or 0))
"""

PLAIN_CAPTURE = r"""
import struct, sys, time, numpy
# A pcapng of raw IPv4 packets, read by hand a block at a time: each
# block's type and length, the enhanced packet blocks' IPv4 and UDP
# headers, the payload.
start = time.process_time()
got = 0; means = 0.0
head = struct.Struct("<II"); epb = struct.Struct("<IIIII"); ports = struct.Struct(">HHH")
telegram = struct.Struct("<I8xH")
with open(sys.argv[1], "rb") as f:
    while True:
        top = f.read(8)
        if len(top) < 8:
            break
        kind, length = head.unpack(top)
        body = f.read(length - 8)
        if kind != 6:
            continue
        captured = epb.unpack_from(body)[3]
        ip = 20; udp = ip + (body[ip] & 15) * 4
        _, port, udp_length = ports.unpack_from(body, udp)
        if port != 9999:
            continue
        payload = udp + 8; size = udp_length - 8
        total, kind6 = telegram.unpack_from(body, payload)
        got += 1
        if kind6 == 6:
            end = min(size, total)
            means += numpy.frombuffer(body, "<u2", (end - 20) // 2, payload + 20).mean()
print(got, time.process_time() - start)
"""

TGR_CAPTURE = r"""
import sys, time, tgr
start = time.process_time()
got = 0; means = 0.0
with tgr.Capture(sys.argv[1]) as c:
    for t in c:
        got += 1
        if t.type == 6:
            means += t.values.mean()
print(got, time.process_time() - start)
"""

CTRL_C = r"""
import tgr
with tgr.Receiver(0) as r:
    print("ready", flush=True)
    try:
        r.receive(timeout=None)
    except KeyboardInterrupt:
        print("interrupted", flush=True)
"""


def children_cpu():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def live(name, command, count, build, env):
    """One live reader against the sender at 1 Gbit/s: (received, cpu s)."""
    if name == "C++ receiver":
        before = children_cpu()
        reader = subprocess.Popen(command, stdout=subprocess.DEVNULL, env=env)
        time.sleep(0.5)
    else:
        reader = subprocess.Popen(command, stdout=subprocess.PIPE, text=True, env=env)
        assert reader.stdout.readline() == "ready\n"
    subprocess.run([str(build / "telegram-sender"), "--no-beam", "--blocks", "10", "--scans", str(count // 10),
                    "--size", str(LARGEST), "--rate", str(RATE)], check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    if name == "C++ receiver":
        try:
            reader.wait(timeout=5)
        except subprocess.TimeoutExpired:
            reader.kill()
            reader.wait()
        # The receiver ends at its 1000th datagram: it got them all if it ended.
        return (count if reader.returncode == 0 else 0), children_cpu() - before
    out, _ = reader.communicate(timeout=30)
    got, cpu = out.split()
    return int(got), float(cpu)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("build", type=Path, help="the build folder (with python/, telegram-sender, capture-means)")
    parser.add_argument("--rounds", type=int, default=3)
    args = parser.parse_args()
    build = args.build.resolve()
    env = dict(os.environ, PYTHONPATH=str(build / "python"))
    py = sys.executable
    count = 1000  # the C++ receiver's run

    print(f"Live: {count} telegrams of {LARGEST} bytes at {RATE} a second (1 Gbit/s), {args.rounds} rounds")
    readers = [("plain Python", [py, "-c", PLAIN_LIVE, str(count)]),
               ("tgr", [py, "-c", TGR_LIVE, str(count)]),
               ("C++ receiver", [str(build / "telegram-receiver")])]
    for name, command in readers:
        results = [live(name, command, count, build, env) for _ in range(args.rounds)]
        lost = [count - got for got, _ in results]
        per = [cpu / max(got, 1) * 1e6 for got, cpu in results]
        print(f"  {name:14} lost {lost}, CPU per telegram {min(per):6.1f} to {max(per):6.1f} us")

    sys.path.insert(0, str(build / "python"))
    import tgr  # pylint: disable=import-outside-toplevel
    with tempfile.TemporaryDirectory() as folder:
        path = Path(folder) / "largest.pcapng"
        values = bytes(range(256)) * (LARGEST // 256) + bytes(LARGEST % 256)
        with tgr.Recorder(path, ("127.0.0.1", PORT)) as recorder:
            for n in range(5000):
                head = (LARGEST).to_bytes(4, "little") + bytes(8) + (6).to_bytes(2, "little") + \
                    (n % 10).to_bytes(2, "little") + (n // 10 + 1).to_bytes(4, "little")
                recorder.write(tgr.decode(head + values[20:], time_ns=n * 500_000, source=("10.0.0.1", 2111)))
        size = path.stat().st_size
        print(f"From a capture: 5000 telegrams of {LARGEST} bytes ({size / 1e6:.0f} MB, read from the page cache)")
        readers = [("plain Python", [py, "-c", PLAIN_CAPTURE, str(path)]),
                   ("tgr", [py, "-c", TGR_CAPTURE, str(path)])]
        for name, command in readers:
            best = None
            for _ in range(args.rounds):
                got, cpu = subprocess.run(command, check=True, capture_output=True, text=True, env=env).stdout.split()
                best = float(cpu) if best is None else min(best, float(cpu))
            print(f"  {name:14} {int(got)} telegrams, {int(got) / best:8.0f} a second, "
                  f"CPU per telegram {best / int(got) * 1e6:6.1f} us")
        best = None
        for _ in range(args.rounds):
            before = children_cpu()
            out = subprocess.run([str(build / "capture-means"), str(path), str(PORT)], check=True,
                                 capture_output=True, text=True).stdout
            cpu = children_cpu() - before
            best = cpu if best is None else min(best, cpu)
        got = int(out.split()[0])
        print(f"  {'C++':14} {got} telegrams, {got / best:8.0f} a second, CPU per telegram {best / got * 1e6:6.1f} us")

    waits = []
    for _ in range(5):
        child = subprocess.Popen([py, "-c", CTRL_C], stdout=subprocess.PIPE, text=True, env=env)
        assert child.stdout.readline() == "ready\n"
        time.sleep(0.3)
        child.send_signal(signal.SIGINT)
        start = time.monotonic()
        assert child.stdout.readline() == "interrupted\n"
        waits.append((time.monotonic() - start) * 1000)
        child.wait()
    print(f"Ctrl-C in a blocking wait: KeyboardInterrupt after {min(waits):.0f} to {max(waits):.0f} ms")


if __name__ == "__main__":
    main()
