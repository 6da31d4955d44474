#!/usr/bin/python3
"""Checks that every translation is complete and sound.

Brings a copy of each translations/*.ts up to date with the sources, as lupdate would for a
translator, and fails on any text left unfinished (new in the sources, or never translated) and
on any translation whose placeholders (%1, %n, %@) differ from its source's, which would show the
wrong value or none at all.

usage: translations_check.py LUPDATE SOURCE_DIR
"""

import collections
import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

PLACEHOLDER = re.compile(r"%(?:L?[1-9]|n|@)")


def placeholders(text):
    return collections.Counter(PLACEHOLDER.findall(text or ""))


def faults_of(path):
    faults = []
    for context in ET.parse(path).getroot().iter("context"):
        name = context.findtext("name")
        for message in context.iter("message"):
            source = message.findtext("source")
            translation = message.find("translation")
            where = "%s: %s %r" % (os.path.basename(path), name, source)
            if translation is None or translation.get("type") in ("unfinished", "vanished",
                                                                 "obsolete"):
                faults.append(where + ": not translated")
                continue
            forms = [form.text for form in translation.iter("numerusform")] or [translation.text]
            for form in forms:
                if not (form or "").strip():
                    faults.append(where + ": empty translation")
                elif placeholders(form) != placeholders(source) and not (
                        message.get("numerus") == "yes" and "%n" not in form):
                    faults.append(where + ": placeholders differ in %r" % form)
    return faults


def main():
    lupdate, sources = sys.argv[1], sys.argv[2]
    files = sorted(glob.glob(os.path.join(sources, "translations", "*.ts")))
    if not files:
        raise SystemExit("no translations found under " + sources)
    faults = []
    with tempfile.TemporaryDirectory() as folder:
        for path in files:
            copy = os.path.join(folder, os.path.basename(path))
            shutil.copy(path, copy)
            subprocess.run([lupdate, "-silent", "-no-obsolete", "-locations", "none",
                            os.path.join(sources, "src"), "-ts", copy],
                           check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            faults += faults_of(copy)
    for fault in faults:
        print(fault)
    print("translations: %d passed, %d failed" % (len(files) if not faults else 0,
                                                  len(files) if faults else 0))
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
