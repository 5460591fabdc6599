#!/usr/bin/env python3
"""Peak memory of the SMTP service while big messages arrive: PARALLEL clients each send one
message of SIZE MB at once (MaxMessageSize raised to 300 MB, no sink bound, so each message
also gets its drop copy), and the script prints the service's peak resident size (VmHWM)
before and after, the time the load took and whether every copy arrived whole.

The text is made as it is sent, so the script itself holds no whole message. Not part of
the test run:

    python3 bench/smtp_memory_bench.py [SIZE_MB [PARALLEL]]   (VREL_BIN defaults to build/bin)
"""

import os
import pathlib
import socket
import sys
import threading
import time

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "tests" / "e2e"))
os.environ.setdefault("VREL_BIN", str(pathlib.Path(__file__).resolve().parent.parent
                                      / "build" / "bin"))

from machine import wait_until  # noqa: E402
from mail_system import MailMachine  # noqa: E402

LINE = b"x" * 76 + b"\r\n"
# Lines that need dot-unstuffing and line-end repair, so the service does its whole work.
DOTTED = b"..a line that starts with a dot\r\nbare\nline ends\r\n"
CHUNK = LINE * 800 + DOTTED


def read_reply(stream):
    while True:
        line = stream.readline()
        if not line or line[3:4] != b"-":
            return line


def send_big(port, recipient, size, replies):
    with socket.create_connection(("127.0.0.1", port), timeout=300) as client:
        stream = client.makefile("rb")
        read_reply(stream)
        for command in (b"HELO bench", b"MAIL FROM:<bench@remote.test>",
                        b"RCPT TO:<" + recipient.encode() + b">", b"DATA"):
            client.sendall(command + b"\r\n")
            read_reply(stream)
        client.sendall(b"Subject: big\r\n\r\n")
        for _ in range(size // len(CHUNK)):
            client.sendall(CHUNK)
        client.sendall(b".\r\n")
        replies.append(read_reply(stream))


def status_kib(pid, field):
    for line in pathlib.Path(f"/proc/{pid}/status").read_text().splitlines():
        if line.startswith(field + ":"):
            return int(line.split()[1])
    return 0


def main():
    size = int(sys.argv[1]) * 1024 * 1024 if len(sys.argv) > 1 else 200 * 1024 * 1024
    parallel = int(sys.argv[2]) if len(sys.argv) > 2 else 4
    m = MailMachine()
    try:
        m.install_smtp()
        m.winhost("mb", "set", "smtpsvc/1", "MaxMessageSize", str(300 * 1024 * 1024),
                  "/t", "DWORD")
        (pid,) = m.program_pids("smtpsvc")
        before = status_kib(pid, "VmHWM")
        replies, threads = [], []
        start = time.monotonic()
        for n in range(parallel):
            threads.append(threading.Thread(
                target=send_big, args=(m.smtp_port, m.address(f"user{n}"), size, replies)))
            threads[-1].start()
        for thread in threads:
            thread.join()
        drop = m.mail_folder("Drop")
        delivered = wait_until(lambda: len(list(drop.glob("*.eml"))) == parallel, limit=600)
        spent = time.monotonic() - start
        peak = status_kib(pid, "VmHWM")
        sizes = sorted(f.stat().st_size for f in drop.glob("*.eml"))
        print(f"{parallel} parallel messages of {size / 2**20:.0f} MB: replies "
              f"{sorted(r[:3].decode() for r in replies)}, {len(sizes)} drop copies "
              f"({'all' if delivered else 'not all'} delivered, {sizes[0] if sizes else 0}.."
              f"{sizes[-1] if sizes else 0} bytes), {spent:.1f} s")
        print(f"smtpsvc VmHWM: {before / 1024:.1f} MiB at start, {peak / 1024:.1f} MiB after "
              f"the load (goal: under 64 MiB)")
    finally:
        m.close()


if __name__ == "__main__":
    main()
