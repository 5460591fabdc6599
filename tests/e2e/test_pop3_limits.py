"""What popservice bounds per client address, end to end: password guesses from many
connections of one host, the sessions one host may hold, and the time a client has to log
on. The service runs on a fast machine clock, so its minutes pass in a fraction of a second;
the tests assert orders and lower bounds, which a loaded host cannot break."""

import socket
import threading
import time
import unittest

from machine import MachineCase, wait_until

SCALE = 100  # machine milliseconds per host millisecond
GUESSER = "127.0.0.2"
OTHER = "127.0.0.3"
PER_ADDRESS = 50  # the sessions one address may hold
AUTHORIZATION_S = 180.0  # machine seconds to log on


class Raw:
    """A bare connection from a loopback address, for what poplib cannot send."""

    def __init__(self, port, source, timeout=30):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout,
                                             source_address=(source, 0))
        self.stream = self.sock.makefile("rb")

    def line(self):
        return self.stream.readline()

    def send(self, data):
        self.sock.sendall(data)

    def closed_by_server(self):
        """True once the server has closed; what it sent before is skipped."""
        try:
            self.stream.read()
            return True
        except TimeoutError:
            return False
        except OSError:  # reset
            return True

    def close(self):
        self.stream.close()
        self.sock.close()


class Pop3LimitsCase(MachineCase):
    def setUp(self):
        super().setUp()
        m = self.machine
        m.env["VREL_CLOCK_SCALE"] = str(SCALE)
        m.add_users(["ann"], "Secret1")
        m.install()
        m.start()

    def raw(self, source):
        client = Raw(self.machine.port, source)
        self.addCleanup(client.close)
        return client


class GuessingTest(Pop3LimitsCase):
    def test_refusals_slow_one_host_down_across_its_connections(self):
        guessers = [self.raw(GUESSER) for _ in range(5)]
        for guesser in guessers:
            self.assertTrue(guesser.line().startswith(b"+OK "))
            guesser.send(b"USER nobody\r\n")
            self.assertTrue(guesser.line().startswith(b"+OK nobody is welcome"))
        refused = []

        def guess(guesser):
            guesser.send(b"PASS guess\r\n")
            self.assertEqual(guesser.line(), b"-ERR bad login\r\n")
            refused.append(time.monotonic())

        threads = [threading.Thread(target=guess, args=(g,)) for g in guessers]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
        self.assertEqual(len(refused), 5)
        # One check at a time, each after the penalty of the refusals before it: 2 s, 4 s,
        # 8 s and 15 s of machine time between the five.
        self.assertGreaterEqual(max(refused) - min(refused), (2 + 4 + 8 + 15) / SCALE)

    def test_a_user_of_another_host_logs_on_while_one_host_guesses(self):
        guessers = [self.raw(GUESSER) for _ in range(10)]
        for guesser in guessers:
            guesser.line()
            guesser.send(b"USER nobody\r\nPASS guess\r\n")
        self.machine.logon("ann", "Secret1", source=OTHER).quit()
        logged_on = time.monotonic()
        refused = []
        for guesser in guessers:
            guesser.line()
            self.assertEqual(guesser.line(), b"-ERR bad login\r\n")
            refused.append(time.monotonic())
        # The guesses take their turns one after the other; the user waits for none of them.
        self.assertLess(logged_on, max(refused))


class SessionsPerHostTest(Pop3LimitsCase):
    def test_one_host_holds_only_its_share_and_others_are_served(self):
        held = [self.raw(GUESSER) for _ in range(PER_ADDRESS)]
        for client in held:
            self.assertTrue(client.line().startswith(b"+OK "))
        over = self.raw(GUESSER)
        self.assertEqual(over.line(), b"-ERR too many connections, try again later\r\n")
        self.assertTrue(over.closed_by_server())
        self.machine.logon("ann", "Secret1", source=OTHER).quit()
        held.pop().close()
        self.assertTrue(wait_until(lambda: self.greeted(GUESSER)), "a place came free")

    def greeted(self, source):
        client = Raw(self.machine.port, source)
        try:
            return client.line().startswith(b"+OK ")
        finally:
            client.close()


class AuthorizationTimeTest(Pop3LimitsCase):
    def test_a_client_not_logged_on_in_time_is_closed_however_it_keeps_busy(self):
        cases = {
            "one byte at a time": [b"N", b"O", b"O", b"P"] * 200,
            "a NOOP every 6 s": [b"NOOP\r\n"] * 800,
        }
        for name, pieces in cases.items():
            with self.subTest(name):
                client = self.raw(OTHER)
                began = time.monotonic()
                client.line()
                closed = self.keep_sending(client, pieces, interval=6 / SCALE)
                self.assertTrue(closed, "still connected after the pieces")
                self.assertGreaterEqual(time.monotonic() - began, AUTHORIZATION_S / SCALE)

    def test_after_the_logon_only_silence_ends_a_session(self):
        client = self.machine.logon("ann", "Secret1", source=OTHER)
        for _ in range(4):  # 400 machine seconds, past the time to log on
            time.sleep(100 / SCALE)
            self.assertEqual(client.noop(), b"+OK handling NOOP gracefully")
        client.quit()

    @staticmethod
    def keep_sending(client, pieces, interval):
        """Sends the pieces one by one, reading the replies between them; True when the
        server closed before the last."""
        for piece in pieces:
            try:
                client.sock.sendall(piece)
            except OSError:
                return True
            deadline = time.monotonic() + interval
            while (left := deadline - time.monotonic()) > 0:
                client.sock.settimeout(left)
                try:
                    if not client.sock.recv(4096):
                        return True
                except socket.timeout:
                    break
                except OSError:
                    return True
        return False


if __name__ == "__main__":
    unittest.main()
