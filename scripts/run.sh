#!/usr/bin/env bash
# Builds the suite and runs it on the default machine (or $VREL_MACHINE): initialises the
# machine, installs the POP3 service when it is not installed, and boots the machine in the
# foreground (its automatic services start; Ctrl-C stops them with a normal stop).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/install-deps.sh
scripts/build.sh build
bin=$root/build/bin
machine=${VREL_MACHINE:-${XDG_DATA_HOME:-$HOME/.local/share}/vrel-pop3/machine}

"$bin/winhost" init
if ! "$bin/winhost" sc qc vrelP3Service >/dev/null; then
    "$bin/popservice" /INSTALL /SILENT
    echo "installed the service vrelP3Service"
fi

services=$machine/drive_c/WINDOWS/system32/drivers/etc/services
port=$(awk '$1 == "pop3" { split($2, p, "/"); print p[1]; exit }' "$services")
cat <<TEXT
POP3 service on port ${port:-110} (the entry "pop3" of $services).
Add a mail user:
    $bin/winhost net user NAME PASSWORD /add
    $bin/winhost net localgroup Users NAME /add
Daily log: LoggingEnabled=1 turns it on:
    $bin/winhost reg add "HKLM\\Software\\Tavimere\\POP3 Server" /v LoggingEnabled /t REG_DWORD /d 1 /f
TEXT
exec "$bin/winhost" boot
