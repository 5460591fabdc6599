#!/usr/bin/env bash
# Builds the suite and runs the whole mail system on the default machine (or $VREL_MACHINE).
# What is not set up yet is set up, as an administrator would on Windows: the SMTP component
# (sysocmgr with an answer file; it starts the SMTP service), the message agent's COM
# registration and its arrival binding, and the POP3 service. Then the machine boots in the
# foreground (its automatic services start; Ctrl-C stops them with a normal stop).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/install-deps.sh
scripts/build.sh build
bin=$root/build/bin
machine=${VREL_MACHINE:-${XDG_DATA_HOME:-$HOME/.local/share}/vrel-pop3/machine}
drive_c=$machine/drive_c

"$bin/winhost" init
if ! "$bin/winhost" sc qc SMTPSVC >/dev/null; then
    printf '[Components]\r\n\r\niis_smtp = on\r\n' >"$drive_c/WINDOWS/temp/vrel-smtp.txt"
    "$drive_c/WINDOWS/system32/sysocmgr" '/i:C:\WINDOWS\inf\sysoc.inf' \
        '/u:C:\WINDOWS\temp\vrel-smtp.txt'
    echo "installed the SMTP component (service SMTPSVC)"
fi
"$bin/popagent" /regserver
if ! "$bin/winhost" seo list | grep -q 'vrelPOP3Service\.MessageAgent'; then
    "$bin/winhost" seo add vrelPOP3Service.MessageAgent /name:"Message Agent for POP3 Service"
    echo "bound the message agent to the SMTP service's arrival event"
fi
if ! "$bin/winhost" sc qc vrelP3Service >/dev/null; then
    "$bin/popservice" /INSTALL /SILENT
    echo "installed the service vrelP3Service"
fi

services=$drive_c/WINDOWS/system32/drivers/etc/services
port() { awk -v name="$1" '$1 == name { split($2, p, "/"); print p[1]; exit }' "$services"; }
domain=$("$bin/winhost" mb get smtpsvc/1 DefaultDomain)
cat <<TEXT
SMTP service on port $(port smtp), POP3 service on port $(port pop3) (the entries "smtp" and
"pop3" of $services); local mail domain $domain.
Add a mail user (its mail goes to NAME@$domain):
    $bin/winhost net user NAME PASSWORD /add
    $bin/winhost net localgroup Users NAME /add
Daily log: LoggingEnabled=1 turns it on:
    $bin/winhost reg add "HKLM\\Software\\Tavimere\\POP3 Server" /v LoggingEnabled /t REG_DWORD /d 1 /f
TEXT
exec "$bin/winhost" boot
