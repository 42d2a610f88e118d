#!/usr/bin/env python3
"""The Linux side of the Windows port tests under Wine: pseudo-terminals behind the links that the Wine prefix
names as COM ports (tests/windows/ports.txt).

    pty_peer.py start LINK_DIR [NAMED]    points the links at fresh terminals and serves them in the background
    pty_peer.py stop LINK_DIR [NAMED]     ends the one started there

pair-a and pair-b are the two ends of one line; nobody reads stalled; hangup closes its terminal when it hears
"hang up" (and a fresh one takes the link). NAMED, when given, is one more link to pair-a: a device of the Wine
prefix (dosdevices/cnca0), under a name that is not COMn, as a virtual null-modem pair names its ends.
"""
import os
import pty
import select
import signal
import sys
import time
import tty

LIFETIME_S = 600  # the peer ends by itself after this, should nobody stop it


class Terminal:
    def __init__(self, link):
        self.master, self.slave = pty.openpty()
        tty.setraw(self.slave)  # no echo or line editing before Wine sets the line up
        os.set_blocking(self.master, False)
        if os.path.lexists(link + ".new"):
            os.unlink(link + ".new")
        os.symlink(os.ttyname(self.slave), link + ".new")
        os.replace(link + ".new", link)

    def close(self):
        os.close(self.master)
        os.close(self.slave)


def stop_now(*_):
    raise KeyboardInterrupt  # ends a select at once, which a handler that returns would not


def serve(link_dir):
    links = {name: os.path.join(link_dir, name) for name in ("pair-a", "pair-b", "stalled", "hangup")}
    ends = {name: Terminal(link) for name, link in links.items()}
    pending = {"pair-a": b"", "pair-b": b""}  # bytes on their way to that end
    other = {"pair-a": "pair-b", "pair-b": "pair-a"}
    heard = b""
    signal.signal(signal.SIGTERM, stop_now)
    with open(os.path.join(link_dir, "peer.pid"), "w") as pid_file:
        pid_file.write(f"{os.getpid()}\n")
    try:
        deadline = time.monotonic() + LIFETIME_S
        while time.monotonic() < deadline:
            readable = [ends[n].master for n in ("pair-a", "pair-b", "hangup")]
            writable = [ends[n].master for n in pending if pending[n]]
            can_read, can_write, _ = select.select(readable, writable, [], 1)
            for name in pending:
                if ends[name].master in can_write:
                    pending[name] = pending[name][os.write(ends[name].master, pending[name]):]
                if ends[name].master in can_read:
                    pending[other[name]] += os.read(ends[name].master, 65536)
            if ends["hangup"].master in can_read:
                heard = (heard + os.read(ends["hangup"].master, 4096))[-64:]
                if b"hang up" in heard:
                    ends["hangup"].close()
                    ends["hangup"] = Terminal(links["hangup"])
                    heard = b""
    except KeyboardInterrupt:
        pass
    finally:
        for end in ends.values():
            end.close()
        for link in links.values():
            if os.path.lexists(link):
                os.unlink(link)
        os.unlink(os.path.join(link_dir, "peer.pid"))


def link_named(named, link_dir):
    if os.path.lexists(named):
        os.unlink(named)
    os.symlink(os.path.join(link_dir, "pair-a"), named)


def start(link_dir, named=None):
    stop(link_dir, named)
    os.makedirs(link_dir, exist_ok=True)
    if named and os.path.isdir(os.path.dirname(named)):
        link_named(named, link_dir)
    if os.fork() == 0:
        # Detached and holding none of the caller's descriptors: CTest waits until the output of a test ends.
        os.setsid()
        log = os.open(os.path.join(link_dir, "peer.log"), os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
        os.dup2(os.open(os.devnull, os.O_RDONLY), 0)
        os.dup2(log, 1)
        os.dup2(log, 2)
        try:
            serve(link_dir)
        finally:
            os._exit(0)
    deadline = time.monotonic() + 5
    while not os.path.exists(os.path.join(link_dir, "peer.pid")):
        if time.monotonic() > deadline:
            sys.exit(f"pty_peer: no peer came up; see {link_dir}/peer.log")
        time.sleep(0.01)
    for name in ("pair-a", "pair-b", "stalled", "hangup"):
        print(f"{name} -> {os.readlink(os.path.join(link_dir, name))}")


def stop(link_dir, named=None):
    if named and os.path.islink(named):
        os.unlink(named)
    pid_path = os.path.join(link_dir, "peer.pid")
    try:
        with open(pid_path) as pid_file:
            pid = int(pid_file.read())
        with open(f"/proc/{pid}/cmdline", "rb") as cmdline:
            ours = b"pty_peer.py" in cmdline.read()
    except (OSError, ValueError):
        ours = False
    if not ours:  # none, or one that died without cleaning up and whose number may be another's by now
        if os.path.exists(pid_path):
            os.unlink(pid_path)
        return
    os.kill(pid, signal.SIGTERM)
    deadline = time.monotonic() + 5
    while os.path.exists(pid_path) and time.monotonic() < deadline:
        time.sleep(0.01)


if __name__ == "__main__":
    if len(sys.argv) not in (3, 4) or sys.argv[1] not in ("start", "stop"):
        sys.exit(__doc__)
    named = os.path.abspath(sys.argv[3]) if len(sys.argv) == 4 else None
    (start if sys.argv[1] == "start" else stop)(os.path.abspath(sys.argv[2]), named)
