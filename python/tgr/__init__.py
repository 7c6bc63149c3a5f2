"""The scanner's telegrams in Python: live, from captures and from reports.

Every source is an iterator of Telegram objects and a context manager:

    with tgr.Receiver(port=9999, timeout=5) as receiver:
        for telegram in receiver:
            print(telegram.scan_no, telegram.block_no, telegram.values.mean())

- Receiver: telegrams as they arrive on a UDP port.
- Capture: the telegrams of a pcap or pcapng file.
- ReportFile: the blocks telegram-receiver's report lists.
- scans(): any of them grouped into whole scans, the missing blocks said.
- Recorder: telegrams into a pcapng file.
- decode(), report(): one telegram's fields, and telegram-receiver's report.

Each source counts what was lost in its `loss`: the telegrams the system
dropped before they were read (live only) and the gaps in ScanNo/BlockNo.
"""

from __future__ import annotations

import dataclasses
import ipaddress
import math
import os
import time
from typing import Any, BinaryIO, Optional, Tuple, Union

from . import _tgr
from ._scans import Scan, Scans, scans
from ._tgr import Cancelled, CaptureWarning, Telegram, decode, report

__all__ = [
    "Cancelled",
    "Capture",
    "CaptureWarning",
    "Loss",
    "MAX_TELEGRAM_SIZE",
    "PORT",
    "Receiver",
    "Recorder",
    "ReportFile",
    "Scan",
    "Scans",
    "Telegram",
    "decode",
    "report",
    "scans",
    "__version__",
]

__version__: str = _tgr.version
PORT = 9999
"""The port the scanner sends to, and telegram-receiver listens on."""
MAX_TELEGRAM_SIZE: int = _tgr.MAX_TELEGRAM_SIZE
"""The longest telegram, in bytes: the most an IPv4 UDP datagram carries."""

Address = Tuple[str, int]
_RECEIVERS: Any = object()  # receive()'s time-out: the receiver's own
PathLike = Union[str, "os.PathLike[str]"]


@dataclasses.dataclass(frozen=True)
class Loss:
    """What was lost, as far as it can be known (docs/library.md has the
    rule of each count).

    telegrams: every telegram the source gave, of any type.
    block_telegrams: of them, the type-6 telegrams, which alone carry
        ScanNo and BlockNo and are counted below.
    dropped: telegrams the system dropped before they were read, for want
        of room in the socket's buffer (live only; None where the system
        keeps no count, or for a file).
    dropped_system_wide: True where `dropped` counts every UDP datagram the
        system could not deliver, whatever its port (Windows), False where
        it is this socket's own (Linux).
    missing_blocks, missing_scans: certain gaps in BlockNo (below the
        highest block seen in a scan) and in ScanNo (between two scans of a
        run).
    missing_tail_blocks: inferred, not certain: blocks above the highest
        one seen in a scan, up to the highest that two scans reached.
    repeated, reordered: blocks that came again, and came late.
    restarts: the scan numbers started again (a confirmed jump back): no
        gap is claimed across one.
    outliers: type-6 telegrams whose numbers jumped and no later telegram
        confirmed (a stale copy, a stray number): counted nowhere else.
    """

    telegrams: int = 0
    block_telegrams: int = 0
    missing_blocks: int = 0
    missing_scans: int = 0
    missing_tail_blocks: int = 0
    repeated: int = 0
    reordered: int = 0
    restarts: int = 0
    outliers: int = 0
    dropped: Optional[int] = None
    dropped_system_wide: bool = False

    @property
    def any(self) -> bool:
        """True if anything is known or inferred to be lost: dropped, or
        missing blocks, scans or tail blocks."""
        return bool(self.dropped or self.missing_blocks or self.missing_scans or self.missing_tail_blocks)


class _Source:
    """What every source shares: with, and iteration."""

    def __enter__(self):
        return self

    def __exit__(self, *exc_info) -> None:
        self.close()

    def __iter__(self):
        return self

    def close(self) -> None:  # pragma: no cover - every source has its own
        raise NotImplementedError


class _SourceCounts:
    """The gaps in ScanNo/BlockNo counted for each sender apart, so that two
    scanners on one port are two numberings; the first MOST_SOURCES senders
    each apart (a count takes 2 MB), any more together under None."""

    MOST_SOURCES = _tgr.SOURCES_APART

    def __init__(self) -> None:
        self._each: dict = {}

    def add(self, telegram: Telegram) -> None:
        key = telegram.source
        sequence = self._each.get(key)
        if sequence is None:
            if len(self._each) >= self.MOST_SOURCES:
                key = None
            sequence = self._each.get(key)
            if sequence is None:
                sequence = self._each[key] = _tgr.Sequence()
        sequence.add(telegram)

    def counts(self) -> dict:
        """Every sender's counts added up."""
        total = dict.fromkeys(dataclasses.asdict(Loss()).keys() - {"dropped", "dropped_system_wide"}, 0)
        for sequence in self._each.values():
            for name, value in sequence.counts().items():
                total[name] += value
        return total

    def by_source(self) -> dict:
        return {key: Loss(**sequence.counts()) for key, sequence in self._each.items()}


class _CountedSource(_Source):
    """A source whose telegrams are counted for gaps here, as they are given,
    each sender apart (a Capture counts its own, in the module)."""

    def __init__(self) -> None:
        self._sequence = _SourceCounts()

    def _counted(self, telegram: Telegram) -> Telegram:
        self._sequence.add(telegram)
        return telegram

    @property
    def loss(self) -> Loss:
        """The gaps in ScanNo/BlockNo counted so far (see Loss): each
        sender's numbering apart, added up."""
        return Loss(**self._sequence.counts())

    @property
    def loss_by_source(self) -> dict:
        """Each sender's gaps: {(address, port): Loss}; None for a source
        that gives none (a report), and for the senders beyond the first
        16, counted together."""
        return self._sequence.by_source()


class Receiver(_CountedSource):
    """Telegrams as they arrive on a UDP port, with their times and sources.

    port: the UDP port (9999 by default; 0 lets the system choose one, which
        `port` then tells).
    address: the local IPv4 address to listen on (dotted, or a host name);
        None for every one. A multicast group (224.0.0.0 to
        239.255.255.255) is joined, and left at the close; its port is
        shared with every other receiver of the group on this computer.
    interface: for a group, the interface to join it on: its IPv4 address,
        or on Linux its name ("eth0"); None for the system's choice.
    timeout: seconds to wait for each telegram; None waits without end.
        Iteration raises TimeoutError when nothing comes in time.
    count: iteration ends after this many telegrams; None goes on.
    buffer_bytes: the socket receive buffer to ask for (0: 8 MiB).
    source: keep only the telegrams of these senders: "ADDR", "ADDR:PORT",
        (ADDR, PORT), or a list of them; None keeps every one. The others
        are counted in `ignored`, and in nothing else.

    While waiting, the GIL is let go, so other threads run; Ctrl-C raises
    KeyboardInterrupt within a tenth of a second. `cancel()`, from any
    thread, ends a wait at once, and for good: iteration then stops (after
    any telegrams already waiting), `receive()` raises Cancelled; open a
    new Receiver to receive again. A port that cannot be opened raises
    OSError with the system's words and errno (EADDRINUSE for a port in
    use, EADDRNOTAVAIL for an address not of this computer).
    """

    def __init__(
        self,
        port: int = PORT,
        address: Optional[str] = None,
        *,
        timeout: Optional[float] = None,
        count: Optional[int] = None,
        buffer_bytes: int = 0,
        interface: Optional[str] = None,
        source: Union[SourceWanted, list] = None,
    ) -> None:
        super().__init__()
        self._keep = _SourceFilter(source)
        self.ignored = 0
        """Telegrams from senders `source` left out."""
        _check_timeout(timeout)
        if count is not None and (not isinstance(count, int) or isinstance(count, bool)):
            raise TypeError(f"count must be an int or None, not {type(count).__name__}")
        if count is not None and count < 0:
            raise ValueError(f"count must be 0 or more, or None, not {count}")
        _check_port(port, 0)
        if not isinstance(buffer_bytes, int) or isinstance(buffer_bytes, bool):
            raise TypeError(f"buffer_bytes must be an int, not {type(buffer_bytes).__name__}")
        if address is not None and not isinstance(address, str):
            raise TypeError(f"address must be a str or None, not {type(address).__name__}")
        if interface is not None and not isinstance(interface, str):
            raise TypeError(f"interface must be a str or None, not {type(interface).__name__}")
        self.timeout = timeout
        self.count = count
        self.received = 0
        """Telegrams received so far."""
        self._receiver = _tgr.Receiver(address or "", port, buffer_bytes, interface or "")
        self.address = address

    @property
    def port(self) -> int:
        """The UDP port listened on."""
        return self._receiver.port

    def receive(self, timeout: Optional[float] = _RECEIVERS) -> Telegram:
        """The next telegram. timeout: seconds, None for no end; by default
        the receiver's. Raises TimeoutError, or Cancelled after cancel()."""
        if timeout is _RECEIVERS:
            timeout = self.timeout
        else:
            _check_timeout(timeout)
        # Whole milliseconds, not below the time asked for; beyond the
        # longest wait the library takes (24 days), no end.
        longest = 2**31 - 1
        milliseconds = -1 if timeout is None or timeout * 1000 >= longest else math.ceil(timeout * 1000)
        deadline = None if milliseconds < 0 else time.monotonic() + milliseconds / 1000
        while True:
            try:
                telegram = self._receiver.next(milliseconds)
            except TimeoutError:
                raise TimeoutError(f"no telegram on port {self.port} within {timeout:g} s") from None
            if self._keep.keeps(telegram):
                break
            # Another sender's: passed over, within the same time-out.
            self.ignored += 1
            if deadline is not None:
                milliseconds = max(0, math.ceil((deadline - time.monotonic()) * 1000))
        self.received += 1
        return self._counted(telegram)

    def __next__(self) -> Telegram:
        if self.count is not None and self.received >= self.count:
            raise StopIteration
        try:
            return self.receive()
        except Cancelled:
            raise StopIteration from None

    def cancel(self) -> None:
        """From any thread: ends the wait under way, and every later one."""
        self._receiver.cancel()

    @property
    def loss(self) -> Loss:
        """The system's drops and the gaps in ScanNo/BlockNo, so far."""
        drops = None if self._receiver.closed else self._receiver.drops()
        counts = self._sequence.counts()
        if drops is None:
            return Loss(**counts)
        return Loss(**counts, dropped=drops[0], dropped_system_wide=drops[1])

    def close(self) -> None:
        """Closes the socket (a wait under way in another thread ends)."""
        self._receiver.close()


class Capture(_Source):
    """The telegrams of a pcap or pcapng file: the UDP datagrams bound for
    `port`, with their capture times (time_ns) and sources; with `source`
    (as Receiver's), those of some senders alone, the others counted in
    `ignored`.

    The file is read as it goes, in bounded memory. A file that cannot be
    opened raises OSError with errno (FileNotFoundError, PermissionError);
    one that is no capture (a directory, an empty file, another format)
    raises ValueError at once; a pipe is refused, never waited on. One
    damaged further on raises ValueError where the damage is, after the
    telegrams before it; a capture cut short (a recording stopped hard)
    gives every whole packet and warns with CaptureWarning, naming the byte
    where it was cut. `summary` has the counts of what was read and passed
    over.
    """

    def __init__(self, path: PathLike, port: int = PORT, *, source: Union[SourceWanted, list] = None) -> None:
        _check_port(port, 1)
        self._keep = _SourceFilter(source)
        self.ignored = 0
        """Telegrams from senders `source` left out."""
        self.path = os.fspath(path)
        self.port = port
        self._capture = _tgr.Capture(self.path, port)
        # With a filter, the telegrams kept are counted here.
        self._sequence = _SourceCounts() if self._keep else None

    def __iter__(self):
        # The module's own iterator, unless some senders are left out: a
        # for loop then runs in C++ alone.
        return self if self._keep else self._capture

    def __next__(self) -> Telegram:
        if not self._keep:
            return next(self._capture)
        while True:
            telegram = next(self._capture)
            if self._keep.keeps(telegram):
                self._sequence.add(telegram)
                return telegram
            self.ignored += 1

    @property
    def loss(self) -> Loss:
        """The gaps in ScanNo/BlockNo counted so far (see Loss), of the
        senders kept."""
        if self._sequence is not None:
            return Loss(**self._sequence.counts())
        return Loss(**self._capture.counts())

    @property
    def summary(self) -> dict:
        """How the packets ended, and what was read and passed over:

        end: "reading" (not yet), "whole" (after a whole packet), "cut short"
            (inside a packet: a capture stopped hard) or "damaged".
        end_offset: the byte of the file where the packets ended.
        words: how they ended, if not whole, with the byte:
            "cut short at byte N (...)", "damaged: ... (at byte N)"; else "".
        packets: packets read from the file.
        taken: datagrams bound for the port, given as telegrams.
        not_udp: packets that carry no UDP over IPv4.
        other_port: datagrams bound for another port.
        first_other_port: the port the first of those went to (None if
            none): a recording made on another port is read with
            Capture(path, port=first_other_port).
        incomplete: datagrams some of whose IP fragments are not in the file.
        cut_short: datagrams cut short by the capture's snap length.
        conflicting: datagrams whose IP fragments overlap and disagree.
        """
        return dict(self._capture.summary())

    def close(self) -> None:
        """Closes the file."""
        self._capture.close()


SourceWanted = Union[str, Tuple[str, int], None]


class _SourceFilter:
    """The senders an iterator keeps: "ADDR", "ADDR:PORT" or (ADDR, PORT),
    or a list of them; None keeps every one."""

    def __init__(self, wanted) -> None:
        senders = [] if wanted is None else list(wanted) if isinstance(wanted, list) else [wanted]
        self._kept = []
        for one in senders:
            if isinstance(one, tuple) and len(one) == 2 and isinstance(one[0], str) and isinstance(one[1], int):
                address, port = one
            elif isinstance(one, str):
                address, _, port_text = one.partition(":")
                if port_text and not port_text.isdigit():
                    raise ValueError(f"source must be ADDR or ADDR:PORT, not {one!r}")
                port = int(port_text) if port_text else None
            else:
                raise TypeError(f"source must be 'ADDR', 'ADDR:PORT' or (ADDR, PORT), not {one!r}")
            try:
                address = str(ipaddress.IPv4Address(address))
            except ValueError:
                raise ValueError(f"source must be an IPv4 address, not {one!r}") from None
            if port is not None and not 1 <= port <= 65535:
                raise ValueError(f"source's port must be 1 to 65535, not {port}")
            self._kept.append((address, port))

    def __bool__(self) -> bool:
        return bool(self._kept)

    def keeps(self, telegram: Telegram) -> bool:
        """True if no filter is set, or the telegram's sender is one kept."""
        if not self._kept:
            return True
        source = telegram.source
        return source is not None and any(
            source[0] == address and (port is None or source[1] == port) for address, port in self._kept
        )


def _check_port(port, least: int) -> None:
    if not isinstance(port, int) or isinstance(port, bool):
        raise TypeError(f"port must be an int, not {type(port).__name__}")
    if not least <= port <= 65535:
        raise ValueError(f"port must be {least} to 65535, not {port}")


def _check_timeout(timeout) -> None:
    if timeout is None:
        return
    if not isinstance(timeout, (int, float)) or isinstance(timeout, bool):
        raise TypeError(f"timeout must be seconds (an int or float) or None, not {type(timeout).__name__}")
    if not timeout >= 0:  # NaN too
        raise ValueError(f"timeout must be 0 or more seconds, or None, not {timeout}")


class ReportFile(_CountedSource):
    """The blocks telegram-receiver's report lists (blocks 0 and 1 of each
    type-6 telegram), read back from a path or a binary stream (such as
    sys.stdin.buffer, with the receiver's report piped in as it runs).

    Each is a Telegram with type 6, scan_no, block_no, total_size and
    values (read-only), the report's line number in `line`; it has no bytes
    (data is None), time or source. A block the report ends inside has
    cut_short True. A line that is not the report's raises ValueError
    naming it, after the blocks before it; a file that is no report at all
    raises it when it is opened. `loss` counts the blocks given (the
    report lists blocks 0 and 1 alone, so its gaps are in those).
    """

    _PIECE = 1 << 16

    def __init__(self, source: Union[PathLike, BinaryIO]) -> None:
        super().__init__()
        if hasattr(source, "read"):
            self._file = source
            self._owned = False
            self.path = getattr(source, "name", "<stream>")
        else:
            self.path = os.fspath(source)
            self._file = open(self.path, "rb")
            self._owned = True
        # What has come, not a whole piece: a report piped live from the
        # receiver is read as it is written.
        self._read = getattr(self._file, "read1", self._file.read)
        self._reader = _tgr.ReportReader()
        self._ready: list = []
        self._ended = False
        if self._owned:
            # A file's first piece is read now, so that what is no report
            # at all is said here, not at the first block. (A stream is
            # not: it may not have written anything yet.)
            self._take(self._read(self._PIECE))
            if len(self._ready) == 1 and isinstance(self._ready[0], str):
                self._file.close()
                raise ValueError(f"{self.path}: {self._ready[0]}")

    def __next__(self) -> Telegram:
        while not self._ready:
            if self._ended:
                raise StopIteration
            self._take(self._read(self._PIECE))
        item = self._ready.pop()
        if isinstance(item, str):
            self._ready.clear()
            self._ended = True
            raise ValueError(f"{self.path}: {item}")
        return self._counted(item)

    def _take(self, text) -> None:
        """Reads a piece of the report (none: its end) into the blocks ready,
        last first; words of damage come after the blocks before it."""
        if isinstance(text, str):
            raise TypeError("a report is read as bytes: open it with \"rb\"")
        if text:
            self._ready = self._reader.feed(text)
        else:
            self._ended = True
            self._ready = self._reader.end()
        self._ready.reverse()

    @property
    def telegrams(self) -> int:
        """The report's telegrams read so far, of every type."""
        return self._reader.telegrams

    @property
    def finished(self) -> bool:
        """True if the last run ended with the receiver's closing lines."""
        return self._reader.finished

    def close(self) -> None:
        """Closes the file, if it was opened here."""
        if self._owned:
            self._file.close()


class Recorder:
    """Telegrams into a pcapng file, each as an IPv4/UDP packet from its
    source to `destination`, at its time in nanoseconds.

    The packet analyser opens the file, and Capture and telegram-sender
    --replay read it again. Each packet is written whole and flushed, so a
    recording cut by a crash or a full disk keeps every packet before the
    cut. A telegram without a time (made by decode()) is stamped with the
    time it is written. A file that cannot be created or written raises
    OSError with the system's words.
    """

    def __init__(self, path: PathLike, destination: Address = ("0.0.0.0", PORT)) -> None:
        self.path = os.fspath(path)
        if not isinstance(destination, tuple) or len(destination) != 2:
            raise TypeError(f"destination must be an (address, port) pair, not {destination!r}")
        _check_port(destination[1], 0)
        self.destination = destination
        self._recorder = _tgr.Recorder(self.path, destination[0], destination[1])

    def write(self, telegram: Telegram) -> None:
        """Records one telegram (one with its bytes: not a report's block)."""
        self._recorder.write(telegram, time.time_ns())

    @property
    def packets(self) -> int:
        """Packets recorded so far."""
        return self._recorder.packets

    def close(self) -> None:
        """Closes the file; OSError if a packet did not reach it."""
        self._recorder.close()

    def __enter__(self) -> "Recorder":
        return self

    def __exit__(self, *exc_info) -> None:
        self.close()
