@echo off
rem OrvelClientTool test kit: runs every test program of this folder as the current
rem user and writes report.txt here. Needs no administrator rights; leaves nothing
rem registered or installed.
cd /d "%~dp0"
rem Started from inside the zip, Windows has unpacked this file alone into a temporary
rem folder: nothing else is there.
if not exist "%~dp0bin\testkit.exe" (
  echo The test kit is not unpacked. Right-click the zip, choose "Extract All...", and
  echo start run-tests.cmd from the unpacked folder.
  if not defined TESTKIT_UNATTENDED pause
  exit /b 2
)
bin\testkit.exe
set RESULT=%ERRORLEVEL%
if not defined TESTKIT_UNATTENDED pause
exit /b %RESULT%
