#!/usr/bin/python3
"""Reads a published page the way a browser's parser would and checks what a visitor gets.

Usage: page_check.py PAGE EXPECT.json

EXPECT names the forward and reversal WAV files, the clips the page must hold (audio element id,
which file, first and end frame), the texts that must appear as text, and whether the clips are
files beside the page. Prints one line per failed check and exits 1 when any failed.
"""
import base64
import hashlib
import json
import os
import re
import subprocess
import sys
import tempfile
import wave

import html5lib
import numpy

SVG = "{http://www.w3.org/2000/svg}"
XLINK_HREF = "{http://www.w3.org/1999/xlink}href"
URL_ATTRIBUTES = {"src", "href", XLINK_HREF, "action", "formaction", "poster", "srcset", "data",
                  "background", "cite", "longdesc", "ping", "manifest", "icon", "srcdoc"}
FORBIDDEN_ELEMENTS = {"img", "iframe", "object", "embed", "link", "base", "form", "frame",
                      "video", "source", "track", "picture", "input"}

problems = []


def check(condition, message):
    if not condition:
        problems.append(message)
    return condition


def local(tag):
    return tag.split("}", 1)[-1] if isinstance(tag, str) else ""


def text_of(element):
    return "".join(element.itertext())


def read_wav(path):
    with wave.open(path, "rb") as w:
        assert w.getsampwidth() == 2 and w.getnchannels() == 1, "test audio is 16-bit mono"
        rate = w.getframerate()
        samples = numpy.frombuffer(w.readframes(w.getnframes()), dtype="<i2") / 32768.0
    return rate, samples


def decode(mp3, rate):
    # From a file, as a browser reads the whole clip: through a pipe FFmpeg cannot reach the
    # gapless note and keeps the encoder's padding.
    with tempfile.NamedTemporaryFile(suffix=".mp3") as clip:
        clip.write(mp3)
        clip.flush()
        done = subprocess.run(["ffmpeg", "-v", "error", "-i", clip.name, "-f", "f32le", "-ac",
                               "1", "-ar", str(rate), "pipe:1"], capture_output=True, check=False)
    check(done.returncode == 0, "ffmpeg cannot decode a clip: " + done.stderr.decode()[-300:])
    return numpy.frombuffer(done.stdout, dtype="<f4").astype(numpy.float64)


def best_correlation(a, b, max_lag):
    """Normalised correlation of a with b at the best shift within +-max_lag samples."""
    n = min(len(a), len(b))
    a = a[:n] - a[:n].mean()
    b = b[:n] - b[:n].mean()
    size = 1 << (2 * n - 1).bit_length()
    spectrum = numpy.fft.rfft(a, size) * numpy.conj(numpy.fft.rfft(b, size))
    full = numpy.fft.irfft(spectrum, size)
    lags = list(range(0, max_lag + 1)) + list(range(-max_lag, 0))
    values = [full[lag % size] for lag in lags]
    best = int(numpy.argmax(values))
    norm = numpy.sqrt((a * a).sum() * (b * b).sum()) or 1.0
    return values[best] / norm, lags[best]


def main():
    page_path, expect_path = sys.argv[1], sys.argv[2]
    expect = json.load(open(expect_path, encoding="utf-8"))
    raw = open(page_path, "rb").read()
    try:
        document = html5lib.HTMLParser(strict=True, namespaceHTMLElements=False).parse(raw)
    except html5lib.html5parser.ParseError as error:
        print("not valid HTML5:", error)
        return 1
    elements = list(document.iter())

    # No address of anything but data: (or, for a hosted folder, the clips beside the page).
    folder = expect.get("folder", False)
    text = raw.decode("utf-8")
    check(not re.search(r"(?i)\b(?:https?|ftp|wss?|file|javascript|blob):", text),
          "the page holds a URL with a scheme other than data:")
    check("url(" not in text.lower() and "@import" not in text.lower(),
          "the style sheet can fetch something")
    for element in elements:
        name = local(element.tag)
        check(name not in FORBIDDEN_ELEMENTS, "the page has a <%s> element" % name)
        for attribute, value in element.attrib.items():
            check(not local(attribute).lower().startswith("on"),
                  "<%s> has an event handler attribute %s" % (name, attribute))
            check(local(attribute).lower() != "style", "<%s> has a style attribute" % name)
            if attribute in URL_ATTRIBUTES:
                if folder:
                    check(re.fullmatch(r"[a-z0-9-]+\.mp3", value) is not None and
                          os.path.exists(os.path.join(os.path.dirname(page_path), value)),
                          "<%s %s> is not a clip beside the page: %s" % (name, attribute, value))
                else:
                    check(value.startswith("data:"),
                          "<%s %s> is not a data: URI: %.60s" % (name, attribute, value))

    # One inline script and one style sheet, each allowed by its hash and nothing else.
    scripts = [e for e in elements if local(e.tag) == "script"]
    styles = [e for e in elements if local(e.tag) == "style"]
    check(len(scripts) == 1 and "src" not in scripts[0].attrib, "not exactly one inline script")
    check(len(styles) == 1, "not exactly one style sheet")
    policies = [e.get("content", "") for e in elements if local(e.tag) == "meta" and
                e.get("http-equiv", "").lower() == "content-security-policy"]
    if check(len(policies) == 1, "no single Content-Security-Policy meta tag") and scripts:
        policy = {d.split()[0]: d.split()[1:] for d in policies[0].split(";") if d.strip()}

        def digest(element):
            sha = hashlib.sha256((element.text or "").encode("utf-8")).digest()
            return "'sha256-%s'" % base64.b64encode(sha).decode()

        check(policy.get("default-src") == ["'none'"], "default-src is not 'none'")
        check(policy.get("script-src") == [digest(scripts[0])], "script-src is not the hash")
        check(policy.get("style-src") == [digest(styles[0])], "style-src is not the hash")
        check(policy.get("media-src") == (["'self'"] if folder else ["data:"]),
              "media-src is %s" % policy.get("media-src"))
        check("connect-src" not in policy and "'unsafe-inline'" not in policies[0],
              "the policy lets something through")

    # The user's texts arrive as text, character for character.
    title = [e for e in elements if local(e.tag) == "title"]
    heading = [e for e in elements if local(e.tag) == "h1"]
    check(title and text_of(title[0]) == expect["title"], "<title> is not the title as typed")
    check(heading and text_of(heading[0]) == expect["title"], "<h1> is not the title as typed")
    heard = [text_of(e) for e in elements if "heard" in e.get("class", "").split()]
    for words in expect["heard"]:
        check(words in heard, "what was heard is not shown as typed: %r" % words)
    check(len(heard) == len(expect["heard"]), "%d reveals, expected %d" % (len(heard),
                                                                          len(expect["heard"])))
    summaries = [text_of(e) for e in elements if local(e.tag) == "summary"]
    check(summaries and all(s == "What do you hear?" for s in summaries),
          "a reveal does not ask “What do you hear?”")

    # Buttons: every one has a name and plays an audio element of the page.
    audio = {e.get("id"): e for e in elements if local(e.tag) == "audio"}
    buttons = [e for e in elements if local(e.tag) == "button"]
    check(len(buttons) == 3 * len(audio), "not three buttons per clip")
    for button in buttons:
        check(button.get("aria-label") and button.get("data-clip") in audio,
              "a button without a name or a clip: %s" % button.attrib)
    rates = {b.get("data-rate") for b in buttons}
    check(rates == {"1", expect["slow"]}, "the slowed rate is %s" % rates)
    check(any(local(e.tag) == "svg" for e in elements), "no waveform")

    # Each clip is the stretch it stands for: its length within 30 ms, and its sound the same
    # as that stretch of its own file (and unlike the other file's audio there).
    forward_rate, forward = read_wav(expect["forward"])
    reversal_rate, reversal = read_wav(expect["reversal"])
    check(sorted(audio) == sorted(c["id"] for c in expect["clips"]),
          "the page's clips are %s" % sorted(audio))
    for clip in expect["clips"]:
        element = audio.get(clip["id"])
        if element is None:
            continue
        source = element.get("src", "")
        if folder:
            mp3 = open(os.path.join(os.path.dirname(page_path), source), "rb").read()
        else:
            prefix = "data:audio/mpeg;base64,"
            if not check(source.startswith(prefix), "%s is not an MP3 data: URI" % clip["id"]):
                continue
            mp3 = base64.b64decode(source[len(prefix):], validate=True)
        mine, other = (forward, reversal) if clip["file"] == "forward" else (reversal, forward)
        rate = forward_rate
        wanted = mine[clip["start"]:clip["end"]]
        decoded = decode(mp3, rate)
        error_ms = abs(len(decoded) - len(wanted)) * 1000.0 / rate
        check(error_ms <= 30, "%s lasts %.1f ms instead of %.1f ms" % (
            clip["id"], len(decoded) * 1000.0 / rate, len(wanted) * 1000.0 / rate))
        same, lag = best_correlation(decoded, wanted, rate // 50)
        unlike, _ = best_correlation(decoded, other[clip["start"]:clip["end"]], rate // 50)
        check(same >= 0.9 and abs(lag) <= rate // 200,
              "%s does not sound like its stretch (correlation %.3f at %d samples)" % (
                  clip["id"], same, lag))
        check(unlike < 0.5, "%s sounds like the other file's audio too (%.3f)" % (clip["id"],
                                                                                unlike))
        print("%s: %.1f ms, correlation %.3f at lag %d, other file %.3f" % (
            clip["id"], len(decoded) * 1000.0 / rate, same, lag, unlike))

    for problem in problems:
        print("FAIL:", problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
