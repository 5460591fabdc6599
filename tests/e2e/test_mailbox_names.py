"""Which mailbox folder a user's name reaches: the machine's one case rule over code page
1252 (an alias to "JOSÉ" is José's mail), and short names (a user called like the 8.3 alias
of another user's folder gets a mailbox of his own, for mail and over POP3)."""

import poplib
import unittest

from machine import wait_until
from mail_system import MailCase

SENDER = "sender@remote.test"


def message(subject):
    return f"From: {SENDER}\r\nSubject: {subject}\r\n\r\nfor one reader\r\n".encode()


class MailboxNamesCase(MailCase):
    def users_folder(self):
        return self.machine.host_path(r"C:\InetPub\MailRoot\Users")

    def messages_in(self, folder):
        path = self.users_folder() / folder
        return sorted(path.glob("*.eml")) if path.is_dir() else []

    def subjects_over_pop3(self, user, password):
        """The subjects of the user's messages, read over POP3 with 8-bit names on the wire."""
        client = poplib.POP3("127.0.0.1", self.machine.port, timeout=30)
        client.encoding = "cp1252"
        try:
            client.user(user)
            client.pass_(password)
            count = client.stat()[0]
            return [line for number in range(1, count + 1)
                    for line in client.retr(number)[1] if line.startswith(b"Subject: ")]
        finally:
            client.quit()

    def deliver(self, recipient, subject, folder, count):
        m = self.machine
        m.send(SENDER, [m.address(recipient)], message(subject))
        self.assertTrue(wait_until(lambda: len(self.messages_in(folder)) == count),
                        f"{recipient} reaches {folder}: {self.folders()}")

    def folders(self):
        users = self.users_folder()
        return sorted(path.name for path in users.iterdir()) if users.is_dir() else []


class EightBitNameTest(MailboxNamesCase):
    def test_an_alias_to_the_name_in_other_capitals_delivers_to_the_users_folder(self):
        m = self.machine
        m.add_users(["José"], "Secret1")
        self.assertEqual(self.subjects_over_pop3("José", "Secret1"), [])  # makes his folder
        m.add_alias("support", "JOSÉ")
        self.deliver("support", "for support", "José", 1)
        self.assertEqual(self.folders(), ["José"])
        for user in ("JOSÉ", "josé"):
            with self.subTest(user=user):
                self.assertEqual(self.subjects_over_pop3(user, "Secret1"),
                                 [b"Subject: for support"])


class ShortNameTest(MailboxNamesCase):
    def setUp(self):
        super().setUp()
        m = self.machine
        m.add_users(["longusername01"], "Long-pass1")
        m.add_users(["LONGUS~1"], "Short-pass1")
        self.deliver("longusername01", "for the long name", "longusername01", 1)

    def test_a_pop3_logon_as_the_short_name_sees_no_other_users_mail(self):
        self.assertEqual(self.subjects_over_pop3("LONGUS~1", "Short-pass1"), [])
        self.assertEqual(self.subjects_over_pop3("longus~1", "Short-pass1"), [])
        self.assertEqual(self.subjects_over_pop3("longusername01", "Long-pass1"),
                         [b"Subject: for the long name"])

    def test_mail_to_the_short_name_and_to_an_alias_of_it_goes_to_its_own_folder(self):
        m = self.machine
        self.deliver("LONGUS~1", "for the short name", "LONGUS~1", 1)
        m.add_alias("shorty", "longus~1")
        self.deliver("shorty", "for the alias", "LONGUS~1", 2)
        self.assertEqual(len(self.messages_in("longusername01")), 1)
        self.assertEqual(sorted(self.subjects_over_pop3("LONGUS~1", "Short-pass1")),
                         [b"Subject: for the alias", b"Subject: for the short name"])
        self.assertEqual(self.subjects_over_pop3("longusername01", "Long-pass1"),
                         [b"Subject: for the long name"])


if __name__ == "__main__":
    unittest.main()
