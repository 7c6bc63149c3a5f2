"""Records what the scanner sends for ten seconds (or SECONDS) into a
pcapng file, which the packet analyser opens and telegram-sender --replay
sends again.

usage: python3 record_ten_seconds.py FILE [PORT [SECONDS]]
"""

import sys
import time

import tgr

path = sys.argv[1]
port = int(sys.argv[2]) if len(sys.argv) > 2 else tgr.PORT
seconds = float(sys.argv[3]) if len(sys.argv) > 3 else 10.0

with tgr.Receiver(port) as receiver, tgr.Recorder(path, ("0.0.0.0", receiver.port)) as recorder:
    print(f"recording port {receiver.port} for {seconds:g} s", flush=True)
    end = time.monotonic() + seconds
    while (left := end - time.monotonic()) > 0:
        try:
            recorder.write(receiver.receive(timeout=left))
        except TimeoutError:
            break
    print(f"{recorder.packets} telegrams in {path}; lost: {receiver.loss}")
