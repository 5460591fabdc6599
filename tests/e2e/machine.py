"""A machine of its own for one end-to-end test, and the test case that owns it.

Each test gets a fresh machine folder (VREL_MACHINE) in a temporary folder, with a free
port written into its services file as "pop3", and drives the built programs of VREL_BIN
the way an administrator would: winhost for accounts, registry and services, popservice
for its install switches. The teardown stops every service it started (a normal stop,
then SIGKILL), fails the test on a sanitizer report in the services' run/*.log files,
and removes the folder.
"""

import atexit
import os
import pathlib
import poplib
import random
import re
import shutil
import signal
import socket
import subprocess
import tempfile
import time
import unittest

BIN = pathlib.Path(os.environ.get("VREL_BIN", "build/bin")).resolve()
SERVICE = "vrelP3Service"
SETTINGS_KEY = r"HKLM\Software\Tavimere\POP3 Server"
SERVICE_KEY = r"HKLM\SYSTEM\CurrentControlSet\Services" + "\\" + SERVICE
SANITIZER_MARKS = ("ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:")
WAIT_LIMIT = 20.0  # seconds; generous for the sanitizer build


_reserved_ports = []  # sockets that keep the ports free_port gave for the rest of the run
atexit.register(lambda: [probe.close() for probe in _reserved_ports])


def free_port():
    """A port below the system's ephemeral range (32768 and up), so that no outgoing
    connection is given it, held bound for the rest of the run so that a test running beside
    this one cannot pick it before the server binds it: a server's SO_REUSEADDR may share it
    with a socket that does not listen."""
    while True:
        port = random.randint(20000, 32000)
        probe = socket.socket()
        try:
            probe.bind(("", port))
        except OSError:
            probe.close()
            continue
        probe.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        _reserved_ports.append(probe)
        return port


def wait_until(condition, limit=WAIT_LIMIT, interval=0.02):
    """Polls condition until it gives a true value or the limit passes; returns its value."""
    deadline = time.monotonic() + limit
    while True:
        value = condition()
        if value or time.monotonic() > deadline:
            return value
        time.sleep(interval)


class SourcedPOP3(poplib.POP3):
    """A POP3 client connecting from a loopback address of its choice (127.0.0.x), for
    what the service does per client address."""

    def __init__(self, port, timeout, source):
        self.source = source
        super().__init__("127.0.0.1", port, timeout=timeout)

    def _create_socket(self, timeout):
        return socket.create_connection((self.host, self.port), timeout,
                                        source_address=(self.source, 0))


class Machine:
    def __init__(self, bin_folder=None):
        self.bin = pathlib.Path(bin_folder).resolve() if bin_folder else BIN
        self.folder = pathlib.Path(tempfile.mkdtemp(prefix="vrel-e2e-"))
        self.env = dict(os.environ, VREL_MACHINE=str(self.folder / "machine"))
        self.drive_c = self.folder / "machine" / "drive_c"
        self.pid = None  # the process of the service's last start
        self.winhost("init")
        self.set_value(r"HKLM\SYSTEM\CurrentControlSet\Control\VrelMachine",
                       "PasswordHashCost", "REG_DWORD", "1")
        self.port = None
        self.choose_port()

    # ---- programs

    def run(self, program, *args, check=True, timeout=60):
        result = subprocess.run([str(self.bin / program), *args], env=self.env, capture_output=True,
                                text=True, timeout=timeout)
        if check and result.returncode != 0:
            raise AssertionError(f"{program} {' '.join(args)} exited {result.returncode}:\n"
                                 f"{result.stdout}{result.stderr}")
        return result

    def winhost(self, *args, check=True):
        return self.run("winhost", *args, check=check)

    # ---- configuration

    def choose_port(self):
        """Writes a free port into the services file as the entry "pop3"."""
        self.port = free_port()
        services = self.drive_c / "WINDOWS/system32/drivers/etc/services"
        lines = [line for line in services.read_text().splitlines()
                 if not line.startswith("pop3")]
        lines.append(f"pop3 {self.port}/tcp")
        services.write_text("\n".join(lines) + "\n")

    def set_value(self, key, name, kind, data):
        self.winhost("reg", "add", key, "/v", name, "/t", kind, "/d", data, "/f")

    def set_setting(self, name, value):
        if isinstance(value, int):
            self.set_value(SETTINGS_KEY, name, "REG_DWORD", str(value))
        else:
            self.set_value(SETTINGS_KEY, name, "REG_SZ", value)

    def delete_setting(self, name):
        self.winhost("reg", "delete", SETTINGS_KEY, "/v", name, "/f", check=False)

    def query_value(self, key, name):
        """The data of a registry value as reg query prints it, or None when it is missing."""
        result = self.winhost("reg", "query", key, "/v", name, check=False)
        match = re.search(rf"^\s+{re.escape(name)}\s+REG_\w+\s+(.*)$", result.stdout, re.M)
        return match.group(1) if match else None

    def add_users(self, names, password):
        for name in names:
            self.winhost("net", "user", name, password, "/add")
        self.winhost("net", "localgroup", "Users", *names, "/add")

    def mailbox(self, user):
        return self.drive_c / "InetPub/MailRoot/Users" / user

    def put_messages(self, user, texts):
        """Stores each text as a message file; returns the file paths in order."""
        folder = self.mailbox(user)
        folder.mkdir(parents=True, exist_ok=True)
        paths = []
        for number, text in enumerate(texts, start=1):
            path = folder / f"261209101010001{number:09d}.eml"
            path.write_bytes(text.encode("latin-1"))
            paths.append(path)
        return paths

    def daily_log(self):
        """The text of every daily log file, oldest first; empty when there is none."""
        folder = self.drive_c / "WINDOWS/system32/LogFiles/POP3Srv"
        return "".join(path.read_bytes().decode("latin-1") for path in sorted(folder.glob("*.log")))

    def eventlog(self):
        return self.winhost("eventlog").stdout

    # ---- the service

    def install(self):
        """popservice /INSTALL /SILENT; its listener opens too, so a taken port is retried."""
        for _ in range(5):
            result = self.run("popservice", "/INSTALL", "/SILENT", check=False)
            if result.returncode == 0:
                return result
            if "socket error" not in result.stdout:
                break
            self.choose_port()
        raise AssertionError(f"install failed: {result.stdout}{result.stderr}")

    def state(self):
        result = self.winhost("sc", "query", SERVICE, check=False)
        match = re.search(r"STATE\s+:\s+\d+\s+(\w+)", result.stdout)
        return match.group(1) if match else None  # no such service

    def wait_for_state(self, state):
        reached = wait_until(lambda: self.state() == state)
        if not reached:
            raise AssertionError(f"{SERVICE} did not reach {state}: {self.state()}")

    def start(self):
        """Starts the service and waits until it serves its port; returns its process id."""
        result = self.winhost("sc", "start", SERVICE)
        self.pid = int(re.search(r"PID\s+:\s+(\d+)", result.stdout).group(1))
        self.wait_for_state("RUNNING")
        return self.pid

    def stop(self):
        self.winhost("sc", "stop", SERVICE)
        self.wait_for_state("STOPPED")

    def connect(self, timeout=30, source="127.0.0.1"):
        return SourcedPOP3(self.port, timeout, source)

    def logon(self, user, password, timeout=30, source="127.0.0.1"):
        client = self.connect(timeout, source)
        client.user(user)
        client.pass_(password)
        return client

    # ---- teardown

    def close(self):
        """Stops what the test started and gives the sanitizer reports of run/*.log."""
        if self.state() not in (None, "STOPPED"):
            self.winhost("sc", "stop", SERVICE, check=False)
            if not wait_until(lambda: self.state() in (None, "STOPPED"), limit=10):
                # Still the service's process: its lock is held, so the id is not reused.
                try:
                    os.kill(self.pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass
        reports = []
        for log in sorted((self.folder / "machine" / "run").glob("*.log")):
            text = log.read_text(errors="replace")
            if any(mark in text for mark in SANITIZER_MARKS):
                reports.append(f"{log.name}:\n{text}")
        shutil.rmtree(self.folder, ignore_errors=True)
        return "\n".join(reports)


class MachineCase(unittest.TestCase):
    """A test case with a fresh machine in self.machine."""

    machine_class = Machine

    def setUp(self):
        self.machine = self.machine_class()
        self.addCleanup(self.check_sanitizers)

    def check_sanitizers(self):
        reports = self.machine.close()
        self.assertEqual(reports, "", "sanitizer reports in the services' logs")
