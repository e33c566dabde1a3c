@echo off
rem Registers the stand-in database server and its proxy/stub from this folder.
"%~dp0DatabaseServer.exe" /RegServer
if errorlevel 1 (
  echo DatabaseServer could not be registered.
  exit /b 1
)
echo DatabaseServer registered.
