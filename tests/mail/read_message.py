"""Reads one received message the way a mail reader does (Python's email package, default policy)
and prints what it found as JSON: every defect, the decoded headers and addresses, and each part.
Usage: read_message.py FILE [--smtp-data], where --smtp-data means the file holds the bytes sent
after DATA (dot-stuffed, ending in the end-of-data line)."""
import email
import hashlib
import json
import sys
from email import policy


def main():
    data = open(sys.argv[1], "rb").read()
    if "--smtp-data" in sys.argv:
        if data.endswith(b"\r\n.\r\n"):
            data = data[:-3]
        data = data.replace(b"\r\n..", b"\r\n.")
    msg = email.message_from_bytes(data, policy=policy.default)
    defects = [type(d).__name__ for d in msg.defects]
    parts = []
    for part in msg.walk():
        defects += [type(d).__name__ for d in part.defects]
        if part.is_multipart():
            continue
        payload = part.get_payload(decode=True) or b""
        entry = {
            "type": part.get_content_type(),
            "charset": part.get_content_charset(),
            "filename": part.get_filename(),
            "size": len(payload),
            "sha1": hashlib.sha1(payload).hexdigest(),
        }
        if part.get_content_maintype() == "text":
            entry["text"] = part.get_content()
        parts.append(entry)

    def addresses(name):
        header = msg[name]
        if header is None:
            return []
        defects.extend(type(d).__name__ for d in header.defects)
        return [[a.display_name, a.addr_spec] for a in header.addresses]

    json.dump({
        "defects": defects,
        "subject": str(msg["subject"]),
        "from": addresses("from"),
        "to": addresses("to"),
        "cc": addresses("cc"),
        "parts": parts,
    }, sys.stdout, ensure_ascii=True)


if __name__ == "__main__":
    main()
