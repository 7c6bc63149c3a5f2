"""Reads a capture into one 2-D array, scans x values, of the scans that
came whole, and says which did not.

usage: python3 capture_to_array.py CAPTURE [PORT]
"""

import sys

import numpy

import tgr

path = sys.argv[1]
port = int(sys.argv[2]) if len(sys.argv) > 2 else tgr.PORT

with tgr.Capture(path, port) as capture:
    whole, partial = [], []
    for scan in tgr.scans(capture):
        (whole if scan.complete else partial).append(scan)

array = numpy.stack([scan.values for scan in whole]) if whole else numpy.empty((0, 0), numpy.uint16)
print(f"{array.shape[0]} scans x {array.shape[1]} values, mean {array.mean() if array.size else 0:.1f}")
for scan in partial:
    print(f"scan {scan.scan_no} left out: blocks missing {scan.missing + scan.missing_tail}")
