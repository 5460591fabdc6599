"""A machine with the whole mail system set up, as scripts/run.sh sets it up: the SMTP
component installed by sysocmgr (which starts SMTPSVC), the agent registered with
popagent /regserver and bound to the arrival event with winhost seo, and the POP3 service
installed and started. Both services listen on free ports written into the machine's
services file ("smtp" and "pop3").

Used by the mail flow tests and by bench/mail_flow_bench.py. The teardown stops SMTPSVC
and every agent process COM started for this machine before the base class stops the POP3
service and reads the run/*.log files.
"""

import os
import pathlib
import re
import signal
import smtplib
import socket

from machine import Machine, MachineCase, SETTINGS_KEY, free_port, wait_until

SMTP_SERVICE = "SMTPSVC"
AGENT_CLASS = "vrelPOP3Service.MessageAgent"
AGENT_BINDING_NAME = "Message Agent for POP3 Service"
ANSWER_FILE = r"C:\WINDOWS\temp\answer.txt"
SYSOC_INF = r"C:\WINDOWS\inf\sysoc.inf"


class MailMachine(Machine):
    def __init__(self):
        super().__init__()
        self.smtp_port = None
        self.domain = None

    # ---- paths

    def host_path(self, windows_path):
        """The host path of a path on drive C:, matching each existing name without case
        as the machine does ("X.exe" also finds the host file "X"); names that do not exist
        are kept as written."""
        path = self.drive_c
        for name in windows_path.split("\\")[1:]:
            entries = {entry.name.lower(): entry for entry in path.iterdir()} \
                if path.is_dir() else {}
            key = name.lower()
            if key not in entries and key.endswith(".exe"):
                key = key[:-4]
            path = entries.get(key, path / name)
        return path

    def mailbox(self, user):
        return self.host_path(r"C:\InetPub\MailRoot\Users" + "\\" + user)

    def mail_folder(self, name):
        """A folder of the SMTP service (Drop, Badmail, Pickup, Queue) by its metabase value."""
        return self.host_path(self.winhost("mb", "get", "smtpsvc/1", name + "Directory")
                              .stdout.strip())

    def mailbox_files(self, user):
        folder = self.mailbox(user)
        return sorted(folder.glob("*.eml")) if folder.is_dir() else []

    # ---- set-up

    def set_smtp_port(self):
        self.smtp_port = free_port()
        services = self.drive_c / "WINDOWS/system32/drivers/etc/services"
        lines = [line for line in services.read_text().splitlines()
                 if not re.match(r"smtp\s", line)]
        lines.append(f"smtp {self.smtp_port}/tcp")
        services.write_text("\n".join(lines) + "\n")

    def install_smtp(self):
        """sysocmgr with iis_smtp = on; it starts SMTPSVC, whose port then answers."""
        self.set_smtp_port()
        answer = self.host_path(ANSWER_FILE)
        answer.parent.mkdir(parents=True, exist_ok=True)
        answer.write_bytes(b"[Components]\r\n\r\niis_smtp = on\r\n")
        program = self.host_path(r"C:\WINDOWS\system32\sysocmgr.exe")
        self.run(program, f"/i:{SYSOC_INF}", f"/u:{ANSWER_FILE}")  # an absolute path
        self.domain = self.winhost("mb", "get", "smtpsvc/1", "DefaultDomain").stdout.strip()
        if not wait_until(self.smtp_answers):
            raise AssertionError(f"{SMTP_SERVICE} does not answer on port {self.smtp_port}")

    def smtp_answers(self):
        try:
            with socket.create_connection(("127.0.0.1", self.smtp_port), timeout=2) as client:
                return client.recv(4).startswith(b"220")
        except OSError:
            return False

    def bind_agent(self):
        self.run("popagent", "/regserver")
        if AGENT_CLASS not in self.winhost("seo", "list").stdout:
            self.winhost("seo", "add", AGENT_CLASS, f"/name:{AGENT_BINDING_NAME}")

    def set_up_mail(self):
        self.install_smtp()
        self.bind_agent()
        self.install()
        self.start()

    def add_alias(self, alias, target):
        base = "Pop3Svc/1/Alias"
        if self.winhost("mb", "get", base, "KeyType", check=False).returncode != 0:
            self.winhost("mb", "create", "Pop3Svc", "IIsPOP3Service")
            self.winhost("mb", "create", "Pop3Svc/1", "IIsPOP3Server")
            self.winhost("mb", "create", base, "IIsPop3VirtualDir")
        self.winhost("mb", "create", f"{base}/{alias}", "IIsPop3VirtualDir")
        self.winhost("mb", "set", f"{base}/{alias}", "Path", target)

    def counter(self, name):
        value = self.query_value(SETTINGS_KEY, name)
        return int(value, 0) if value is not None else None

    # ---- mail

    def address(self, user):
        return f"{user}@{self.domain}"

    def send(self, sender, recipients, text):
        with smtplib.SMTP("127.0.0.1", self.smtp_port, timeout=30) as client:
            client.sendmail(sender, recipients, text)

    def agent_pids(self):
        """The popagent processes of this machine (COM starts them with its VREL_MACHINE)."""
        return self.program_pids("popagent")

    def program_pids(self, program):
        """The processes of this machine (by their VREL_MACHINE) that run the program."""
        mark = f"VREL_MACHINE={self.env['VREL_MACHINE']}".encode()
        pids = []
        for entry in pathlib.Path("/proc").iterdir():
            if not entry.name.isdigit():
                continue
            try:
                if program.encode() in (entry / "cmdline").read_bytes() and \
                        mark in (entry / "environ").read_bytes().split(b"\0"):
                    pids.append(int(entry.name))
            except OSError:
                pass
        return pids

    # ---- teardown

    def close(self):
        if self.smtp_port is not None:
            self.winhost("sc", "stop", SMTP_SERVICE, check=False)
            wait_until(lambda: "STOPPED" in self.winhost(
                "sc", "query", SMTP_SERVICE, check=False).stdout, limit=10)
            for pid in self.agent_pids():
                try:
                    os.kill(pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass
        return super().close()



class MailCase(MachineCase):
    """A test case with the mail system running on a fresh machine in self.machine."""

    machine_class = MailMachine

    def setUp(self):
        super().setUp()
        self.machine.set_up_mail()
