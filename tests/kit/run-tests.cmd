@echo off
rem OrvelClientTool test kit: runs every test program of this folder as the current
rem user and writes report.txt here. Needs no administrator rights; leaves nothing
rem registered or installed.
cd /d "%~dp0"
bin\testkit.exe
set RESULT=%ERRORLEVEL%
if not defined TESTKIT_UNATTENDED pause
exit /b %RESULT%
