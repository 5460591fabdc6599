#!/usr/bin/env python3
"""End-to-end deliveries per second: messages of 4 KB sent over SMTP to one local mail user,
timed until every one is in the user's mailbox (or, without the agent, in the drop folder).

Each round runs three loads in turn on fresh machines (the last two in the other order every
second round), so that a drift of the machine's speed reaches all three alike:

- bare:  no agent bound; the SMTP session, the queue files and the SMTP service's own drop
         copy only (the baseline of the whole chain);
- empty: the whole chain (SMTP service, the agent COM starts, the mailbox), into an empty
         mailbox;
- large: the same into a mailbox that already holds 10,000 messages.

Beside them each round times the floor: the same messages written straight into a folder of
the same file system, each created under a temporary name, written, synced and renamed
(what the least durable delivery must do), so the chain's rate is also given as a ratio of
that floor.

The SMTP service keeps the agent's object while messages wait and releases it once the
queue is idle, so one agent process should serve a whole load; the script samples how many
it saw. It prints each run, each round's ratios (empty/bare as rates; large/empty as time per
message) and their medians, and the load average before and after. Not part of the test run:

    python3 bench/mail_flow_bench.py [MESSAGES [ROUNDS]]   (VREL_BIN defaults to build/bin)
"""

import os
import pathlib
import shutil
import smtplib
import statistics
import sys
import tempfile
import threading
import time

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "tests" / "e2e"))
os.environ.setdefault("VREL_BIN", str(pathlib.Path(__file__).resolve().parent.parent
                                      / "build" / "bin"))

from machine import wait_until  # noqa: E402
from mail_system import MailMachine  # noqa: E402

BODY_LINE = "x" * 70 + "\r\n"
LARGE_MAILBOX = 10000


def message(number):
    head = f"From: bench@remote.test\r\nSubject: message {number}\r\n\r\n"
    body = BODY_LINE * ((4096 - len(head)) // len(BODY_LINE))
    return (head + body).ljust(4094, "y") + "\r\n"


def count_files(folder):
    try:
        with os.scandir(folder) as entries:
            return sum(1 for entry in entries if entry.name.endswith(".eml"))
    except FileNotFoundError:
        return 0


def fill_mailbox(machine, user, count):
    """Messages named as the agent names them (date, time, sequence), from an earlier day."""
    folder = machine.mailbox(user)
    folder.mkdir(parents=True, exist_ok=True)
    text = message(0).encode()
    for n in range(count):
        (folder / f"260101{n:09d}000000001.eml").write_bytes(text)


def sample_agents(machine, seen, stop):
    """Records each agent process seen (sampled every 10 ms)."""
    while not stop.is_set():
        seen.update(machine.agent_pids())
        time.sleep(0.01)


def floor(count):
    """Messages per second of a bare create-write-fsync-rename loop on the same file system."""
    folder = pathlib.Path(tempfile.mkdtemp(prefix="vrel-floor-"))
    try:
        texts = [message(n).encode() for n in range(count)]
        start = time.monotonic()
        for n, text in enumerate(texts):
            temporary = folder / f".{n}.tmp"
            fd = os.open(temporary, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o600)
            os.write(fd, text)
            os.fsync(fd)
            os.close(fd)
            os.rename(temporary, folder / f"{n}.eml")
        return count / (time.monotonic() - start)
    finally:
        shutil.rmtree(folder)


def run(count, load):
    """Deliveries per second of one load: "bare", "empty" or "large"; and the agents seen."""
    m = MailMachine()
    try:
        m.install_smtp()
        m.add_users(["ann"], "Secret1")
        if load == "bare":
            folder, before = m.mail_folder("Drop"), 0
        else:
            m.bind_agent()
            before = LARGE_MAILBOX if load == "large" else 0
            fill_mailbox(m, "ann", before)
            folder = m.mailbox("ann")
        seen, stop = set(), threading.Event()
        sampler = threading.Thread(target=sample_agents, args=(m, seen, stop))
        sampler.start()
        texts = [message(n).encode() for n in range(count)]
        start = time.monotonic()
        with smtplib.SMTP("127.0.0.1", m.smtp_port, timeout=60) as client:
            for text in texts:
                client.sendmail("bench@remote.test", [m.address("ann")], text)
        done = wait_until(lambda: count_files(folder) >= before + count, limit=600,
                          interval=0.02)
        total = time.monotonic() - start
        stop.set()
        sampler.join()
        if not done:
            raise SystemExit(f"{load}: not every message arrived")
        return count / total, len(seen)
    finally:
        m.close()


def main():
    count = int(sys.argv[1]) if len(sys.argv) > 1 else 1000
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    print(f"{count} messages of 4 KB to one mail user, {rounds} rounds; load average "
          f"{os.getloadavg()[0]:.2f} (1 min) on {os.cpu_count()} processors")
    chain, growth, of_floor = [], [], []
    for number in range(1, rounds + 1):
        least = floor(count)
        results = {"bare": run(count, "bare")}
        for load in ("empty", "large") if number % 2 else ("large", "empty"):
            results[load] = run(count, load)
        (bare, _), (empty, empty_agents), (large, large_agents) = \
            results["bare"], results["empty"], results["large"]
        chain.append(empty / bare)
        growth.append(empty / large)
        of_floor.append(empty / least)
        print(f"round {number}: floor {least:7.1f}/s, bare {bare:7.1f}/s, empty {empty:7.1f}/s "
              f"({empty_agents} agent processes), large {large:7.1f}/s ({large_agents}); whole "
              f"chain {of_floor[-1]:.2f} of the floor and {chain[-1]:.2f} of bare; "
              f"{LARGE_MAILBOX} messages take {growth[-1]:.2f} of the empty mailbox's time per "
              f"message")
    print(f"median: whole chain {statistics.median(of_floor):.2f} times the floor's rate and "
          f"{statistics.median(chain):.2f} times the rate of the SMTP service alone; into "
          f"{LARGE_MAILBOX} messages {statistics.median(growth):.2f} times the time into an "
          f"empty mailbox")
    print(f"load average at the end {os.getloadavg()[0]:.2f} (1 min)")


if __name__ == "__main__":
    main()
