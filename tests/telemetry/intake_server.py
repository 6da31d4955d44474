"""A telemetry intake for the tests: answers each POST with the next scripted action.

Usage: intake_server.py ACTION[,ACTION...] [CERT KEY]  (the last action repeats; with a
certificate and its key the intake speaks HTTPS)
Actions: an HTTP status (200, 201, 404, 500, 503...), "hang" (never answer, until the client
goes away), "close" (drop the
connection without answering), "big" (200 with a 100 KB body), "huge" (200 announcing a 2 GiB
body and streaming it until the client goes away) and "hugeclose" (the same without a length:
the body ends when the connection does). Hostile answers: "garbage" (no status line), "endlesshead"
(header lines without end), "negative" (Content-Length -1), "chunkoverflow" (a chunk size past
64 bits); "chunked" is 200 with its body in chunks. Prints "PORT n" once listening, then one JSON line per request:
its number, path, Content-Length and Content-Type headers, bytes received and their SHA-1; and
"CLOSED n" when the connection of request n has ended (the client let it go, or the intake did).
As a proxy it takes CONNECT for any host and tunnels to that port on 127.0.0.1 (it plays the
name service too), printing "CONNECT host:port".
"""
import hashlib
import json
import select
import socket
import ssl
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

actions = sys.argv[1].split(",")
lock = threading.Lock()
count = 0
output = threading.Lock()


def say(line):
    # One write per line, under a lock: lines from two connections' threads must not interleave.
    with output:
        sys.stdout.write(line + "\n")
        sys.stdout.flush()


class Intake(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    number = 0

    def log_message(self, *args):
        pass

    def finish(self):
        super().finish()
        if self.number:
            say("CLOSED %d" % self.number)

    def do_CONNECT(self):
        say("CONNECT %s" % self.path)
        self.close_connection = True
        try:
            upstream = socket.create_connection(("127.0.0.1", int(self.path.rsplit(":", 1)[1])))
        except (OSError, ValueError):
            self.send_error(502)
            return
        self.send_response(200, "Connection established")
        self.end_headers()
        ends = [self.connection, upstream]
        with upstream:
            while True:
                readable, _, _ = select.select(ends, [], [], 30)
                if not readable:
                    return
                for end in readable:
                    data = end.recv(65536)
                    if not data:
                        return
                    (upstream if end is self.connection else self.connection).sendall(data)

    def do_POST(self):
        global count
        length = int(self.headers.get("Content-Length", "0"))
        body = self.rfile.read(length)
        with lock:
            count += 1
            number = count
            self.number = number
            action = actions[min(number - 1, len(actions) - 1)]
        say(json.dumps({"n": number, "path": self.path, "length": self.headers.get("Content-Length"),
                        "type": self.headers.get("Content-Type"),
                        "proxyauth": self.headers.get("Proxy-Authorization"), "received": len(body),
                        "sha1": hashlib.sha1(body).hexdigest(), "action": action}))
        if action == "hang":
            self.connection.settimeout(600)
            try:
                self.connection.recv(1)  # nothing comes: returns when the client closes
            except OSError:
                pass
            self.close_connection = True
            return
        if action == "close":
            self.close_connection = True
            return
        if action in ("big", "huge", "hugeclose"):
            self.stream_body(action)
            return
        if action in HOSTILE:
            self.close_connection = True
            try:
                HOSTILE[action](self.wfile)
            except OSError:
                pass  # the client gave up on it: what it should do
            return
        reply = b"\x81\xa5valid\xc3"
        self.send_response(int(action))
        self.send_header("Content-Length", str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)


    def stream_body(self, action):
        self.send_response(200)
        if action == "big":
            body = b"\x00" * 100000
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)
            return
        if action == "huge":
            self.send_header("Content-Length", str(2 << 30))
        else:
            self.send_header("Connection", "close")
        self.end_headers()
        self.close_connection = True
        block = b"\x00" * 65536
        try:
            for _ in range((2 << 30) // len(block)):
                self.wfile.write(block)
        except OSError:
            pass  # the client stopped reading: what it should do


def endless_head(out):
    out.write(b"HTTP/1.1 200 OK\r\n")
    for n in range(1 << 30):
        out.write(b"X-Filler-%d: %s\r\n" % (n, b"y" * 100))


HOSTILE = {
    "garbage": lambda out: out.write(b"\x00\xffSMTP ready\r\n\r\n" + b"z" * 1000),
    "endlesshead": endless_head,
    "negative": lambda out: out.write(b"HTTP/1.1 200 OK\r\nContent-Length: -1\r\n\r\nabc"),
    "chunkoverflow": lambda out: out.write(
        b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1" + b"0" * 17 + b"1\r\nabc"),
    "chunked": lambda out: out.write(
        b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
        b"3;piece=1\r\n\x81\xa5v\r\n4\r\nalid\r\n1\r\n\xc3\r\n0\r\n\r\n"),
}


server = ThreadingHTTPServer(("127.0.0.1", 0), Intake)
server.daemon_threads = True
if len(sys.argv) > 3:
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(sys.argv[2], sys.argv[3])
    server.socket = context.wrap_socket(server.socket, server_side=True)
say("PORT %d" % server.server_address[1])
# Ends with the test that started it: stdin closes when the test process goes away.
threading.Thread(target=server.serve_forever, daemon=True).start()
sys.stdin.read()
