#!/usr/bin/env bash
# Hardening checks, run by CI after the tests:
#  1. the unit and end-to-end suites built with AddressSanitizer and
#     UndefinedBehaviorSanitizer (clang, warnings as errors), any report failing;
#     and a Release build of everything, tests and the Python module
#     included, with g++ and with clang, warnings as errors (the optimiser
#     finds warnings of its own);
#  2. clang-tidy and cppcheck over the project's own code, any finding failing;
#  3. each libFuzzer target (a datagram's report, a capture's replay, a
#     report read back) for FUZZ_SECONDS (default 60), any finding failing.
set -euo pipefail
cd "$(dirname "$0")/.."
fuzz_seconds=${FUZZ_SECONDS:-60}

echo "== Release builds with g++ and clang, warnings as errors"
for compiler in g++ clang++; do
  CXX=$compiler cmake -S . -B build-release-$compiler -DCMAKE_BUILD_TYPE=Release -DTELEGRAM_WERROR=ON \
    -DTELEGRAM_PYTHON=ON -DPython_EXECUTABLE="${TELEGRAM_PYTHON:-/usr/bin/python3}" >/dev/null
  cmake --build build-release-$compiler --parallel --target all receiver-benchmark >/dev/null
  echo "$compiler: built"
done

echo "== Sanitizers: AddressSanitizer and UndefinedBehaviorSanitizer"
CXX=clang++ cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTELEGRAM_SANITIZE=ON \
  -DTELEGRAM_WERROR=ON >/dev/null
# The benchmarks too, which a plain build leaves out.
cmake --build build-sanitize --parallel --target all receiver-benchmark >/dev/null
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-sanitize --output-on-failure

echo "== clang-tidy"
# The fuzz target's compile commands come from its own build.
CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTELEGRAM_FUZZ=ON -DTELEGRAM_WERROR=ON >/dev/null
fuzzers=$(ls fuzz/*_fuzzer.cc)
for fuzzer in $fuzzers; do
  clang-tidy -p build-fuzz --quiet "$fuzzer" 2>&1 | { grep -v 'warnings generated\.$' || true; }
done
# The page built into telegram-plot is data, not code of ours.
files=$(sed -n 's/^ *"file": "\(.*\)".*/\1/p' build-sanitize/compile_commands.json | grep -v '/generated/' | sort -u)
# Findings fail the run (WarningsAsErrors); the counts of system-header
# warnings it passed over are left out.
echo "$files" | xargs -P "$(nproc)" -n 1 clang-tidy -p build-sanitize --quiet 2>&1 |
  { grep -v 'warnings generated\.$' || true; }
# The Python module is built in the Release builds only (a sanitized
# module would need the sanitizers' runtimes loaded into Python).
clang-tidy -p build-release-clang++ --quiet python/src/tgr_module.cc 2>&1 |
  { grep -v 'warnings generated\.$' || true; }
echo "clang-tidy: $(($(echo "$files" | wc -l) + $(echo "$fuzzers" | wc -l) + 1)) files, no findings"

echo "== cppcheck"
# The vendored libraries are others' code, and the page built into
# telegram-plot is data.
cppcheck --project=build-sanitize/compile_commands.json --library=googletest --library=posix \
  --enable=warning,performance,portability,style --inline-suppr --error-exitcode=1 -q \
  --suppressions-list=.cppcheck-suppressions --suppress='*:*third_party/*' -i build-sanitize/generated
# Neither the fuzz targets nor the Windows twins are in that build.
cppcheck -I. --library=posix --enable=warning,performance,portability,style --error-exitcode=1 -q \
  --suppressions-list=.cppcheck-suppressions $fuzzers
cppcheck -D_WIN32 -I. --library=windows --enable=warning,performance,portability,style --error-exitcode=1 -q \
  --suppressions-list=.cppcheck-suppressions $(git ls-files '*-win32.cc')
echo "cppcheck: no findings"

work=$(mktemp -d /tmp/telegram-fuzz.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p build-fuzz/findings
# Each target from its seeds in fuzz/corpus/NAME, its new inputs kept in a
# folder of the run's own; findings go to build-fuzz/findings.
for fuzzer in $fuzzers; do
  name=$(basename "$fuzzer" _fuzzer.cc)
  target=$(echo "$name" | tr _ -)-fuzzer
  echo "== Fuzzing $target for ${fuzz_seconds} s"
  cmake --build build-fuzz --parallel --target "$target" >/dev/null
  mkdir -p "$work/$name"
  # Inputs up to the largest UDP datagram; a capture or a report may be
  # longer, up to a few of them.
  max_len=65507
  [ "$name" = telegram ] || max_len=262144
  if ! build-fuzz/$target -max_len=$max_len -max_total_time="$fuzz_seconds" -print_final_stats=1 \
    -artifact_prefix=build-fuzz/findings/$name- "$work/$name" "fuzz/corpus/$name" >"$work/$name.log" 2>&1; then
    tail -n 60 "$work/$name.log"
    echo "fuzzing $target: a finding (its input is in build-fuzz/findings)" >&2
    exit 1
  fi
  grep -E '^#[0-9]+.*(INITED|DONE)|^stat::' "$work/$name.log"
  echo "fuzzing $target: no findings"
done
