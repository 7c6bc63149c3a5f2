#!/usr/bin/env bash
# Installs everything the build, the tests, the checks and the packages need
# on Debian 12 (run as root): the compilers, GoogleTest and Google Benchmark,
# clang's sanitizers and analysers, both MinGW-w64 cross compilers, Wine of
# both widths, the packet analyser (tshark, dumpcap, editcap) and network
# namespaces for the capture tests, a renderer of SVG (rsvg-convert, with
# netpbm to read its pictures) and a headless browser (chromium) for the
# plot's tests, with playwright-core from npm to drive it (never a browser
# of its own download), and the tools that build and check the packages.
set -euo pipefail
cd "$(dirname "$0")/.."
export DEBIAN_FRONTEND=noninteractive
dpkg --add-architecture i386
apt-get update -qq
# dumpcap for root alone: no question asked while installing.
echo "wireshark-common wireshark-common/install-setuid boolean false" | debconf-set-selections
apt-get install -y -qq cmake g++ libgtest-dev libgmock-dev libbenchmark-dev \
  clang libclang-rt-14-dev clang-tidy cppcheck \
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine32:i386 wine64 \
  tshark wireshark-common iproute2 librsvg2-bin netpbm chromium \
  dpkg-dev man-db unzip curl >/dev/null
# Node.js and npm: the machine's own where it has them (a newer Node than
# Debian's, whose npm would not install beside it), else Debian's.
command -v npm >/dev/null || apt-get install -y -qq nodejs npm >/dev/null
# playwright-core, at the version its lock file names; it downloads no
# browser, and the tests point it at Debian's chromium.
npm ci --prefix tests/browser --no-audit --no-fund --loglevel=error >/dev/null
