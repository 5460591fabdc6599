"""Failure notices end to end: a message for an unknown local name, sent over SMTP, in the
undeliverable modes that answer it (1, to the sender; 2, forwarded to the postmaster).
Each test counts the messages the agent sorted (SMTPConnections: the original ones plus
every notice that came back through the pickup folder) once nothing is under way any more:
at most one notice per undeliverable recipient, and none about a notice."""

import quopri
import unittest

from machine import wait_until
from mail_system import MailCase

SENDER = "sender@remote.test"
VICTIM = "victim@remote.example"
NOTICE_SUBJECT = b"Subject: Delivery Status Notification (Failure)"


def text_from(author):
    return (f"From: {author}\r\nTo: nobody\r\nSubject: offer\r\n\r\n"
            "Buy now at spam.example\r\n").encode()


class NoticeCase(MailCase):
    def setUp(self):
        super().setUp()
        m = self.machine
        m.add_users(["ann", "postie"], "Secret1")
        m.set_setting("CountConnections", 1)
        m.set_setting("LoggingEnabled", 1)

    def settle(self, sorted_at_least):
        """Waits until the agent has sorted that many messages and nothing more is under way,
        and returns how many it sorted. Only a sink call writes notices, and the SMTP service
        lets the agent go only after a pickup scan found nothing for a second: so once the
        agent has ended and the pickup folder is empty, no notice is left to come."""
        m = self.machine
        pickup = m.mail_folder("Pickup")
        self.assertTrue(wait_until(lambda: (m.counter("SMTPConnections") or 0) >= sorted_at_least))
        settled = wait_until(lambda: not m.agent_pids() and not any(pickup.iterdir()))
        self.assertTrue(settled, f"notices still flow: {m.counter('SMTPConnections')} sorted")
        return m.counter("SMTPConnections")

    def queued_notices(self):
        """The notices the SMTP service keeps for remote addresses: (message, envelope)."""
        queue = self.machine.mail_folder("Queue")
        return [(path.read_bytes(), path.with_suffix(".env").read_bytes())
                for path in queue.glob("*.eml") if NOTICE_SUBJECT in path.read_bytes()]

    def mailbox_notices(self, user):
        return [path.read_bytes() for path in self.machine.mailbox_files(user)
                if NOTICE_SUBJECT in path.read_bytes()]

    def badmail(self):
        return list(self.machine.mail_folder("BadMail").iterdir())


class ForwardToPostMasterTest(NoticeCase):
    def test_the_default_postmaster_who_is_no_mail_user_starts_no_chain(self):
        m = self.machine
        m.set_setting("UndeliverableMailStatus", 2)  # PostMaster left at administrator@...
        for count in (1, 2):
            m.send(SENDER, [m.address("nobody")], text_from(SENDER))
            self.assertEqual(self.settle(count), count, "no notice was sorted")
        self.assertEqual(self.queued_notices(), [])
        self.assertEqual(self.badmail(), [])

    def test_a_postmaster_who_reads_mail_gets_one_notice_per_recipient(self):
        m = self.machine
        m.set_setting("UndeliverableMailStatus", 2)
        m.set_setting("PostMaster", m.address("postie"))
        m.send(SENDER, [m.address("nobody"), m.address("ghost"), m.address("ann")],
               text_from(SENDER))
        self.assertEqual(self.settle(3), 3, "the message and its two notices")
        notices = self.mailbox_notices("postie")
        self.assertEqual(len(notices), 2)
        body = quopri.decodestring(notices[0].split(b"\r\n\r\n", 1)[1])
        self.assertIn(b"Delivery to the following recipients failed.<br><br>nobody<br><br>", body)
        self.assertIn(b"Buy now at spam.example", body)
        self.assertEqual(len(m.mailbox_files("ann")), 1)
        line = f" sender: LocalPickup]  recipients: SMTP:{m.address('postie')};\r\r\n"
        self.assertEqual(m.daily_log().count(line), 2, "each notice came with the null sender")


class NullReversePathTest(NoticeCase):
    def test_a_message_with_the_null_reverse_path_is_kept_and_never_answered(self):
        """A client poses as a notice from elsewhere, with a header address of its choice:
        nothing goes out, to that address or to the postmaster."""
        m = self.machine
        m.set_setting("PostMaster", m.address("postie"))
        for count, mode in enumerate((1, 2), start=1):
            with self.subTest(mode=mode):
                m.set_setting("UndeliverableMailStatus", mode)
                m.send("", [m.address("nobody")], text_from(VICTIM))  # MAIL FROM:<>
                self.assertEqual(self.settle(count), count, "no notice was sorted")
                self.assertEqual(self.queued_notices(), [])
                self.assertEqual(self.mailbox_notices("postie"), [])
                kept = self.badmail()
                self.assertEqual(len(kept), count)
                self.assertTrue(all(path.read_bytes().endswith(text_from(VICTIM))
                                    for path in kept))


class ReturnToSenderTest(NoticeCase):
    def test_the_notice_goes_to_the_envelope_sender_not_the_header(self):
        m = self.machine
        m.set_setting("UndeliverableMailStatus", 1)
        m.send(SENDER, [m.address("nobody")], text_from(VICTIM))
        self.assertEqual(self.settle(2), 2, "the message and its notice")
        [(notice, envelope)] = self.queued_notices()
        self.assertIn(b"\r\nTo: " + SENDER.encode() + b"\r\n", notice)
        self.assertIn(b"SMTP:" + SENDER.encode() + b";", envelope)
        self.assertNotIn(VICTIM.encode(), envelope)
        self.assertIn(f" sender: LocalPickup]  recipients: SMTP:{SENDER};\r\r\n",
                      m.daily_log())

    def test_a_local_sender_who_is_no_mail_user_gets_no_notice(self):
        m = self.machine
        m.set_setting("UndeliverableMailStatus", 1)
        m.send(m.address("ghost"), [m.address("nobody")], text_from(m.address("ann")))
        self.assertEqual(self.settle(1), 1)
        self.assertEqual(self.mailbox_notices("ann"), [])
        self.assertEqual(self.queued_notices(), [])


if __name__ == "__main__":
    unittest.main()
