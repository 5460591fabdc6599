#!/usr/bin/env python3
"""What idle logged-on POP3 clients cost popservice: its resident memory, threads and
descriptors of the machine's store (machine.db and its -wal and -shm files) at rest, with
the clients logged on and idle, and after they have quit. The clients come from several
loopback addresses (127.0.0.2, 127.0.0.3, ...), a share each. Not part of the test run:

    python3 bench/idle_sessions.py [--clients 200] [--addresses 8] [--rounds 2]

(VREL_BIN defaults to build/bin.)
"""

import argparse
import os
import pathlib
import socket
import sys
import time

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "tests" / "e2e"))
os.environ.setdefault("VREL_BIN", str(pathlib.Path(__file__).resolve().parent.parent
                                      / "build" / "bin"))

from machine import Machine  # noqa: E402

PASSWORD = "Idle-Pass1"
SETTLE = 3.0  # seconds the service gets to come to rest after the clients quit


def figures(pid):
    """Resident memory in MiB, threads, and descriptors of the store's files."""
    with open(f"/proc/{pid}/status") as status:
        fields = dict(line.split(":", 1) for line in status)
    store = 0
    for fd in os.listdir(f"/proc/{pid}/fd"):
        try:
            if "machine.db" in os.readlink(f"/proc/{pid}/fd/{fd}"):
                store += 1
        except OSError:
            pass
    return (int(fields["VmRSS"].split()[0]) / 1024, int(fields["Threads"]), store)


def show(label, pid):
    rss, threads, store = figures(pid)
    print(f"{label:<22} RSS {rss:7.1f} MiB   threads {threads:4d}   machine.db* fds {store:4d}")
    return rss, store


class Client:
    """One raw POP3 connection from a given loopback address."""

    def __init__(self, address, port):
        self.socket = socket.create_connection(("127.0.0.1", port), timeout=60,
                                               source_address=(address, 0))
        self.reader = self.socket.makefile("rb")
        self.expect_ok()

    def expect_ok(self):
        line = self.reader.readline()
        if not line.startswith(b"+OK"):
            raise RuntimeError(f"POP3 answered {line!r}")

    def command(self, text):
        self.socket.sendall(text.encode() + b"\r\n")
        self.expect_ok()

    def logon(self, user):
        self.command(f"USER {user}")
        self.command(f"PASS {PASSWORD}")
        self.command("STAT")

    def quit(self):
        self.command("QUIT")
        # The service closes the connection once the session has ended and let go of the
        # mailbox.
        self.reader.read()
        self.socket.close()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--clients", type=int, default=200)
    parser.add_argument("--addresses", type=int, default=8)
    parser.add_argument("--rounds", type=int, default=2)
    args = parser.parse_args()

    machine = Machine()
    try:
        users = [f"idle{i:04d}" for i in range(args.clients)]
        machine.add_users(users, PASSWORD)
        for user in users:
            machine.put_messages(user, ["Subject: idle\r\n\r\nwaiting\r\n"])
        machine.install()
        pid = machine.start()
        show("at rest", pid)
        worst = (0.0, 0)
        for round_ in range(1, args.rounds + 1):
            clients = []
            for number, user in enumerate(users):
                client = Client(f"127.0.0.{2 + number % args.addresses}", machine.port)
                client.logon(user)
                clients.append(client)
            time.sleep(1.0)
            rss, store = show(f"round {round_}: {len(clients)} idle", pid)
            worst = (max(worst[0], rss), max(worst[1], store))
            for client in clients:
                client.quit()
            time.sleep(SETTLE)
            show(f"round {round_}: after", pid)
        print(f"peak with clients: RSS {worst[0]:.1f} MiB, machine.db* fds {worst[1]}")
    finally:
        machine.close()


if __name__ == "__main__":
    main()
