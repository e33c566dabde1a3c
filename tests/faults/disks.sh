#!/usr/bin/env bash
# The fault tests' disks: disks.sh setup|cleanup DIR ARCH. Setup mounts a 1 MB tmpfs
# (a disk that fills up) and a read-only one holding an old backup, and maps them into
# the fault tests' prefix as T: and U:. Where this machine does not let the run mount (not root),
# it says why in DIR/disks-unavailable.txt and the tests skip those cases. Cleanup
# unmounts whatever is mounted; setup starts by cleaning up after an earlier run.
set -u
ACTION="$1" DIR="$2" ARCH="$3"
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
# The fault tests run in a prefix of their own (tools/wine-run --own-prefix faults).
DEVICES="$ROOT/build/wineprefix-test-faults-$ARCH/dosdevices"
FULL="$DIR/disks/full" RO="$DIR/disks/ro"

cleanup() {
  rm -f "$DEVICES/t:" "$DEVICES/u:"
  for m in "$FULL" "$RO"; do
    mountpoint -q "$m" 2>/dev/null && umount -l "$m"
  done
  rm -rf "$DIR/disks"
}

cleanup
[ "$ACTION" = cleanup ] && { rm -f "$DIR/disks-unavailable.txt"; exit 0; }

# The prefix is made before anything is put into it (see wine_prepare).
WINE_KIND=test-faults WINE_ARCH="$ARCH"
source "$ROOT/tools/wine-env"
wine_prepare || exit 1
mkdir -p "$FULL" "$RO" "$DEVICES"
if ! why=$(mount -t tmpfs -o size=1m tmpfs "$FULL" 2>&1) || ! why=$(mount -t tmpfs -o size=4m tmpfs "$RO" 2>&1); then
  cleanup
  echo "cannot mount test disks: $why" | tee "$DIR/disks-unavailable.txt"
  exit 0
fi
mkdir -p "$RO/dest/国道改良工事"
printf 'an old backup on a read-only disk' >"$RO/dest/国道改良工事/BOOK0101.mdf"
mount -o remount,ro "$RO"
ln -sfn "$FULL" "$DEVICES/t:"
ln -sfn "$RO" "$DEVICES/u:"
rm -f "$DIR/disks-unavailable.txt"
echo "T: 1 MB disk at $FULL, U: read-only disk at $RO"
