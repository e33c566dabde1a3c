#!/usr/bin/env bash
# The zip as a user gets it. check-package.sh MODE ARCH, with ARCH the build (i686, the
# shipped program; x86_64, the test build):
#   static  its programs are Windows executables of that architecture that need no DLL
#           beyond the system's and carry the version record (needs no Wine)
#   run     unpacked into a fresh Wine prefix, the register script registers the stand-in
#           server and OrvelClientTool.exe starts
set -u
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
cd "$ROOT"
source "$ROOT/tests/support/check.sh"
MODE="$1"
ARCH="$2"
case "$ARCH" in
  i686) triple=i686-w64-mingw32; header_expected="PE32 i386"; view=/reg:32 ;;
  x86_64) triple=x86_64-w64-mingw32; header_expected="PE32+ x86-64"; view=/reg:64 ;;
  *) echo "unknown architecture $ARCH"; exit 2 ;;
esac

zip=$(SKIP_BUILD=1 tools/package "$ARCH") || { echo "FAILED: tools/package"; exit 1; }
check "package name" "OrvelClientTool-7.7.0.8.zip" "$(basename "$zip")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
unzip -q "$zip" -d "$work"
dir="$work/OrvelClientTool-7.7.0.8"

if [ "$MODE" = static ]; then
  check "contents" "DatabaseServer.exe DatabaseServerPS.dll OrvelClientTool.exe README-en.txt README-ja.txt dbtool.exe guide-ja.html register.cmd unregister.cmd" \
    "$(cd "$dir" && ls | LC_ALL=C sort | tr '\n' ' ' | sed 's/ $//')"
  # DLLs every Windows has; anything else (libstdc++, libgcc, winpthread) would be missing.
  system_dlls='^(kernel32|user32|gdi32|advapi32|shell32|ole32|oleaut32|comctl32|comdlg32|msvcrt|rpcrt4|shlwapi|uuid)\.dll$'
  for f in OrvelClientTool.exe DatabaseServer.exe DatabaseServerPS.dll dbtool.exe; do
    header=$(python3 - "$dir/$f" <<'PY'
import struct, sys
data = open(sys.argv[1], 'rb').read()
pe = struct.unpack_from('<I', data, 0x3C)[0]
sig = data[pe:pe + 4]
machine = struct.unpack_from('<H', data, pe + 4)[0]
magic = struct.unpack_from('<H', data, pe + 24)[0]
kinds = {(0x14C, 0x10B): 'PE32 i386', (0x8664, 0x20B): 'PE32+ x86-64'}
print(kinds.get((machine, magic), 'other') if sig == b'PE\0\0' else 'not PE')
PY
)
    check "$f is $header_expected" "$header_expected" "$header"
    others=$($triple-objdump -p "$dir/$f" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | grep -v -E "$system_dlls" | tr '\n' ' ')
    check "$f needs no DLL beyond the system's" "" "$others"
    check "$f carries the version record" "FILEVERSION 7, 7, 0, 8" \
      "$($triple-windres -i "$dir/$f" -O rc 2>/dev/null | grep -o 'FILEVERSION 7, 7, 0, 8')"
  done
  finish
  exit
fi

# A fresh prefix, as on a PC that never saw the tool.
export WINE_KIND=test-package WINE_ARCH="$ARCH"
export ROOT
source "$ROOT/tools/wine-env"
rm -rf "$WINEPREFIX"
trap 'wine_stop; rm -rf "$work" "$WINEPREFIX"' EXIT
wine_prepare || { echo "FAILED: no Wine prefix"; exit 1; }
wine_start
C="$WINEPREFIX/drive_c"
mkdir -p "$C/Orvel"
cp -r "$dir" "$C/Orvel/"
wine cmd /c 'C:\Orvel\OrvelClientTool-7.7.0.8\register.cmd' </dev/null >/dev/null 2>&1
check "register.cmd succeeds" 0 $?
# The server registers in its own architecture's view.
clsid='HKCR\CLSID\{4C4C750C-B448-4324-A6F7-03C82272D232}'
wine reg query "$clsid\\LocalServer32" $view </dev/null >/dev/null 2>&1
check "the server class is registered" 0 $?
# The system's values, where its 32-bit installer writes them.
wine reg add 'HKLM\SOFTWARE\OrvelServer' /v SystemType /d CS /f /reg:32 </dev/null >/dev/null 2>&1
wine reg add 'HKLM\SOFTWARE\OrvelServer' /v Mobile /t REG_DWORD /d 1 /f /reg:32 </dev/null >/dev/null 2>&1
wine 'C:\Orvel\OrvelClientTool-7.7.0.8\OrvelClientTool.exe' </dev/null >/dev/null 2>&1 &
tool=$!
menu=$(wine "$WIN_BUILD/bin/uidriver.exe" wait "メンテナンス（クライアント用）" 20000 -- text "メンテナンス（クライアント用）" 2>/dev/null </dev/null | tr -d '\r' | head -1)
check "OrvelClientTool.exe starts and shows the menu" "window: メンテナンス（クライアント用）" "$menu"
wine "$WIN_BUILD/bin/uidriver.exe" press "メンテナンス（クライアント用）" 1 </dev/null >/dev/null 2>&1
ended=1
for _ in $(seq 1 100); do kill -0 $tool 2>/dev/null || { ended=0; break; }; sleep 0.1; done
check "閉じる ends it" 0 $ended
wine cmd /c 'C:\Orvel\OrvelClientTool-7.7.0.8\unregister.cmd' </dev/null >/dev/null 2>&1
wine reg query "$clsid" $view </dev/null >/dev/null 2>&1
check "unregister.cmd removes the class" 1 $?

finish
