#!/usr/bin/env python3
"""The Windows window under Wine, driven through its messages, with the Linux station on its COM port.

On a display of its own (Xvfb), the driver (a Windows program, WindowDriver.cpp) starts kestrion.exe and works
its window. The COM port it opens is a pseudo-terminal that this script joins, like a null-modem cable, to
another pseudo-terminal on which the Linux kestrion-station plays the instrument: it sends a download when the
driver says the window is ready for one, and takes an upload when the driver has started it. Afterwards the file
that Output wrote and the lines that the station received are compared byte for byte with what the Linux build
makes of the same bytes (kestrion-win32-reference), and the figures are printed: how soon the completion message
showed after the download's last byte, and how soon each "Start" of the upload was answered.

With --keys the driver plays the key table on the window instead (keyboard input to the window in front), and
this script only puts on the line the bytes the driver asks for (a download that was not output).

Exit status: 0 all checks passed, 1 some failed, 77 skipped (no Linux tools or no Xvfb).
"""
import argparse
import os
import pty
import select
import shutil
import signal
import statistics
import subprocess
import sys
import time
import tty
from pathlib import Path

# The port the window opens (the Wine prefix names it; see tests/win32/ports.txt) and the road it uploads.
PORT = "COM5"
LINK = "gui-com"
ROAD = 1  # the second road of sample.HLN, whose name holds a trail byte equal to the '^' marker
MARKER = "#"
SEED = "1"
# Chinese names in the records.
NAMES = ["\u6ee8\u6c5f", "\u5b66\u5e9c\u8def", "\u6c34\u5854", "\u540e\u89c6", "\u524d\u89c6"]

results = {"passed": 0, "failed": 0}


def check(ok, name, seen=""):
    if ok:
        results["passed"] += 1
        print(f"ok - {name}")
    else:
        results["failed"] += 1
        print(f"FAIL - {name}" + (f": {seen}" if seen else ""))
    sys.stdout.flush()
    return ok


def windows_path(path):
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


class Terminal:
    """One pseudo-terminal: this script holds the master and keeps the slave open, so that the line stays up
    while the other side closes and opens its end."""

    def __init__(self):
        self.master, self.slave = pty.openpty()
        tty.setraw(self.slave)
        os.set_blocking(self.master, False)
        self.path = os.ttyname(self.slave)
        self.pending = b""

    def close(self):
        os.close(self.master)
        os.close(self.slave)


class StationPort:
    """The station's own pseudo-terminal, registered as a virtual port: this script opens it as the station's
    counterpart, and the station keeps it until this side has read everything (--linger)."""

    def __init__(self, path):
        self.master = os.open(path, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
        tty.setraw(self.master)
        self.pending = b""

    def close(self):
        os.close(self.master)


class NoStation:
    """The line while no station plays: what the window sends is dropped."""

    def __init__(self):
        self.read_end, self.write_end = os.pipe()
        os.set_blocking(self.write_end, False)
        self.master = self.read_end
        self.pending = b""

    def close(self):
        os.close(self.read_end)
        os.close(self.write_end)


def start_station(command, link, env):
    """Starts a station on a pseudo-terminal of its own and opens it once its link is there."""
    process = subprocess.Popen(command, env=env, stdin=subprocess.DEVNULL, stderr=subprocess.PIPE)
    deadline = time.monotonic() + 10
    while not os.path.exists(link):
        if process.poll() is not None or time.monotonic() > deadline:
            return process, None
        time.sleep(0.005)
    return process, StationPort(link)


class Cable:
    """Joins the window's terminal to the station's, and notes what passes and when."""

    def __init__(self, window, station):
        self.window = window
        self.station = station
        self.to_window = bytearray()  # what the station sent, in order
        self.to_station = bytearray()  # what the window sent
        self.last_to_window = None  # when the station's last byte went on to the window
        self.start_sent = None  # when the latest "Start" went on to the window, while unanswered
        self.answers = []  # seconds from each "Start" to the first byte of the window's answer
        self.heard = b""

    def fds(self):
        readable = [self.window.master, self.station.master]
        writable = [t.master for t in (self.window, self.station) if t.pending]
        return readable, writable

    def serve(self, can_read, can_write):
        now = time.time()
        for source, target, record in ((self.station, self.window, self.to_window),
                                       (self.window, self.station, self.to_station)):
            if source.master in can_read:
                try:
                    chunk = os.read(source.master, 65536)
                except OSError:  # nobody at the other end yet
                    chunk = b""
                if chunk:
                    record += chunk
                    target.pending += chunk
                    if source is self.window and self.start_sent is not None:
                        self.answers.append(now - self.start_sent)
                        self.start_sent = None
        for target in (self.window, self.station):
            if target.master in can_write and target.pending:
                try:
                    written = os.write(target.master, target.pending)
                except OSError:
                    written = 0
                passed, target.pending = target.pending[:written], target.pending[written:]
                if target is self.window and passed:
                    self.last_to_window = time.time()
                    self.heard = (self.heard + passed)[-16:]
                    if self.heard.endswith(b"Start"):
                        self.start_sent = self.last_to_window
                        self.heard = b""


def start_display():
    """An Xvfb display of the test's own; returns (process, display name)."""
    read_end, write_end = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x1024x24", "-nolisten",
                             "tcp"], pass_fds=[write_end], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    number = b""
    deadline = time.monotonic() + 20
    while not number.endswith(b"\n") and time.monotonic() < deadline:
        ready, _, _ = select.select([read_end], [], [], 1)
        if ready:
            piece = os.read(read_end, 16)
            if not piece:
                break
            number += piece
    os.close(read_end)
    if not number.strip():
        xvfb.kill()
        sys.exit("window test: Xvfb did not start")
    return xvfb, ":" + number.decode().strip()


def write_records(path, count):
    lines = [f"{i + 1},{NAMES[i % len(NAMES)]}" for i in range(count)]
    path.write_bytes("".join(line + "\r\n" for line in lines).encode("gbk"))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--wine", required=True)
    parser.add_argument("--exe", required=True)
    parser.add_argument("--driver", required=True)
    parser.add_argument("--linux-tools", default="")
    parser.add_argument("--examples", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--links", required=True)
    parser.add_argument("--records", type=int, default=int(os.environ.get("KESTRION_WINDOW_RECORDS", "3000")))
    parser.add_argument("--records-file", default="", help="the download's records, in place of --records made-up ones")
    parser.add_argument("--baud", default="38400")
    parser.add_argument("--keys", action="store_true", help="play the key table instead of the transfers")
    parser.add_argument("--shots", default="", help="folder for pictures of the window at each step "
                        "(windows-NAME.png; the guides' are taken with --shots docs/images --records-file examples/obs-download.txt)")
    args = parser.parse_args()

    tools = Path(args.linux_tools) if args.linux_tools else None
    station = tools / "tools/station/kestrion-station" if tools else None
    reference = tools / "tests/win32/kestrion-win32-reference" if tools else None
    if not args.keys and (not station or not station.is_file() or not reference.is_file()):
        print(f"window test skipped: no Linux build with kestrion-station and kestrion-win32-reference "
              f"(KESTRION_LINUX_TOOLS='{args.linux_tools}')")
        return 77
    if not shutil.which("Xvfb"):
        print("window test skipped: Xvfb is not installed (Debian package xvfb)")
        return 77
    if "WINEPREFIX" not in os.environ:
        sys.exit("window test: WINEPREFIX is not set (scripts/test-windows.sh sets it)")

    work = Path(args.work)
    shutil.rmtree(work, ignore_errors=True)
    (work / "out").mkdir(parents=True)
    (work / "ref").mkdir()
    records = work / "records.txt"
    if args.records_file:
        shutil.copyfile(args.records_file, records)
    else:
        write_records(records, args.records)
    road_file = work / "sample.HLN"
    shutil.copyfile(Path(args.examples) / "sample.HLN", road_file)
    shots = Path(args.shots).resolve() if args.shots else None
    if shots:
        shots.mkdir(parents=True, exist_ok=True)

    window_end = Terminal()
    cable = Cable(window_end, NoStation())
    # The stations register their ports in a runtime folder of the test's own, which must be private.
    runtime = work / "runtime"
    runtime.mkdir(mode=0o700)
    station_env = dict(os.environ, XDG_RUNTIME_DIR=str(runtime))
    station_link = runtime / "kestrion/ports/window-test"
    links = Path(args.links)
    links.mkdir(parents=True, exist_ok=True)
    link = links / LINK
    if link.is_symlink() or link.exists():
        link.unlink()
    link.symlink_to(window_end.path)

    wineserver = str(Path(args.wine).parent / "wineserver")
    env = dict(os.environ)
    # The programs under test run on their own display, with a fresh server that starts its desktop there.
    subprocess.run([wineserver, "-k"], env=env, stderr=subprocess.DEVNULL)
    subprocess.run([wineserver, "-w"], env=env, stderr=subprocess.DEVNULL)
    xvfb, display = start_display()
    env["DISPLAY"] = display
    started = time.monotonic()

    driver_log = work / "driver.log"
    command = [args.wine, args.driver, windows_path(args.exe), windows_path(work), PORT, args.baud,
               windows_path(road_file), str(ROAD)]
    if args.keys:
        command = [args.wine, args.driver, "--keys", windows_path(args.exe), windows_path(work), PORT]
    if shots:
        command.append("--shots")
    with open(driver_log, "wb") as log:
        driver = subprocess.Popen(command, env=env, stdout=log, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
    station_args = [str(station), "--name", "window-test", "--baud", args.baud]

    def plug(process_and_port):
        process, port = process_and_port
        if port is not None:
            cable.station.close()
            cable.station = port
        return process

    def unplug():
        # Whatever the station sent is read before its end of the line goes.
        readable, _, _ = select.select([cable.station.master], [], [], 0)
        if readable:
            cable.serve(readable, [])
        cable.station.close()
        cable.station = NoStation()
    sender = receiver = None
    download_bytes = 0
    download_last = None
    try:
        deadline = time.monotonic() + 540
        while driver.poll() is None and time.monotonic() < deadline:
            readable, writable = cable.fds()
            can_read, can_write, _ = select.select(readable, writable, [], 0.002)
            cable.serve(can_read, can_write)
            send = work / "send"
            if send.exists():
                window_end.pending += send.read_bytes()
                send.unlink()
            if sender is None and (work / "ready-download").exists():
                # It waits for this side to open its port, sends, and keeps the port while this side reads.
                sender = plug(start_station(station_args + ["--wait-open", "--settle", "0", "send", "--marker", MARKER,
                                                            "--seed", SEED, "--linger", "1000", str(records)],
                                            str(station_link), station_env))
            if sender is not None and download_last is None and sender.poll() is not None:
                unplug()
                while window_end.pending:  # on to the window
                    _, can_write, _ = select.select([], [window_end.master], [], 1)
                    cable.serve([], can_write)
                download_bytes = len(cable.to_window)
                download_last = cable.last_to_window
            if receiver is None and (work / "ready-upload").exists():
                cable.answers.clear()
                receiver = plug(start_station(station_args + ["receive", "--out", str(work / "received.txt")],
                                              str(station_link), station_env))
            if receiver is not None and receiver.poll() is not None and not (work / "upload-done").exists():
                unplug()
                (work / "upload-done").write_text(str(receiver.returncode))
            for request in work.glob("shot-*"):
                if request.suffix in (".done", ".part") or (work / (request.name + ".done")).exists():
                    continue
                x, y, w, h = request.read_text().split()
                if shots:
                    subprocess.run(["import", "-display", display, "-window", "root", "-crop",
                                    f"{w}x{h}+{x}+{y}", "+repage", str(shots / f"windows-{request.name[5:]}.png")],
                                   check=False)
                (work / (request.name + ".done")).write_text("")
        if driver.poll() is None:
            driver.kill()
            check(False, "the driver ends within its time")
    finally:
        for process in (sender, receiver):
            if process is not None and process.poll() is None:
                process.kill()
        subprocess.run([wineserver, "-k"], env=env, stderr=subprocess.DEVNULL)
        xvfb.send_signal(signal.SIGTERM)
        xvfb.wait()
        window_end.close()
        cable.station.close()
        link.unlink()

    print(driver_log.read_text(encoding="utf-8", errors="replace"), end="")
    if os.environ.get("KESTRION_WINDOW_DEBUG"):
        print("# to window:", len(cable.to_window), bytes(cable.to_window[-80:]))
        print("# to station:", len(cable.to_station), bytes(cable.to_station[-200:]))
        print("# pending:", window_end.pending, cable.station.pending)
    driver_failures = driver.returncode
    check(driver_failures == 0, "the driver's checks", f"{driver_failures} failed")
    if args.keys:
        print(f"# key test took {time.monotonic() - started:.1f} s")
        print(f"{results['passed']} passed, {results['failed']} failed")
        return 0 if results["failed"] == 0 else 1

    # The download: the line carried the station's every byte, and Output wrote what the Linux build writes.
    if sender is not None:
        check(sender.wait() == 0, "the station's download completed", sender.stderr.read().decode(errors="replace"))
        stream = work / "ref/stream.bin"
        made = subprocess.run([str(reference), "download", str(records), MARKER, SEED, str(stream),
                               str(work / "ref/download.txt")], capture_output=True, text=True)
        if check(made.returncode == 0, "the Linux reference of the download", made.stderr):
            sent = stream.read_bytes()
            check(bytes(cable.to_window[:download_bytes]) == sent, "the window's line carried every byte the "
                  f"station sent ({len(sent)} bytes)", f"{download_bytes} bytes passed")
            expected = Path(made.stdout.strip())
            written = sorted((work / "out").iterdir())
            names = [p.name for p in written]
            if check(names == [expected.name], f"Output wrote one file, {expected.name}", " ".join(names)):
                check(written[0].read_bytes() == expected.read_bytes(),
                      "the output file is byte for byte what the Linux build writes")
    else:
        check(False, "the driver asked for the download")

    # The upload: the station received, line for line, what the Linux build sends for the same road.
    if receiver is not None:
        check(receiver.wait() == 0, "the station's upload completed", receiver.stderr.read().decode(errors="replace"))
        expected = work / "ref/upload.txt"
        made = subprocess.run([str(reference), "upload", str(road_file), str(ROAD), str(expected)],
                              capture_output=True, text=True)
        if check(made.returncode == 0, "the Linux reference of the upload", made.stderr):
            want = expected.read_bytes().split(b"\r\n")
            got = (work / "received.txt").read_bytes().split(b"\r\n") if (work / "received.txt").exists() else []
            first = next((i for i, (a, b) in enumerate(zip(want, got)) if a != b), None)
            check(want == got, f"the station received the road's {len(want) - 1} lines as the Linux build sends them",
                  f"line {first}: {got[first]!r} vs {want[first]!r}" if first is not None else f"{len(got)} lines")
    else:
        check(False, "the driver asked for the upload")

    # The figures, printed: speed belongs to benchmarks, not to a test's verdict.
    box = work / "download-box"
    if download_last is not None and box.exists():
        made, shown = (float(t) for t in box.read_text().split())
        what = args.records_file or f"{args.records} records"
        print(f"# figure: download of {what} ({download_bytes} bytes at {args.baud} baud): the completion message "
              f"showed {(shown - download_last) * 1000:.0f} ms after the last byte (target 100 ms); its window was "
              f"made after {(made - download_last) * 1000:.0f} ms")
    if cable.answers:
        answers = [a * 1000 for a in cable.answers]
        print(f"# figure: upload: {len(answers)} \"Start\" requests answered in {statistics.median(answers):.2f} ms "
              f"median, {max(answers):.2f} ms at most (target 5 ms median)")
    print(f"# window test took {time.monotonic() - started:.1f} s")
    print(f"{results['passed']} passed, {results['failed']} failed")
    return 0 if results["failed"] == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
