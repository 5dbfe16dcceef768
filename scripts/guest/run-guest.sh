#!/usr/bin/env bash
# Boots the test guest built by build-image.sh under QEMU (software emulation; KVM is not needed)
# and turns its verdict into an exit status: 0 when the guest's tests passed, 1 otherwise, with
# the reason. The guest's console goes to stdout and to OUT/console.log.
#
#   scripts/guest/run-guest.sh [--out DIR] [--timeout SECONDS] [--only WORD]
#
# --only runs just the scenarios whose names contain WORD (no spaces).
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
out=$(cd "$here/../.." && pwd)/build/guest
limit=90
only=
while (( $# )); do
  case $1 in
    --out) out=$2; shift 2 ;;
    --timeout) limit=$2; shift 2 ;;
    --only) only=$2; shift 2 ;;
    *) echo "run-guest: unknown argument $1" >&2; exit 2 ;;
  esac
done

fail() { echo "run-guest: FAILED: $*" >&2; exit 1; }
command -v qemu-system-x86_64 >/dev/null || fail "qemu-system-x86_64 not found (package qemu-system-x86)"
[[ -f $out/kernel/boot && -f $out/initramfs.cpio.gz ]] || fail "no guest image in $out (run build-image.sh)"

case $(cat "$out/kernel/boot") in
  pvh) kernel=$out/kernel/vmlinux ;;
  *) kernel=$out/kernel/bzImage ;;
esac

log=$out/console.log
start=$(date +%s%N)
set +e
timeout --kill-after=5 "$limit" qemu-system-x86_64 \
  -accel tcg -m 512 -smp 2 -nodefaults -display none -serial stdio -no-reboot \
  -device isa-debug-exit,iobase=0xf4,iosize=0x04 \
  -kernel "$kernel" -initrd "$out/initramfs.cpio.gz" \
  -append "console=ttyS0 panic=-1 quiet loglevel=3${only:+ tandemo.only=$only}" < /dev/null 2>&1 | tee "$log"
status=${PIPESTATUS[0]}
set -e
ms=$(( ($(date +%s%N) - start) / 1000000 ))
elapsed=$((ms / 1000)).$(( ms % 1000 / 100 ))

summary=$(grep -aE '^[0-9]+ passed, [0-9]+ failed' "$log" | tail -n1 || true)
case $status in
  1) [[ -n $summary ]] || fail "the guest passed without a summary line"
     echo "run-guest: passed ($summary) in ${elapsed} s" ;;
  3) fail "guest tests failed (${summary:-no summary}); console: $log" ;;
  5) fail "the guest could not load its modules or mount its file systems; console: $log" ;;
  124|137) fail "no verdict within $limit s (hung guest?); console: $log" ;;
  0) fail "the guest rebooted or panicked before giving a verdict; console: $log" ;;
  *) fail "QEMU exited with status $status (failed boot?); console: $log" ;;
esac
