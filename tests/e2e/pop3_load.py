"""A load run against popservice: many clients at once, spread over twenty loopback
addresses (127.0.0.10 to 127.0.0.29, as the service takes only so many sessions from one
host), each logging on as a user of its own, listing, retrieving every message, deleting one and quitting. Every
session is checked: no error, each message retrieved exactly once and intact, the deleted
one gone and the others kept. Used by test_load.py; run by hand for bigger figures:

    VREL_BIN=build/bin python3 tests/e2e/pop3_load.py [CLIENTS] [MESSAGES]
"""

import os
import statistics
import sys
import threading
import time

from machine import Machine

PASSWORD = "Load-Pass1"
BARRIER_LIMIT = 60.0  # seconds all clients may take to log on
SOURCES = [f"127.0.0.{n}" for n in range(10, 30)]


def message_text(user, number):
    lines = [f"From: sender@example.com", f"To: {user}@example.com",
             f"Subject: {user} message {number}", ""]
    lines += [f"{user} {number} line {i:03d} " + "x" * 60 for i in range(30)]
    lines.append(".a line that begins with a dot")
    return "\r\n".join(lines) + "\r\n"


def prepare(machine, clients, messages):
    """Makes the users with their mailboxes; returns {user: {uid: text}}."""
    users = [f"load{i:04d}" for i in range(clients)]
    machine.add_users(users, PASSWORD)
    stored = {}
    for user in users:
        texts = [message_text(user, n) for n in range(1, messages + 1)]
        paths = machine.put_messages(user, texts)
        stored[user] = {path.stem: text for path, text in zip(paths, texts)}
    return stored


def session(machine, user, source, barrier, outcome):
    """One client; outcome gets its timings and what it retrieved, or its error."""
    try:
        began = time.monotonic()
        client = machine.logon(user, PASSWORD, timeout=120, source=source)
        outcome["logon"] = time.monotonic() - began
        barrier.wait(BARRIER_LIMIT)
        try:
            uids = dict(line.decode().split()[::-1] for line in client.uidl()[1])
            outcome["retrieved"] = {
                uid: b"".join(line + b"\r\n" for line in client.retr(int(number))[1])
                for uid, number in uids.items()}
            outcome["deleted"] = min(uids)
            client.dele(int(uids[outcome["deleted"]]))
            outcome["quit"] = client.quit()
        finally:
            client.close()
        outcome["session"] = time.monotonic() - began
    except Exception as error:  # every failure is counted, none stops the run
        barrier.abort()
        outcome["error"] = f"{user}: {error!r}"


def run(machine, stored):
    """Runs one client per user at once; returns (figures, errors)."""
    peak = []
    barrier = threading.Barrier(
        len(stored), action=lambda: peak.append(len(os.listdir(f"/proc/{machine.pid}/task"))))
    outcomes = {user: {} for user in stored}
    threads = [threading.Thread(target=session, args=(machine, user, SOURCES[n % len(SOURCES)],
                                                      barrier, outcomes[user]))
               for n, user in enumerate(stored)]
    began = time.monotonic()
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    elapsed = time.monotonic() - began
    errors = [o["error"] for o in outcomes.values() if "error" in o]
    errors += check(machine, stored, outcomes) if not errors else []
    logons = sorted(o["logon"] for o in outcomes.values() if "logon" in o)
    figures = {
        "clients": len(stored),
        "messages retrieved": sum(len(o.get("retrieved", {})) for o in outcomes.values()),
        "elapsed s": round(elapsed, 2),
        "logon median s": round(statistics.median(logons), 3) if logons else None,
        "logon max s": round(logons[-1], 3) if logons else None,
        "service threads with all clients on": peak[0] if peak else None,
    }
    return figures, errors


def check(machine, stored, outcomes):
    """Each message retrieved once and intact; the deleted one gone, the others kept."""
    errors = []
    for user, texts in stored.items():
        outcome = outcomes[user]
        # The lines of RETR, each with its CR LF again: the stored text.
        expected = {uid: text.encode("latin-1") for uid, text in texts.items()}
        if outcome["retrieved"] != expected:
            errors.append(f"{user}: retrieved messages differ from the stored ones")
        if outcome["quit"] != b"+OK GoodBye !":
            errors.append(f"{user}: quit answered {outcome['quit']!r}")
        left = {path.stem for path in machine.mailbox(user).glob("*.eml")}
        if left != set(texts) - {outcome["deleted"]}:
            errors.append(f"{user}: mailbox holds {sorted(left)}")
    return errors


def main():
    clients = int(sys.argv[1]) if len(sys.argv) > 1 else 200
    messages = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    machine = Machine()
    try:
        began = time.monotonic()
        stored = prepare(machine, clients, messages)
        print(f"prepared {clients} users, {messages} messages each, "
              f"in {time.monotonic() - began:.1f} s")
        machine.install()
        machine.start()
        figures, errors = run(machine, stored)
        for name, value in figures.items():
            print(f"{name}: {value}")
        print("\n".join(errors[:20]) if errors else "no errors")
        return 1 if errors else 0
    finally:
        reports = machine.close()
        if reports:
            print(reports)


if __name__ == "__main__":
    sys.exit(main())
