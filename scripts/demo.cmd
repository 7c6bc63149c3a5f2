@echo off
rem Shows telegram-receiver at work without a scanner. telegram-sender starts
rem the receiver, waits for its banner, plays the scanner with a whole run of
rem 1000 telegrams and passes the report on; the demo ends with the
rem receiver's exit status. Arguments go to telegram-sender, for example
rem   demo.cmd --scans 100 --blocks 9 --size 1420
rem The programs are taken from the first of these folders whose programs
rem run on this computer: beside this script (as unpacked from the .zip),
rem then the build folders build-win32, build-win64 and build-msvc\Release.
setlocal
set "bin="
for %%d in ("%~dp0." "%~dp0..\build-win32" "%~dp0..\build-win64" "%~dp0..\build-msvc\Release") do (
  if not defined bin call :try "%%~fd"
)
if not defined bin (
  echo demo: no telegram-receiver.exe that runs here, beside this script or in build-win32, build-win64 or build-msvc\Release>&2
  exit /b 2
)
rem Started by a double click, cmd.exe runs this script alone (/c) in a
rem window that closes at the end; the sender then waits for a key first.
set "keep="
echo %cmdcmdline% | find /i " /c " >nul
if not errorlevel 1 set "keep=--keep-window"
"%bin%\telegram-sender.exe" --receiver "%bin%\telegram-receiver.exe" %keep% %*
exit /b %errorlevel%

rem Takes the folder %1 if its programs are there and run here.
:try
if not exist "%~1\telegram-receiver.exe" exit /b 0
"%~1\telegram-sender.exe" --version >nul 2>&1
if not errorlevel 1 set "bin=%~1"
exit /b 0
