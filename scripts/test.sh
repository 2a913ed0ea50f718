#!/usr/bin/env bash
# Installs what the project needs, builds every preset, runs every suite
# (native, under the sanitizers, and the Windows programs under Wine) and
# ends with one line: "N passed, N failed, N skipped".
#
# Windows suites: where 32-bit programs run, the product's (win32: the 32-bit
# prefix and WOW64 in the 64-bit prefix) and its 64-bit twin's (win64, in the
# 64-bit prefix). Where they cannot, the twin's alone; the checks that only a
# 32-bit program can show are then counted as skipped.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/setup.sh"
set -e
mkdir -p "$BUILD"
setup_all
configure_and_build host asan win32 win64
say "building the fuzz targets"
cmake --preset fuzz >"$BUILD/configure-fuzz.log" 2>&1 || { cat "$BUILD/configure-fuzz.log"; exit 1; }
cmake --build --preset fuzz -j2 --target fuzz_package fuzz_explode fuzz_swf make_seeds \
  >"$BUILD/build-fuzz.log" 2>&1 || { grep -E -A3 'error' "$BUILD/build-fuzz.log" | head -n 40; exit 1; }
set +e

passed=0
failed=0
skipped=0
status=0
run_suite() { # preset [ctest arguments]
  local preset=$1 log="$BUILD/ctest-$1.log"
  shift
  say "running the $preset tests"
  ctest --preset "$preset" -j2 --timeout 300 "$@" >"$log" 2>&1
  local code=$?
  grep -E '\*\*\*(Failed|Exception|Timeout|Not Run)|\((Failed|Timeout|Not Run)\)' "$log" | head -n 40
  local line
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
  if [ -z "$line" ]; then
    echo "no test summary from the $preset suite" >&2
    tail -n 30 "$log"
    failed=$((failed + 1))
    status=1
    return
  fi
  local bad total skip
  bad=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
  total=$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$line")
  skip=$(grep -c -E '^[[:space:]]*[0-9]+ - .* \(Skipped\)$' "$log")
  if [ "$skip" -gt 0 ]; then echo "$preset: $line ($skip of them skipped)"; else echo "$preset: $line"; fi
  passed=$((passed + total - bad - skip))
  failed=$((failed + bad))
  skipped=$((skipped + skip))
  [ "$code" -eq 0 ] || status=1
}

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
run_suite host
run_suite asan
if [ "$RUNS_32BIT" = yes ]; then
  run_suite win32
  # The WOW64 checks ran for real in the win32 suite.
  run_suite win64 -E '^twin64\.wow64\.'
  windows_suites="win32 (32-bit prefix, WOW64 in the 64-bit prefix) and win64 (the 64-bit twin)"
else
  say "32-bit programs cannot run here ($NO_32BIT_REASON): the win32 suites are not run," \
    "and the checks only a 32-bit program can show (WOW64) are counted as skipped"
  run_suite win64
  windows_suites="win64 (the 64-bit twin) only; win32 not run: $NO_32BIT_REASON"
fi

# Each fuzz target runs for a bounded time from a corpus of valid inputs; a
# crash, leak, hang or out-of-memory is a failure.
run_fuzz() { # target seconds corpus
  local target=$1 seconds=$2 corpus=$3
  say "fuzzing $target for $seconds s"
  if "$BUILD/fuzz/tests/fuzz/$target" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
      -print_final_stats=1 "$corpus" >"$BUILD/fuzz-$target.log" 2>&1; then
    grep -E '^stat::number_of_executed_units' "$BUILD/fuzz-$target.log"
    passed=$((passed + 1))
  else
    tail -n 40 "$BUILD/fuzz-$target.log"
    failed=$((failed + 1))
    status=1
  fi
}
mkdir -p "$BUILD/fuzz/corpus/package" "$BUILD/fuzz/corpus/explode" "$BUILD/fuzz/corpus/swf"
"$BUILD/fuzz/tests/fuzz/make_seeds" "$BUILD/fuzz/corpus/package" "$BUILD/fuzz/corpus/explode" \
  "$BUILD/fuzz/corpus/swf"
run_fuzz fuzz_package 60 "$BUILD/fuzz/corpus/package"
run_fuzz fuzz_explode 30 "$BUILD/fuzz/corpus/explode"
run_fuzz fuzz_swf 30 "$BUILD/fuzz/corpus/swf"

stop_all
echo "Windows suites run: $windows_suites"
echo "$passed passed, $failed failed, $skipped skipped"
[ "$status" -eq 0 ] && [ "$failed" -eq 0 ]
