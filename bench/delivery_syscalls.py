#!/usr/bin/env python3
"""System calls per delivered message: the SMTP service is traced with `strace -c -f` (so the
agent COM starts from it is traced too) while messages of 4 KB go over SMTP to one local
mail user with the agent bound, until every one is in the mailbox. Two loads, of SMALL and
LARGE messages, each on a fresh machine; the difference divided by LARGE - SMALL is what one
more message costs, without the start of the agent. Prints the calls per message of the
file-system calls that matter and of all calls together. Not part of the test run:

    python3 bench/delivery_syscalls.py [SMALL [LARGE]]   (VREL_BIN defaults to build/bin)
"""

import collections
import os
import pathlib
import signal
import smtplib
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
from mail_flow_bench import count_files, message, wait_until, MailMachine  # noqa: E402

SHOWN = ("fsync", "fdatasync", "openat", "newfstatat", "statx", "fstat", "fcntl", "rename",
         "renameat2", "getdents64", "pread64", "write", "read", "unlink")


def parse_summary(text):
    calls = collections.Counter()
    for line in text.splitlines():
        parts = line.split()
        if len(parts) >= 5 and parts[0][0].isdigit() and parts[-1] != "total":
            calls[parts[-1]] += int(parts[3])
    return calls


def traced_load(count):
    m = MailMachine()
    try:
        m.install_smtp()
        m.add_users(["ann"], "Secret1")
        m.bind_agent()
        (pid,) = m.program_pids("smtpsvc")
        output = tempfile.NamedTemporaryFile(suffix=".strace", delete=False).name
        tracer = subprocess.Popen(["strace", "-c", "-f", "-o", output, "-p", str(pid)],
                                  stderr=subprocess.DEVNULL)
        time.sleep(1)  # strace attaches every thread before the load begins
        with smtplib.SMTP("127.0.0.1", m.smtp_port, timeout=120) as client:
            for n in range(count):
                client.sendmail("bench@remote.test", [m.address("ann")], message(n).encode())
        if not wait_until(lambda: count_files(m.mailbox("ann")) >= count, limit=600):
            raise SystemExit("not every message arrived")
        # The queue files are removed just after the copy; let the service finish.
        wait_until(lambda: count_files(m.mail_folder("Queue")) == 0, limit=60)
        tracer.send_signal(signal.SIGINT)
        tracer.wait()
        calls = parse_summary(pathlib.Path(output).read_text())
        os.unlink(output)
        return calls
    finally:
        m.close()


def main():
    small = int(sys.argv[1]) if len(sys.argv) > 1 else 50
    large = int(sys.argv[2]) if len(sys.argv) > 2 else 250
    few, many = traced_load(small), traced_load(large)
    per = {name: (many[name] - few[name]) / (large - small) for name in set(few) | set(many)}
    print(f"system calls per delivered message (SMTP service and agent; {large} - {small} "
          "messages of 4 KB to one mail user):")
    for name in SHOWN:
        print(f"  {name:12} {per.get(name, 0):7.1f}")
    print(f"  {'all':12} {sum(per.values()):7.1f}")


if __name__ == "__main__":
    main()
