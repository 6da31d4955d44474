#!/usr/bin/python3
"""Checks that each screenshot the AppStream file names is one of docs/screenshots, at the size
it states, so software centres never link a picture the project does not publish.

usage: metainfo_screenshots_check.py SOURCE_DIR
"""

import os
import struct
import sys
import xml.etree.ElementTree as ET

PREFIX = "https://murmelo.org/docs/screenshots/"


def png_size(path):
    with open(path, "rb") as file:
        header = file.read(24)
    if header[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError(path + " is not a PNG")
    return struct.unpack(">II", header[16:24])


def main():
    sources = sys.argv[1]
    root = ET.parse(os.path.join(sources, "data", "org.murmelo.Murmelo.metainfo.xml")).getroot()
    faults = []
    images = root.findall("./screenshots/screenshot/image")
    for image in images:
        url = image.text.strip()
        if not url.startswith(PREFIX):
            faults.append(url + ": not under " + PREFIX)
            continue
        path = os.path.join(sources, "docs", "screenshots", url[len(PREFIX):])
        if not os.path.exists(path):
            faults.append(url + ": no such file in docs/screenshots")
            continue
        stated = (int(image.get("width")), int(image.get("height")))
        if png_size(path) != stated:
            faults.append("%s: %dx%d, stated %dx%d" % ((url,) + png_size(path) + stated))
    for fault in faults:
        print(fault)
    print("metainfo screenshots: %d passed, %d failed" % (len(images) - len(faults), len(faults)))
    return 1 if faults or not images else 0


if __name__ == "__main__":
    sys.exit(main())
