#!/usr/bin/env python3
"""telegram-record at 1 Gbit/s of the largest telegrams, recording:

- with standard output to /dev/null, into one file;
- the same, into files that rotate every 100 MiB, the newest 3 kept;
- with standard output into a reader that reads for 3 s, then stops for 2 s,
  over and over (a pager, a script that pauses).

For each: the telegrams sent, recorded (read back from the recording), the
system's drops, those not written to standard output, and the recorder's
CPU time a telegram. It reports figures; it passes or fails nothing.

usage (as root, on loopback of a namespace of its own):
  unshare -n sh -c 'ip link set lo up; python3 bench/record_benchmark.py BUILD [FOLDER] [SECONDS]'
BUILD holds telegram-record and telegram-sender (a Release build);
recordings go to FOLDER (default: a new one under /tmp), removed after.
"""

import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

RATE = 1908  # 65,507-byte telegrams a second: 1 Gbit/s with their headers
SIZE = 65507


def sender_args(build, seconds):
    return [os.path.join(build, "telegram-sender"), "--no-beam", "--blocks", "1", "--size", str(SIZE),
            "--rate", str(RATE), "--same-values", "--scans", str(int(RATE * seconds))]


class StallingReader(threading.Thread):
    """Reads a pipe for `reading` seconds, then stops for `stopped`, until
    the pipe ends."""

    def __init__(self, pipe, reading=3.0, stopped=2.0):
        super().__init__(daemon=True)
        self.pipe, self.reading, self.stopped = pipe, reading, stopped
        self.bytes = 0
        self.stalls = 0

    def run(self):
        fd = self.pipe.fileno()
        while True:
            until = time.monotonic() + self.reading
            while time.monotonic() < until:
                chunk = os.read(fd, 1 << 20)
                if not chunk:
                    return
                self.bytes += len(chunk)
            self.stalls += 1
            time.sleep(self.stopped)


def recorded_in(paths):
    """Packets read back from the recordings by the analyser's capinfos,
    which also says a file cut short."""
    total = 0
    for path in paths:
        out = subprocess.run(["capinfos", "-c", "-M", path], capture_output=True, text=True)
        match = re.search(r"Number of packets:\s+(\d+)", out.stdout)
        if out.returncode != 0 or not match:
            return f"capinfos fails on {path}: {out.stderr.strip()}"
        total += int(match.group(1))
    return total


def run(build, folder, seconds, name, options, stalling):
    for entry in os.listdir(folder):
        os.remove(os.path.join(folder, entry))
    recording = os.path.join(folder, "run.pcapng")
    command = [os.path.join(build, "telegram-record"), "--record", recording] + options
    stdout = subprocess.PIPE if stalling else subprocess.DEVNULL
    recorder = subprocess.Popen(command, stdout=stdout, stderr=subprocess.PIPE, text=False)
    reader = None
    if stalling:
        reader = StallingReader(recorder.stdout)
        reader.start()
    time.sleep(0.5)
    sent = subprocess.run(sender_args(build, seconds), capture_output=True, text=True).stderr
    time.sleep(0.5)
    recorder.send_signal(signal.SIGINT)
    _, status, usage = os.wait4(recorder.pid, 0)
    recorder.returncode = os.waitstatus_to_exitcode(status)
    err = recorder.stderr.read().decode()
    if reader is not None:
        reader.join(timeout=5)
    sent_count = int(re.search(r"sent (\d+) telegrams", sent).group(1))
    files = sorted(os.path.join(folder, f) for f in os.listdir(folder) if f.endswith(".pcapng"))
    said = re.search(r"([\d,]+) telegrams? recorded in", err)
    drops = re.search(r"dropped by the system: ([\d,]+)", err)
    skipped = re.search(r"([\d,]+) telegrams? not written to standard output", err)
    number = lambda m: int(m.group(1).replace(",", "")) if m else 0
    cpu = usage.ru_utime + usage.ru_stime
    print(f"| {name} | {sent_count} | {number(said)} (read back from {len(files)} "
          f"file{'s' if len(files) != 1 else ''}: {recorded_in(files)}) | {number(drops)} | "
          f"{number(skipped)} | {cpu / max(sent_count, 1) * 1e6:.1f} µs | "
          f"{'%d stalls, %.0f MB read' % (reader.stalls, reader.bytes / 1e6) if reader else '-'} | "
          f"{recorder.returncode} |", flush=True)


def main():
    build = sys.argv[1]
    made = len(sys.argv) <= 2 or not sys.argv[2]
    folder = tempfile.mkdtemp(prefix="record-benchmark.") if made else sys.argv[2]
    seconds = float(sys.argv[3]) if len(sys.argv) > 3 else 20
    print(f"telegram-record, {seconds:g} s of 65,507-byte telegrams at {RATE} a second (1 Gbit/s), "
          f"recordings in {folder}; net.core.rmem_max {open('/proc/sys/net/core/rmem_max').read().strip()}; "
          f"{time.strftime('%Y-%m-%d %H:%M UTC', time.gmtime())}")
    print("| run | sent | recorded | dropped by the system | not written to standard output | CPU a telegram | "
          "reader | status |")
    print("|---|---|---|---|---|---|---|---|")
    try:
        run(build, folder, seconds, "--record, standard output to /dev/null", [], False)
        run(build, folder, seconds, "--record --rotate-size 100M --ring 3, standard output to /dev/null",
            ["--rotate-size", "100M", "--ring", "3"], False)
        run(build, folder, seconds, "--record, standard output to a reader that stops 2 s every 5 s", [], True)
    finally:
        if made:
            shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    main()
