#!/usr/bin/env python3
"""RETR of small messages and later logons to a big mailbox, the POP3 service beside Dovecot's
POP3 server, driven by one client over loopback, rounds alternating between the servers:

- retr:  1000 messages of 4 KB retrieved one after the other in one session; RETR per second,
         each command sent when the reply before it has come, and with 16 commands sent ahead
         (the client's own time then counts less).
         The POP3 service runs twice: with the mailbox folders in the case its mailbox root is
         written in (C:\\InetPub\\MailRoot\\Users over InetPub/MailRoot/Users), and in the case
         the SMTP component makes them (Inetpub/mailroot/Users).
- logon: USER, PASS, STAT and QUIT of a 10,000-message mailbox, from the second session on;
         seconds per session, and what the mailbox adds: less the same session on an empty
         mailbox (which holds the password hash, yescrypt at cost 5, and the connection).

Each build of VREL_BINS ("name=folder name=folder", default "suite=build/bin") gets a machine
of its own with its password hash cost at 5; Dovecot (Debian's dovecot-pop3d, run as root on a
private configuration and port, a passwd-file of yescrypt hashes at cost 5, maildir) holds the
same messages. The RETR runs are also made against the floor, build/bench/bench_retr_floor
(VREL_FLOOR names another): the system calls a RETR cannot do without and nothing else, so that
what the client and the loopback cost shows. With --strace the RETR runs of each build are also counted under `strace -c -f`
attached to the service, and the calls per RETR printed. Not part of the test run:

    python3 bench/pop3_dovecot_bench.py [--strace] [ROUNDS]
"""

import ctypes
import ctypes.util
import os
import pathlib
import shutil
import signal
import socket
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = pathlib.Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
import machine as e2e  # noqa: E402
from mail_flow_bench import message as small_message  # noqa: E402

PASSWORD = "Secret1"
RETR_COUNT = 1000
BIG_MAILBOX = 10000


TINY = "Subject: x\r\n\r\nbody\r\n"


def yescrypt(password):
    lib = ctypes.CDLL(ctypes.util.find_library("crypt"))
    lib.crypt_gensalt.restype = ctypes.c_char_p
    lib.crypt_gensalt.argtypes = [ctypes.c_char_p, ctypes.c_ulong, ctypes.c_char_p, ctypes.c_int]
    lib.crypt.restype = ctypes.c_char_p
    lib.crypt.argtypes = [ctypes.c_char_p, ctypes.c_char_p]
    salt = lib.crypt_gensalt(b"$y$", 5, None, 0)
    start = time.perf_counter()
    for _ in range(10):
        hashed = lib.crypt(password.encode(), salt)
    return hashed.decode(), (time.perf_counter() - start) / 10


class Client:
    """A POP3 client that reads replies in large pieces."""

    def __init__(self, port):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=60)
        self.buffer = b""
        self.line()

    def _fill(self):
        data = self.sock.recv(1 << 20)
        if not data:
            raise ConnectionError("closed")
        self.buffer += data

    def line(self):
        while (end := self.buffer.find(b"\r\n")) < 0:
            self._fill()
        line, self.buffer = self.buffer[:end], self.buffer[end + 2:]
        return line

    def command(self, text):
        self.sock.sendall(text.encode() + b"\r\n")
        reply = self.line()
        if not reply.startswith(b"+OK"):
            raise RuntimeError(f"{text}: {reply!r}")
        return reply

    def retr(self, number, send=True):
        if send:
            self.sock.sendall(b"RETR %d\r\n" % number)
        start = 0
        while (end := self.buffer.find(b"\r\n.\r\n", start)) < 0:
            start = max(0, len(self.buffer) - 4)
            self._fill()
        reply, self.buffer = self.buffer[:end], self.buffer[end + 5:]
        if not reply.startswith(b"+OK"):
            raise RuntimeError(f"RETR {number}: {reply[:80]!r}")
        return len(reply)

    def logon(self, user):
        self.command("USER " + user)
        self.command("PASS " + PASSWORD)

    def quit(self):
        self.command("QUIT")
        self.sock.close()


class Suite:
    """One build's POP3 service on a machine of its own."""

    def __init__(self, name, bin_folder, same_case):
        self.name = name
        self.machine = e2e.Machine(bin_folder)
        self.machine.set_value(r"HKLM\SYSTEM\CurrentControlSet\Control\VrelMachine",
                               "PasswordHashCost", "REG_DWORD", "5")
        self.machine.add_users(["ann", "many", "none"], PASSWORD)
        self.machine.set_setting("LoggingEnabled", 0)
        users = self.machine.drive_c / ("InetPub/MailRoot/Users" if same_case
                                        else "Inetpub/mailroot/Users")
        store(users / "ann", "261209101010001{:09d}.eml", RETR_COUNT, small_message)
        store(users / "many", "261209101010001{:09d}.eml", BIG_MAILBOX, lambda n: TINY)
        store(users / "none", "", 0, None)
        self.machine.install()
        self.pid = self.machine.start()
        self.port = self.machine.port

    def close(self):
        self.machine.close()


def store(folder, pattern, count, text):
    folder.mkdir(parents=True, exist_ok=True)
    for n in range(1, count + 1):
        (folder / pattern.format(n)).write_bytes(text(n).encode())


def answers(port):
    try:
        socket.create_connection(("127.0.0.1", port), timeout=1).close()
        return True
    except OSError:
        return False


class Dovecot:
    """Dovecot's POP3 server on a private configuration, as root."""

    def __init__(self, hashed):
        self.name = "dovecot"
        self.folder = pathlib.Path(tempfile.mkdtemp(prefix="vrel-dovecot-"))
        self.folder.chmod(0o755)
        self.port = e2e.free_port()
        home = self.folder / "home"
        for user, count, text in (("ann", RETR_COUNT, small_message),
                                  ("many", BIG_MAILBOX, lambda n: TINY), ("none", 0, None)):
            cur = home / user / "Maildir" / "cur"
            store(cur, "{:09d}.M1P1.bench:2,", count, text)
            for sub in ("new", "tmp"):
                (cur.parent / sub).mkdir()
        subprocess.run(["chown", "-R", "nobody:nogroup", str(home)], check=True)
        (self.folder / "passwd").write_text(
            "".join(f"{user}:{hashed}::::::\n" for user in ("ann", "many", "none")))
        config = self.folder / "dovecot.conf"
        config.write_text(f"""
base_dir = {self.folder}/run
state_dir = {self.folder}/state
log_path = {self.folder}/dovecot.log
protocols = pop3
listen = 127.0.0.1
ssl = no
disable_plaintext_auth = no
first_valid_uid = 1
passdb {{
  driver = passwd-file
  args = scheme=CRYPT {self.folder}/passwd
}}
userdb {{
  driver = static
  args = uid=nobody gid=nogroup home={home}/%u
}}
mail_location = maildir:~/Maildir
pop3_uidl_format = %08Xu%08Xv
service pop3-login {{
  inet_listener pop3 {{
    port = {self.port}
  }}
}}
service imap-login {{
  inet_listener imap {{
    port = 0
  }}
}}
""")
        self.process = subprocess.Popen(["dovecot", "-F", "-c", str(config)])
        if not e2e.wait_until(lambda: answers(self.port), limit=20):
            raise SystemExit("dovecot does not answer; see " + str(self.folder / "dovecot.log"))

    def close(self):
        self.process.send_signal(signal.SIGTERM)
        self.process.wait(timeout=30)
        shutil.rmtree(self.folder, ignore_errors=True)


class Floor:
    """The least a server does per RETR (bench/retr_floor.cpp), over the same messages."""

    def __init__(self, program):
        self.name = "floor"
        self.folder = pathlib.Path(tempfile.mkdtemp(prefix="vrel-floor-"))
        store(self.folder, "{:09d}.eml", RETR_COUNT, small_message)
        self.port = e2e.free_port()
        self.process = subprocess.Popen([str(program), str(self.port), str(self.folder)])
        if not e2e.wait_until(lambda: answers(self.port), limit=20):
            raise SystemExit(f"{program} does not answer")

    def close(self):
        self.process.kill()
        self.process.wait(timeout=30)
        shutil.rmtree(self.folder, ignore_errors=True)


def retr_rate(server, window=1):
    """RETR per second with up to `window` commands sent ahead of their replies."""
    client = Client(server.port)
    client.logon("ann")
    start = time.perf_counter()
    for first in range(1, RETR_COUNT + 1, window):
        numbers = range(first, min(first + window, RETR_COUNT + 1))
        client.sock.sendall(b"".join(b"RETR %d\r\n" % n for n in numbers))
        for n in numbers:
            client.retr(n, send=False)
    elapsed = time.perf_counter() - start
    client.quit()
    return RETR_COUNT / elapsed


def logon_time(server, user, sessions=10):
    times = []
    for _ in range(sessions):
        start = time.perf_counter()
        client = Client(server.port)
        client.logon(user)
        stat = client.command("STAT")
        client.quit()
        times.append(time.perf_counter() - start)
        if not stat.startswith(b"+OK %d " % (BIG_MAILBOX if user == "many" else 0)):
            raise RuntimeError(f"{server.name}: {stat!r}")
    return statistics.median(times)


def strace_per_retr(server):
    """System calls per RETR of the service's process, by name."""
    with tempfile.NamedTemporaryFile(prefix="vrel-strace-", delete=False) as trace:
        out = pathlib.Path(trace.name)
    tracer = subprocess.Popen(["strace", "-c", "-f", "-p", str(server.pid), "-o", str(out)],
                              stderr=subprocess.DEVNULL)
    time.sleep(1.0)
    client = Client(server.port)
    client.logon("ann")
    time.sleep(0.2)
    for n in range(1, RETR_COUNT + 1):
        client.retr(n)
    time.sleep(0.2)
    tracer.send_signal(signal.SIGINT)
    tracer.wait()
    client.quit()
    counts = {}
    for line in out.read_text().splitlines():
        fields = line.split()
        if len(fields) >= 5 and fields[0][0].isdigit() and fields[-1] != "total":
            counts[fields[-1]] = int(fields[3])
    out.unlink()
    return counts


def main():
    args = [a for a in sys.argv[1:] if a != "--strace"]
    rounds = int(args[0]) if args else 5
    bins = os.environ.get("VREL_BINS", f"suite={ROOT / 'build' / 'bin'}").split()
    hashed, hash_time = yescrypt(PASSWORD)
    print(f"{rounds} rounds; one yescrypt hash at cost 5 takes {hash_time * 1000:.1f} ms here; "
          f"load average {os.getloadavg()[0]:.2f} on {os.cpu_count()} processors")
    servers = []
    try:
        for entry in bins:
            name, folder = entry.split("=", 1)
            servers.append(Suite(name + "/same-case", folder, True))
            servers.append(Suite(name + "/other-case", folder, False))
        dovecot = Dovecot(hashed)
        servers.append(dovecot)
        floor = pathlib.Path(os.environ.get("VREL_FLOOR", ROOT / "build/bench/bench_retr_floor"))
        if floor.exists():
            servers.append(Floor(floor))
        else:
            print(f"no {floor}: the floor is left out")
        for server in servers:  # the first session of each: Dovecot builds its index
            retr_rate(server)
            if not isinstance(server, Floor):
                logon_time(server, "many", 1)
        rates = {s.name: [] for s in servers}
        piped = {s.name: [] for s in servers}
        logons = {s.name: [] for s in servers}
        empties = {s.name: [] for s in servers}
        for number in range(rounds):
            order = servers if number % 2 == 0 else list(reversed(servers))
            for server in order:
                rates[server.name].append(retr_rate(server))
                piped[server.name].append(retr_rate(server, 16))
                if not isinstance(server, Floor):
                    logons[server.name].append(logon_time(server, "many"))
                    empties[server.name].append(logon_time(server, "none"))
        print(f"{'server':24} {'RETR/s':>8} {'x Dovecot':>9}   {'16 ahead':>8} {'x Dovecot':>9}"
              f"   {'10,000 ms':>9} {'x Dovecot':>9}"
              f"   {'empty ms':>8}   {'mailbox ms':>10} {'x Dovecot':>9}")
        base_rate = statistics.median(rates["dovecot"])
        base_piped = statistics.median(piped["dovecot"])
        base_logon = statistics.median(logons["dovecot"])
        base_cost = statistics.median(
            [a - b for a, b in zip(logons["dovecot"], empties["dovecot"])])
        for server in servers:
            rate = statistics.median(rates[server.name])
            ahead = statistics.median(piped[server.name])
            if isinstance(server, Floor):
                print(f"{server.name:24} {rate:8.0f} {rate / base_rate:9.2f}   {ahead:8.0f} "
                      f"{ahead / base_piped:9.2f}")
                continue
            logon = statistics.median(logons[server.name])
            empty = statistics.median(empties[server.name])
            cost = statistics.median(
                [a - b for a, b in zip(logons[server.name], empties[server.name])])
            print(f"{server.name:24} {rate:8.0f} {rate / base_rate:9.2f}   {ahead:8.0f} "
                  f"{ahead / base_piped:9.2f}   {logon * 1000:9.2f} "
                  f"{logon / base_logon:9.2f}   {empty * 1000:8.2f}   {cost * 1000:10.2f} "
                  f"{cost / base_cost:9.2f}")
        if "--strace" in sys.argv:
            for server in servers:
                if server is dovecot or isinstance(server, Floor):
                    continue
                counts = strace_per_retr(server)
                shown = ", ".join(f"{name} {count / RETR_COUNT:.2f}" for name, count in
                                  sorted(counts.items(), key=lambda item: -item[1])
                                  if count / RETR_COUNT >= 0.05)
                print(f"{server.name}: calls per RETR: {shown}")
        print(f"load average at the end {os.getloadavg()[0]:.2f}")
    finally:
        for server in servers:
            server.close()


if __name__ == "__main__":
    main()
