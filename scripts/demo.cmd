@echo off
rem Shows telegram-receiver at work without a scanner. telegram-sender starts
rem the receiver, waits for its banner, plays the scanner with a whole run of
rem 1000 telegrams and passes the report on; the demo ends with the
rem receiver's exit status. Arguments go to telegram-sender, for example
rem   demo.cmd --scans 100 --blocks 9 --size 1420
rem The programs are looked for beside this script (as unpacked from the
rem .zip), then in the build directories build-win32 and build-win64.
setlocal
set "bin=%~dp0"
if not exist "%bin%telegram-receiver.exe" set "bin=%~dp0..\build-win32\"
if not exist "%bin%telegram-receiver.exe" set "bin=%~dp0..\build-win64\"
if not exist "%bin%telegram-receiver.exe" (
  echo demo: telegram-receiver.exe is not beside this script, nor in build-win32 or build-win64 1>&2
  exit /b 2
)
"%bin%telegram-sender.exe" --receiver "%bin%telegram-receiver.exe" %*
exit /b %errorlevel%
