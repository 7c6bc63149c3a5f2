"""Type-6 telegrams grouped into whole scans, in BlockNo order."""

from __future__ import annotations

import collections
from typing import Deque, Dict, Iterable, Iterator, List, Optional, Tuple

import numpy

from ._tgr import Telegram

BLOCK_VALUES = 6


class Scan:
    """The blocks of one scan that came, in BlockNo order.

    values: every block's values in BlockNo order, one numpy uint16 array
        (a copy). The values of missing blocks are not in it, nor filled
        in: check `complete`, or `missing` and `missing_tail`.
    missing: block numbers below the highest one that came, that did not
        come. Certain, as a scan's blocks are numbered from 0 on.
    missing_tail: block numbers above the highest one that came, up to the
        highest any scan of its source so far had. Inferred: the scan may
        have been shorter.
    source: the (address, port) its blocks came from, or None where the
        source gives none (a report).
    """

    __slots__ = ("scan_no", "source", "blocks", "missing", "missing_tail", "_values")

    def __init__(
        self, scan_no: int, blocks: List[Telegram], highest_block: int, source: Optional[Tuple[str, int]] = None
    ) -> None:
        self.scan_no = scan_no
        self.source = source
        self.blocks = blocks
        have = {b.block_no for b in blocks}
        top = blocks[-1].block_no
        self.missing = [n for n in range(top) if n not in have]
        self.missing_tail = list(range(top + 1, highest_block + 1))
        self._values: Optional[numpy.ndarray] = None

    @property
    def complete(self) -> bool:
        """True if no block is known or inferred to be missing."""
        return not self.missing and not self.missing_tail

    @property
    def block_numbers(self) -> List[int]:
        """The BlockNo of each block that came, in order."""
        return [b.block_no for b in self.blocks]

    @property
    def values(self) -> numpy.ndarray:
        """The blocks' values, in BlockNo order, as one uint16 array."""
        if self._values is None:
            self._values = numpy.concatenate([b.values for b in self.blocks])
        return self._values

    @property
    def time_ns(self) -> Optional[int]:
        """When its first block arrived or was captured (ns since 1970), or None."""
        return self.blocks[0].time_ns

    def __repr__(self) -> str:
        state = "complete" if self.complete else f"missing {self.missing + self.missing_tail}"
        source = "" if self.source is None else f" from {self.source[0]}:{self.source[1]}"
        return f"<tgr.Scan {self.scan_no}{source}: {len(self.blocks)} blocks, {state}>"


class _SourceScans:
    """One source's scans being put together."""

    __slots__ = ("open", "given", "highest_block")

    def __init__(self) -> None:
        self.open: Dict[int, Dict[int, Telegram]] = {}
        self.given: Deque[int] = collections.deque(maxlen=64)
        self.highest_block = 0


class Scans:
    """An iterator of Scan objects over a source of telegrams, in the order
    the scans began.

    Each source (address and port) has its scans apart: two scanners on
    one port, with their own numbering, never fill each other's scans, and
    each Scan says its `source`. A scan is given as soon as it has every
    block (as many as its source's scans before it had; the first, once a
    second scan has as many), else once telegrams of `window` newer scans
    of its source have come, or the source has ended, so that blocks that
    come out of order still find their scan. A block that comes after its
    scan was given is counted in `late`, and one that came before in
    `repeated` (the first is kept). Telegrams of other types than 6 are
    passed over, and so are those of sources beyond the first
    MOST_SOURCES (counted in `other_sources`). If the source raises (a
    receiver's TimeoutError), the scans begun are given first, then the
    error is raised. `loss` is the source's.
    """

    MOST_SOURCES = 1024

    def __init__(self, source: Iterable[Telegram], window: int = 2) -> None:
        if window < 1:
            raise ValueError(f"window must be 1 or more scans, not {window}")
        self.source = source
        self.window = window
        self.late = 0
        self.repeated = 0
        self.other_sources = 0
        self._telegrams: Iterator[Telegram] = iter(source)
        self._sources: Dict[Optional[Tuple[str, int]], _SourceScans] = {}
        self._ready: Deque[Scan] = collections.deque()
        self._ended = False
        self._error: Optional[Exception] = None

    def __iter__(self) -> "Scans":
        return self

    def __next__(self) -> Scan:
        while not self._ready:
            if self._ended:
                error, self._error = self._error, None
                if error is not None:
                    raise error
                raise StopIteration
            try:
                telegram = next(self._telegrams)
            except StopIteration:
                self._end()
                continue
            except Exception as error:  # pylint: disable=broad-except
                self._error = error
                self._end()
                continue
            if telegram.type == BLOCK_VALUES:
                self._take(telegram)
        return self._ready.popleft()

    def _end(self) -> None:
        self._ended = True
        # What is left, in the order the scans began, each source's oldest first.
        for key, scans in self._sources.items():
            while scans.open:
                self._give_oldest(key, scans)

    @property
    def loss(self):
        """The source's loss (see tgr.Loss)."""
        return self.source.loss

    def _take(self, telegram: Telegram) -> None:
        key = telegram.source
        state = self._sources.get(key)
        if state is None:
            if len(self._sources) >= self.MOST_SOURCES:
                self.other_sources += 1
                return
            state = self._sources[key] = _SourceScans()
        blocks = state.open.get(telegram.scan_no)
        if blocks is None:
            if telegram.scan_no in state.given:
                self.late += 1
                return
            if len(state.open) >= self.window:
                self._give_oldest(key, state)
            blocks = state.open[telegram.scan_no] = {}
        if telegram.block_no in blocks:
            self.repeated += 1
            return
        blocks[telegram.block_no] = telegram
        state.highest_block = max(state.highest_block, telegram.block_no)
        # The oldest scans, in order, as soon as each is whole: all its
        # blocks up to the highest any scan had. Before any scan was given,
        # that length is known once a second scan has as many blocks too.
        whole = state.highest_block + 1
        while state.open:
            scans = iter(state.open.values())
            if len(next(scans)) != whole:
                break
            if not state.given and not any(len(later) == whole for later in scans):
                break
            self._give_oldest(key, state)

    def _give_oldest(self, key: Optional[Tuple[str, int]], state: _SourceScans) -> None:
        scan_no = next(iter(state.open))
        blocks = state.open.pop(scan_no)
        state.given.append(scan_no)
        ordered = [blocks[n] for n in sorted(blocks)]
        self._ready.append(Scan(scan_no, ordered, state.highest_block, key))


def scans(source: Iterable[Telegram], window: int = 2) -> Scans:
    """The scans of a Receiver, Capture or ReportFile (any iterable of
    telegrams), each with its blocks in BlockNo order and its missing
    blocks said. See Scans and Scan."""
    return Scans(source, window)
