#!/usr/bin/python3
"""A mail relay on loopback for trying Murmelo out and for its tests.

Accepts mail over SMTP with STARTTLS (or, with --implicit-tls, TLS from the first byte on, as
on port 465) and AUTH (PLAIN or LOGIN, only over TLS) for one account and writes every message it
receives into a maildir. Prints "ready PORT" once it listens
and runs until it is terminated or its standard input closes.
"""
import argparse
import logging
import os
import signal
import socket
import ssl
import sys
import threading
import warnings

from aiosmtpd.controller import Controller
from aiosmtpd.handlers import Mailbox
from aiosmtpd.smtp import AuthResult, LoginPassword


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--maildir", required=True, help="where received messages are written")
    parser.add_argument("--cert", required=True, help="PEM certificate for STARTTLS")
    parser.add_argument("--key", required=True, help="PEM key of the certificate")
    parser.add_argument("--user", required=True)
    parser.add_argument("--password", required=True)
    parser.add_argument("--port", type=int, default=0, help="0 picks a free port")
    parser.add_argument("--implicit-tls", action="store_true",
                        help="TLS from the first byte on instead of STARTTLS")
    args = parser.parse_args()

    tls = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    tls.load_cert_chain(args.cert, args.key)
    account = (args.user.encode(), args.password.encode())

    def authenticator(server, session, envelope, mechanism, auth_data):
        ok = isinstance(auth_data, LoginPassword) and (auth_data.login, auth_data.password) == account
        return AuthResult(success=ok)

    os.makedirs(os.path.dirname(os.path.abspath(args.maildir)), exist_ok=True)
    for sub in ("tmp", "new", "cur"):
        os.makedirs(os.path.join(args.maildir, sub), exist_ok=True)
    if args.implicit_tls:
        # The whole connection is TLS; aiosmtpd counts only STARTTLS as such, so its own
        # "AUTH needs TLS" rule is off here, and so are its warnings about that.
        secure = dict(ssl_context=tls, auth_require_tls=False)
        warnings.filterwarnings("ignore", message="Requiring AUTH while not requiring TLS")
        logging.getLogger("mail.log").addFilter(
            lambda record: "auth_require_tls" not in record.getMessage())
    else:
        secure = dict(tls_context=tls, require_starttls=True, auth_require_tls=True)
    controller = Controller(Mailbox(args.maildir), hostname="127.0.0.1",
                            port=args.port or free_port(), authenticator=authenticator,
                            auth_required=True, **secure)
    controller.start()
    print("ready", controller.port, flush=True)

    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    signal.signal(signal.SIGINT, lambda *_: stop.set())

    def watch_stdin():
        try:
            while sys.stdin.read(1):
                pass
        except (OSError, ValueError):
            pass
        stop.set()

    if not sys.stdin.isatty():
        threading.Thread(target=watch_stdin, daemon=True).start()
    stop.wait()
    controller.stop()


if __name__ == "__main__":
    main()
