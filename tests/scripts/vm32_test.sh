#!/usr/bin/env bash
# The emulated 32-bit machine's failures end in a message and a failed run,
# never in a hang or a run counted as done: no emulator, no space, a guest
# that cannot start, one that does not boot in time, one that hangs; and a
# work's own exit code comes back. Needs the guest's image (build/vm/), made
# by scripts/test.sh on a machine without 32-bit code. Ends with the line
# "N passed, N failed".
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib/setup.sh"
passed=0
failed=0
scratch=$(mktemp -d)
trap 'vm_stop; rm -rf "$scratch" "$VM_DIR"/selftest-*' EXIT

# expect NAME CODE PATTERN: the last vm_run (output in $scratch/out) ended
# with exit code CODE and said something matching PATTERN.
expect() {
  local name=$1 want=$2 pattern=$3
  if [ "$code" -eq "$want" ] && grep -q -E "$pattern" "$scratch/out"; then
    echo "ok - $name"
    passed=$((passed + 1))
  else
    echo "not ok - $name (exit $code, wanted $want; output:)"
    sed 's/^/    /' "$scratch/out" | tail -n 12
    failed=$((failed + 1))
  fi
}
run() { # name work-text [variable=value...]: vm_run in a subshell
  local name=$1 work=$2
  shift 2
  printf '%s\n' "$work" >"$scratch/work.sh"
  code=0
  (for setting in "$@"; do eval "$setting"; done
   vm_run "selftest-$name" "$scratch/work.sh") >"$scratch/out" 2>&1 || code=$?
}

run work-code 'echo "== guest: the work ran"; exit 7'
expect "the work's own exit code comes back, with its progress lines" 7 '^== guest: the work ran'

run no-emulator 'exit 0' 'PATH=/nonexistent'
expect "no qemu-system-x86_64 is said and fails" 1 'no qemu-system-x86_64'

run no-space 'exit 0' 'VM_SPACE_MB=999999999'
expect "too little space is said and fails" 1 'not enough space for the emulated 32-bit machine'

run no-kernel 'exit 0' "VM_KERNEL=$scratch/none"
expect "a missing kernel is said and fails" 1 'no disk image, kernel or initrd'

printf 'not a kernel' >"$scratch/kernel"
run bad-kernel 'exit 0' "VM_KERNEL=$scratch/kernel"
expect "a guest that cannot start fails with the emulator's words" 1 'ended without finishing its work'

run slow-boot 'exit 0' 'VM_BOOT_SECONDS=2'
expect "a guest that does not boot in time is stopped and fails" 1 'did not boot within 2 s; stopped'

started=$SECONDS
run hang 'echo "== guest: hanging"; sleep 100000' 'VM_RUN_SECONDS=60'
expect "a hanging guest is stopped, its console shown, and fails" 1 \
  'did not finish within 60 s; stopped'
if [ $((SECONDS - started)) -le 80 ]; then
  echo "ok - the hanging guest was stopped within its limit"
  passed=$((passed + 1))
else
  echo "not ok - the hanging guest took $((SECONDS - started)) s to stop"
  failed=$((failed + 1))
fi
pgrep -f "selftest-hang" >/dev/null && { echo "not ok - QEMU left running"; failed=$((failed + 1)); }

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
