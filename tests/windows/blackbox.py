#!/usr/bin/env python3
"""Black-box run of the whole Windows program under Wine, as a technician would work it.

Started by tools/test-windows inside xvfb-run, once per width:

    blackbox.py --exe mx4815cal.exe --dll Dravex.dll --dll-without-recover X.dll --out DIR

Each scenario copies mx4815cal.exe into a folder of its own (with the stand-in Dravex.dll
beside it, or not), starts it under Wine with STANDIN_DRAVEX_LOG naming a call log, and works
the window with xdotool at the places of the window's controls (src/app/form1_layout.cpp:
twips / 15 at 96 dpi). Text boxes and messages are read through the clipboard (Ctrl+A, Ctrl+C
in a box; Ctrl+C in a message box, which copies its title and text on Windows). The call log
of the stand-in tells which driver calls the program made. Screenshots go to DIR.

Prints one line per check and ends with "N passed, N failed"; exit status 1 when a check
failed.
"""

import argparse
import json
import os
import re
import shutil
import struct
import subprocess
import sys
import time

CAPTION = "MX-4815 Calibration Program(2014/04/11 Ver:1.0)"
SIMULATED_SUFFIX = " [simulated card]"
START_UP_TITLE = "MX-4815 Calibration Program"  # messages before the window exists
CARD_ID = "002CB656"

# ---- the window's controls: (left, top, width, height) in twips, with their frames --------

FRAME_AOCAL = (0, 1320)
FRAME_AO_CHANNEL = [(120, 240), (120, 3000)]  # Frame7 (CH0), Frame10 (CH1) in framAOCal
FRAME_AICAL = (6000, 1320)
FRAME_NOTE = (0, 7200)
FRAME_FILES = (0, 8640)
FRAME_REF = (3840, 0)
AI_TOPS = [240, 1320, 2400, 3480, 4560, 5640]


def centre(offsets, rect):
    """Pixel centre of a control at rect inside the frames at offsets (all twips)."""
    x = sum(o[0] for o in offsets) + rect[0] + rect[2] // 2
    y = sum(o[1] for o in offsets) + rect[1] + rect[3] // 2
    return ((x + 7) // 15, (y + 7) // 15)


def ao_frame(k):
    left = 120 if k % 2 == 0 else 2880
    top = 240 if k % 4 < 2 else 1440
    return [FRAME_AOCAL, FRAME_AO_CHANNEL[k // 4], (left, top)]


def ao_max_box(k):
    return centre(ao_frame(k), (960, 360, 735, 375))


def ao_min_box(k):
    return centre(ao_frame(k), (960, 720, 735, 375))


def ao_max_add(k):
    return centre(ao_frame(k), (1800, 360, 375, 300))


def ai_max_box(j):
    return centre([FRAME_AICAL, (120, AI_TOPS[j])], (840, 240, 855, 375))


def ai_min_box(j):
    return centre([FRAME_AICAL, (120, AI_TOPS[j])], (840, 600, 855, 375))


REF10_BOX = centre([FRAME_REF], (1320, 240, 855, 375))
REF5_BOX = centre([FRAME_REF], (1320, 600, 855, 375))
SAVE = centre([FRAME_NOTE], (4320, 240, 1455, 495))
RECOVER = centre([FRAME_NOTE], (4320, 840, 1455, 495))
EXIT = centre([], (6000, 8280, 3015, 375))
START = centre([], (6720, 120, 2295, 1215))
BROWSE = centre([FRAME_FILES], (5160, 360, 1095, 375))
FILE_NAME_BOX = centre([FRAME_FILES], (120, 360, 5055, 375))
IMPORT = centre([FRAME_FILES], (6360, 240, 1215, 495))
EXPORT = centre([FRAME_FILES], (7560, 240, 1335, 495))
CLIENT_SIZE = ((9120 + 7) // 15, (9570 + 7) // 15)

# The EEPROM word of each box (caldata/word_map.h): outputs k at 8 + 2k (upper) and 9 + 2k
# (lower); inputs of the 20.48 V range (j = 0) at 48, 49, ranges j = 1..5 at 24 + 4(j-1).
AO_MAX_WORD = [8 + 2 * k for k in range(8)]
AO_MIN_WORD = [9 + 2 * k for k in range(8)]
AI_MAX_WORD = [48] + [24 + 4 * (j - 1) for j in range(1, 6)]
AI_MIN_WORD = [49] + [25 + 4 * (j - 1) for j in range(1, 6)]


def reference_text(lower, upper):
    value = struct.unpack("<f", struct.pack("<I", (upper & 0xFFFF) << 16 | (lower & 0xFFFF)))[0]
    return "%.7g" % value


def sign_extended(word):
    word &= 0xFFFF
    return word | 0xFFFF0000 if word & 0x8000 else word


def hex_text(word):
    return "%X" % (word & 0xFFFFFFFF)


# ---- results ------------------------------------------------------------------------------


class Results:
    def __init__(self):
        self.passed = 0
        self.failed = 0

    def check(self, ok, what, detail=""):
        if ok:
            self.passed += 1
            print("  ok   %s" % what, flush=True)
        else:
            self.failed += 1
            print("  FAIL %s%s" % (what, (": " + detail) if detail else ""), flush=True)
        return ok


# ---- X and Wine ---------------------------------------------------------------------------


def run(*argv, check=False, timeout=30):
    p = subprocess.run(list(argv), capture_output=True, text=True, timeout=timeout)
    if check and p.returncode != 0:
        raise RuntimeError("%s: %s" % (" ".join(argv), p.stderr.strip()))
    return p


def xdo(*args):
    return run("xdotool", *[str(a) for a in args])


def ere_escape(text):
    """The text as a POSIX extended regular expression that matches only itself."""
    return "".join("\\" + c if c in ".[]()*+?{}|^$\\" else c for c in text)


def windows_named(title):
    p = xdo("search", "--onlyvisible", "--name", "^" + ere_escape(title) + "$")
    return [int(w) for w in p.stdout.split()]


def visible_windows():
    return [int(w) for w in xdo("search", "--onlyvisible", "--name", ".*").stdout.split()]


def wait_for(predicate, timeout):
    end = time.time() + timeout
    while time.time() < end:
        value = predicate()
        if value:
            return value
        time.sleep(0.2)
    return predicate()


def geometry(window):
    p = xdo("getwindowgeometry", "--shell", window)
    values = dict(line.split("=", 1) for line in p.stdout.split() if "=" in line)
    return tuple(int(values[k]) for k in ("X", "Y", "WIDTH", "HEIGHT"))


def clipboard():
    p = run("xclip", "-o", "-selection", "clipboard")
    return p.stdout.replace("\r\n", "\n") if p.returncode == 0 else ""


def clear_clipboard():
    subprocess.run(["xclip", "-i", "-selection", "clipboard"], input="", text=True)


def settle(seconds=0.4):
    time.sleep(seconds)


def logged_calls(log):
    """The driver calls the stand-in Dravex.dll wrote to log, one a line."""
    try:
        with open(log, encoding="latin-1") as f:
            return [line.rstrip("\n") for line in f]
    except FileNotFoundError:
        return []


class Program:
    """One run of mx4815cal.exe under Wine in a folder of its own."""

    def __init__(self, folder, exe, dll, args, log, cards=None):
        self.folder = folder
        os.makedirs(folder, exist_ok=True)
        shutil.copy(exe, os.path.join(folder, "mx4815cal.exe"))
        target = os.path.join(folder, "Dravex.dll")
        if dll:
            shutil.copy(dll, target)
        elif os.path.exists(target):
            os.remove(target)
        self.log = log
        if os.path.exists(log):
            os.remove(log)
        env = dict(os.environ)
        env["STANDIN_DRAVEX_LOG"] = "Z:" + log.replace("/", "\\")
        if cards is not None:
            env["STANDIN_DRAVEX_CARDS"] = str(cards)
        self.process = subprocess.Popen(
            ["wine", "mx4815cal.exe"] + list(args),
            cwd=folder,
            env=env,
            stdin=subprocess.DEVNULL,
            stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL,
        )
        self.window = None
        self.origin = (0, 0)

    def calls(self):
        return logged_calls(self.log)

    def card_calls(self):
        return [c for c in self.calls() if not c.startswith("Drvx_ReadEEP-returned")]

    def wait_window(self, title, timeout=90):
        found = wait_for(lambda: windows_named(title), timeout)
        if not found:
            return False
        self.window = found[0]
        settle(1.0)
        x, y, w, h = geometry(self.window)
        # Without a window manager the X window is the client area; with one that adds no
        # frame to the X window it is the same. Anything else is centred on the client.
        self.origin = (x + (w - CLIENT_SIZE[0]) // 2, y + (h - CLIENT_SIZE[1]))
        self.size = (w, h)
        return True

    def click(self, point):
        xdo("mousemove", self.origin[0] + point[0], self.origin[1] + point[1])
        settle(0.1)
        xdo("click", "1")
        settle()

    def focus_main(self):
        xdo("windowactivate", self.window)
        xdo("windowfocus", self.window)
        settle(0.2)

    def box_text(self, point):
        clear_clipboard()
        self.click(point)
        xdo("key", "ctrl+a")
        xdo("key", "ctrl+c")
        settle(0.3)
        return clipboard()

    def type_into(self, point, text):
        self.click(point)
        xdo("key", "ctrl+a")
        xdo("type", "--delay", "40", text)
        settle()

    def dialogs(self, title):
        return [w for w in windows_named(title) if w != self.window]

    def wait_dialog(self, title, timeout=10):
        found = wait_for(lambda: self.dialogs(title), timeout)
        return found[0] if found else None

    def dialog_text(self, dialog):
        # Ctrl+C in a message box copies its title, text and buttons, framed by dashes. The
        # copy reaches the X clipboard a moment later, sometimes only at a second try.
        text = ""
        for _ in range(4):
            clear_clipboard()
            xdo("windowfocus", dialog)
            settle(0.3)
            xdo("key", "ctrl+c")
            text = wait_for(lambda: "-----" in clipboard() and clipboard(), 2) or ""
            if text:
                break
        return text

    def press(self, window, *keys):
        xdo("windowactivate", window)
        xdo("windowfocus", window)
        settle(0.2)
        for k in keys:
            xdo("key", k)
            settle(0.2)
        settle()

    def screenshot(self, path):
        run("import", "-window", "root", path, timeout=60)

    def wait_end(self, timeout=20):
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            return None

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()


# ---- the scenarios ------------------------------------------------------------------------


def parse_image(line):
    m = re.search(r"image=((?:[0-9A-F]{8} ?)+)$", line)
    return [int(w, 16) for w in m.group(1).split()] if m else []


def expected_boxes(eeprom):
    """Box -> text the window must show for an EEPROM image (the words as read)."""
    boxes = {"ref10": reference_text(eeprom[4], eeprom[5]),
             "ref5": reference_text(eeprom[6], eeprom[7])}
    for k in range(8):
        boxes["aoMax%d" % k] = hex_text(eeprom[AO_MAX_WORD[k]])
        boxes["aoMin%d" % k] = hex_text(eeprom[AO_MIN_WORD[k]])
    for j in range(6):
        boxes["aiMax%d" % j] = hex_text(eeprom[AI_MAX_WORD[j]])
        boxes["aiMin%d" % j] = hex_text(eeprom[AI_MIN_WORD[j]])
    return boxes


def box_points():
    points = {"ref10": REF10_BOX, "ref5": REF5_BOX}
    for k in range(8):
        points["aoMax%d" % k] = ao_max_box(k)
        points["aoMin%d" % k] = ao_min_box(k)
    for j in range(6):
        points["aiMax%d" % j] = ai_max_box(j)
        points["aiMin%d" % j] = ai_min_box(j)
    return points


def read_boxes(program):
    return {name: program.box_text(p) for name, p in box_points().items()}


def read_ini(path):
    """The entries of a profile file as [(section, key, value)], as a reader would see them."""
    entries = []
    section = None
    with open(path, "rb") as f:
        for raw in f.read().decode("latin-1").splitlines():
            line = raw.strip()
            if line.startswith("[") and "]" in line:
                section = line[1:line.rindex("]")]
            elif "=" in line and section is not None:
                key, value = line.split("=", 1)
                entries.append((section, key.strip(), value.strip()))
    return entries


def scenario_card(r, a, work):
    print("-- with the stand-in Dravex.dll: start-up, SAVE, RECOVER, +, Export/Import, EXIT")
    p = Program(os.path.join(work, "card"), a.exe, a.dll, [], os.path.join(work, "card.log"))
    try:
        if not r.check(p.wait_window(CAPTION), "the window opens with the caption " + repr(CAPTION),
                       "windows seen: %s" % windows_named(CAPTION + SIMULATED_SUFFIX)):
            return
        r.check(p.size[0] >= CLIENT_SIZE[0] and p.size[1] >= CLIENT_SIZE[1],
                "the window is at least the form's size %dx%d" % CLIENT_SIZE, "%dx%d" % p.size)
        r.check(not p.dialogs(CAPTION), "no message at start-up")
        p.screenshot(os.path.join(a.out, "window-card.png"))
        calls = p.card_calls()
        r.check(calls[:4] == ["Drvx_DriverInit", "Drvx_SearchCard id=" + CARD_ID]
                + [c for c in calls[2:3] if c.startswith("Drvx_GetCardInfo board=0 ")]
                + ["Drvx_ReadEEP board=0"],
                "start-up calls: DriverInit, SearchCard 0x2CB656, GetCardInfo board 0, "
                "ReadEEP board 0", "; ".join(c[:60] for c in calls))
        r.check(len(calls) == 4, "no further card calls at start-up", str(len(calls)))
        returned = [c for c in p.calls() if c.startswith("Drvx_ReadEEP-returned board=0 ")]
        eeprom = parse_image(returned[0]) if returned else []
        r.check(len(eeprom) == 128, "the stand-in handed over a 128-word EEPROM image")
        if len(eeprom) != 128:
            return
        expected = expected_boxes(eeprom)
        shown = read_boxes(p)
        wrong = ["%s shows %r, EEPROM says %r" % (b, shown[b], expected[b])
                 for b in expected if shown[b] != expected[b]]
        r.check(not wrong, "the 30 boxes show the EEPROM's calibration", "; ".join(wrong))
        r.check(expected["ref10"] == "10.0012" and expected["aoMax0"] == "FFC2",
                "the stand-in's words are the plausible factory calibration",
                "%s %s" % (expected["ref10"], expected["aoMax0"]))

        # Typing a code into an output box drives the output; SAVE then takes it.
        before = len(p.card_calls())
        p.type_into(ao_max_box(0), "FFB0")
        typed = p.card_calls()[before:]
        r.check(any(c.startswith("Drvx_WriteAOVoltageH board=0 channel=0 code=") for c in typed),
                "a typed output code drives CH0's output", "; ".join(typed[-3:]))

        # SAVE, answered with Enter: Cancel is the default, nothing is written.
        before = len(p.card_calls())
        p.click(SAVE)
        box = p.wait_dialog("SAVE EEPROM")
        if r.check(box is not None, "SAVE asks for confirmation"):
            text = p.dialog_text(box)
            r.check("Save data will to change D/A and A/D data." in text,
                    "the confirmation says what SAVE does", text)
            p.press(box, "Return")
            r.check(wait_for(lambda: not p.dialogs("SAVE EEPROM"), 5), "Enter closes it")
        r.check(not any(c.startswith("Drvx_WriteEEP") for c in p.card_calls()[before:]),
                "Cancel (the default) writes nothing")

        # SAVE with OK: one Drvx_WriteEEP of the image read, with the typed code.
        before = len(p.card_calls())
        p.click(SAVE)
        box = p.wait_dialog("SAVE EEPROM")
        if r.check(box is not None, "SAVE asks again"):
            p.press(box, "shift+Tab", "space")
            wait_for(lambda: not p.dialogs("SAVE EEPROM"), 5)
        writes = [c for c in p.card_calls()[before:] if c.startswith("Drvx_WriteEEP")]
        r.check(len(writes) == 1, "OK writes the EEPROM once", str(len(writes)))
        if writes:
            image = parse_image(writes[0])
            # The words of the boxes go to the driver sign-extended (as 16-bit integers); every
            # other word as it was read.
            want = list(eeprom) + [image[128] if len(image) == 129 else 0]
            for word in range(4, 8):
                want[word] = sign_extended(eeprom[word])
            for word in AO_MAX_WORD + AO_MIN_WORD + AI_MAX_WORD + AI_MIN_WORD:
                want[word] = sign_extended(eeprom[word])
            want[AO_MAX_WORD[0]] = 0xFFFFFFB0  # the typed code
            diff = ["word %d: %08X, want %08X" % (i, image[i], want[i])
                    for i in range(min(len(image), 128)) if image[i] != want[i]]
            r.check(writes[0].startswith("Drvx_WriteEEP board=0 ") and len(image) == 129
                    and not diff, "the image written is the one read, with the typed code",
                    "; ".join(diff[:6]) or writes[0][:80])
        r.check(not p.dialogs(CAPTION), "no message after SAVE")

        # RECOVER.
        before = len(p.card_calls())
        p.click(RECOVER)
        settle(0.5)
        # The EEPROM is read before and after, for the record in the calibration history.
        r.check(p.card_calls()[before:] == ["Drvx_ReadEEP board=0", "Drvx_RecoverEEP board=0",
                                            "Drvx_ReadEEP board=0"],
                "RECOVER calls Drvx_RecoverEEP for board 0, the EEPROM read before and after "
                "for its record", "; ".join(p.card_calls()[before:]))
        r.check(not p.dialogs(CAPTION), "no message after RECOVER")

        # "+" of CH0's upper end point: the output range, then the code one step up.
        before = len(p.card_calls())
        p.click(ao_max_add(0))
        plus = p.card_calls()[before:]
        r.check(bool(plus) and plus[0].startswith("Drvx_ConfigAO board=0 channel=0 range="),
                "\"+\" configures CH0's output", "; ".join(plus))
        writes = [c for c in plus if c.startswith("Drvx_WriteAOVoltageH")]
        r.check(bool(writes) and writes[-1] == "Drvx_WriteAOVoltageH board=0 channel=0 "
                "code=FFFFFFB1", "\"+\" drives CH0 with the code one step up (FFB1, sent "
                "sign-extended)", "; ".join(plus))
        r.check(p.box_text(ao_max_box(0)) == "FFB1", "the box shows FFB1")

        # Export into a file chosen with Broswer (the system's file dialog), then Import.
        ini = os.path.join(work, "exported.ini")
        with open(ini, "wb"):
            pass
        before = set(visible_windows())
        p.click(BROWSE)
        # The system's file dialog (Wine's) has no caption; it is the new large window. Its
        # file name box has the focus.
        chooser = wait_for(lambda: [w for w in visible_windows() if w not in before
                                    and geometry(w)[2] > 200], 20)
        if r.check(bool(chooser), "Broswer opens the file dialog"):
            settle(1.0)
            xdo("type", "--delay", "30", "Z:" + ini.replace("/", "\\"))
            xdo("key", "Return")
            r.check(wait_for(lambda: chooser[0] not in visible_windows(), 10),
                    "the file dialog takes the typed name")
            settle(0.5)
        chosen = p.box_text(FILE_NAME_BOX)
        r.check(chosen.replace("/", "\\").lower() == "z:" + ini.replace("/", "\\").lower(),
                "the file name box shows the chosen file", chosen)
        p.focus_main()
        p.click(EXPORT)
        settle(0.5)
        r.check(not p.dialogs(CAPTION), "Export gives no message")
        entries = read_ini(ini) if os.path.exists(ini) else []
        shown = read_boxes(p)
        r.check(len(entries) == 30, "Export wrote 30 entries", str(len(entries)))
        r.check(sorted(v for _, _, v in entries) == sorted(shown.values()),
                "the file holds what the boxes show", "%s vs %s" % (
                    sorted(v for _, _, v in entries), sorted(shown.values())))
        p.type_into(ao_max_box(0), "1234")
        p.click(IMPORT)
        settle(0.5)
        r.check(p.box_text(ao_max_box(0)) == "FFB1", "Import reads the exported file back")

        # EXIT: closes the driver, the program ends with status 0.
        p.focus_main()
        p.click(EXIT)
        status = p.wait_end()
        r.check(status == 0, "EXIT ends the program with status 0", str(status))
        r.check(p.card_calls()[-1:] == ["Drvx_DriverClose"], "EXIT closes the driver last",
                "; ".join(p.card_calls()[-2:]))
    finally:
        p.kill()


def scenario_two_cards(r, a, work):
    print("-- two cards: records of both, no calibration loaded")
    p = Program(os.path.join(work, "two"), a.exe, a.dll, [], os.path.join(work, "two.log"),
                cards=2)
    try:
        if not r.check(p.wait_window(CAPTION), "the window opens"):
            return
        calls = p.card_calls()
        r.check(len(calls) == 4 and calls[:2] == ["Drvx_DriverInit", "Drvx_SearchCard id=" + CARD_ID]
                and calls[2].startswith("Drvx_GetCardInfo board=0 ")
                and calls[3].startswith("Drvx_GetCardInfo board=1 "),
                "start-up: DriverInit, SearchCard, GetCardInfo for boards 0 and 1, no ReadEEP",
                "; ".join(c[:40] for c in calls))
        r.check(p.box_text(centre([(0, 0)], (1320, 360, 495, 285))) == "2",
                "Total Board shows 2")
        before = len(p.card_calls())
        p.click(SAVE)  # disabled until a RELOAD
        settle(0.5)
        r.check(not p.dialogs("SAVE EEPROM") and len(p.card_calls()) == before,
                "SAVE does nothing before a RELOAD")
        p.focus_main()
        p.click(EXIT)
        r.check(p.wait_end() == 0 and p.card_calls()[-1:] == ["Drvx_DriverClose"],
                "EXIT closes the driver and ends with status 0")
    finally:
        p.kill()


def scenario_close(r, a, work):
    print("-- closing the window")
    p = Program(os.path.join(work, "close"), a.exe, a.dll, [], os.path.join(work, "close.log"))
    try:
        if not r.check(p.wait_window(CAPTION), "the window opens"):
            return
        p.focus_main()
        xdo("key", "alt+F4")
        status = p.wait_end()
        if status is None:  # no Alt+F4 without a window manager: ask the window to close
            xdo("windowclose", p.window)
            status = p.wait_end()
        r.check(status == 0, "closing the window ends the program with status 0", str(status))
        r.check("Drvx_DriverClose" not in p.card_calls(), "without Drvx_DriverClose",
                "; ".join(p.card_calls()[-2:]))
    finally:
        p.kill()


def scenario_missing(r, a, work, dll, name, label):
    print("-- " + label)
    p = Program(os.path.join(work, name), a.exe, dll, [], os.path.join(work, name + ".log"))
    try:
        found = wait_for(lambda: windows_named(START_UP_TITLE), 90)
        if not r.check(bool(found), "a message appears"):
            return
        settle(0.5)
        r.check(len(windows_named(START_UP_TITLE)) == 1 and not windows_named(CAPTION),
                "one message and no window")
        text = p.dialog_text(found[0])
        what = "Dravex.dll" if dll is None else "Drvx_RecoverEEP"
        r.check(what in text, "the message names " + what, text.strip())
        p.screenshot(os.path.join(a.out, "message-%s.png" % name))
        p.press(found[0], "Return")
        status = p.wait_end()
        r.check(status not in (None, 0), "the program ends (with a failure status)", str(status))
        r.check(not windows_named(CAPTION), "the window never opened")
        r.check(p.card_calls() == [], "no card call", "; ".join(p.card_calls()))
    finally:
        p.kill()


def scenario_simulate(r, a, work):
    print("-- --simulate: the simulated card, a SAVE survives a restart")
    store = os.path.join(a.appdata, "mx4815cal", "simulated-cards.dat")
    if os.path.exists(store):
        os.remove(store)
    for attempt in (1, 2):
        p = Program(os.path.join(work, "simulate"), a.exe, None, ["--simulate"],
                    os.path.join(work, "simulate.log"))
        try:
            ok = p.wait_window(CAPTION + SIMULATED_SUFFIX)
            if not r.check(ok, "run %d: the window opens with the caption ending in %r"
                           % (attempt, SIMULATED_SUFFIX)):
                return
            r.check(not p.dialogs(CAPTION + SIMULATED_SUFFIX), "run %d: no message" % attempt)
            if attempt == 1:
                p.screenshot(os.path.join(a.out, "window-simulated.png"))
                factory = p.box_text(ao_min_box(3))
                r.check(re.fullmatch(r"[0-9A-F]{1,4}", factory) is not None,
                        "the simulated card's calibration is loaded", factory)
                p.type_into(ao_min_box(3), "7C")
                p.click(SAVE)
                box = p.wait_dialog("SAVE EEPROM")
                if r.check(box is not None, "SAVE asks for confirmation"):
                    p.press(box, "shift+Tab", "space")
                    wait_for(lambda: not p.dialogs("SAVE EEPROM"), 5)
                r.check(os.path.exists(store), "the simulated cards are kept in "
                        "%APPDATA%\\mx4815cal\\simulated-cards.dat", store)
            else:
                r.check(p.box_text(ao_min_box(3)) == "7C", "the SAVE survived the restart")
            p.focus_main()
            p.click(EXIT)
            r.check(p.wait_end() == 0, "run %d: EXIT ends it with status 0" % attempt)
            r.check(p.card_calls() == [], "run %d: Dravex.dll is not used" % attempt)
        finally:
            p.kill()


def run_cli(a, folder, log, *args):
    """mx4815cal-cli.exe under Wine in folder (beside its Dravex.dll): (exit code, stderr)."""
    shutil.copy(a.cli, os.path.join(folder, "mx4815cal-cli.exe"))
    env = dict(os.environ)
    env["STANDIN_DRAVEX_LOG"] = "Z:" + log.replace("/", "\\")
    p = subprocess.run(["wine", "mx4815cal-cli.exe"] + list(args), cwd=folder, env=env,
                       stdin=subprocess.DEVNULL, capture_output=True, timeout=120)
    return p.returncode, p.stderr.decode("latin-1").replace("\r\n", "\n")


def scenario_board_lock(r, a, work):
    print("-- the board lock: the window holds board 0, the command line is refused until it ends")
    p = Program(os.path.join(work, "lock"), a.exe, a.dll, [], os.path.join(work, "lock.log"))
    cli_log = os.path.join(work, "lock-cli.log")
    try:
        if not r.check(p.wait_window(CAPTION), "the window opens with board 0 loaded"):
            return
        code, err = run_cli(a, p.folder, cli_log, "read", "--board", "0")
        calls = logged_calls(cli_log)
        r.check(code == 5, "mx4815cal-cli read --board 0 is refused with exit code 5", str(code))
        r.check(re.search(r"Board 0 is in use by mx4815cal \(process \d+\) since ", err)
                is not None, "the refusal names the window's program and process", err.strip())
        r.check(not any(c.startswith(("Drvx_ReadEEP", "Drvx_WriteEEP", "Drvx_ConfigAO"))
                        for c in calls), "the refused command read or wrote nothing of the card",
                "; ".join(calls))
        p.focus_main()
        p.click(EXIT)
        r.check(p.wait_end() == 0, "EXIT ends the window")
        os.remove(cli_log)
        code, err = run_cli(a, p.folder, cli_log, "read", "--board", "0")
        r.check(code == 0, "once the window has ended, the same command reads board 0",
                "%s %s" % (code, err.strip()))
    finally:
        p.kill()


def scenario_history(r, a, work):
    print("-- the calibration history: the SQLite store of the Windows build keeps every change")
    folder = os.path.join(work, "history")
    os.makedirs(folder, exist_ok=True)
    log = os.path.join(work, "history-cli.log")
    ini = "Z:" + os.path.join(folder, "cal.ini").replace("/", "\\")

    def json_of(*args):
        shutil.copy(a.cli, os.path.join(folder, "mx4815cal-cli.exe"))
        p = subprocess.run(["wine", "mx4815cal-cli.exe"] + list(args), cwd=folder,
                           stdin=subprocess.DEVNULL, capture_output=True, timeout=120)
        try:
            return p.returncode, json.loads(p.stdout.decode("utf-8"))
        except ValueError:
            return p.returncode, {"stdout": p.stdout.decode("latin-1"),
                                  "stderr": p.stderr.decode("latin-1")}

    run_cli(a, folder, log, "--simulate", "station", "--history", "default")
    code, err = run_cli(a, folder, log, "--simulate", "read", "--board", "0", "--out", ini)
    r.check(code == 0, "mx4815cal-cli --simulate read exports the table", err.strip())
    code, err = run_cli(a, folder, log, "--simulate", "write", "--board", "0", "--in", ini,
                        "--save")
    r.check(code == 0, "mx4815cal-cli --simulate write --save saves it", err.strip())
    code, listed = json_of("history", "--json")
    records = listed.get("records", [])
    r.check(code == 0 and ".sqlite" in listed.get("history", ""),
            "history lists the SQLite history in %APPDATA%", str(listed)[:300])
    written = [x for x in records if x.get("program") == "mx4815cal-cli write"]
    r.check(len(written) >= 1 and written[0].get("outcome") == "written"
            and written[0].get("source") == "imported file"
            and len(written[0].get("sourceSha256") or "") == 64,
            "the write is recorded: written, from the imported file with its SHA-256",
            str(written[:1])[:300])
    window = [x for x in records if x.get("program") == "mx4815cal"]
    r.check(any(x.get("outcome") == "written" and "Dravex.dll" in (x.get("driver") or "")
                for x in window),
            "the window's SAVE through Dravex.dll is recorded, naming the library",
            str([(x.get("outcome"), x.get("driver")) for x in window])[:300])
    code, verified = json_of("history", "verify", "--json")
    r.check(code == 0 and verified.get("checked", 0) == len(records)
            and verified.get("broken") == [],
            "history verify finds every seal intact", str(verified)[:300])

    # A calibration's certificate, drawn by the Windows program (its GUI application, fonts).
    env = dict(os.environ)
    env["MXCAL_SIM_SPEED"] = "1000"
    cal = subprocess.run(["wine", "mx4815cal-cli.exe", "--simulate", "calibrate", "--board", "0",
                          "--ref10", "9.9995", "--ref5", "4.9977", "--save", "--quiet"],
                         cwd=folder, env=env, stdin=subprocess.DEVNULL, capture_output=True,
                         timeout=300)
    r.check(cal.returncode == 0, "mx4815cal-cli --simulate calibrate --save",
            cal.stderr.decode("latin-1")[-300:])
    code, listed = json_of("--simulate", "history", "--json")
    calibrations = [x for x in listed.get("records", [])
                    if x.get("program") == "mx4815cal-cli calibrate" and x.get("outcome") == "written"]
    if r.check(len(calibrations) >= 1, "the calibration is in the history"):
        pdf = os.path.join(folder, "certificate.pdf")
        code, err = run_cli(a, folder, log, "--simulate", "certificate", calibrations[0]["id"],
                            "--pdf", "Z:" + pdf.replace("/", "\\"), "--approved-by", "B. Manager")
        text = subprocess.run(["pdftotext", pdf, "-"], capture_output=True).stdout.decode("utf-8") \
            if os.path.exists(pdf) else ""
        r.check(code == 0 and "End of certificate" in text and "Approved by: B. Manager" in text,
                "the certificate is drawn to its end marker", (err.strip() + " " + text[-200:])[:300])

    if not a.pg_socket:
        return
    # A laboratory's shared history through ODBC (psqlODBC), as a Windows station reaches it.
    database = "mxcal_wine_odbc_%d" % os.getpid()
    made = subprocess.run(["psql", "-h", a.pg_socket, "-U", a.pg_user, "-d", a.pg_database,
                           "-c", "CREATE DATABASE " + database], capture_output=True)
    if not r.check(made.returncode == 0, "a database for the shared history",
                   made.stderr.decode("latin-1")):
        return
    connection = ("odbc:Driver={PostgreSQL Unicode};Servername=%s;Port=5432;Database=%s;"
                  "Username=%s" % (a.pg_socket, database, a.pg_user))
    code, err = run_cli(a, folder, log, "--simulate", "station", "--history", connection)
    r.check(code == 0, "station --history odbc:... names the shared history", err.strip())
    code, err = run_cli(a, folder, log, "--simulate", "write", "--board", "0", "--in", ini,
                        "--save")
    r.check(code == 0, "a write --save through ODBC", err.strip())
    rows = subprocess.run(["psql", "-h", a.pg_socket, "-U", a.pg_user, "-d", database, "-Atc",
                           "SELECT program, outcome, source FROM eeprom_changes"],
                          capture_output=True).stdout.decode("utf-8").splitlines()
    r.check(rows == ["mx4815cal-cli write|written|imported file"],
            "the server holds the record the Windows program wrote through ODBC", str(rows))
    code, verified = json_of("history", "verify", "--json")
    r.check(code == 0 and verified.get("checked") == 1,
            "history verify through ODBC", str(verified)[:300])
    run_cli(a, folder, log, "--simulate", "station", "--history", "default")


def scenario_dll_run(r, a, work):
    print("-- a whole automatic calibration through the real binding: the simulated card "
          "behind Dravex.dll")
    folder = os.path.join(work, "dll-run")
    os.makedirs(folder, exist_ok=True)
    shutil.copy(a.sim_dll, os.path.join(folder, "Dravex.dll"))
    shutil.copy(a.cli, os.path.join(folder, "mx4815cal-cli.exe"))
    args = ["wine", "mx4815cal-cli.exe", "calibrate", "--board", "0", "--ref10", "9.9995",
            "--ref5", "4.9977", "--quiet", "--json"]
    env = dict(os.environ)
    env["MXCAL_SIM_DATE"] = "2026-01-05"
    start = time.time()
    through = subprocess.run(args, cwd=folder, env=env, stdin=subprocess.DEVNULL,
                             capture_output=True, timeout=900)
    seconds = time.time() - start
    # The same card through --simulate, on fresh simulated cards (the others' file set aside).
    store = os.path.join(a.appdata, "mx4815cal", "simulated-cards.dat")
    aside = store + ".blackbox-aside"
    if os.path.exists(store):
        os.replace(store, aside)
    try:
        env["MXCAL_SIM_SPEED"] = "1000"
        simulated = subprocess.run(args[:2] + ["--simulate"] + args[2:], cwd=folder, env=env,
                                   stdin=subprocess.DEVNULL, capture_output=True, timeout=300)
    finally:
        if os.path.exists(aside):
            os.replace(aside, store)

    def codes(p):
        try:
            d = json.loads(p.stdout.decode("utf-8"))
        except ValueError:
            return None, {}
        return ([o.get("codeLeft") for o in d.get("outputs", [])] +
                [i.get("codeLeft") for i in d.get("inputs", [])]), d

    left, record = codes(through)
    expected, _ = codes(simulated)
    r.check(through.returncode == 0 and record.get("outcome") == "completed",
            "calibrate through Dravex.dll completes (Drvx_ReadPhyMemory / Drvx_WritePhyMemory, "
            "Drvx_ConfigAO, Drvx_WriteAOVoltageH across the DLL boundary)",
            through.stderr.decode("latin-1")[-300:])
    r.check(left is not None and len(left) == 28 and left == expected,
            "its 28 codes are the codes the same card gives through --simulate",
            "%s / %s" % (left, expected))
    print("   (the run through the DLL took %.1f s of real time)" % seconds)


def scenario_window_run(r, a, work):
    print("-- START in the window through the real binding: the simulated card behind "
          "Dravex.dll against --simulate")
    store = os.path.join(a.appdata, "mx4815cal", "simulated-cards.dat")
    aside = store + ".blackbox-aside"
    os.environ["MXCAL_SIM_DATE"] = "2026-01-05"
    results = {}
    try:
        if os.path.exists(store):
            os.replace(store, aside)
        for name, dll, args, title in (("through Dravex.dll", a.sim_dll, [], CAPTION),
                                       ("--simulate", None, ["--simulate"],
                                        CAPTION + SIMULATED_SUFFIX)):
            p = Program(os.path.join(work, "window-run"), a.exe, dll, args,
                        os.path.join(work, "window-run.log"))
            try:
                if not r.check(p.wait_window(title), "%s: the window opens" % name):
                    return
                if dll:
                    results["before"] = ({k: p.box_text(ao_max_box(int(k[5:])))
                                          for k in ("aoMax%d" % i for i in range(8))}, 0)
                p.type_into(REF10_BOX, "9.9995")
                p.type_into(REF5_BOX, "4.9977")
                start = time.time()
                p.click(START)
                time.sleep(75)  # the run's mandated time is under a minute
                r.check(not p.dialogs(title), "%s: the run ends without a message" % name)
                boxes = read_boxes(p)
                results[name] = (boxes, time.time() - start)
                p.focus_main()
                p.click(EXIT)
                p.wait_end()
            finally:
                p.kill()
    finally:
        os.environ.pop("MXCAL_SIM_DATE", None)
        if os.path.exists(store):
            os.remove(store)
        if os.path.exists(aside):
            os.replace(aside, store)
    through, _ = results.get("through Dravex.dll", ({}, 0))
    simulated, _ = results.get("--simulate", ({}, 0))
    before, _ = results.get("before", ({}, 0))
    moved = [k for k in before if before[k] != through.get(k)]
    r.check(len(moved) >= 6, "START through Dravex.dll gave the outputs new codes",
            "%s -> %s" % (before, {k: through.get(k) for k in before}))
    codes = [k for k in through if k.startswith(("ao", "ai"))]
    r.check(len(codes) == 28 and all(through[k] == simulated.get(k) for k in codes),
            "every code box after START through Dravex.dll holds the code --simulate gives",
            "; ".join("%s %s/%s" % (k, through.get(k), simulated.get(k)) for k in codes
                      if through.get(k) != simulated.get(k))[:400])


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--exe", required=True)
    ap.add_argument("--dll", required=True)
    ap.add_argument("--dll-without-recover", required=True)
    ap.add_argument("--cli", help="mx4815cal-cli.exe, for the board lock step")
    ap.add_argument("--out", required=True)
    ap.add_argument("--sim-dll", help="the simulated card's Dravex.dll, for a whole run "
                    "through the binding")
    ap.add_argument("--pg-socket", help="a PostgreSQL server's socket folder, for the history "
                    "through ODBC")
    ap.add_argument("--pg-user", default="mxcal")
    ap.add_argument("--pg-database", default="mxcal", help="a database the user may connect to")
    ap.add_argument("--appdata", required=True, help="Wine's %%APPDATA%% as a Unix path")
    ap.add_argument("--only", action="append", help="run only this step (card, two-cards, "
                    "close, no-dll, no-recover, simulate, board-lock, history, dll-run, window-run); may be repeated")
    a = ap.parse_args()
    # The stand-in gets the log's path as a Windows path on drive Z:, which must be absolute.
    for name in ("exe", "dll", "dll_without_recover", "out", "appdata", "cli", "sim_dll"):
        if getattr(a, name) is not None:
            setattr(a, name, os.path.abspath(getattr(a, name)))
    work = os.path.join(a.out, "blackbox")
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    # A wineserver left from another X display would put the windows there: start afresh.
    subprocess.run(["wineserver", "-k"], capture_output=True)
    subprocess.run(["wineserver", "-w"], capture_output=True)
    r = Results()
    steps = [
        ("card", lambda: scenario_card(r, a, work)),
        ("two-cards", lambda: scenario_two_cards(r, a, work)),
        ("close", lambda: scenario_close(r, a, work)),
        ("no-dll", lambda: scenario_missing(r, a, work, None, "no-dll", "without Dravex.dll")),
        ("no-recover", lambda: scenario_missing(r, a, work, a.dll_without_recover,
                                                "no-recover",
                                                "with a Dravex.dll that lacks Drvx_RecoverEEP")),
        ("simulate", lambda: scenario_simulate(r, a, work)),
        ("board-lock", lambda: scenario_board_lock(r, a, work)),
        ("history", lambda: scenario_history(r, a, work)),
        ("dll-run", lambda: scenario_dll_run(r, a, work)),
        ("window-run", lambda: scenario_window_run(r, a, work)),
    ]
    for name, step in steps:
        if a.only and name not in a.only:
            continue
        if name in ("dll-run", "window-run") and a.sim_dll is None:
            continue
        if name in ("board-lock", "history", "dll-run") and a.cli is None:
            r.check(False, "%s: mx4815cal-cli.exe given (--cli)" % name)
            continue
        start = time.time()
        try:
            step()
        except Exception as e:  # a broken step is a failure, the others still run
            r.check(False, "%s: the step ran to its end" % name, repr(e))
        print("   (%s: %.1f s)" % (name, time.time() - start), flush=True)
    subprocess.run(["wineserver", "-k"], capture_output=True)
    print("%d passed, %d failed" % (r.passed, r.failed))
    return 0 if r.failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
