#!/usr/bin/python3
"""Walks Murmelo's window as a screen reader sees it.

Starts a private X server, session bus and accessibility registry, runs the application on them
with a scratch home, and reads each screen through AT-SPI: every object that takes the keyboard
has a name and a role, the playback waveform reports its position and follows the player, and a
phrase marker is listed with its text.

usage: accessibility_walk.py MURMELO [--dump]
"""

import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import wave

PROCESSES = []


def start(args, **kwargs):
    process = subprocess.Popen(args, **kwargs)
    PROCESSES.append(process)
    return process


def wait_for(what, check, timeout=20.0):
    """Polls `check` until it returns something true; AT-SPI has no event we could block on
    from here without a main loop of our own."""
    deadline = time.monotonic() + timeout
    while True:
        value = check()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError("timed out waiting for " + what)
        time.sleep(0.1)


def start_x_server(env):
    read_end, write_end = os.pipe()
    start(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x860x24", "-nolisten", "tcp"],
          pass_fds=[write_end], stderr=subprocess.DEVNULL)
    os.close(write_end)
    with os.fdopen(read_end) as pipe:
        env["DISPLAY"] = ":" + pipe.readline().strip()


def start_session_bus(env, folder):
    config = os.path.join(folder, "session.conf")
    with open(config, "w") as file:
        file.write("""<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig><type>session</type><listen>unix:tmpdir=%s</listen>
<standard_session_servicedirs/>
<policy context="default"><allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/>
<allow own="*"/></policy></busconfig>""" % folder)
    bus = start(["dbus-daemon", "--config-file=" + config, "--print-address=1", "--nofork"],
                stdout=subprocess.PIPE, env=env, text=True)
    env["DBUS_SESSION_BUS_ADDRESS"] = bus.stdout.readline().strip()


def write_tone(path, seconds=3.0, rate=44100):
    """A rising and falling tone: a waveform with something in it to reverse."""
    import math
    frames = bytearray()
    for i in range(int(seconds * rate)):
        amplitude = 0.5 * math.sin(math.pi * i / (seconds * rate))
        sample = int(32767 * amplitude * math.sin(2 * math.pi * 220 * i / rate))
        frames += sample.to_bytes(2, "little", signed=True)
    with wave.open(path, "wb") as file:
        file.setnchannels(1)
        file.setsampwidth(2)
        file.setframerate(rate)
        file.writeframes(bytes(frames))


def xdotool(env, *args):
    subprocess.run(["xdotool", *args], env=env, check=True)


def main():
    murmelo = sys.argv[1]
    dump = "--dump" in sys.argv
    folder = tempfile.mkdtemp(prefix="murmelo-atspi-")
    env = {k: v for k, v in os.environ.items() if k not in ("WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
    env.update({
        "HOME": folder,
        "XDG_CONFIG_HOME": os.path.join(folder, "config"),
        "XDG_DATA_HOME": os.path.join(folder, "data"),
        "XDG_CACHE_HOME": os.path.join(folder, "cache"),
        "XDG_RUNTIME_DIR": folder,
        "LANG": "C.UTF-8",
        "LC_ALL": "C.UTF-8",
        "LANGUAGE": "",
        "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1",
        "QT_ACCESSIBILITY": "1",
        "NO_AT_BRIDGE": "0",
        # Nothing leaves this machine: the telemetry and the mail relay point at a closed port.
        "MURMELO_TELEMETRY_URL": "http://127.0.0.1:9/",
        "MURMELO_MAIL_RELAY": "127.0.0.1:9",
    })
    os.makedirs(os.path.join(env["XDG_CONFIG_HOME"], "murmelo"))
    with open(os.path.join(env["XDG_CONFIG_HOME"], "murmelo", "murmelo.conf"), "w") as file:
        file.write("[General]\nEULA=true\n")
    try:
        start_x_server(env)
        start_session_bus(env, folder)
        start(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"], env=env,
              stderr=subprocess.DEVNULL)
        os.environ.update({k: env[k] for k in ("DISPLAY", "DBUS_SESSION_BUS_ADDRESS")})
        import pyatspi
        walk(pyatspi, murmelo, env, folder, dump)
    finally:
        for process in reversed(PROCESSES):
            process.terminate()
            try:
                process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                process.kill()
        shutil.rmtree(folder, ignore_errors=True)
    print("accessibility walk: 1 passed, 0 failed")


def application(pyatspi):
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None and app.name == "murmelo":
            return app
    return None


def objects(node, depth=0):
    """Every showing object under `node`, with its depth."""
    yield node, depth
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            yield from objects(child, depth + 1)


def describe(pyatspi, node):
    return "%s %r" % (node.getRoleName(), node.name)


def check_screen(pyatspi, app, screen, dump):
    """Every showing object that can take the keyboard has a name and a role."""
    if dump:
        print("--- " + screen)
    faults = []
    for node, depth in objects(app):
        states = node.getState()
        if dump and states.contains(pyatspi.STATE_SHOWING):
            print("  " * depth + describe(pyatspi, node) + " " + node.description)
        if not (states.contains(pyatspi.STATE_FOCUSABLE) and states.contains(pyatspi.STATE_SHOWING)):
            continue
        if not node.name.strip() or node.getRole() in (pyatspi.ROLE_UNKNOWN, pyatspi.ROLE_INVALID):
            faults.append("%s: %s in %s" % (screen, describe(pyatspi, node),
                                            describe(pyatspi, node.parent)))
    return faults


def find(pyatspi, app, role, name=None):
    """The first showing object of that role and name; None also when an object went away while
    the tree was walked (a screen being replaced), so that a caller polling finds it next time."""
    from gi.repository import GLib
    try:
        for node, _ in objects(app):
            if node.getRole() == role and (name is None or node.name == name) \
                    and node.getState().contains(pyatspi.STATE_SHOWING):
                return node
    except GLib.GError:
        pass
    return None


def seconds(text):
    """The first time in a text such as "0:01.5 of 0:03.0, reversed"."""
    minutes, rest = re.search(r"(\d+):(\d\d\.\d)", text).groups()
    return int(minutes) * 60 + float(rest)


def extents_centre(pyatspi, node):
    box = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return box.x + box.width // 2, box.y + box.height // 2


def walk(pyatspi, murmelo, env, folder, dump):
    song = os.path.join(folder, "tone.wav")
    write_tone(song)
    start([murmelo], env=env)
    app = wait_for("the application on the accessibility bus", lambda: application(pyatspi))
    wait_for("the record screen",
             lambda: find(pyatspi, app, pyatspi.ROLE_PUSH_BUTTON, "Import a Song…"))
    faults = check_screen(pyatspi, app, "record", dump)

    # The menu button is where it says it is: a click at its middle opens the menu.
    menu = find(pyatspi, app, pyatspi.ROLE_CHECK_BOX, "Menu")
    assert menu is not None, "no menu button"
    x, y = extents_centre(pyatspi, menu)
    xdotool(env, "mousemove", "--sync", str(x), str(y), "click", "1")
    wait_for("the menu opened by a click on its button",
             lambda: menu.getState().contains(pyatspi.STATE_CHECKED))
    faults += check_screen(pyatspi, app, "menu", dump)
    xdotool(env, "key", "Escape")
    wait_for("the menu to close", lambda: not menu.getState().contains(pyatspi.STATE_CHECKED))

    for key, screen, role, name in (
            ("ctrl+3", "library", pyatspi.ROLE_TEXT, "Search saved recordings"),
            ("ctrl+1", "getting started", pyatspi.ROLE_TABLE, "Help topics"),
            ("ctrl+4", "settings", pyatspi.ROLE_PUSH_BUTTON, "Save Mail Settings"),
            ("ctrl+5", "report a problem", pyatspi.ROLE_PUSH_BUTTON, "Send Report")):
        xdotool(env, "key", key)
        wait_for("the %s screen" % screen, lambda: find(pyatspi, app, role, name))
        faults += check_screen(pyatspi, app, screen, dump)

    # A song handed to the running window opens on the playback screen once reversed.
    subprocess.run([murmelo, song], env=env, check=True, timeout=30)
    position = wait_for("the playback screen's waveform",
                        lambda: find(pyatspi, app, pyatspi.ROLE_SLIDER, "Position"), timeout=60)
    faults += check_screen(pyatspi, app, "playback", dump)
    first = position.description
    assert re.fullmatch(r"0:00\.0 of 0:03\.0", first), "the position reads %r" % first

    # Reversed, the position says so; playing moves it, and its value follows.
    xdotool(env, "key", "r")
    wait_for("the reversed position", lambda: position.description.endswith(", reversed"))
    before = position.queryValue().currentValue
    xdotool(env, "key", "space")
    wait_for("the position to move while playing",
             lambda: position.queryValue().currentValue != before
             and seconds(position.description) > 0.05)

    # A phrase marked with M twice while it plays, then named, is an item of the list of
    # phrases, named by its text, with its times in its description.
    xdotool(env, "key", "m")
    marked = seconds(position.description)
    wait_for("a stretch to mark", lambda: abs(seconds(position.description) - marked) > 0.3)
    xdotool(env, "key", "m")
    xdotool(env, "type", "--delay", "20", "sea breeze")
    xdotool(env, "key", "Return")
    # The window is the phone's size: the list comes when its button is pressed.
    markers = wait_for("the phrase markers button",
                       lambda: find(pyatspi, app, pyatspi.ROLE_CHECK_BOX, "Phrase markers"))
    x, y = extents_centre(pyatspi, markers)
    xdotool(env, "mousemove", "--sync", str(x), str(y), "click", "1")
    item = wait_for("the marker in the list",
                    lambda: find(pyatspi, app, pyatspi.ROLE_LIST_ITEM, "sea breeze"))
    assert item.parent.getRole() == pyatspi.ROLE_LIST, \
        "the phrase sits in a %s" % item.parent.getRoleName()
    assert re.fullmatch(r"1  \d+:\d\d\.\d+ \u2013 \d+:\d\d\.\d+ \(Reversal time\)", item.description), \
        "the phrase's times read %r" % item.description
    xdotool(env, "key", "space")
    faults += check_screen(pyatspi, app, "playback with a marker", dump)
    if faults:
        raise AssertionError("objects without a name or role:\n  " + "\n  ".join(faults))


if __name__ == "__main__":
    main()
