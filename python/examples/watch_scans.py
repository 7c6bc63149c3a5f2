"""Watches a scanner: prints each scan's mean value as it comes, and what
was lost. Ends with Ctrl-C, or after SECONDS without a telegram.

usage: python3 watch_scans.py [PORT [SECONDS]]
"""

import sys

import tgr

port = int(sys.argv[1]) if len(sys.argv) > 1 else tgr.PORT
seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 10.0

with tgr.Receiver(port, timeout=seconds) as receiver:
    print(f"listening on port {receiver.port}", flush=True)
    try:
        for scan in tgr.scans(receiver):
            missing = "" if scan.complete else f", blocks missing: {scan.missing + scan.missing_tail}"
            print(f"scan {scan.scan_no}: mean {scan.values.mean():.1f} of {scan.values.size} values{missing}",
                  flush=True)
    except TimeoutError as error:
        print(error)
    except KeyboardInterrupt:
        pass
    print(f"lost: {receiver.loss}")
