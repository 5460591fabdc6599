"""popservice under the service control stand-in: refused starts and stops, deletion while
it runs, and a killed service process."""

import os
import signal
import unittest

from machine import MachineCase, SERVICE, wait_until


class ServiceControlTest(MachineCase):
    def setUp(self):
        super().setUp()
        m = self.machine
        m.install()
        m.add_users(["ann"], "Secret1")

    def sc_failure(self, verb):
        """The error code of a refused `winhost sc VERB`."""
        result = self.machine.winhost("sc", verb, SERVICE, check=False)
        self.assertEqual(result.returncode, 1, result.stdout)
        return int(result.stdout.split("FAILED ")[1].split(":")[0])

    def test_start_of_a_running_and_stop_of_a_stopped_service_are_refused(self):
        m = self.machine
        m.start()
        self.assertEqual(self.sc_failure("start"), 1056)
        m.logon("ann", "Secret1").quit()  # the running service is untouched
        m.stop()
        self.assertEqual(self.sc_failure("stop"), 1062)

    def test_a_service_deleted_while_running_goes_when_it_stops(self):
        m = self.machine
        m.start()
        m.winhost("sc", "delete", SERVICE)
        self.assertEqual(m.state(), "RUNNING")
        self.assertEqual(self.sc_failure("start"), 1072)
        m.logon("ann", "Secret1").quit()
        m.winhost("sc", "stop", SERVICE)
        self.assertTrue(wait_until(lambda: m.state() is None), "the service is gone")
        m.install()  # the name is free again

    def test_a_killed_service_reads_stopped_and_starts_again(self):
        m = self.machine
        m.put_messages("ann", ["Subject: kept\r\n\r\nbody\r\n"])
        m.start()
        client = m.logon("ann", "Secret1")
        client.dele(1)
        os.kill(m.pid, signal.SIGKILL)
        m.wait_for_state("STOPPED")
        client.close()
        m.start()
        # The killed session's lock file is left behind, held by nobody: it is taken over.
        self.assertTrue((m.mailbox("ann") / "LockFile.$$$").exists())
        again = m.logon("ann", "Secret1")
        self.assertEqual(again.stat()[0], 1, "the marked message stays")
        again.quit()


if __name__ == "__main__":
    unittest.main()
