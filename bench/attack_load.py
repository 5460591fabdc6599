#!/usr/bin/env python3
"""Attack load: what one or two hosts can take from the services' real users. Each attack
runs on a machine of its own (SMTP service and POP3 service, the password hash at the
machine's own cost) while a real user on 127.0.0.1 logs on every second, takes STAT and
RETR 1 and quits; the script prints the real user's logon times (median and max, connect
to the PASS reply) with the attack's own figures. Not part of the test run:

    python3 bench/attack_load.py [--attacks 1 2 3 4] [--seconds 30] [--scale 1]

1. 200 connections from 127.0.0.2 guessing passwords for a name that does not exist:
   guesses a second and popservice's CPU.
2. From 127.0.0.3 one client sending a byte a second and one sending NOOP every 6 s
   before logging on (how long each stays connected), and 1500 idle connections from
   127.0.0.2 (how many popservice greets and holds).
3. 3000 idle connections from sixty addresses, opened and closed: popservice's threads and
   descriptors (and those of machine.db) at rest before, with all open, and after.
4. 60 idle SMTP connections from 127.0.0.3 and 60 from 127.0.0.4 against smtpsvc: a client
   from 127.0.0.5 tries every second (served with 220, or turned away).

--scale runs the machine's clock faster (VREL_CLOCK_SCALE), so that the services' minutes
of time-out pass within the run. VREL_BIN defaults to build/bin; a Release build gives the
figures.
"""

import argparse
import os
import pathlib
import socket
import statistics
import sys
import threading
import time

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "tests" / "e2e"))
os.environ.setdefault("VREL_BIN", str(pathlib.Path(__file__).resolve().parent.parent
                                      / "build" / "bin"))

from mail_system import MailMachine  # noqa: E402

USER, PASSWORD = "real", "Real-Pass1"
MACHINE_HASH_COST = 5  # the machine's own default; the tests' machines use 1
MESSAGE = "From: a@example.com\r\nSubject: mail\r\n\r\n" + "line of mail text\r\n" * 200


def connect(port, source, timeout=30):
    return socket.create_connection(("127.0.0.1", port), timeout, source_address=(source, 0))


class RealUser(threading.Thread):
    """Logs on every second and fetches a message; notes each logon's time or failure."""

    def __init__(self, machine, stop):
        super().__init__(daemon=True)
        self.m, self.stop = machine, stop
        self.times, self.failures = [], []

    def run(self):
        while not self.stop.is_set():
            began = time.monotonic()
            try:
                client = self.m.logon(USER, PASSWORD, timeout=30, source="127.0.0.1")
                self.times.append(time.monotonic() - began)
                client.stat()
                client.retr(1)
                client.quit()
            except Exception as error:  # every failure is a figure of the run
                self.failures.append(f"{type(error).__name__}: {error}"[:80])
            self.stop.wait(max(0.0, 1.0 - (time.monotonic() - began)))

    def figures(self):
        times = sorted(self.times)
        return {
            "logons": len(times),
            "logon median ms": round(statistics.median(times) * 1000, 1) if times else None,
            "logon max ms": round(times[-1] * 1000, 1) if times else None,
            "failures": len(self.failures),
            "first failure": self.failures[0] if self.failures else None,
        }


def cpu_seconds(pid):
    fields = pathlib.Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def resources(pid):
    """Threads, descriptors and descriptors of machine.db of a process."""
    fds = pathlib.Path(f"/proc/{pid}/fd")
    store = 0
    for fd in fds.iterdir():
        try:
            store += os.readlink(fd).endswith("machine.db")
        except OSError:
            pass
    return {"threads": len(os.listdir(f"/proc/{pid}/task")), "fds": len(os.listdir(fds)),
            "machine.db fds": store}


# ---- the attacks; each returns its figures

def guessing(m, args, stop):
    guesses, turned_away = [0], [0]
    lock = threading.Lock()

    def guesser(number):
        while not stop.is_set():
            try:
                with connect(m.port, "127.0.0.2") as sock:
                    stream = sock.makefile("rb")
                    if not stream.readline().startswith(b"+OK"):
                        with lock:
                            turned_away[0] += 1
                        continue
                    while not stop.is_set():
                        sock.sendall(f"USER nobody{number}\r\nPASS guess\r\n".encode())
                        stream.readline()
                        reply = stream.readline()
                        if not reply.startswith(b"-ERR bad login"):
                            break
                        with lock:
                            guesses[0] += 1
            except OSError:
                stop.wait(0.1)

    threads = [threading.Thread(target=guesser, args=(n,), daemon=True) for n in range(200)]
    for thread in threads:
        thread.start()
    cpu, began = cpu_seconds(m.pid), time.monotonic()
    stop.wait(args.seconds)
    elapsed = time.monotonic() - began
    return {"guesses/s": round(guesses[0] / elapsed, 2),
            "connections turned away/s": round(turned_away[0] / elapsed),
            "popservice CPU %": round(100 * (cpu_seconds(m.pid) - cpu) / elapsed),
            "popservice threads": resources(m.pid)["threads"]}


def flood_and_trickle(m, args, stop):
    lasted = {}

    def trickler(name, piece, interval):
        began = time.monotonic()
        try:
            with connect(m.port, "127.0.0.3", timeout=1) as sock:
                sock.recv(1024)
                while not stop.is_set():
                    sock.sendall(piece)
                    ends = time.monotonic() + interval
                    while (left := ends - time.monotonic()) > 0:
                        sock.settimeout(left)
                        try:
                            if not sock.recv(1024):
                                raise ConnectionResetError
                        except socket.timeout:
                            break
        except OSError:
            lasted[name] = round(time.monotonic() - began, 1)

    threads = [threading.Thread(target=trickler, args=("byte a second", b"N", 1.0), daemon=True),
               threading.Thread(target=trickler, args=("NOOP every 6 s", b"NOOP\r\n", 6.0),
                                daemon=True)]
    for thread in threads:
        thread.start()
    idle = []
    for _ in range(1500):
        try:
            idle.append(connect(m.port, "127.0.0.2", timeout=10))
        except OSError:
            break
    greeted = refused = silent = 0
    for sock in idle:
        try:
            sock.settimeout(5)
            reply = sock.recv(1024)
            greeted += reply.startswith(b"+OK")
            refused += reply.startswith(b"-ERR")
            silent += not reply
        except OSError:
            silent += 1
    stop.wait(args.seconds)
    figures = {"idle connections opened": len(idle), "greeted and held": greeted,
               "turned away": refused, "no greeting": silent,
               **{f"{name}: connected s": lasted.get(name, f">{args.seconds}")
                  for name in ("byte a second", "NOOP every 6 s")}}
    for sock in idle:
        sock.close()
    return figures


def idle_threads(m, args, stop):
    rest = resources(m.pid)
    idle = []
    for n in range(3000):
        try:
            idle.append(connect(m.port, f"127.0.0.{20 + n % 60}", timeout=10))
        except OSError:
            break
    for sock in idle:
        try:
            sock.settimeout(5)
            sock.recv(1024)
        except OSError:
            pass
    loaded = resources(m.pid)
    for sock in idle:
        sock.close()
    stop.wait(args.seconds)
    return {"connections": len(idle), "at rest before": rest, "all open": loaded,
            "after": resources(m.pid)}


def smtp_flood(m, args, stop):
    idle = []
    for source in ("127.0.0.3", "127.0.0.4"):
        for _ in range(60):
            try:
                sock = connect(m.smtp_port, source, timeout=10)
                sock.recv(1024)
                idle.append(sock)
            except OSError:
                pass
    served, turned_away, waits = 0, 0, []
    ends = time.monotonic() + args.seconds
    while time.monotonic() < ends:
        began = time.monotonic()
        try:
            with connect(m.smtp_port, "127.0.0.5", timeout=30) as sock:
                reply = sock.recv(1024)
                waits.append(time.monotonic() - began)
                served += reply.startswith(b"220")
                turned_away += reply.startswith(b"421")
                sock.sendall(b"QUIT\r\n")
        except OSError:
            turned_away += 1
        stop.wait(max(0.0, 1.0 - (time.monotonic() - began)))
    for sock in idle:
        sock.close()
    return {"idle SMTP connections": len(idle), "other client served": served,
            "other client turned away": turned_away,
            "other client's wait max ms": round(max(waits) * 1000, 1) if waits else None}


ATTACKS = {1: guessing, 2: flood_and_trickle, 3: idle_threads, 4: smtp_flood}


def run_attack(number, args):
    m = MailMachine()
    try:
        m.set_value(r"HKLM\SYSTEM\CurrentControlSet\Control\VrelMachine",
                    "PasswordHashCost", "REG_DWORD", str(MACHINE_HASH_COST))
        if args.scale != 1:
            m.env["VREL_CLOCK_SCALE"] = str(args.scale)
        m.install_smtp()
        m.add_users([USER], PASSWORD)
        m.put_messages(USER, [MESSAGE] * 3)
        m.install()
        m.start()
        stop = threading.Event()
        user = RealUser(m, stop)
        user.start()
        attack_stop = threading.Event()
        figures = ATTACKS[number](m, args, attack_stop)
        attack_stop.set()
        stop.set()
        user.join()
        print(f"attack {number} ({ATTACKS[number].__name__}): {figures}")
        print(f"  real user: {user.figures()}", flush=True)
    finally:
        m.close()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--attacks", type=int, nargs="+", default=[1, 2, 3, 4],
                        choices=sorted(ATTACKS))
    parser.add_argument("--seconds", type=float, default=30)
    parser.add_argument("--scale", type=float, default=1)
    args = parser.parse_args()
    for number in args.attacks:
        run_attack(number, args)


if __name__ == "__main__":
    main()
