"""200 clients at once against popservice from twenty loopback addresses, each with a mailbox of its own (see
pop3_load.py); afterwards the service still answers."""

import unittest

import pop3_load
from machine import MachineCase, wait_until

CLIENTS = 200
MESSAGES = 3


class LoadTest(MachineCase):
    def test_two_hundred_clients_at_once(self):
        m = self.machine
        stored = pop3_load.prepare(m, CLIENTS, MESSAGES)
        m.install()
        m.start()
        figures, errors = pop3_load.run(m, stored)
        self.assertEqual(errors, [])
        self.assertEqual(figures["messages retrieved"], CLIENTS * MESSAGES)
        self.assertGreaterEqual(figures["service threads with all clients on"], CLIENTS)
        print(f"\n{figures}")
        # A session may still be writing its logout line (the client's host name is looked
        # up for it) when its client has gone.
        self.assertTrue(wait_until(lambda: not (m.mailbox("load0000") / "LockFile.$$$").exists()))
        client = m.logon("load0000", pop3_load.PASSWORD)
        self.assertEqual(client.stat()[0], MESSAGES - 1)
        client.quit()


if __name__ == "__main__":
    unittest.main()
