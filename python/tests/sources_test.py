"""Several senders on one port: each one's scans and gaps apart, and a
source filter on the receiver and the capture."""

import socket

import pytest

import tgr
from helpers import block

A = ("10.0.0.1", 2112)
B = ("10.0.0.2", 2112)


def interleaved():
    """A: scans 1-4 of two blocks; B: scans 500-504 without 502, interleaved
    telegram by telegram, numbered far from A's."""
    telegrams = []
    for i in range(5):
        for b in (0, 1):
            if i < 4:
                telegrams.append((block(1 + i, b, [i, b]), A))
            if 500 + i != 502:
                telegrams.append((block(500 + i, b, [i, b]), B))
    return telegrams


def recorded(path):
    with tgr.Recorder(path, ("127.0.0.1", tgr.PORT)) as recorder:
        for n, (data, source) in enumerate(interleaved()):
            recorder.write(tgr.decode(data, time_ns=1_700_000_000_000_000_000 + n, source=source))
    return path


def test_each_senders_scans_come_apart_and_say_their_source(tmp_path):
    with tgr.Capture(recorded(tmp_path / "two.pcapng")) as capture:
        got = [(s.source, s.scan_no, s.block_numbers, s.complete) for s in tgr.scans(capture)]
    assert [g for g in got if g[0] == A] == [(A, n, [0, 1], True) for n in range(1, 5)]
    assert [g for g in got if g[0] == B] == [(B, n, [0, 1], True) for n in (500, 501, 503, 504)]
    assert "from 10.0.0.2:2112" in repr(tgr.Scan(500, [tgr.decode(block(500, 0, [1]), source=B)], 0, B))


def test_a_filter_keeps_some_senders_and_counts_the_others(tmp_path):
    path = recorded(tmp_path / "two.pcapng")
    with tgr.Capture(path, source="10.0.0.2") as capture:
        kept = list(capture)
        assert {t.source for t in kept} == {B}
        assert (len(kept), capture.ignored) == (8, 8)
        assert (capture.loss.telegrams, capture.loss.missing_scans, capture.loss.outliers) == (8, 1, 0)
    for wanted in ([A, "10.0.0.2:2112"], ["10.0.0.1", ("10.0.0.2", 2112)]):
        with tgr.Capture(path, source=wanted) as capture:
            assert len(list(capture)) == 16
    with tgr.Capture(path, source="10.0.0.2:2113") as capture:
        assert list(capture) == []
    for bad, error in (("10.0.0", ValueError), ("10.0.0.1:x", ValueError), ("10.0.0.1:70000", ValueError),
                       (5, TypeError), (("10.0.0.1",), TypeError)):
        with pytest.raises(error):
            tgr.Capture(path, source=bad)


def test_a_receiver_counts_each_senders_gaps_apart():
    with tgr.Receiver(port=0, address="127.0.0.1", timeout=5) as receiver:
        one = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        two = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        one.bind(("127.0.0.1", 0))
        two.bind(("127.0.0.2", 0))
        for data, source in interleaved():
            (one if source == A else two).sendto(data, ("127.0.0.1", receiver.port))
        got = [receiver.receive() for _ in range(16)]
        loss = receiver.loss
        by_source = receiver.loss_by_source
        one_source, two_source = one.getsockname(), two.getsockname()
        one.close()
        two.close()
    assert len(got) == 16
    # Each numbering apart: B's gap alone, no jumps across the two.
    assert (loss.telegrams, loss.missing_scans, loss.restarts, loss.outliers) == (16, 1, 0, 0)
    assert by_source[one_source].missing_scans == 0
    assert by_source[two_source].missing_scans == 1
    assert by_source[two_source].telegrams == 8


def test_a_receiver_keeps_only_the_senders_asked_for():
    with tgr.Receiver(port=0, address="127.0.0.1", timeout=5, source="127.0.0.2") as receiver:
        one = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        two = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        two.bind(("127.0.0.2", 0))
        one.sendto(block(1, 0, [1]), ("127.0.0.1", receiver.port))
        two.sendto(block(2, 0, [2]), ("127.0.0.1", receiver.port))
        telegram = receiver.receive()
        assert (telegram.source[0], telegram.scan_no, receiver.ignored) == ("127.0.0.2", 2, 1)
        with pytest.raises(TimeoutError):
            one.sendto(block(3, 0, [3]), ("127.0.0.1", receiver.port))
            receiver.receive(timeout=0.3)
        assert receiver.ignored == 2
        one.close()
        two.close()
