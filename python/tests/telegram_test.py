"""Decoding and the report of one telegram: exact fields, exact bytes."""

import gc

import numpy
import pytest

import tgr
from helpers import beams, block


def test_block_fields_and_values():
    t = tgr.decode(block(0xFFFFFFFE, 513, [0, 1, 0xFFFF, 0x1234], byte4=7, byte8=200))
    assert (t.type, t.scan_no, t.block_no, t.total_size, t.size) == (6, 0xFFFFFFFE, 513, 28, 28)
    assert (t.header_byte4, t.header_byte8) == (7, 200)
    assert t.values.dtype == numpy.uint16
    assert t.values.tolist() == [0, 1, 0xFFFF, 0x1234]
    assert (t.beam_start, t.beam_count) == (0, 0)


def test_values_stop_at_total_size_and_at_the_bytes_received():
    # TotalSize below the bytes received: only the values below it.
    assert tgr.decode(block(1, 0, [1, 2, 3], total_size=24)).values.tolist() == [1, 2]
    # TotalSize beyond them: only whole values received; an odd byte is not one.
    data = block(1, 0, [1, 2, 3], total_size=1000)
    assert tgr.decode(data[:-1]).values.tolist() == [1, 2]
    assert tgr.decode(data[:20]).values.size == 0


@pytest.mark.parametrize("length", [0, 1, 12, 13, 14, 19])
def test_short_datagrams_read_as_zeros(length):
    data = block(0x01020304, 0x0506, [9])[:length]
    t = tgr.decode(data)
    assert t.size == length
    # A field not wholly received reads as 0.
    assert t.type == (6 if length >= 14 else 0)
    assert t.block_no == (0x0506 if length >= 16 else 0)
    assert t.scan_no == 0
    assert t.values.size == 0


def test_beam_count():
    assert tgr.decode(beams(10, 20, 3)).beam_count == 5  # ceil(10 / 3) + 1
    assert tgr.decode(beams(0, 8, 2)).beam_count == 5
    assert tgr.decode(beams(5, 5, 1)).beam_count == 1
    assert tgr.decode(beams(5, 9, 0)).beam_count == 0  # no step: no count
    t = tgr.decode(beams(1, 2, 1))
    assert (t.type, t.beam_start, t.beam_stop, t.beam_step, t.values.size) == (1, 1, 2, 1, 0)


def test_values_are_a_read_only_view_that_outlives_the_telegram():
    t = tgr.decode(bytearray(block(1, 0, [7, 8])))
    values = t.values
    del t
    gc.collect()
    assert values.tolist() == [7, 8]
    with pytest.raises(ValueError):
        values[0] = 1
    mine = values.copy()
    mine[0] = 1
    assert mine.tolist() == [1, 8]


def test_decode_keeps_a_copy_of_the_bytes():
    data = bytearray(block(1, 0, [7, 8]))
    t = tgr.decode(data, time_ns=123, source=("10.1.2.3", 4000))
    data[20] = 99
    assert t.values.tolist() == [7, 8]
    assert t.data == bytes(block(1, 0, [7, 8]))
    assert (t.time_ns, t.source) == (123, ("10.1.2.3", 4000))
    for bad in ("10.1.2.300", "1.2.3", "1.2.3.4.5", "1..2.3", "a.b.c.d", " 1.2.3.4", "1.2.3.4 ", "0001.2.3.4", ""):
        with pytest.raises(ValueError, match="IPv4"):
            tgr.decode(data, source=(bad, 1))
    assert tgr.decode(data, source=("255.255.255.255", 65535)).source == ("255.255.255.255", 65535)
    with pytest.raises(TypeError):
        tgr.decode("text is not bytes")


def test_report_bytes():
    assert tgr.report(block(7, 0, [1, 2, 65535])) == (
        b"--> Telegram Type: 6\r\nTotalSize: 6\t ScanNo:7\t BlockNo:0\r\n\n1\t2\t65535\t")
    # Only blocks 0 and 1 list their values.
    assert tgr.report(block(7, 2, [1, 2])) == b"--> Telegram Type: 6\r\nTotalSize: 4\t ScanNo:7\t BlockNo:2\r\n"
    # ScanNo and TotalSize - 20 are printed signed.
    assert tgr.report(block(0xFFFFFFFF, 3, [], total_size=4)) == (
        b"--> Telegram Type: 6\r\nTotalSize: -16\t ScanNo:-1\t BlockNo:3\r\n")
    assert tgr.report(beams(10, 20, 3, byte4=4, byte8=8)) == (
        b"--> Telegram Type: 1\r\nBeamCount : 5\t4\t46\t8\r\n")
    assert tgr.report(b"\x00" * 12 + b"\x09\x00") == b"--> Telegram Type: 9\r\n"
    assert tgr.report(b"") == b"--> Telegram Type: 0\r\n"


def test_report_line_ends():
    t = tgr.decode(block(7, 1, [5]))
    assert t.report("lf") == tgr.report(t.data, "lf") == b"--> Telegram Type: 6\r\nTotalSize: 2\t ScanNo:7\t BlockNo:1\r\n\n5\t"
    assert t.report("crlf") == b"--> Telegram Type: 6\r\r\nTotalSize: 2\t ScanNo:7\t BlockNo:1\r\r\n\r\n5\t"
    with pytest.raises(ValueError, match="line_ends"):
        t.report("cr")


def test_the_largest_report():
    values = list(range(32743))
    text = tgr.report(block(1, 0, values))
    assert text.split(b"\n", 3)[3] == b"".join(b"%d\t" % v for v in values)
