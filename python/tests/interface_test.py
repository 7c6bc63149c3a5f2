"""The package as a Python programmer meets it: arguments of the wrong
type or range refused as TypeError or ValueError, the system's refusals as
OSError subclasses with errno, help() that names every parameter, and every
count and key said."""

import errno
import os
import pydoc
import socket
import struct
import time

import pytest

import tgr
from tgr import _tgr
from helpers import block


def test_wrong_types_and_ranges_are_type_and_value_errors(tmp_path):
    for bad in (1.5, "1", b"1", [1]):
        with pytest.raises(TypeError, match="time_ns must be an int"):
            tgr.decode(b"", time_ns=bad)
    with pytest.raises(ValueError, match="time_ns must be 0 to"):
        tgr.decode(b"", time_ns=-1)
    with pytest.raises(ValueError, match="time_ns must be 0 to"):
        tgr.decode(b"", time_ns=2**64)
    for bad in ("10.0.0.1:80", ("10.0.0.1",), ("10.0.0.1", 80, 1), (1, 80), ["10.0.0.1", 80]):
        with pytest.raises(TypeError, match="source must be an"):
            tgr.decode(b"", source=bad)
    with pytest.raises(TypeError, match="source's port must be an int"):
        tgr.decode(b"", source=("10.0.0.1", "80"))
    with pytest.raises(ValueError, match="source's port must be 0 to 65535"):
        tgr.decode(b"", source=("10.0.0.1", 70000))
    with pytest.raises(ValueError, match="not an IPv4 address"):
        tgr.decode(b"", source=("10.0.0.256", 80))
    with pytest.raises(TypeError):
        tgr.decode("a str is no bytes")
    for bad in (dict(port="9999"), dict(port=9999.0), dict(timeout="1"), dict(count=1.5), dict(buffer_bytes="8M"),
                dict(address=127)):
        with pytest.raises(TypeError):
            tgr.Receiver(**bad)
    with pytest.raises(ValueError):
        tgr.Receiver(port=0, timeout=float("nan"))
    with pytest.raises(TypeError):
        tgr.Capture(tmp_path / "x.pcapng", port="9999")
    with pytest.raises(TypeError):
        tgr.Recorder(tmp_path / "x.pcapng", destination="127.0.0.1:9999")
    with pytest.raises(ValueError):
        tgr.Recorder(tmp_path / "x.pcapng", destination=("127.0.0.1", -1))


def test_the_systems_refusals_are_os_errors_with_their_number(tmp_path):
    with pytest.raises(FileNotFoundError) as missing:
        tgr.Capture(tmp_path / "none.pcapng")
    assert missing.value.errno == errno.ENOENT
    assert missing.value.filename == str(tmp_path / "none.pcapng")
    with pytest.raises(FileNotFoundError) as folder:
        tgr.Recorder(tmp_path / "no" / "such" / "folder.pcapng")
    assert folder.value.errno == errno.ENOENT
    with tgr.Receiver(port=0, address="127.0.0.1") as first:
        with pytest.raises(OSError) as in_use:
            tgr.Receiver(port=first.port, address="127.0.0.1")
    assert in_use.value.errno == errno.EADDRINUSE
    assert "Address already in use" in str(in_use.value) and "10048" not in str(in_use.value)
    with pytest.raises(OSError) as elsewhere:
        tgr.Receiver(port=0, address="192.0.2.1")  # not this computer's
    assert elsewhere.value.errno == errno.EADDRNOTAVAIL
    with pytest.raises(OSError) as full:
        with tgr.Recorder("/dev/full") as recorder:
            recorder.write(tgr.decode(block(1, 0, [1] * 1000)))
    assert full.value.errno == errno.ENOSPC


def test_a_folder_or_a_pipe_is_no_capture_and_never_waited_on(tmp_path):
    with pytest.raises(ValueError, match="not a capture file: a directory"):
        tgr.Capture(tmp_path)
    pipe = tmp_path / "pipe"
    os.mkfifo(pipe)
    started = time.monotonic()
    with pytest.raises(ValueError, match="not a capture file: a pipe"):
        tgr.Capture(pipe)
    assert time.monotonic() - started < 1
    empty = tmp_path / "empty.pcapng"
    empty.write_bytes(b"")
    with pytest.raises(ValueError, match=r"not a capture file: it holds 0 bytes \(at byte 0\)"):
        tgr.Capture(empty)


def test_help_names_every_parameter_and_says_every_key(tmp_path):
    for thing in (_tgr.Receiver, _tgr.Capture, _tgr.ReportReader, _tgr.Recorder, _tgr.Sequence, tgr.decode,
                  tgr.report, tgr.Receiver, tgr.Capture, tgr.Recorder, tgr.ReportFile, tgr.scans):
        text = pydoc.render_doc(thing)
        assert "arg0" not in text and "arg1" not in text, thing
    assert "buffer_bytes" in pydoc.render_doc(_tgr.Receiver) and "timeout_ms" in pydoc.render_doc(_tgr.Receiver)
    assert tgr.MAX_TELEGRAM_SIZE == 65507 and "MAX_TELEGRAM_SIZE" in tgr.__all__
    path = tmp_path / "r.pcapng"
    with tgr.Recorder(path) as recorder:
        recorder.write(tgr.decode(block(1, 0, [1])))
    with tgr.Capture(path) as capture:
        list(capture)
        summary = capture.summary
    for key in summary:
        assert key in tgr.Capture.summary.__doc__, key
    loss_doc = tgr.Loss.__doc__
    for field in tgr.Loss.__dataclass_fields__:
        assert field in loss_doc, field


def test_loss_counts_every_telegram_and_which_carried_numbers():
    telegrams = [tgr.decode(block(1, b, [b])) for b in range(3)] + [tgr.decode(b"\x2e" + bytes(45))]
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as out, \
            tgr.Receiver(port=0, address="127.0.0.1", timeout=5, count=len(telegrams)) as receiver:
        for t in telegrams:
            out.sendto(t.data, ("127.0.0.1", receiver.port))
        list(receiver)
        loss = receiver.loss
    assert (loss.telegrams, loss.block_telegrams) == (4, 3)
    # Anything lost, known or inferred, is a loss: the tail blocks too.
    assert not tgr.Loss().any
    assert tgr.Loss(missing_tail_blocks=1).any
    assert tgr.Loss(dropped=1).any and tgr.Loss(missing_blocks=1).any and tgr.Loss(missing_scans=1).any
    assert not tgr.Loss(repeated=5, reordered=5, outliers=5, restarts=1, dropped=0).any


def test_a_capture_cut_short_warns_with_the_byte(tmp_path):
    path = tmp_path / "r.pcapng"
    with tgr.Recorder(path) as recorder:
        for s in range(3):
            recorder.write(tgr.decode(block(s, 0, [s] * 100), time_ns=1))
    data = path.read_bytes()
    cut = tmp_path / "cut.pcapng"
    cut.write_bytes(data[:-10])
    last_block = len(data) - (28 + 20 + 8 + 220 + 4)
    with pytest.warns(tgr.CaptureWarning, match=f"cut short at byte {last_block} "):
        assert len(list(tgr.Capture(cut))) == 2
    with tgr.Capture(cut) as capture, pytest.warns(tgr.CaptureWarning):
        list(capture)
        assert capture.summary["end_offset"] == last_block
        assert capture.summary["words"].startswith(f"cut short at byte {last_block} (")


def test_a_recording_on_another_port_names_it(tmp_path):
    path = tmp_path / "r.pcapng"
    with tgr.Recorder(path, destination=("127.0.0.1", 5000)) as recorder:
        recorder.write(tgr.decode(block(1, 0, [1])))
    with tgr.Capture(path) as capture:
        assert list(capture) == []
        assert (capture.summary["other_port"], capture.summary["first_other_port"]) == (1, 5000)
    assert len(list(tgr.Capture(path, port=5000))) == 1
