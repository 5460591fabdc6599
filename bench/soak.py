#!/usr/bin/env python3
"""Soak run of the whole mail system on a machine of its own (SMTP service, agent bound,
POP3 service): POP3 clients and SMTP clients at once for a while, each POP3 client logging
on as its own user, listing and retrieving; each SMTP client sending messages to random
users. Every minute the POP3 service is ended with SIGKILL and started again.

At the end it checks that every message the SMTP service acknowledged is in exactly one
place, the mailbox of its user (or the drop folder, where the SMTP service keeps a
message whose mailbox copy failed); that no mailbox is left busy; and that no process has
more threads or descriptors after the load than at its peak under load. It prints the
figures and exits 1 when a check fails. Not part of the test run:

    python3 bench/soak.py [--seconds 600] [--pop-clients 200] [--smtp-clients 20]
                          [--kill-every 60] [--smtp-pause 0.5]

(VREL_BIN defaults to build/bin.)
"""

import argparse
import collections
import os
import pathlib
import poplib
import random
import re
import signal
import smtplib
import sys
import threading
import time

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "tests" / "e2e"))
os.environ.setdefault("VREL_BIN", str(pathlib.Path(__file__).resolve().parent.parent
                                      / "build" / "bin"))

from machine import wait_until  # noqa: E402
from mail_system import MailMachine  # noqa: E402

PASSWORD = "Soak-Pass1"
SENDER = "soak@remote.test"
MARK = re.compile(rb"^X-Soak-Id: (\S+)\r$", re.M)
SETTLE = 10.0  # seconds the processes get to come back to rest after the load
DRAIN_LIMIT = 300.0  # seconds the queue may take to empty after the load


def message(ident, address):
    head = f"From: {SENDER}\r\nTo: {address}\r\nSubject: soak {ident}\r\nX-Soak-Id: {ident}\r\n\r\n"
    return (head + ("soak line " + "x" * 60 + "\r\n") * 25).encode()


def resources(pid):
    """(threads, descriptors) of a process; None once it is gone."""
    try:
        return len(os.listdir(f"/proc/{pid}/task")), len(os.listdir(f"/proc/{pid}/fd"))
    except OSError:
        return None


class Soak:
    def __init__(self, machine, users, args):
        self.m = machine
        self.users = users
        self.args = args
        self.stop = threading.Event()
        self.lock = threading.Lock()
        self.accepted = {}  # message id: user
        self.counts = collections.Counter()
        self.peak = collections.defaultdict(lambda: [0, 0])  # program: [threads, fds]
        self.smtp_minutes = []  # smtpsvc's peak (threads, fds) in each minute

    def count(self, name):
        with self.lock:
            self.counts[name] += 1

    # ---- the clients

    def smtp_client(self, number):
        rng = random.Random(number)
        sent = 0
        while not self.stop.is_set():
            try:
                with smtplib.SMTP("127.0.0.1", self.m.smtp_port, timeout=60) as client:
                    for _ in range(10):
                        sent += 1
                        ident = f"{number}-{sent}"
                        user = rng.choice(self.users)
                        address = self.m.address(user)
                        client.sendmail(SENDER, [address], message(ident, address))
                        with self.lock:
                            self.accepted[ident] = user
                        if self.stop.wait(self.args.smtp_pause):
                            break
            except (OSError, smtplib.SMTPException) as error:
                self.count(f"smtp {type(error).__name__}")
                self.stop.wait(1.0)

    def pop_session(self, user, source, rng):
        client = self.m.connect(timeout=60, source=source)
        try:
            client.user(user)
            client.pass_(PASSWORD)
            count = client.stat()[0]
            client.uidl()
            if count:
                client.retr(rng.randint(1, count))
            client.quit()
        finally:
            client.close()

    def pop_client(self, number):
        rng = random.Random(-number)
        user = self.users[number % len(self.users)]
        # Twenty hosts: one alone may hold only so many sessions of the POP3 service.
        source = f"127.0.0.{10 + number % 20}"
        while not self.stop.is_set():
            try:
                self.pop_session(user, source, rng)
                self.count("pop sessions")
            except poplib.error_proto as error:
                self.count("pop busy" if "busy" in str(error) else "pop -ERR")
            except OSError as error:
                self.count(f"pop {type(error).__name__}")
            self.stop.wait(rng.uniform(0.2, 1.0))

    # ---- the POP3 service's deaths and what every process holds

    def killer(self):
        while not self.stop.wait(self.args.kill_every):
            os.kill(self.m.pid, signal.SIGKILL)
            self.m.wait_for_state("STOPPED")
            self.m.start()
            self.count("popservice kills")

    def sample(self):
        """Each process's threads and descriptors, by program; updates the peaks."""
        now = collections.defaultdict(lambda: [0, 0])
        for program in ("smtpsvc", "popservice", "popagent"):
            for pid in self.m.program_pids(program):
                held = resources(pid)
                if held:
                    now[program] = [max(a, b) for a, b in zip(now[program], held)]
        return now

    def sampler(self):
        began = time.monotonic()
        while not self.stop.wait(1.0):
            now = self.sample()
            with self.lock:
                for program, held in now.items():
                    self.peak[program] = [max(a, b) for a, b in zip(self.peak[program], held)]
                minute = int((time.monotonic() - began) // 60)
                while len(self.smtp_minutes) <= minute:
                    self.smtp_minutes.append([0, 0])
                self.smtp_minutes[minute] = [max(a, b) for a, b in
                                             zip(self.smtp_minutes[minute], now["smtpsvc"])]

    def run(self):
        threads = [threading.Thread(target=self.smtp_client, args=(n,))
                   for n in range(self.args.smtp_clients)]
        threads += [threading.Thread(target=self.pop_client, args=(n,))
                    for n in range(self.args.pop_clients)]
        threads += [threading.Thread(target=self.killer), threading.Thread(target=self.sampler)]
        for thread in threads:
            thread.start()
        deadline = time.monotonic() + self.args.seconds
        while (left := deadline - time.monotonic()) > 0:
            time.sleep(min(10.0, left))
            with self.lock:
                print(f"{self.args.seconds - max(left - 10.0, 0):6.0f} s: "
                      f"{len(self.accepted)} accepted, {dict(self.counts)}", flush=True)
        self.stop.set()
        for thread in threads:
            thread.join()

    # ---- the checks

    def places(self):
        """Where each message id lies: {id: [(place, user or None), ...]}."""
        found = collections.defaultdict(list)
        for user in self.users:
            for path in self.m.mailbox_files(user):
                for ident in MARK.findall(path.read_bytes()):
                    found[ident.decode()].append(("mailbox", user))
        for folder in ("Drop", "Badmail", "Queue"):
            for path in self.m.mail_folder(folder).glob("*.eml"):
                for ident in MARK.findall(path.read_bytes()):
                    found[ident.decode()].append((folder, None))
        return found

    def busy_users(self):
        busy = []
        for user in self.users:
            try:
                client = self.m.connect(timeout=30)
                try:
                    client.user(user)
                    client.pass_(PASSWORD)
                    client.quit()
                finally:
                    client.close()
            except poplib.error_proto as error:
                reply = error.args[0]
                busy.append(reply.decode(errors="replace") if isinstance(reply, bytes) else reply)
        return busy

    def check(self):
        failures = []
        if self.m.state() != "RUNNING":
            self.m.start()
        queue = self.m.mail_folder("Queue")
        drained = wait_until(lambda: not list(queue.glob("*.eml")), limit=DRAIN_LIMIT,
                             interval=0.5)
        if not drained:
            failures.append(f"{len(list(queue.glob('*.eml')))} messages still queued")
        found = self.places()
        missing = [i for i in self.accepted if i not in found]
        twice = [i for i, where in found.items() if len(where) > 1]
        astray = [i for i, user in self.accepted.items() if i in found and
                  found[i][0] not in (("mailbox", user), ("Drop", None))]
        dropped = sum(1 for i in self.accepted if found.get(i, [("", None)])[0][0] == "Drop")
        print(f"accepted {len(self.accepted)}, found {len(found)} "
              f"({dropped} in the drop folder, {len(set(found) - set(self.accepted))} "
              f"unacknowledged but stored)")
        for name, ids in (("lost", missing), ("in more than one place", twice),
                          ("astray", astray)):
            if ids:
                failures.append(f"{len(ids)} accepted messages {name}, e.g. {ids[:5]}")
        busy = self.busy_users()
        if busy:
            failures.append(f"{len(busy)} mailboxes busy, e.g. {busy[:3]}")
        time.sleep(SETTLE)
        after = self.sample()
        for program in sorted(set(self.peak) | set(after)):
            peak, held = self.peak[program], after[program]
            print(f"{program}: threads/descriptors at peak load {peak}, after the load {held}")
            if held[0] > peak[0] or held[1] > peak[1]:
                failures.append(f"{program} grew past its peak load: {held} > {peak}")
        print(f"smtpsvc's peak threads/descriptors minute by minute: {self.smtp_minutes}")
        return failures


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--seconds", type=float, default=600)
    parser.add_argument("--pop-clients", type=int, default=200)
    parser.add_argument("--smtp-clients", type=int, default=20)
    parser.add_argument("--kill-every", type=float, default=60)
    parser.add_argument("--smtp-pause", type=float, default=0.5,
                        help="seconds each SMTP client waits between messages")
    args = parser.parse_args()
    m = MailMachine()
    try:
        m.install_smtp()
        m.bind_agent()
        users = [f"soak{n:03d}" for n in range(args.pop_clients)]
        m.add_users(users, PASSWORD)
        m.install()
        m.start()
        soak = Soak(m, users, args)
        soak.run()
        print(f"load done: {len(soak.accepted)} messages accepted, {dict(soak.counts)}")
        failures = soak.check()
        print("\n".join(failures) if failures else "every check holds")
        return 1 if failures else 0
    finally:
        reports = m.close()
        if reports:
            print(reports)


if __name__ == "__main__":
    sys.exit(main())
