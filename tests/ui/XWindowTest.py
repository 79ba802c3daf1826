#!/usr/bin/env python3
# The real program on a real X server (Xvfb, no window manager), as a new user meets it: an empty
# configuration, a database filled by a replay, a real pointer click on the second filter row,
# then that filter's hosts and its commands. The window reports what it shows through the file
# named by OMBRIX_WINDOW_STATE.
# Usage: XWindowTest.py OMBRIX_BINARY. Exits 77 (skipped) without Xvfb or xdotool.
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time

SKIP = 77
WIDTH, HEIGHT = 1280, 800


def write_capture(path):
    """Two outside hosts answer 198.18.0.10, which also sends to 198.18.0.20 on the local net."""
    frames = [("198.51.100.7", "198.18.0.10", 1000), ("203.0.113.9", "198.18.0.10", 400),
              ("198.18.0.10", "198.18.0.20", 700), ("198.18.0.10", "198.18.0.20", 300)]
    with open(path, "wb") as out:
        out.write(struct.pack("<IHHiIII", 0xA1B2C3D4, 2, 4, 0, 0, 65535, 1))
        for second, (source, destination, length) in enumerate(frames):
            ip = bytearray(length)
            ip[0], ip[8], ip[9] = 0x45, 64, 17
            ip[2:4] = struct.pack(">H", length)
            ip[12:16] = bytes(int(part) for part in source.split("."))
            ip[16:20] = bytes(int(part) for part in destination.split("."))
            ip[20:24] = struct.pack(">HH", 53, 40000)
            frame = bytes([2, 0, 0, 0, 0, 1, 2, 0, 0, 0, 0, 2, 8, 0]) + bytes(ip)
            # Recent: the window purges records older than the days it keeps.
            stamp = int(time.time()) - 60 + second
            out.write(struct.pack("<IIII", stamp, 0, len(frame), len(frame)))
            out.write(frame)


def click_centre(env, rect):
    """Clicks the middle of "X Y WIDTH HEIGHT ..."."""
    x, y, width, height = (int(value) for value in rect.split()[:4])
    subprocess.run(["xdotool", "mousemove", str(x + width // 2), str(y + height // 2), "click", "1"],
                   env=env, check=True)


def wait_for(path, test, seconds=60):
    """The state file's lines after their first word, by that word, once test() holds for them."""
    deadline = time.monotonic() + seconds
    state = None
    while time.monotonic() < deadline:
        if os.path.exists(path):
            state = {}
            with open(path, encoding="utf-8") as source:
                for line in source.read().splitlines():
                    kind, _, rest = line.partition(" ")
                    state.setdefault(kind, []).append(rest)
            if test(state):
                return state
        time.sleep(0.2)
    raise AssertionError("the window never showed the expected state; last: %r" % (state,))


def main():
    ombrix = sys.argv[1]
    for tool in ("Xvfb", "xdotool"):
        if shutil.which(tool) is None:
            print("SKIPPED: %s is not installed (scripts/setup.sh installs it)" % tool)
            return SKIP
    work = tempfile.mkdtemp(prefix="ombrix-x-")
    env = {key: value for key, value in os.environ.items()
           if key not in ("QT_QPA_PLATFORM", "WAYLAND_DISPLAY")}
    env.update(XDG_CONFIG_HOME=os.path.join(work, "config"), XDG_DATA_HOME=os.path.join(work, "data"),
               XDG_RUNTIME_DIR=work, HOME=work, OMBRIX_WINDOW_STATE=os.path.join(work, "state"))
    database = os.path.join(work, "traffic.db")
    write_capture(os.path.join(work, "small.pcap"))
    subprocess.run([ombrix, "--replay", os.path.join(work, "small.pcap"), "--db", database,
                    "--local-net", "198.18.0.0/24"], env=env, check=True, stdout=subprocess.DEVNULL)

    display = ":%d" % (90 + os.getpid() % 500)
    xvfb = subprocess.Popen(["Xvfb", display, "-screen", "0", "%dx%dx24" % (WIDTH, HEIGHT),
                             "-nolisten", "tcp"], stderr=subprocess.DEVNULL)
    env["DISPLAY"] = display
    window = None
    try:
        deadline = time.monotonic() + 20
        while subprocess.run(["xdotool", "getmouselocation"], env=env, capture_output=True).returncode:
            if time.monotonic() > deadline or xvfb.poll() is not None:
                raise AssertionError("Xvfb did not start on " + display)
            time.sleep(0.1)
        window = subprocess.Popen([ombrix, "--db", database], env=env)
        state_file = env["OMBRIX_WINDOW_STATE"]
        state = wait_for(state_file, lambda s: len(s.get("filter", [])) >= 2
                         and s["selected"] != [""])

        x, y, width, height = (int(value) for value in state["window"][0].split())
        assert (width, height) == (WIDTH * 2 // 3, HEIGHT * 2 // 3), state["window"]
        assert x >= 0 and y >= 0 and x + width <= WIDTH and y + height <= HEIGHT, state["window"]
        assert state["selected"] == ["Internet Traffic"], state["selected"]

        _, rect = state["filter"][1].split(" ", 1)  # "ROW X Y WIDTH HEIGHT NAME"
        assert rect.endswith(" Local Traffic"), rect
        click_centre(env, rect)
        state = wait_for(state_file, lambda s: s["selected"] == ["Local Traffic"] and "host" in s
                         and "Suspend 1" in s["command"])
        # The window also captures live; the replayed host must be there, the other filter's not.
        assert "198.18.0.20" in state["host"], state["host"]
        assert "198.51.100.7" not in state["host"], state["host"]
        assert "Edit 1" in state["command"] and "Resume 0" in state["command"], state["command"]

        click_centre(env, next(tab for tab in state["tab"] if tab.endswith(" History")))
        wait_for(state_file, lambda s: s["page"] == ["History"])
        return 0
    finally:
        if window is not None:
            window.terminate()
            try:
                window.wait(20)
            except subprocess.TimeoutExpired:
                window.kill()
        xvfb.terminate()
        xvfb.wait()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
