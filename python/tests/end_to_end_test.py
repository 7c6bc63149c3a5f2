"""The package beside the programs: a run from telegram-sender recorded, the
recording replayed into telegram-receiver, and its report read back. Uses
UDP port 9999 (the receiver's), so CTest runs it alone."""

import io
import subprocess
import threading

import tgr
from helpers import program, send

CLOSING = b"Finished receiving. Closing socket.\nExiting.\n"


def test_a_recorded_run_replayed_into_the_receiver_and_its_report_read_back(tmp_path):
    path = tmp_path / "run.pcapng"
    # The sender's defaults: a whole run of the receiver, 1000 telegrams.
    with tgr.Receiver(port=0, address="127.0.0.1", timeout=10, count=1000) as receiver, \
            tgr.Recorder(path, ("127.0.0.1", tgr.PORT)) as recorder:
        threading.Thread(target=send, args=(receiver.port, "--smooth")).start()
        live = []
        for telegram in receiver:
            recorder.write(telegram)
            live.append(telegram)
        assert not receiver.loss.any
    assert len(live) == 1000

    # The recording holds every telegram, byte for byte, at its time.
    with tgr.Capture(path) as capture:
        assert [(t.data, t.time_ns) for t in capture] == [(t.data, t.time_ns) for t in live]

    # Replayed into telegram-receiver, it reports what the library reports.
    child = subprocess.Popen([program("telegram-receiver")], stdout=subprocess.PIPE)
    try:
        banner = child.stdout.readline()
        subprocess.run([program("telegram-sender"), "--replay", str(path), "--rate", "20000"], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
        report = banner + child.stdout.read()
        assert child.wait(timeout=10) == 0
    finally:
        child.kill()
    assert report == b"Receiving datagrams...\n" + b"".join(t.report() for t in live) + CLOSING

    # Read back, the report gives the values of blocks 0 and 1 of each scan.
    with tgr.ReportFile(io.BytesIO(report)) as blocks:
        got = [(b.scan_no, b.block_no, b.values.tolist()) for b in blocks]
        assert (blocks.telegrams, blocks.finished) == (1000, True)
    assert got == [(t.scan_no, t.block_no, t.values.tolist()) for t in live if t.type == 6 and t.block_no < 2]
