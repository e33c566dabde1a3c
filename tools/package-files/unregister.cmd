@echo off
rem Removes the registration of the stand-in database server and its proxy/stub.
"%~dp0DatabaseServer.exe" /UnregServer
echo DatabaseServer unregistered.
