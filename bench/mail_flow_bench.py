#!/usr/bin/env python3
"""End-to-end deliveries per second: messages of 4 KB sent over SMTP to one local mail user,
timed until every one is in the user's mailbox. The SMTP service calls the agent through
COM for each message and releases it after the call, so each message starts a popagent
process (/Automation) of its own.

To show where the time goes it runs the same load twice on fresh machines: once with the
agent bound (the whole chain), once without a binding (the SMTP session, the queue files
and the SMTP service's own drop copy only), and it samples how many agent processes
started. Not part of the test run:

    python3 bench/mail_flow_bench.py [MESSAGES]      (VREL_BIN defaults to build/bin)
"""

import os
import pathlib
import smtplib
import sys
import threading
import time

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "tests" / "e2e"))
os.environ.setdefault("VREL_BIN", str(pathlib.Path(__file__).resolve().parent.parent
                                      / "build" / "bin"))

from machine import wait_until  # noqa: E402
from mail_system import MailMachine  # noqa: E402

BODY_LINE = "x" * 70 + "\r\n"


def message(number):
    head = f"From: bench@remote.test\r\nSubject: message {number}\r\n\r\n"
    body = BODY_LINE * ((4096 - len(head)) // len(BODY_LINE))
    return (head + body).ljust(4094, "y") + "\r\n"


def sample_agents(machine, seen, stop):
    """Records when each agent process was first and last seen (sampled every 2 ms)."""
    while not stop.is_set():
        now = time.monotonic()
        for pid in machine.agent_pids():
            seen.setdefault(pid, [now, now])[1] = now
        time.sleep(0.002)


def run(count, with_agent):
    m = MailMachine()
    try:
        m.install_smtp()
        if with_agent:
            m.bind_agent()
        m.add_users(["ann"], "Secret1")
        done = (lambda: len(m.mailbox_files("ann")) >= count) if with_agent else \
            (lambda: len(list(m.mail_folder("Drop").glob("*.eml"))) >= count)
        seen, stop = {}, threading.Event()
        sampler = threading.Thread(target=sample_agents, args=(m, seen, stop))
        sampler.start()
        texts = [message(n).encode() for n in range(count)]
        start = time.monotonic()
        with smtplib.SMTP("127.0.0.1", m.smtp_port, timeout=60) as client:
            for text in texts:
                client.sendmail("bench@remote.test", [m.address("ann")], text)
        sent = time.monotonic() - start
        if not wait_until(done, limit=600, interval=0.05):
            raise SystemExit("not every message arrived")
        total = time.monotonic() - start
        stop.set()
        sampler.join()
        lives = [last - first for first, last in seen.values()]
        return sent, total, len(seen), sum(lives) / len(lives) if lives else 0.0
    finally:
        m.close()


def main():
    count = int(sys.argv[1]) if len(sys.argv) > 1 else 1000
    sent, total, agents, life = run(count, with_agent=True)
    bare_sent, bare_total, _, _ = run(count, with_agent=False)
    print(f"{count} messages of 4 KB to one mail user")
    print(f"whole chain:      {count / total:8.1f} deliveries/s  ({total:.2f} s; the SMTP "
          f"client was done after {sent:.2f} s; {agents} agent processes seen)")
    print(f"without the agent:{count / bare_total:8.1f} messages/s     ({bare_total:.2f} s to "
          f"the drop folder; the SMTP client was done after {bare_sent:.2f} s)")
    print(f"per message: {1000 * total / count:.2f} ms in all, of them "
          f"{1000 * (total - bare_total) / count:.2f} ms for the agent's start by COM, its "
          f"OnArrival and its end; an agent process was seen alive for {1000 * life:.2f} ms "
          f"on average")


if __name__ == "__main__":
    main()
