#!/usr/bin/env python3
"""QuillHT without --headless: the program itself never links the GUI toolkit, loads its window
front-end from its own folder and stops at the login, which SIGTERM cancels, having saved
nothing; a program folder
without the front-end says so and ends; a bad command line ends before any window exists."""
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

BUILD = os.environ["VRN_BUILD_DIR"]
PROGRAM = os.path.join(BUILD, "monitor", "app", "QuillHT")
FRONT_END = os.path.join(BUILD, "monitor", "app", "libquillht-window.so")

failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAIL:", what)


def needed_libraries(path):
    out = subprocess.run(["readelf", "-d", path], capture_output=True, text=True, check=True)
    return [line.split("[")[1].rstrip("]") for line in out.stdout.splitlines()
            if "(NEEDED)" in line]


def window_env(trace=True):
    env = dict(os.environ)
    env["QT_QPA_PLATFORM"] = "offscreen"
    env.pop("DISPLAY", None)
    env.pop("WAYLAND_DISPLAY", None)
    if trace:
        env["QUILLHT_TRACE"] = "1"
    return env


def wait_for_text(path, text, proc, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        with open(path, encoding="utf-8", errors="replace") as f:
            if text in f.read():
                return True
        if proc.poll() is not None:
            return False
        time.sleep(0.05)
    return False


def main():
    needed = needed_libraries(PROGRAM)
    check(not any(n.startswith("libQt") for n in needed),
          f"QuillHT itself needs no Qt library (NEEDED: {needed})")
    check(any(n.startswith("libQt6Widgets") for n in needed_libraries(FRONT_END)),
          "the window front-end links Qt Widgets")

    with tempfile.TemporaryDirectory() as work:
        ini = os.path.join(work, "QuillHT.ini")
        err_path = os.path.join(work, "err")
        with open(err_path, "w") as err:
            proc = subprocess.Popen(
                [PROGRAM, "--no-broadcast", "--config", ini, "--workdir", work],
                stdout=subprocess.DEVNULL, stderr=err, env=window_env())
        try:
            started = wait_for_text(err_path, "Application Starting up...", proc, 20)
            check(started, "the window front-end starts (its trace says so)")
            # The login dialog waits for the user: the program keeps running, nothing more.
            time.sleep(0.5)
            check(proc.poll() is None, "the program waits at the login")
            with open(err_path, encoding="utf-8", errors="replace") as f:
                text = f.read()
            check("OnInitDialog" not in text, "no main window before the login")
            # SIGTERM at the login cancels it: the program ends at once, status 1.
            proc.send_signal(signal.SIGTERM)
            try:
                status = proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                status = None
            check(status == 1, f"SIGTERM at the login ends the program with 1 (got {status})")
        finally:
            if proc.poll() is None:
                proc.send_signal(signal.SIGKILL)
            proc.wait(timeout=10)
        check(not os.path.exists(ini), "nothing saved before the login")
        check(not os.path.exists(os.path.join(work, "Mail.dat")), "no book written")

        # A program folder without the front-end.
        alone = os.path.join(work, "alone")
        os.mkdir(alone)
        shutil.copy2(PROGRAM, alone)
        run = subprocess.run([os.path.join(alone, "QuillHT"), "--no-broadcast", "--config", ini],
                             capture_output=True, text=True, env=window_env(False), timeout=20)
        check(run.returncode == 2 and "libquillht-window.so" in run.stderr,
              f"missing front-end: status 2 and its name (got {run.returncode}: {run.stderr!r})")

        # Options the front-end does not know end the program before the toolkit starts.
        run = subprocess.run([PROGRAM, "--no-such-option"], capture_output=True, text=True,
                             env=window_env(False), timeout=20)
        check(run.returncode == 2 and "--headless" in run.stderr,
              f"bad option: status 2 and the usage (got {run.returncode})")
        check(not os.path.exists(ini), "still nothing saved")

    if failures:
        print(f"{len(failures)} check(s) failed")
        return 1
    print("all checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
