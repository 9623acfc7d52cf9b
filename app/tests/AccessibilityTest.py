#!/usr/bin/python3
# The real Ripper as a screen reader sees it, under Xvfb with the accessibility
# bus (run inside dbus-run-session), on the demo profile and disc: names and
# roles, Start pressed through AT-SPI and the copy landing; then SIGTERM with
# no copy, and SIGTERM, SIGHUP and SIGINT during a copy over an older file
# (SIGINT while the overwrite question is open).
#   AccessibilityTest.py BIN_DIR DEMO_DIR
import atexit, configparser, os, shutil, signal, subprocess, sys, tempfile, time
import pyatspi
from gi.repository import GLib

BIN, DEMO = sys.argv[1:3]
ini = configparser.ConfigParser(interpolation=None)
ini.read(DEMO + "/Language.ini", encoding="utf-8")
def text(n): return ini["GERMAN"][str(n)].replace("$PRG_NAME$", "Fotaria")
first_track = "Track01 (Audio)  0:37  Morgenlicht"  # the demo disc's first line: length and title
failures, started, announced = [], [], []

def check(ok, what):
    print(("ok    " if ok else "FAIL  ") + what, flush=True)
    if not ok: failures.append(what)

def wait(done, seconds):  # polls, letting AT-SPI events in meanwhile
    deadline = time.monotonic() + seconds
    while not done() and time.monotonic() < deadline:
        GLib.MainContext.default().iteration(False)
        time.sleep(0.05)
    return done()

def find(node, role, name=None):
    if node.getRoleName() == role and name in (None, node.name): return node
    for i in range(node.childCount):
        found = node.getChildAtIndex(i) and find(node.getChildAtIndex(i), role, name)
        if found: return found

def press(node, action):
    a = node.queryAction()
    return any(a.getName(i) == action and a.doAction(i) for i in range(a.nActions))

tmp = tempfile.mkdtemp()
@atexit.register
def clean_up():
    for process in started:
        if process.poll() is None: process.kill()
    shutil.rmtree(tmp, ignore_errors=True)
profile, show, tray = tmp + "/profile/NORVELA/Fotaria", tmp + "/Diashow", tmp + "/tray.cue"
os.makedirs(profile); os.makedirs(show)
for name in ("Language.ini", "LanguageIsSet.ini"): shutil.copy(DEMO + "/" + name, profile)
open(profile + "/Ripper.ini", "w").write("[SETTINGS]\nDiashowDir=" + show + "\n")
subprocess.run([BIN + "/mkdiscimage", tray, "-f", DEMO + "/demo-disc.txt"], check=True)
started.append(subprocess.Popen(["Xvfb", "-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                                stdout=subprocess.PIPE))
env = dict(os.environ, DISPLAY=":" + started[0].stdout.readline().decode().strip(), QT_QPA_PLATFORM="xcb",
           XDG_DATA_HOME=tmp + "/profile", CDRIP_IMAGES=tray, CDRIP_IMAGES_ONLY="1",
           QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_ACCESSIBILITY="1")

def start_ripper():  # the process and its window, once the first refresh has listed the disc
    ripper = subprocess.Popen([BIN + "/Ripper"], env=env)
    started.append(ripper)
    desktop = pyatspi.Registry.getDesktop(0)
    def window():
        apps = (desktop.getChildAtIndex(i) for i in range(desktop.childCount))
        app = next((a for a in apps if a and a.get_process_id() == ripper.pid), None)
        return app and app.childCount and app.getChildAtIndex(0)
    check(wait(lambda: window() and find(window(), "list item", first_track), 60), "the tracks are listed")
    return ripper, window()

def start_copy(frame):
    press(find(frame, "list item", first_track), "Toggle")
    start = find(frame, "push button", text(20010))
    wait(lambda: start.getState().contains(pyatspi.STATE_SENSITIVE), 30)
    check(press(start, "Press"), "Start is pressed through its accessible action")

def ends_cleanly(ripper, why):
    try:
        code = ripper.wait(15)
    except subprocess.TimeoutExpired:
        code = "still running after 15 s"
    check(code == 0, f"{why}: the program exits with 0 ({code})")

# ---- the tree, and a copy started through it ----
def note(event): announced.append((event.source.getRoleName(), event.source.name))
pyatspi.Registry.registerEventListener(note, "object:property-change:accessible-name")
ripper, frame = start_ripper()
labels = [r.getTarget(0).name for r in find(frame, "combo box").getRelationSet()
          if r.getRelationType() == pyatspi.RELATION_LABELLED_BY]
check(text(20006) in labels, f"the drive box is labelled by {text(20006)!r} ({labels})")
check(find(frame, "list", text(20007)) is not None, "the track list is named by its label")
bar = find(frame, "progress bar", text(20015).rstrip(": "))
check(bar is not None and bar.description == text(20005), "the progress bar has its name and description")
picture = find(frame, "image", text(20013))
check(picture is not None and picture.description == text(20000), "the picture has its name and description")
check(find(frame, "status bar", "Status") is not None, "the status line is a status bar")
start_copy(frame)
listed = lambda: os.path.exists(show + "/Audio.ini") and open(show + "/Audio.ini", "rb").read() == b"Track01.wav\r\n"
check(wait(listed, 120) and os.path.getsize(show + "/Track01.wav") > 44, "the copy lands, Audio.ini names it")
check(wait(lambda: ("status bar", text(20016)) in announced, 10), "the status line's change reaches AT-SPI clients")
pyatspi.Registry.deregisterEventListener(note, "object:property-change:accessible-name")
ripper.send_signal(signal.SIGTERM)
ends_cleanly(ripper, "SIGTERM without a copy")

# ---- signals during a copy over an older file ----
open(tray + ".faults", "w").write("slow=200\n")  # the copy takes about half a minute
for sig in (signal.SIGTERM, signal.SIGHUP, signal.SIGINT):
    open(show + "/Track01.wav", "wb").write(b"RIFF older copy")
    open(show + "/Audio.ini", "wb").write(b"Alt.wav\r\n")
    ripper, frame = start_ripper()
    start_copy(frame)
    yes = lambda: find(frame.parent, "push button", "Ja")
    check(wait(yes, 30), f"{sig.name}: the overwrite question is asked")
    if sig != signal.SIGINT:
        press(yes(), "Press")
        check(wait(lambda: any(n.startswith(".Track01") for n in os.listdir(show)), 30), f"{sig.name}: copying")
    ripper.send_signal(sig)
    ends_cleanly(ripper, sig.name)
    check(sorted(os.listdir(show)) == ["Audio.ini", "Track01.wav"], f"{sig.name}: no temporary file is left")
    check(open(show + "/Track01.wav", "rb").read() == b"RIFF older copy", f"{sig.name}: the older file is kept")
    check(open(show + "/Audio.ini", "rb").read() == b"Alt.wav\r\n", f"{sig.name}: Audio.ini is unchanged")
sys.exit(1 if failures else 0)
