"""Files: a recording read back as it was written, captures cut short or
damaged, reports read back to their blocks, and what cannot be written."""

import io
import os
import struct
import warnings

import pytest

import tgr
from helpers import beams, block

TELEGRAMS = [
    (beams(1, 9, 2), 1_700_000_000_123_456_789, ("10.0.0.2", 2111)),
    (block(1, 0, [1, 2, 3]), 1_700_000_000_223_456_789, ("10.0.0.2", 2111)),
    (block(1, 1, list(range(32743))), 1_700_000_000_323_456_789, ("192.168.1.200", 65535)),
    (b"", 1_700_000_001_000_000_000, ("10.0.0.3", 1)),
]


def record(path, telegrams=TELEGRAMS, port=9999):
    with tgr.Recorder(path, ("127.0.0.1", port)) as recorder:
        for data, time_ns, source in telegrams:
            recorder.write(tgr.decode(data, time_ns=time_ns, source=source))
        assert recorder.packets == len(telegrams)
    return path


def test_a_recording_reads_back_byte_for_byte(tmp_path):
    path = record(tmp_path / "run.pcapng")
    with tgr.Capture(path) as capture:
        got = list(capture)
        summary = capture.summary
        loss = capture.loss
    assert [(t.data, t.time_ns, t.source) for t in got] == TELEGRAMS
    assert not any(t.kernel_time for t in got)
    assert got[2].values.tolist() == list(range(32743))
    assert (summary["end"], summary["packets"], summary["taken"], summary["other_port"]) == ("whole", 4, 4, 0)
    assert (loss.telegrams, loss.block_telegrams, loss.any, loss.dropped) == (4, 2, False, None)
    # Bound for another port: passed over, and counted.
    with tgr.Capture(path, port=10000) as capture:
        assert list(capture) == []
        assert (capture.summary["taken"], capture.summary["other_port"]) == (0, 4)


def test_a_recording_cut_short_gives_every_whole_packet(tmp_path):
    path = record(tmp_path / "run.pcapng")
    data = path.read_bytes()
    cut = tmp_path / "cut.pcapng"
    cut.write_bytes(data[:-10])
    with tgr.Capture(cut) as capture, pytest.warns(tgr.CaptureWarning, match="cut short"):
        got = list(capture)
    assert [t.data for t in got] == [t[0] for t in TELEGRAMS[:3]]
    assert capture.summary["end"] == "cut short"


def test_damaged_and_missing_captures(tmp_path):
    damaged = tmp_path / "damaged.pcapng"
    damaged.write_bytes(b"not a capture at all, but long enough to be read")
    with pytest.raises(ValueError, match="not a capture"):
        tgr.Capture(damaged)
    # Damage after whole packets: those come first, then the error.
    path = record(tmp_path / "run.pcapng")
    data = bytearray(path.read_bytes())
    data[-4:] = struct.pack("<I", 0x7FFFFFF0)  # the last block's length, at its end, made absurd
    damaged.write_bytes(bytes(data))
    got = []
    with pytest.raises(ValueError, match="damaged"):
        for t in tgr.Capture(damaged):
            got.append(t.data)
    assert got == [t[0] for t in TELEGRAMS[:3]]
    with pytest.raises(OSError):
        tgr.Capture(tmp_path / "none.pcapng")


def test_what_a_recorder_refuses(tmp_path):
    with pytest.raises(OSError):
        tgr.Recorder(tmp_path / "no" / "such" / "folder.pcapng")
    with pytest.raises(ValueError):
        tgr.Recorder(tmp_path / "r.pcapng", ("not an address", 9999))
    block_of_report = next(iter(tgr.ReportFile(io.BytesIO(report_of([block(1, 0, [1])])))))
    with tgr.Recorder(tmp_path / "r.pcapng") as recorder, pytest.raises(ValueError, match="report"):
        recorder.write(block_of_report)


def test_a_full_disk_is_an_os_error():
    with pytest.raises(OSError, match="No space"):
        recorder = tgr.Recorder("/dev/full")
        recorder.write(tgr.decode(block(1, 0, [1] * 1000)))
        recorder.close()


def report_of(telegrams, line_ends="lf", closed=True):
    text = b"Receiving datagrams...\n" + b"".join(tgr.report(t, line_ends) for t in telegrams)
    if closed:
        text += b"Finished receiving. Closing socket.\nExiting.\n"
    return text.replace(b"\n", b"\r\n") if line_ends == "crlf" else text


def test_a_report_reads_back_to_its_blocks(tmp_path):
    telegrams = [beams(1, 9, 2), block(1, 0, [1, 2, 3]), block(1, 1, [4]), block(1, 2, [5]),
                 block(0xFFFFFFFF, 0, list(range(1000)))]
    path = tmp_path / "report.txt"
    path.write_bytes(report_of(telegrams))
    with tgr.ReportFile(path) as report:
        got = list(report)
        assert (report.telegrams, report.finished) == (5, True)
    # Block 2 has no values in the report: it is not one of its blocks.
    assert [(t.type, t.scan_no, t.block_no, t.total_size, t.line) for t in got] == [
        (6, 1, 0, 26, 5), (6, 1, 1, 22, 8), (6, 0xFFFFFFFF, 0, 2020, 13)]
    assert got[2].values.tolist() == list(range(1000))
    assert all(t.data is None and t.time_ns is None and t.source is None for t in got)
    # The Windows receiver's line ends, from a stream read piece by piece.
    crlf = io.BufferedReader(io.BytesIO(report_of(telegrams, "crlf")), buffer_size=7)
    assert [t.values.tolist() for t in tgr.ReportFile(crlf)] == [t.values.tolist() for t in got]


def test_a_damaged_report_says_its_line_after_the_blocks_before_it(tmp_path):
    text = report_of([block(1, 0, [1]), block(1, 1, [2])]) + b"--> Telegram Typo: 6\r\n"
    got = []
    with pytest.raises(ValueError, match="line 10: .*Typo"):
        for t in tgr.ReportFile(io.BytesIO(text)):
            got.append(t.block_no)
    assert got == [0, 1]
    # From a path, what is no report at all is said when it is opened; a
    # report damaged after its blocks gives them first there too.
    capture = record(tmp_path / "run.pcapng")
    with pytest.raises(ValueError, match="line 1: expected the banner"):
        tgr.ReportFile(capture)
    path = tmp_path / "damaged.txt"
    path.write_bytes(text)
    report = tgr.ReportFile(path)
    assert next(report).block_no == 0
    with pytest.raises(ValueError, match="line 10"):
        list(report)
    with pytest.raises(TypeError, match="rb"):
        list(tgr.ReportFile(io.StringIO("Receiving datagrams...\n")))


def test_runs_appended_to_one_report_are_read_as_runs(tmp_path):
    # telegram-receiver >> report.txt twice, the first run ended by Ctrl-C:
    # no closing lines before the second run's banner.
    first = report_of([block(1, 0, [1]), block(2, 0, [2])], closed=False)
    second = report_of([block(1, 0, [3])])
    path = tmp_path / "report.txt"
    path.write_bytes(first + second)
    with tgr.ReportFile(path) as report:
        got = [(t.scan_no, t.values.tolist()) for t in report]
        assert report.finished
    assert got == [(1, [1]), (2, [2]), (1, [3])]


def test_a_report_blocks_values_are_read_only():
    got = list(tgr.ReportFile(io.BytesIO(report_of([block(1, 0, [1, 2])]))))
    assert got[0].values.tolist() == [1, 2]
    with pytest.raises(ValueError, match="read-only"):
        got[0].values[0] = 5


def test_a_report_cut_inside_its_values():
    text = report_of([block(3, 0, [10, 20, 30])], closed=False)[:-3]
    got = list(tgr.ReportFile(io.BytesIO(text)))
    assert [(t.scan_no, t.cut_short, t.values.tolist()) for t in got] == [(3, True, [10, 20])]


def test_a_report_piped_live_is_read_as_it_comes():
    read, write = os.pipe()
    with open(read, "rb") as pipe, open(write, "wb", buffering=0) as writer:
        writer.write(report_of([block(5, 0, [1, 2])], closed=False) + b"--> Telegram Type: 1\r\n")
        report = tgr.ReportFile(pipe)
        # The block is given while the writer still writes: no wait for a whole piece.
        assert next(report).scan_no == 5
        writer.write(b"BeamCount : 5\t0\t46\t0\r\n")
        writer.close()
        assert list(report) == []
        assert report.telegrams == 2
