"""The update on QUIT end to end: marked messages whose files the service cannot remove
(the mailbox made unwritable during the session) are reported to the client, the event log
and the daily log, and stay for the next session."""

import os
import poplib
import subprocess
import tempfile
import unittest

from machine import MachineCase

MESSAGES = [f"From: ann@example.com\r\nSubject: {n}\r\n\r\nbody {n}\r\n" for n in range(3)]
REFUSED = b"-ERR some deleted messages not removed"


def run_quietly(*command):
    try:
        return subprocess.run(command, capture_output=True).returncode == 0
    except OSError:
        return False


def stops_removal(folder, protect, release):
    """True when protect(path) keeps a file of the folder from being removed (tried on a file
    of its own); release(path) undoes it."""
    with tempfile.TemporaryDirectory(dir=folder) as probe_folder:
        probe = os.path.join(probe_folder, "probe")
        open(probe, "w").close()
        if not protect(probe):
            return False
        try:
            os.unlink(probe)
            return False
        except PermissionError:
            return True
        finally:
            release(probe)


class QuitUpdateTest(MachineCase):
    def setUp(self):
        super().setUp()
        m = self.machine
        m.install()
        m.add_users(["ann"], "Secret1")
        m.set_setting("LoggingEnabled", 1)
        self.files = m.put_messages("ann", MESSAGES)
        m.start()

    def protect(self, paths):
        """Makes the files impossible to remove, for root too: the immutable attribute where
        the machine permits it (which keeps the lock file removable); else, for a user who is
        not root, a mailbox folder without write permission (which keeps the lock file too).
        Returns whether the lock file stays removable, and the function that undoes it all;
        skips where neither works."""
        folder = self.machine.folder
        immutable = (lambda path: run_quietly("chattr", "+i", path),
                     lambda path: run_quietly("chattr", "-i", path))
        read_only = (lambda path: os.chmod(os.path.dirname(path), 0o555) or True,
                     lambda path: os.chmod(os.path.dirname(path), 0o700) or True)
        if stops_removal(folder, *immutable):
            protect, release, lock_removable = *immutable, True
        elif os.geteuid() != 0 and stops_removal(folder, *read_only):
            protect, release, lock_removable = *read_only, False
        else:
            self.skipTest("no way to keep a file from being removed here")

        def release_all():
            for path in paths:
                release(path)
        self.addCleanup(release_all)
        for path in paths:
            self.assertTrue(protect(path))
        return lock_removable, release_all

    def test_quit_reports_messages_it_could_not_remove(self):
        m = self.machine
        client = m.logon("ann", "Secret1")
        for number in (1, 2, 3):
            client.dele(number)
        lock_removable, release = self.protect([self.files[0], self.files[2]])
        try:
            with self.assertRaises(poplib.error_proto) as refused:
                client.quit()
            self.assertEqual(client.file.readline(), b"", "the session ended")
        finally:
            client.close()
        self.assertEqual(refused.exception.args[0], REFUSED)
        release()

        self.assertTrue(self.files[0].exists() and self.files[2].exists())
        if lock_removable:
            self.assertFalse(self.files[1].exists())
            client = m.logon("ann", "Secret1")
            self.assertEqual(client.stat()[0], 2)
            self.assertEqual(client.quit(), b"+OK GoodBye !")
        kept = 2 if lock_removable else 3
        self.assertIn(f"{kept} message(s) marked deleted in the mailbox "
                      r"C:\InetPub\MailRoot\Users\ann could not be removed", m.eventlog())
        self.assertRegex(m.daily_log(), r" logout: ann from: \[127\.0\.0\.1\] [^\r\n]* -> "
                         f"failed: {kept} message\\(s\\) marked deleted not removed\r\r\n")


if __name__ == "__main__":
    unittest.main()
