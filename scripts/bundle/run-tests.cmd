@echo off
rem Runs Pellmark's tests on this Windows: every test program the system can start, a line
rem a program, then "N passed, N failed, N skipped"; exits with 1 when anything failed. Needs no
rem administrator, installs nothing, and leaves nothing behind.
setlocal
rem The runner of the system's own width: on 64-bit Windows the x86_64 one, which starts both.
set "arch=i686"
if /i "%PROCESSOR_ARCHITECTURE%"=="AMD64" set "arch=x86_64"
if /i "%PROCESSOR_ARCHITEW6432%"=="AMD64" set "arch=x86_64"
"%~dp0%arch%\runtests.exe"
exit /b %errorlevel%
