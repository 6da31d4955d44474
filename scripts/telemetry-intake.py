#!/usr/bin/python3
"""A small telemetry intake on loopback, for trying the application out and for tests.

Accepts the application's uploads (POST .../intake/1.0/tokens.mpack and sessions.mpack),
answers the token handshake with every permission granted, keeps each body as a file and can
print the events it received, decoded.

    /usr/bin/python3 scripts/telemetry-intake.py [--port N] [--store DIR] [--answer MODE] [--print]

The first line on standard output is "listening on PORT". MODE is how uploads are answered:
200 (default), 404, 503, "close" (the connection is closed at once, unanswered) or "hang"
(nothing is answered; the client must give up by itself).
"""
import argparse
import http.server
import itertools
import os
import socketserver
import sys
import threading

import msgpack

counter = itertools.count(1)
lock = threading.Lock()


def text(value):
    if isinstance(value, bytes):
        try:
            return value.decode("utf-8")
        except UnicodeDecodeError:
            return "<%d bytes>" % len(value)
    if isinstance(value, dict):
        return {text(k): text(v) for k, v in value.items()}
    if isinstance(value, list):
        return [text(v) for v in value]
    return value


def describe(body):
    """One line per event of an upload body."""
    try:
        upload = msgpack.unpackb(body, raw=True, strict_map_key=False)
    except Exception as error:  # a damaged body is reported, not fatal
        return ["undecodable body (%d bytes): %s" % (len(body), error)]
    if not isinstance(upload, dict):
        return ["body is not a map"]
    lines = []
    for event in upload.get(b"events", []):
        event = text(event)
        if not isinstance(event, dict):
            continue
        kind = event.get("type")
        extra = ""
        if kind == "checkpoint":
            extra = " checkpoint_id=%s" % event.get("checkpoint_id")
        elif kind == "crash":
            extra = " %s=%s" % (event.get("crashtype"), event.get("signal", event.get("exception")))
        if event.get("first_session"):
            extra += " first_session"
        lines.append("%s session=%s seq=%s%s" % (kind, event.get("session_id"),
                                                 event.get("sequence_number"), extra))
    return lines


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def handle(self):
        if self.server.answer == "close":
            self.request.close()
            return
        super().handle()

    def log_message(self, *args):
        pass

    def do_POST(self):
        length = int(self.headers.get("Content-Length", "0"))
        body = self.rfile.read(length)
        with lock:
            number = next(counter)
        name = self.path.rsplit("/", 1)[-1]
        if self.server.store:
            path = os.path.join(self.server.store, "%04d-%s" % (number, name))
            with open(path + ".part", "wb") as f:
                f.write(body)
            os.rename(path + ".part", path)
        if self.server.answer == "hang":
            threading.Event().wait(3600)
            return
        if name == "sessions.mpack" and self.server.print_events:
            for line in describe(body):
                print("intake: " + line, flush=True)
        status = int(self.server.answer)
        reply = b""
        if name == "tokens.mpack" and status == 200:
            reply = msgpack.packb({"valid": True, "send_logs": True, "send_crashes": True,
                                   "send_checkpoints": True}, use_bin_type=False)
        self.send_response(status)
        self.send_header("Content-Length", str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--store", default="")
    parser.add_argument("--answer", default="200")
    parser.add_argument("--print", dest="print_events", action="store_true")
    args = parser.parse_args()
    server = Server(("127.0.0.1", args.port), Handler)
    server.store = args.store
    server.answer = args.answer
    server.print_events = args.print_events
    print("listening on %d" % server.server_address[1], flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    sys.exit(main())
