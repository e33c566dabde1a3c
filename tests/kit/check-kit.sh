#!/usr/bin/env bash
# The Windows test kit from its zip alone, in a fresh Wine prefix that has seen nothing
# of the build: run-tests.cmd runs every program, and the report must agree with the
# programs (each one's every test reported, none failed, every skip with its reason) and
# the run must leave the prefix as it found it (no registration, no keys, no files but
# the report and the results, no server running). It is run as a PC's user runs it:
# unzipped onto the desktop, into a folder with a blank and Japanese characters, of a
# user whose name Shift-JIS cannot spell (𠮷田: the runner then runs the programs from a
# copy outside the profile). Wine names the profile after USER and links its desktop to
# $HOME/Desktop, here a folder of the check's own.
# check-kit.sh ARCH
set -u
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
cd "$ROOT"
source "$ROOT/tests/support/check.sh"
WINE_KIND=test-kit
WINE_ARCH="${1:-x86_64}"
source "$ROOT/tools/wine-env"
zip=$(SKIP_BUILD=1 tools/package-tests "$WINE_ARCH") || { echo "FAILED: the kit could not be packed"; exit 1; }
export USER=𠮷田 LOGNAME=𠮷田 HOME="$ROOT/build/windows-$WINE_ARCH/testkit/home"
rm -rf "$WINEPREFIX" "$HOME"
mkdir -p "$HOME/Desktop"
wine_prepare || exit 1
wine_start
trap wine_stop EXIT
C="$WINEPREFIX/drive_c"
folder="受け取り 2026"
unzip -q "$zip" -d "$HOME/Desktop/$folder" || { echo "FAILED: the zip did not unpack"; exit 1; }
KIT="$HOME/Desktop/$folder/OrvelClientToolTestKit"
WKIT="C:\\users\\$USER\\Desktop\\$folder\\OrvelClientToolTestKit"
check "the kit lies on the user's desktop" "$(realpath "$KIT")" \
  "$(realpath "$(wine winepath -u "$WKIT" </dev/null 2>/dev/null)")"
before=$(cd "$KIT" && find . | sort)
classes_before=$(wine reg query 'HKCU\Software\Classes' /s 2>/dev/null </dev/null | tr -d '\r' | sort)

# A standard user registers the server for itself: the per-user form writes the class and
# the interface's proxy under HKCU\Software\Classes alone and takes them away again.
# (Wine 8 reads no per-user classes, so under Wine the kit's programs register for the
# machine; this is where the per-user form is shown.)
clsid='{4C4C750C-B448-4324-A6F7-03C82272D232}'
wine "$WKIT\\bin\\DatabaseServer.exe" /RegServer /PerUser </dev/null >/dev/null 2>&1
check "per-user registration: exit code" 0 $?
check "per-user registration: the class's server" 1 \
  "$(wine reg query "HKCU\\Software\\Classes\\CLSID\\$clsid\\LocalServer32" </dev/null 2>/dev/null | grep -c 'DatabaseServer.exe')"
check "per-user registration: the interface's proxy" 1 \
  "$(wine reg query 'HKCU\Software\Classes\Interface' /s </dev/null 2>/dev/null | tr -d "\r" | grep -c -i "DatabaseServer$")"
check "per-user registration: nothing for the machine" 1 \
  "$(wine reg query "HKLM\\Software\\Classes\\CLSID\\$clsid" </dev/null >/dev/null 2>&1; echo $?)"
wine "$WKIT\\bin\\DatabaseServer.exe" /UnregServer /PerUser </dev/null >/dev/null 2>&1
check "per-user registration taken away" "$classes_before" \
  "$(wine reg query 'HKCU\Software\Classes' /s 2>/dev/null </dev/null | tr -d '\r' | sort)"

# What a run that was cut off (the window closed) leaves: the next run takes it away.
wine "$WKIT\\bin\\DatabaseServer.exe" /RegServer /PerUser </dev/null >/dev/null 2>&1
# (a run cut off in the fault tests leaves a fault set for the server: a run that did not
# clean up first would see every OpenDatabase refused)
key='HKCU\Software\OrvelTestKit\Machine\SOFTWARE\OrvelDatabaseServer'
wine reg add "$key" /v FaultOperation /d OpenDatabase /f </dev/null >/dev/null 2>&1
wine reg add "$key" /v FaultCode /t REG_DWORD /d 1004 /f </dev/null >/dev/null 2>&1
mkdir -p "$KIT/testbin/app_tests/data"
printf 'left' >"$KIT/testbin/app_tests/data/.left" && printf 'left' >"$KIT/testbin/app_tests/bin/Dbaccess.ini"

# The kit sets what the programs need itself.
start=$(date +%s)
env -u OANOCACHE TESTKIT_UNATTENDED=1 "$(wine_loader "$WINE_ARCH")" cmd /c "$WKIT\\run-tests.cmd" \
  </dev/null >"$ROOT/build/windows-$WINE_ARCH/testkit/run.log" 2>&1
rc=$?
took=$(( $(date +%s) - start ))
report="$KIT/report.txt"
check "run-tests.cmd exit code" 0 "$rc"
[ -f "$report" ] || { echo "FAILED: no report.txt"; tail -30 "$ROOT/build/windows-$WINE_ARCH/testkit/run.log"; exit 1; }
tr -d '\r' <"$report" | sed 's/^/  | /'
closing=$(tr -d '\r' <"$report" | tail -1)
check "no failure in the report" 0 "$(echo "$closing" | sed -n 's/.* \([0-9]*\) failed.*/\1/p')"
check "every skip has a reason" 0 "$(grep -c 'no reason given' "$report")"
check "the programs ran from a copy the code page can spell" 1 "$(grep -c 'cannot spell: its programs ran from a copy' "$report")"
check "tests named by their place in the project, not the build machine's folders" 0 "$(grep -c "$ROOT" "$report")"

# Every test of every program is in its results, as the program itself lists them.
for program in "$KIT"/testbin/*/bin/*.exe; do
  name=$(basename "$program" .exe)
  listed=$(wine "$program" --gtest_list_tests </dev/null 2>/dev/null | tr -d '\r' | grep -c '^  ')
  reported=$(grep -c '<testcase ' "$KIT/results/$name.xml" 2>/dev/null)
  check "$name: tests in the report" "$listed" "${reported:-0}"
  check "$name: a row in the report" 1 "$(grep -c "^  $name " "$report")"
done

# As it found the prefix.
after=$(cd "$KIT" && find . | grep -v -e '^./results' -e '^./report.txt$' | sort)
check "files after the run (but the report and results)" "$before" "$after"
# Nothing reached the machine's keys (the kit's user could not have written them).
for view in 32 64; do
  for key in OrvelServer OrvelDatabaseServer; do
    check "HKLM\\SOFTWARE\\$key ($view-bit view) untouched" 1 \
      "$(wine reg query "HKLM\\SOFTWARE\\$key" /reg:$view </dev/null >/dev/null 2>&1; echo $?)"
  done
done
check "the folders made outside the profile are gone" 0 "$(ls -A "$C" | grep -c -i '^OrvelTestKit$')"
check "the kit's keys are gone" 1 "$(wine reg query 'HKCU\Software\OrvelTestKit' </dev/null >/dev/null 2>&1; echo $?)"
check "the user's classes as before" "$classes_before" \
  "$(wine reg query 'HKCU\Software\Classes' /s 2>/dev/null </dev/null | tr -d '\r' | sort)"
running=0
for pid in $(pgrep -f 'DatabaseServer.exe'); do
  tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX" && running=$((running + 1))
done
check "no stand-in server running in the prefix" 0 "$running"

# A kit whose programs are missing: said, and no success.
mv "$KIT/testbin" "$KIT/testbin.away"
env -u OANOCACHE TESTKIT_UNATTENDED=1 "$(wine_loader "$WINE_ARCH")" cmd /c "$WKIT\\run-tests.cmd" </dev/null >/dev/null 2>&1
check "no program found: run-tests.cmd exit code" 1 $?
check "no program found: said in the report" 1 "$(grep -c 'no test program was found' "$report")"
mv "$KIT/testbin.away" "$KIT/testbin"
echo "test kit: $(echo "$closing"), in $took s (the zip alone, a fresh prefix)"
finish
