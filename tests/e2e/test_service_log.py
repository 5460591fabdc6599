"""What the started popservice writes: the start line with the authorization line, the stop
line, and the service's "Description" value."""

import re
import unittest

from machine import MachineCase, SERVICE_KEY

VERSION = r"Vrel POP3 Service Version: \d+\.\d+\.\d+ Build \(\d+\)"
DATE_TIME = r"\d+/\d+/\d{4} \d+:\d\d:\d\d [AP]M"
START_LINE = rf"\r\n\+\+\+\+\+ {VERSION} started: {DATE_TIME} \+\+\+\+\+\r\n"
STOP_LINE = rf"\r\n----- {VERSION} stopped: {DATE_TIME} -----\r\n"
DESCRIPTION = "Sorts and delivers email messages to POP3 clients"


class ServiceLogTest(MachineCase):
    def setUp(self):
        super().setUp()
        self.machine.install()

    def test_start_and_stop_lines_with_the_authorization_line(self):
        m = self.machine
        m.set_setting("LoggingEnabled", 1)
        cases = [
            # UserAuthentication, NTDomainLogonServer, the line after the start line
            (None, None, ""),
            (0, None, " -> Using Local Computer User Authorization\r\n"),
            (1, "SALES", " -> Using NT Domain User Authorization: SALES\r\n"),
            (1, None, ""),
            (2, None, "\r\n -> Using Password Database User Authorization\r\n"),
            (7, "SALES", " -> Using Local Computer User Authorization\r\n"),
        ]
        for authentication, domain, line in cases:
            with self.subTest(authentication=authentication, domain=domain):
                for name, value in (("UserAuthentication", authentication),
                                    ("NTDomainLogonServer", domain)):
                    if value is None:
                        m.delete_setting(name)
                    else:
                        m.set_setting(name, value)
                before = len(m.daily_log())
                m.start()
                m.stop()
                written = m.daily_log()[before:]
                self.assertRegex(written, rf"^(.*\r\n)?{START_LINE}{re.escape(line)}{STOP_LINE}$")

    def test_description_is_written_when_missing_even_with_logging_off(self):
        m = self.machine
        self.assertIsNone(m.query_value(SERVICE_KEY, "Description"))
        m.start()
        self.assertEqual(m.query_value(SERVICE_KEY, "Description"), DESCRIPTION)
        m.stop()
        self.assertEqual(m.daily_log(), "", "logging is off")

    def test_an_existing_description_is_kept(self):
        m = self.machine
        m.set_value(SERVICE_KEY, "Description", "REG_SZ", "Our mail service")
        m.start()
        m.stop()
        self.assertEqual(m.query_value(SERVICE_KEY, "Description"), "Our mail service")

    def test_a_wrongly_typed_setting_fails_the_start_in_the_event_log(self):
        m = self.machine
        m.set_setting("UserAuthentication", "1")  # a text where every writer stores a number
        m.winhost("sc", "start", "vrelP3Service")
        m.wait_for_state("STOPPED")
        self.assertIn("Service failed on start: Invalid data type for 'UserAuthentication'",
                      m.eventlog())


if __name__ == "__main__":
    unittest.main()
