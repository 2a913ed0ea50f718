#!/usr/bin/env bash
# Installs what the project needs, builds every preset, runs every suite
# (native, under the sanitizers, and the Windows programs under Wine) and
# ends with one line: "N passed, N failed, N skipped".
#
# Windows suites: the product's (win32: the 32-bit prefix and WOW64 in the
# 64-bit prefix) and its 64-bit twin's (win64, in the 64-bit prefix). Where
# this machine cannot run 32-bit programs, the win32 suites run in an emulated
# 32-bit machine (scripts/lib/vm32.sh). With VLX_NO_VM=1 there, the twin's
# suites run alone and the checks that only a 32-bit program can show are
# counted as skipped.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/setup.sh"
set -e
mkdir -p "$BUILD"
setup_all
if [ "$USE_VM" = yes ]; then
  # The guest's image is made from Debian's packages while the builds run.
  vm_build_image >"$BUILD/vm-image.out" 2>&1 &
  image_job=$!
fi
configure_and_build host asan win32 win64
say "building the fuzz targets"
cmake --preset fuzz >"$BUILD/configure-fuzz.log" 2>&1 || { cat "$BUILD/configure-fuzz.log"; exit 1; }
cmake --build --preset fuzz -j2 --target fuzz_package fuzz_explode fuzz_swf fuzz_signature make_seeds \
  >"$BUILD/build-fuzz.log" 2>&1 || { grep -E -A3 'error' "$BUILD/build-fuzz.log" | head -n 40; exit 1; }
set +e

passed=0
failed=0
skipped=0
status=0
run_suite() { # preset [ctest arguments]
  local preset=$1
  shift
  say "running the $preset tests"
  ctest --preset "$preset" -j2 --timeout 300 "$@" >"$BUILD/ctest-$preset.log" 2>&1
  count_suite "$preset" $?
}

# Adds a suite's ctest log to the counts. A suite without a summary could not
# run, and counts as one failure.
count_suite() { # preset exit-code
  local preset=$1 code=$2 log="$BUILD/ctest-$1.log"
  grep -E '\*\*\*(Failed|Exception|Timeout|Not Run)|\((Failed|Timeout|Not Run)\)' "$log" 2>/dev/null | head -n 40
  local line
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" 2>/dev/null | tail -n 1)
  if [ -z "$line" ]; then
    echo "no test summary from the $preset suite" >&2
    [ -f "$log" ] && tail -n 30 "$log"
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

# The win32 suites in the emulated 32-bit machine: the build copied in, both
# prefixes made there, ctest run inside; its log and the window pictures come
# back to build/ as if the suites had run here.
run_suite_in_vm() {
  local log="$BUILD/ctest-win32.log" code=1
  rm -f "$log"
  if wait "$image_job"; then
    cat "$BUILD/vm-image.out"
    say "running the win32 tests in the emulated 32-bit machine"
    local work="$BUILD/vm-tests-work.sh"
    cat >"$work" <<'WORK'
source scripts/lib/setup.sh
RUNS_32BIT=yes
PREFIXES=("$PREFIX32" "$PREFIX64")
setup_wine || exit 1
export VLX_WAIT_SCALE=$VM_WAIT_SCALE
ctest --preset win32 -j2 --timeout $((300 * VM_WAIT_SCALE)) >"$VM_OUT/ctest.log" 2>&1
code=$?
mkdir -p "$VM_OUT/pictures"
cp build/win32/tests/wine/window_*.bmp "$VM_OUT/pictures/" 2>/dev/null
exit $code
WORK
    vm_run win32-tests "$work" win32
    code=$?
    [ -f "$VM_OUT/ctest.log" ] && tr -d '\r' <"$VM_OUT/ctest.log" >"$log"
    cp "$VM_OUT"/pictures/*.bmp "$BUILD/win32/tests/wine/" 2>/dev/null
  else
    cat "$BUILD/vm-image.out"
    echo "the emulated 32-bit machine could not be made: the win32 suites did not run" >&2
  fi
  count_suite win32 "$code"
}

# A suite written as a script whose last line is "N passed, N failed".
run_script_suite() { # name script
  say "running the $1 checks"
  bash "$2" >"$BUILD/$1.log" 2>&1
  count_script_suite "$1" $?
}

count_script_suite() { # name exit-code
  local name=$1 code=$2 log="$BUILD/$1.log" line
  grep -E '^not ok' "$log"
  line=$(tail -n 1 "$log")
  if ! [[ "$line" =~ ^([0-9]+)\ passed,\ ([0-9]+)\ failed$ ]]; then
    echo "no summary from the $name checks" >&2
    tail -n 20 "$log"
    failed=$((failed + 1))
    status=1
    return
  fi
  echo "$name: $line"
  passed=$((passed + BASH_REMATCH[1]))
  failed=$((failed + BASH_REMATCH[2]))
  [ "$code" -eq 0 ] || status=1
}

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
run_suite host
run_suite asan
# The release: the .deb from its installed place; the zip runs in the win32
# suite. The reproducibility check builds the release targets again from a
# second checkout, beside the emulated machine where it runs.
run_script_suite deb "$ROOT/tests/scripts/deb_package_test.sh"
reproducible_job=
if [ "$RUNS_32BIT" = yes ]; then
  run_suite win32
  # The WOW64 checks ran for real in the win32 suite.
  run_suite win64 -E '^twin64\.wow64\.'
  windows_suites="win32 (natively: 32-bit prefix, WOW64 in the 64-bit prefix) and win64 (the 64-bit twin)"
elif [ "$USE_VM" = yes ]; then
  run_suite win64 -E '^twin64\.wow64\.'
  say "building the release targets again from a second checkout, beside the emulated machine"
  bash "$ROOT/tests/scripts/reproducible_build_test.sh" >"$BUILD/reproducible.log" 2>&1 &
  reproducible_job=$!
  run_suite_in_vm
  run_script_suite vm32 "$ROOT/tests/scripts/vm32_test.sh"
  windows_suites="win32 (in the emulated 32-bit machine: 32-bit prefix, WOW64 in the 64-bit prefix)"
  windows_suites+=" and win64 (the 64-bit twin, natively); no 32-bit code here: $NO_32BIT_REASON"
else
  say "32-bit programs cannot run here ($NO_32BIT_REASON) and VLX_NO_VM=1: the win32 suites are" \
    "not run, and the checks only a 32-bit program can show (WOW64) are counted as skipped"
  run_suite win64
  windows_suites="win64 (the 64-bit twin) only; win32 not run: $NO_32BIT_REASON, VLX_NO_VM=1"
fi

if [ -n "$reproducible_job" ]; then
  wait "$reproducible_job"
  count_script_suite reproducible $?
else
  run_script_suite reproducible "$ROOT/tests/scripts/reproducible_build_test.sh"
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
# The signature reader's seed: a real Authenticode signature, made with a
# throwaway certificate.
rm -rf "$BUILD/fuzz/sign-seed"
mkdir -p "$BUILD/fuzz/corpus/signature" "$BUILD/fuzz/sign-seed"
( cd "$BUILD/fuzz/sign-seed" && openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=Seed \
    -addext extendedKeyUsage=codeSigning -keyout k.pem -out c.pem &&
  openssl pkcs12 -export -inkey k.pem -in c.pem -out c.pfx -passout pass: &&
  osslsigncode sign -pkcs12 c.pfx -h sha256 -in "$BUILD/win64/implode/impborl.dll" -out s.dll &&
  osslsigncode extract-signature -in s.dll -out seed.der &&
  cp seed.der "$BUILD/fuzz/corpus/signature/seed.der" ) >/dev/null 2>&1 ||
  echo "no signature seed could be made: fuzz_signature starts from what its corpus already holds" >&2
run_fuzz fuzz_package 60 "$BUILD/fuzz/corpus/package"
run_fuzz fuzz_explode 30 "$BUILD/fuzz/corpus/explode"
run_fuzz fuzz_swf 30 "$BUILD/fuzz/corpus/swf"
run_fuzz fuzz_signature 30 "$BUILD/fuzz/corpus/signature"

stop_all
echo "Windows suites run: $windows_suites"
echo "$passed passed, $failed failed, $skipped skipped"
[ "$status" -eq 0 ] && [ "$failed" -eq 0 ]
