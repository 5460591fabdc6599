"""Mail end to end: a message taken by the SMTP service over SMTP or from the pickup folder,
sorted by the message agent that COM starts for it, and fetched over POP3 from the POP3
service; the undeliverable modes, the remote copy, the counters, the daily log line and the
agent's lifetime."""

import os
import quopri
import re
import socket
import stat
import unittest

from machine import wait_until
from mail_system import ANSWER_FILE, MailCase

SENDER = "sender@remote.test"
REMOTE = "far@remote.test"
TEXT = ("From: sender@remote.test\r\nTo: the team\r\nSubject: plans\r\n\r\n"
        "first line\r\n.a line that begins with a dot\r\n\xe9t\xe9 in latin-1\r\n")
NOTICE_SUBJECT = "Subject: Delivery Status Notification (Failure)"


def read(path):
    return path.read_bytes()


def fetch(machine, user):
    """The user's first message over POP3: the lines of RETR, each with its CR LF again."""
    client = machine.logon(user, "Secret1")
    text = b"".join(line + b"\r\n" for line in client.retr(1)[1])
    client.quit()
    return text


class MailFlowCase(MailCase):
    def setUp(self):
        super().setUp()
        m = self.machine
        m.add_users(["ann", "bob", "carol", "postie"], "Secret1")
        m.add_alias("info", "carol")
        for name in ("CountConnections", "CountMessages", "LoggingEnabled"):
            m.set_setting(name, 1)

    def recipients(self):
        m = self.machine
        return [m.address("ann"), m.address("bob"), "INFO@" + m.domain, m.address("nobody"),
                REMOTE]

    def send_and_wait(self, mode):
        """Sends the message in undeliverable mode; returns the text the SMTP service stored
        (the remote recipient keeps it in the queue folder)."""
        m = self.machine
        m.set_setting("UndeliverableMailStatus", mode)
        queue = m.mail_folder("Queue")
        before = set(queue.glob("*.eml"))
        m.send(SENDER, self.recipients(), TEXT.encode("latin-1"))
        self.assertTrue(wait_until(lambda: set(queue.glob("*.eml")) - before))
        stored = (set(queue.glob("*.eml")) - before).pop()
        envelope = stored.with_suffix(".env")
        self.assertTrue(wait_until(lambda: b"ann@" not in read(envelope)),
                        "the agent handed back only the remote recipient")
        self.assertIn(REMOTE.encode(), read(envelope))
        return read(stored)

    def queued_notices(self):
        return [path for path in self.machine.mail_folder("Queue").glob("*.eml")
                if NOTICE_SUBJECT.encode() in read(path)]


class DeliveryTest(MailFlowCase):
    def test_users_and_alias_fetch_the_stored_message_and_the_rest_is_kept(self):
        m = self.machine
        stored = self.send_and_wait(0)
        self.assertTrue(stored.startswith(b"Received: from "))
        self.assertTrue(stored.endswith(TEXT.encode("latin-1")))
        for user in ("ann", "bob", "carol"):
            with self.subTest(user=user):
                self.assertEqual([read(path) for path in m.mailbox_files(user)], [stored])
                self.assertEqual(fetch(m, user), stored)
        self.assertEqual(m.mailbox_files("postie"), [])

        badmail = list(m.mail_folder("BadMail").iterdir())
        self.assertEqual(len(badmail), 1)
        self.assertRegex(badmail[0].name, r"^\d{11}0000000001\.eml$")
        self.assertEqual(read(badmail[0]), stored)

        self.assertEqual([m.counter(name) for name in
                          ("SMTPConnections", "MessagesReceived", "MessagesDelivered")], [1, 5, 3])
        listed = "".join(f"SMTP:{address};" for address in self.recipients())
        self.assertRegex(m.daily_log(), r"\r\n[^\r\n]+ sender: 127\.0\.0\.1\] " +
                         re.escape(SENDER + " recipients: " + listed) + "\r\r\n")

    def test_a_file_in_the_pickup_folder_is_delivered_as_local_pickup(self):
        m = self.machine
        text = f"From: {m.address('bob')}\r\nTo: {m.address('ann')}\r\n\r\npicked up\r\n"
        pickup = m.mail_folder("Pickup")
        (pickup / "note.tmp").write_bytes(text.encode())
        (pickup / "note.tmp").rename(pickup / "note.eml")
        self.assertTrue(wait_until(lambda: m.mailbox_files("ann")))
        delivered = read(m.mailbox_files("ann")[0])
        self.assertTrue(delivered.endswith(text.encode()))
        self.assertEqual(fetch(m, "ann"), delivered)
        self.assertIn(f" sender: LocalPickup] {m.address('bob')} recipients: "
                      f"SMTP:{m.address('ann')};\r\r\n", m.daily_log())

    def test_no_file_of_the_machine_is_open_to_others(self):
        m = self.machine
        self.send_and_wait(0)  # mailboxes, a bad-mail copy, the queue, the daily log
        self.assertEqual(fetch(m, "ann"), read(m.mailbox_files("ann")[0]))
        written_here = str(m.host_path(ANSWER_FILE))
        exposed = []
        for folder, names, files in os.walk(m.folder / "machine"):
            for path in [folder] + [os.path.join(folder, name) for name in names + files]:
                mode = os.lstat(path).st_mode
                if not stat.S_ISLNK(mode) and mode & 0o077 and path != written_here:
                    exposed.append(f"{path} {stat.filemode(mode)}")
        self.assertEqual(exposed, [])

    def test_a_copy_that_cannot_be_stored_stays_with_the_smtp_service(self):
        m = self.machine
        blocked = m.mailbox("ann")  # a file where ann's mailbox folder belongs
        blocked.parent.mkdir(parents=True, exist_ok=True)
        blocked.write_bytes(b"not a folder")
        m.send(SENDER, [m.address("ann"), m.address("bob")], TEXT.encode("latin-1"))
        drop = m.mail_folder("Drop")
        self.assertTrue(wait_until(lambda: list(drop.glob("*.eml"))))
        self.assertEqual(len(m.mailbox_files("bob")), 1)
        [kept] = drop.glob("*.eml")
        self.assertIn(f"\r\nx-receiver: {m.address('ann')}\r\n".encode(), read(kept))
        self.assertTrue(read(kept).endswith(TEXT.encode("latin-1")))
        text = (f"The message for {m.address('ann')} could not be stored in its mailbox folder;"
                " the SMTP service keeps it.")
        self.assertIn(text, m.eventlog())
        self.assertIn(f"  error: {text}\r\r\n", m.daily_log())


class SmugglingTest(MailFlowCase):
    def converse(self, lines):
        """Sends each command and reads its reply over a raw connection (smtplib would mend
        the line ends under test); returns the replies' codes."""
        m = self.machine
        codes = []
        with socket.create_connection(("127.0.0.1", m.smtp_port), timeout=30) as client:
            replies = client.makefile("rb")
            replies.readline()
            for line in lines:
                client.sendall(line)
                reply = replies.readline()
                while reply[3:4] == b"-":
                    reply = replies.readline()
                codes.append(reply[:3].decode())
        return codes

    def test_a_dot_between_bare_line_ends_does_not_end_the_message(self):
        m = self.machine
        forged = (f"MAIL FROM:<boss@{m.domain}>\nRCPT TO:<{m.address('bob')}>\nDATA\n"
                  "Subject: forged\n\nsend the money\n")
        codes = self.converse([b"EHLO client.test\r\n", f"MAIL FROM:<{SENDER}>\r\n".encode(),
                               f"RCPT TO:<{m.address('ann')}>\r\n".encode(), b"DATA\r\n",
                               b"Subject: hi\r\n\r\nhello\n.\n" + forged.encode() +
                               b".\n\r\n.\r\n", b"QUIT\r\n"])
        self.assertEqual(codes, ["250", "250", "250", "354", "250", "221"])
        self.assertTrue(wait_until(lambda: m.mailbox_files("ann")))
        delivered = read(m.mailbox_files("ann")[0])
        self.assertTrue(delivered.endswith(b"hello\r\n.\r\n" +
                                           forged.replace("\n", "\r\n").encode() + b".\r\n\r\n"))
        self.assertEqual(m.mailbox_files("bob"), [])
        self.assertTrue(wait_until(lambda: not list(m.mail_folder("Queue").glob("*.eml"))))
        self.assertEqual(m.mailbox_files("bob"), [])


class UndeliverableTest(MailFlowCase):
    def test_each_mode_in_turn(self):
        m = self.machine
        m.set_setting("PostMaster", m.address("postie"))
        badmail = m.mail_folder("BadMail")

        self.send_and_wait(1)  # a failure notice to the remote sender, through the pickup
        self.assertTrue(wait_until(lambda: len(self.queued_notices()) == 1))
        notice = read(self.queued_notices()[0])
        self.assertIn(b"From: PostMaster@" + m.domain.encode(), notice)
        self.assertIn(b"To: " + SENDER.encode(), notice)
        line = f" sender: LocalPickup]  recipients: SMTP:{SENDER};\r\r\n"  # the null sender
        self.assertTrue(wait_until(lambda: line in m.daily_log()), "the agent sorted the notice")

        self.send_and_wait(2)  # forwarded to the postmaster, a local mail user
        self.assertTrue(wait_until(lambda: m.mailbox_files("postie")))
        forwarded = read(m.mailbox_files("postie")[0])
        self.assertIn(NOTICE_SUBJECT.encode(), forwarded)
        body = quopri.decodestring(forwarded.split(b"\r\n\r\n", 1)[1])
        self.assertIn(b"Delivery to the following recipients failed.<br><br>the team<br><br>", body)
        self.assertIn(b"first line", body)
        self.assertEqual(fetch(m, "postie"), forwarded)

        self.send_and_wait(3)  # dropped
        self.assertEqual([len(m.mailbox_files(user)) for user in ("ann", "bob", "carol")],
                         [3, 3, 3])
        self.assertEqual(len(self.queued_notices()), 1)
        self.assertEqual(len(m.mailbox_files("postie")), 1)
        self.assertEqual(list(badmail.iterdir()), [])
        # three SMTP messages and the two notices the agent sorted
        self.assertEqual(m.counter("SMTPConnections"), 5)


class AgentLifetimeTest(MailCase):
    def test_one_agent_serves_messages_in_a_row_and_ends_once_the_queue_is_idle(self):
        m = self.machine
        m.add_users(["ann"], "Secret1")
        self.assertEqual(m.agent_pids(), [])
        for sent, count in ((3, 3), (1, 4)):  # three in a row, then one after the agent ended
            seen = set()
            for _ in range(sent):
                m.send(SENDER, [m.address("ann")], TEXT.encode("latin-1"))
                seen.update(m.agent_pids())
            self.assertTrue(wait_until(lambda: len(m.mailbox_files("ann")) == count))
            seen.update(m.agent_pids())
            self.assertEqual(len(seen), 1, "one agent serves the messages that arrive together")
            self.assertTrue(wait_until(lambda: m.agent_pids() == []),
                            "the agent ends once the SMTP service released its object")
        self.assertEqual(m.winhost("seo", "list").stdout.count("vrelPOP3Service.MessageAgent"),
                         1)


if __name__ == "__main__":
    unittest.main()
