"""Whole scans: blocks in BlockNo order, missing ones said and never filled
in, out-of-order blocks kept within the window, late and repeated ones
counted."""

import socket
import time

import numpy
import pytest

import tgr
from helpers import beams, block


def telegrams(numbers, values_of=lambda s, b: [s * 100 + b, s * 100 + b + 50]):
    return [tgr.decode(block(s, b, values_of(s, b))) for s, b in numbers]


def test_complete_scans_and_their_values_in_block_order():
    source = [tgr.decode(beams(1, 3, 1))] + telegrams([(1, 1), (1, 0), (1, 2), (2, 0), (2, 2), (2, 1)])
    got = list(tgr.scans(source))
    assert [(s.scan_no, s.block_numbers, s.complete) for s in got] == [(1, [0, 1, 2], True), (2, [0, 1, 2], True)]
    assert got[0].values.dtype == numpy.uint16
    assert got[0].values.tolist() == [100, 150, 101, 151, 102, 152]
    assert numpy.stack([s.values for s in got]).shape == (2, 6)


def test_missing_blocks_are_said_not_filled():
    source = telegrams([(1, 0), (1, 1), (1, 2), (2, 0), (2, 2), (3, 0), (3, 1)])
    got = list(tgr.scans(source))
    assert [(s.scan_no, s.missing, s.missing_tail, s.complete) for s in got] == [
        (1, [], [], True), (2, [1], [], False), (3, [], [2], False)]
    assert got[1].values.tolist() == [200, 250, 202, 252]  # block 1's values are not there


def test_the_window_holds_a_scan_for_its_late_blocks():
    order = [(1, 0), (1, 1), (2, 0), (1, 2), (2, 1), (3, 0), (3, 1), (2, 2), (4, 0), (4, 1), (1, 0), (4, 1)]
    scans = tgr.scans(telegrams(order), window=2)
    got = [(s.scan_no, s.block_numbers) for s in scans]
    # Scan 2's block 2 came after scan 3 began: within a window of 2.
    assert got == [(1, [0, 1, 2]), (2, [0, 1, 2]), (3, [0, 1]), (4, [0, 1])]
    assert (scans.late, scans.repeated) == (1, 1)
    # With a window of 1, a scan is given as soon as the next begins, or as
    # soon as it has as many blocks as the first: its blocks after that are
    # late, not a scan of their own.
    scans = tgr.scans(telegrams(order), window=1)
    assert [(s.scan_no, s.block_numbers) for s in scans] == [(1, [0, 1]), (2, [0, 1]), (3, [0, 1]), (4, [0, 1])]
    assert (scans.late, scans.repeated) == (4, 0)
    with pytest.raises(ValueError):
        tgr.scans([], window=0)


def test_scans_of_a_capture_with_a_lost_block_and_the_loss_said(tmp_path):
    path = tmp_path / "run.pcapng"
    with tgr.Recorder(path) as recorder:
        for s in range(1, 6):
            recorder.write(tgr.decode(beams(1, 3, 1), time_ns=s, source=("10.0.0.1", 2000)))
            for b in range(4):
                if (s, b) != (3, 1):
                    recorder.write(tgr.decode(block(s, b, [s, b]), time_ns=s, source=("10.0.0.1", 2000)))
    with tgr.Capture(path) as capture:
        scans = tgr.scans(capture)
        got = list(scans)
        assert scans.loss == capture.loss
    assert [s.scan_no for s in got if not s.complete] == [3]
    assert got[2].missing == [1]
    whole = numpy.stack([s.values for s in got if s.complete])
    assert whole.shape == (4, 8)
    assert (capture.loss.missing_blocks, capture.loss.telegrams, capture.loss.block_telegrams) == (1, 24, 19)


def test_a_source_that_raises_gives_its_scans_first():
    def live():
        yield from telegrams([(1, 0), (1, 1), (2, 0), (2, 1), (3, 0)])
        raise TimeoutError("quiet")
    scans = tgr.scans(live(), window=5)
    assert next(scans).scan_no == 1
    assert next(scans).scan_no == 2
    last = next(scans)
    assert (last.scan_no, last.missing_tail) == (3, [1])
    with pytest.raises(TimeoutError, match="quiet"):
        next(scans)


def test_the_first_scans_come_as_soon_as_they_are_whole():
    # Each scan is given at its last block, once a second scan has shown how
    # many blocks a scan has: scan 1 with scan 2, then each at its own.
    order = [(s, b) for s in (1, 2, 3) for b in range(3)]
    taken = []

    def source():
        for t in telegrams(order):
            taken.append((t.scan_no, t.block_no))
            yield t

    scans = tgr.scans(source())
    assert (next(scans).scan_no, taken[-1]) == (1, (2, 2))
    assert (next(scans).scan_no, taken[-1]) == (2, (2, 2))
    assert (next(scans).scan_no, taken[-1]) == (3, (3, 2))


def test_the_first_scans_come_live_without_waiting_for_the_time_out():
    with tgr.Receiver(port=0, address="127.0.0.1", timeout=5) as receiver, \
            socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as out:
        for s, b in [(s, b) for s in (1, 2) for b in range(3)]:
            out.sendto(block(s, b, [s, b]), ("127.0.0.1", receiver.port))
        scans = tgr.scans(receiver)
        started = time.monotonic()
        assert [next(scans).scan_no, next(scans).scan_no] == [1, 2]
        assert time.monotonic() - started < 1, "not held back until the time-out"


def test_block_0_is_said_missing_and_a_repeated_block_keeps_the_first():
    source = telegrams([(1, 0), (1, 1), (1, 2), (2, 1), (2, 2), (2, 1), (3, 0), (3, 1), (3, 2)],
                       values_of=lambda s, b: [s * 100 + b])
    repeated = tgr.decode(block(2, 1, [999]))
    source.insert(5, repeated)
    scans = tgr.scans(source)
    got = list(scans)
    assert [(s.scan_no, s.missing, s.block_numbers) for s in got] == [
        (1, [], [0, 1, 2]), (2, [0], [1, 2]), (3, [], [0, 1, 2])]
    assert got[1].values.tolist() == [201, 202], "the first block 1 kept"
    assert scans.repeated == 2
