#!/usr/bin/env bash
# Installs everything the build, the tests, the checks and the packages need
# on Debian 12 (run as root): the compilers, GoogleTest and Google Benchmark,
# clang's sanitizers and analysers, both MinGW-w64 cross compilers, Wine of
# both widths, the packet analyser (tshark, dumpcap, editcap) and network
# namespaces for the capture tests, a renderer of SVG (rsvg-convert, with
# netpbm to read its pictures) and a headless browser (chromium) for the
# plot's tests, with playwright-core from npm to drive it (never a browser
# of its own download), the tools that build and check the packages and the
# library's binary interface (libabigail), and
# Debian's Python with pybind11, numpy and pytest for the Python package.
set -euo pipefail
cd "$(dirname "$0")/.."
export DEBIAN_FRONTEND=noninteractive
dpkg --add-architecture i386
# A mirror caught mid-sync fails an index now and then: try again, and go on
# with the lists there are if one still fails (the install says what is
# missing, if anything is).
for try in 1 2 3; do
  apt-get update -qq && break
  [ $try = 3 ] && echo "warning: some package lists could not be updated; going on with those there are" >&2
  sleep 10
done
# dumpcap for root alone: no question asked while installing.
echo "wireshark-common wireshark-common/install-setuid boolean false" | debconf-set-selections
apt-get install -y -qq cmake g++ libgtest-dev libgmock-dev libbenchmark-dev \
  clang libclang-rt-14-dev clang-tidy cppcheck \
  libboost-dev g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine64 \
  tshark wireshark-common iproute2 librsvg2-bin netpbm chromium \
  dpkg-dev man-db unzip curl pkg-config abigail-tools libmosquitto-dev mosquitto mosquitto-clients \
  python3-dev pybind11-dev python3-pybind11 python3-numpy python3-pytest python3-setuptools python3-wheel \
  python3-build python3-venv python3-pip python3-paho-mqtt >/dev/null
# 32-bit Wine on its own: its packages need the i386 lists to match the
# amd64 ones, which a mirror mid-sync can break for a while. Without it the
# Windows suite runs the 64-bit build (scripts/windows-width.sh says which).
apt-get install -y -qq wine32:i386 >/dev/null ||
  echo "warning: 32-bit Wine could not be installed; the Windows suite will run the 64-bit build" >&2
# Node.js and npm: the machine's own where it has them (a newer Node than
# Debian's, whose npm would not install beside it), else Debian's.
command -v npm >/dev/null || apt-get install -y -qq nodejs npm >/dev/null
# playwright-core, at the version its lock file names; it downloads no
# browser, and the tests point it at Debian's chromium.
npm ci --prefix tests/browser --no-audit --no-fund --loglevel=error >/dev/null
