#!/usr/bin/env bash
# tools/setup's decisions on a machine whose package mirror is half-synced, driven by
# stand-in apt-get, dpkg and dpkg-query commands first on PATH (nothing is installed).
# Each row: what the mirror does, the exit code, and the lines that must and must not be
# printed. Prints "N passed, N failed".
set -u
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
stub=$(mktemp -d)
trap 'rm -rf "$stub"' EXIT

# apt-get: STUB_UPDATE_FAILS=1 fails the update; a package in STUB_BROKEN cannot be
# installed, unless it is also in STUB_MAIN_HAS and the main suite is preferred (-t).
cat >"$stub/apt-get" <<'STUB'
#!/usr/bin/env bash
echo "apt-get $*" >>"$STUB_DIR/calls"
[ "$1" = update ] && { [ -n "${STUB_UPDATE_FAILS:-}" ] && { echo "E: Failed to fetch .../binary-i386/Packages.xz  File has unexpected size"; exit 100; }; exit 0; }
sim="" main="" pkgs=()
while [ $# -gt 0 ]; do
  case "$1" in install|-y|-q|--no-install-recommends) ;; -s) sim=1 ;; -t) main=1; shift ;; *) pkgs+=("$1") ;; esac
  shift
done
for p in "${pkgs[@]}"; do
  case " ${STUB_BROKEN:-} " in *" $p "*)
    case " ${STUB_MAIN_HAS:-} " in *" $p "*) [ -n "$main" ] && continue ;; esac
    echo " $p : Depends: libssl3:i386 (>= 3.0.0) but it is not installable"
    echo "E: Unable to correct problems, you have held broken packages."
    exit 100 ;;
  esac
done
[ -n "$sim" ] || printf '%s\n' "${pkgs[@]}" >>"$STUB_DIR/installed"
STUB
cat >"$stub/dpkg-query" <<'STUB'
#!/usr/bin/env bash
grep -qxF -- "${@: -1}" "$STUB_DIR/installed" 2>/dev/null && printf 'install ok installed'
STUB
printf '#!/bin/sh\n[ "$1" = --print-foreign-architectures ] && echo i386\nexit 0\n' >"$stub/dpkg"
printf '#!/bin/sh\nexec "$@"\n' >"$stub/sudo"
printf '#!/bin/sh\necho ja_JP.utf8\necho en_US.utf8\n' >"$stub/locale"
printf '#!/bin/sh\nexit 0\n' >"$stub/update-alternatives"
chmod +x "$stub"/*

passed=0 failed=0
# row NAME EXPECTED_EXIT MUST_PRINT MUST_NOT_PRINT [VAR=VALUE...]: the stand-ins' settings.
row() {
  local name=$1 want_rc=$2 must=$3 mustnot=$4; shift 4
  rm -f "$stub/calls" "$stub/installed"; touch "$stub/installed"
  [ -n "${PREINSTALLED:-}" ] && printf '%s\n' $PREINSTALLED >"$stub/installed"
  local out rc
  out=$(env PATH="$stub:$PATH" STUB_DIR="$stub" "$@" "$ROOT/tools/setup" 2>&1); rc=$?
  local why=""
  [ "$rc" = "$want_rc" ] || why="exit code $rc, expected $want_rc"
  grep -qE -- "$must" <<<"$out" || why="$why; expected a line matching '$must'"
  [ -n "$mustnot" ] && grep -qE -- "$mustnot" <<<"$out" && why="$why; printed '$mustnot'"
  grep -q -- '--allow-downgrades' "$stub/calls" 2>/dev/null && why="$why; asked apt to downgrade"
  [ -z "$why" ] && [ -n "${CHECK:-}" ] && ! eval "$CHECK" && why="check failed: $CHECK"
  if [ -z "$why" ]; then passed=$((passed + 1)); echo "ok: $name"
  else failed=$((failed + 1)); echo "FAILED: $name: ${why#; }"; echo "$out" | sed 's/^/  | /'; fi
}
installed() { grep -qxF "$1" "$stub/installed"; }

# 1. A good mirror: everything installed in one go.
row "good mirror" 0 '^setup: all packages present$' 'update failed|FAILED'
# 2. The security suite's i386 list fails and wine32:i386 is not installable even from the
#    main suite: said once each, the rest installed, the set-up goes on.
CHECK='installed xvfb && installed wine64 && ! installed wine32:i386' \
row "list fails, only the 32-bit part cannot be had" 0 \
  '^setup: all packages present but wine32:i386.*built and checked here but not run' '^setup: all packages present$|FAILED' \
  STUB_UPDATE_FAILS=1 STUB_BROKEN=wine32:i386
row "apt's reason for the 32-bit part is shown" 0 'wine32:i386 : Depends: libssl3:i386' 'FAILED' STUB_BROKEN=wine32:i386
CHECK='[ "$(grep -c "^apt-get update" "$stub/calls")" = 1 ]' \
row "a failed update is one line and the set-up goes on" 0 '^setup: apt-get update failed \(E: Failed to fetch' 'FAILED' STUB_UPDATE_FAILS=1
# 3. The main suite has a matching i386 set: the 32-bit part is had after all.
CHECK='installed wine32:i386 && grep -q -- "-t $(. /etc/os-release; echo "$VERSION_CODENAME")" "$stub/calls"' \
row "the main suite gives the 32-bit part" 0 '^setup: all packages present$' 'present but' \
  STUB_UPDATE_FAILS=1 STUB_BROKEN=wine32:i386 STUB_MAIN_HAS=wine32:i386
# 4. A build package that cannot be had stops the set-up with its name and apt's reason.
CHECK='! installed cmake' \
row "a build package missing" 1 '^setup: cannot install xvfb:' 'all packages present' STUB_BROKEN="xvfb wine32:i386"
row "apt's reason is shown" 1 'xvfb : Depends: libssl3:i386' 'all packages present' STUB_BROKEN=xvfb
# 5. Nothing missing: apt is not asked at all.
PREINSTALLED=$(sed -n '/^pkgs=(/,/)/p' "$ROOT/tools/setup" | tr -d '()"' | sed 's/pkgs=//; s/\$wine32/wine32:i386/') \
CHECK='[ ! -e "$stub/calls" ]' \
row "nothing missing" 0 '^setup: all packages present$' 'update'

echo "setup decisions: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
