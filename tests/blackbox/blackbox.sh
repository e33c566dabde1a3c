#!/usr/bin/env bash
# Black-box checks of OrvelClientTool.exe as built for users (not a test program), in a
# Wine prefix of their own on a virtual X server: the program is started as a user starts
# it, and its windows and message boxes are found, read and pressed from outside.
# blackbox.sh ARCH: the build to check (i686, the shipped one; x86_64, the test build).
set -u
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
cd "$ROOT"
WINE_KIND=blackbox
WINE_ARCH="${1:-x86_64}"
source "$ROOT/tools/wine-env"
B="$WIN_BUILD/bin"
source "$ROOT/tools/xvfb-env"
unset DISPLAY
xvfb_start || exit 1
trap 'wine_stop; xvfb_stop' EXIT
wine_prepare || exit 1
wine_start

source "$ROOT/tests/support/check.sh"
drive() { wine "$B/uidriver.exe" "$@" 2>/dev/null </dev/null | tr -d '\r'; return "${PIPESTATUS[0]}"; }
textof() { drive textof "$1" "$2" | sed '$d'; }   # the text, without the closing "."
reg() { wine reg "$@" /reg:32 >/dev/null 2>&1 </dev/null; }

C="$WINEPREFIX/drive_c"
rm -rf "$C/BB"
mkdir -p "$C/BB/Tools" "$C/BB/Server"
cp "$B/OrvelClientTool.exe" "$C/BB/Tools/"
cp "$B/DatabaseServer.exe" "$B/DatabaseServerPS.dll" "$B/dbtool.exe" "$C/BB/Server/"
TOOL='C:\BB\Tools\OrvelClientTool.exe'
TITLE=OrvelClientTool
MENU="メンテナンス（クライアント用）"

# Starts the tool (or the program $1), its process with the locale $2 (Wine takes the
# ANSI code page from it: en_US.UTF-8 is a PC whose language for non-Unicode programs is
# English, 1252); waits (at most 10 s) for it to end after the steps given.
start_tool() { LC_ALL="${2:-$LC_ALL}" wine "${1:-$TOOL}" >/dev/null 2>&1 </dev/null & tool=$!; }
ended() {
  for _ in $(seq 1 100); do kill -0 "$tool" 2>/dev/null || return 0; sleep 0.1; done
  kill "$tool" 2>/dev/null; return 1
}

echo "== no registry values: the client-only message, then the program ends"
wine 'C:\BB\Server\DatabaseServer.exe' /UnregServer </dev/null >/dev/null 2>&1
reg delete 'HKLM\SOFTWARE\OrvelServer' /f
start_tool
drive wait "$TITLE" 10000 >/dev/null
check "client-only message" "$(printf 'このツールは、施工管理システムのクライアントのみがインストールされている環境で動作します。\nツールを終了します。')" "$(textof "$TITLE" 65535)"
drive press "$TITLE" 1 >/dev/null
ended; check "the program ends after the message" 0 $?

echo "== code page 1252: the manifest still gives the tool Shift-JIS, every text reads right"
start_tool "$TOOL" en_US.UTF-8
drive wait "$TITLE" 10000 >/dev/null
check "client-only message under 1252" "$(printf 'このツールは、施工管理システムのクライアントのみがインストールされている環境で動作します。\nツールを終了します。')" "$(textof "$TITLE" 65535)"
drive press "$TITLE" 1 >/dev/null
ended; check "the program ends after the message" 0 $?

echo "== code page 65001 (a copy whose manifest asks for UTF-8, as Windows 10's option gives): said readably, then the end"
mkdir -p "$C/BB/Utf8"
python3 -c 'import sys; b = open(sys.argv[1], "rb").read(); old = b">ja-JP</activeCodePage>"; assert b.count(old) == 1
open(sys.argv[2], "wb").write(b.replace(old, b">UTF-8</activeCodePage>"))' "$B/OrvelClientTool.exe" "$C/BB/Utf8/OrvelClientTool.exe"
start_tool 'C:\BB\Utf8\OrvelClientTool.exe'
drive wait "$TITLE" 10000 >/dev/null
check "code-page message under 65001" "$(printf '%s\n%s%s%s\n%s\n%s' 'このツールは、日本語の文字コード（シフトJIS）で動作するWindowsでのみ使用できます。' \
  'コントロールパネルの「地域」→「管理」→「システム ロケールの変更」で、「現在のシステム ロケール」を「日本語（日本）」にし、' \
  '「ベータ: ワールドワイド言語サポートで Unicode UTF-8 を使用」をオフにしてから、' 'Windowsを再起動してください。' \
  'Windows 11では、これらの設定を変えなくても動作します。' 'ツールを終了します。')" "$(textof "$TITLE" 65535)"
drive press "$TITLE" 1 >/dev/null
ended; check "the program ends after the message" 0 $?

echo "== the server class not registered: the connection message"
reg add 'HKLM\SOFTWARE\OrvelServer' /v SystemType /d cs /f
reg add 'HKLM\SOFTWARE\OrvelServer' /v Mobile /t REG_DWORD /d 1 /f
start_tool
drive wait "$TITLE" 10000 >/dev/null
check "connection message" "データベースへの接続に失敗しました。 -2147221164" "$(textof "$TITLE" 65535)"
drive press "$TITLE" 1 >/dev/null
ended; check "the program ends after the message" 0 $?

echo "== a complete installation: the menu, the no-BOOK message, the About box, Esc"
wine 'C:\BB\Server\DatabaseServer.exe' /RegServer </dev/null >/dev/null 2>&1
wine 'C:\BB\Server\dbtool.exe' create RariveSystemCommonDB \
  "Z:$(realpath tools/demo-data/RariveSystemCommonDB | tr / '\\')" </dev/null >/dev/null 2>&1
printf '[General]\r\nCarrying=0\r\n' >"$C/BB/RariveMenu.ini"
start_tool
drive wait "$MENU" 15000 >/dev/null
check "menu caption" "$MENU" "$(drive text "$MENU" | head -1 | sed 's/^window: //')"
check "button 閉じる" "閉じる" "$(textof "$MENU" 1)"
check "button 1000" "持ち出し中のBOOKのバックアップ" "$(textof "$MENU" 1000)"
check "button 1015" "環境設定" "$(textof "$MENU" 1015)"
drive press "$MENU" 1000 -- wait "$TITLE" 5000 >/dev/null
check "Carrying 0 gives the no-BOOK message" "持ち出しているBOOKはありません" "$(textof "$TITLE" 65535)"
drive press "$TITLE" 1 -- gone "$TITLE" >/dev/null
drive syscommand "$MENU" 16 -- wait "OrvelClientToolのﾊﾞｰｼﾞｮﾝ情報" 5000 >/dev/null
check "About box text" "OrvelClientTool Version 1.0" \
  "$(drive text "OrvelClientToolのﾊﾞｰｼﾞｮﾝ情報" | grep -o 'OrvelClientTool Version 1.0')"
drive press "OrvelClientToolのﾊﾞｰｼﾞｮﾝ情報" 1 -- gone "OrvelClientToolのﾊﾞｰｼﾞｮﾝ情報" >/dev/null
drive keyto "$MENU" 1 27 >/dev/null   # Esc
ended; check "Esc on the menu ends the program" 0 $?
start_tool "$TOOL" en_US.UTF-8
drive wait "$MENU" 15000 >/dev/null
check "button 1000 under 1252" "持ち出し中のBOOKのバックアップ" "$(textof "$MENU" 1000)"
drive press "$MENU" 1000 -- wait "$TITLE" 5000 >/dev/null
check "the no-BOOK message under 1252" "持ち出しているBOOKはありません" "$(textof "$TITLE" 65535)"
drive press "$TITLE" 1 -- gone "$TITLE" >/dev/null
drive keyto "$MENU" 1 27 >/dev/null
ended; check "Esc on the menu ends the program" 0 $?

echo "== the server ends in the middle of an export: the tool says so once, leaves nothing, still answers"
# A BOOK of about 3 MB, so that the server ends with a partial file written.
BIG="$WINEPREFIX/big"
rm -rf "$BIG" && mkdir -p "$BIG"
{ printf 'T_Index\tWork\n'; for i in $(seq 1 100); do printf '%d\t%s\n' "$i" "$(head -c 30000 /dev/zero | tr '\0' 'a')"; done; } \
  >"$BIG/DailyReportTBL.tsv"
wine 'C:\BB\Server\dbtool.exe' create BOOK0101 "Z:$(realpath "$BIG" | tr / '\\')" </dev/null >/dev/null 2>&1
cp tools/demo-data/CarryInfo.ini "$C/BB/CarryInfo.ini"
printf '[General]\r\nCarrying=1\r\n' >"$C/BB/RariveMenu.ini"
rm -rf "$C/BBOut" && mkdir -p "$C/BBOut"
printf 'the user'"'"'s own file' >"$C/BBOut/memo.txt"
reg add 'HKLM\SOFTWARE\OrvelDatabaseServer' /v FaultOperation /d BackupRestoreDatabase /f
reg add 'HKLM\SOFTWARE\OrvelDatabaseServer' /v FaultExitAfterBytes /t REG_DWORD /d 65536 /f
BACKUP="持ち出し中のBOOKのバックアップ"
crashes=0 hangs=0
start_tool
drive wait "$MENU" 15000 >/dev/null || hangs=$((hangs + 1))
drive press "$MENU" 1000 -- wait "$TITLE" 5000 >/dev/null || hangs=$((hangs + 1))   # the restart prompt
drive press "$TITLE" 1 -- gone "$TITLE" -- wait "$BACKUP" 10000 >/dev/null || hangs=$((hangs + 1))
drive keyto "$BACKUP" 1005 40 >/dev/null   # Down: the first BOOK, 国道改良工事
drive press "$BACKUP" 1007 -- wait "フォルダの参照" 5000 >/dev/null
drive browse "エクスポート先を選択してください。" 'C:\BBOut' -- sleep 500 >/dev/null
drive press "$BACKUP" 1 -- wait "$TITLE" 20000 >/dev/null || hangs=$((hangs + 1))
first=$(textof "$TITLE" 65535)
drive press "$TITLE" 1 -- sleep 300 -- wait "$TITLE" 5000 >/dev/null || hangs=$((hangs + 1))
second=$(textof "$TITLE" 65535)
check "the BOOK's export failed, with the code" "「国道改良工事」のエクスポートに失敗しました。-2147023170" "$first"
check "the server's end is said once" "データベースへの接続に失敗しました。 -2147023170" "$second"
drive press "$TITLE" 1 -- gone "$TITLE" >/dev/null
kill -0 "$tool" 2>/dev/null || crashes=$((crashes + 1))
# Still answering: the backup dialog closes, and so does the menu.
drive press "$BACKUP" 2 -- gone "$BACKUP" 5000 >/dev/null || hangs=$((hangs + 1))
drive press "$MENU" 1 >/dev/null || hangs=$((hangs + 1))
ended || hangs=$((hangs + 1))
check "nothing left in the destination but the user's file" "memo.txt" "$(ls "$C/BBOut" | tr '\n' ' ' | sed 's/ $//')"
check "the user's file as it was" "the user's own file" "$(cat "$C/BBOut/memo.txt")"
partial=$(find "$C/BBOut" -mindepth 1 ! -name memo.txt | wc -l)
lost=0
[ "$(cat "$C/BBOut/memo.txt" 2>/dev/null)" = "the user's own file" ] || lost=1
echo "fault campaign (the real program): 1 cases, data lost: $lost, partial files left: $partial, crashes: $crashes, hangs: $hangs" \
  | tee "$WIN_BUILD/testbin/blackbox-fault-campaign.txt"
reg delete 'HKLM\SOFTWARE\OrvelDatabaseServer' /v FaultOperation /f
reg delete 'HKLM\SOFTWARE\OrvelDatabaseServer' /v FaultExitAfterBytes /f
wine 'C:\BB\Server\DatabaseServer.exe' /UnregServer </dev/null >/dev/null 2>&1

finish
