"""A real SMTP relay for the mail tests and benchmarks: aiosmtpd on loopback with STARTTLS under
the test's certificate (or TLS from the first byte on, as on port 465) and AUTH required (PLAIN
and LOGIN, or LOGIN only), or a plain relay without either. Every accepted message is written to a folder as it arrived. Prints
"READY <port>" once it listens; stops when stdin closes."""
import argparse
import os
import socket
import ssl
import sys

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult, LoginPassword


class Keep:
    def __init__(self, folder):
        self.folder = folder
        self.count = 0

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        path = os.path.join(self.folder, "message-%d.eml" % self.count)
        with open(path + ".part", "wb") as out:
            out.write(envelope.original_content or envelope.content)
        with open(path + ".rcpt", "w") as out:
            out.write("\n".join(envelope.rcpt_tos))
        os.rename(path + ".part", path)
        return "250 Message accepted"


def make_authenticator(user, password):
    def authenticator(server, session, envelope, mechanism, auth_data):
        ok = (isinstance(auth_data, LoginPassword)
              and auth_data.login == user.encode()
              and auth_data.password == password.encode())
        # Not "handled": aiosmtpd then answers a failure with its 535 itself.
        return AuthResult(success=ok, handled=False)
    return authenticator


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cert")
    parser.add_argument("--key")
    parser.add_argument("--folder", required=True)
    parser.add_argument("--user", default="fred")
    parser.add_argument("--password", default="secret")
    parser.add_argument("--login-only", action="store_true")
    parser.add_argument("--plain", action="store_true", help="no TLS, no AUTH")
    parser.add_argument("--implicit-tls", action="store_true",
                        help="TLS from the first byte on instead of STARTTLS")
    args = parser.parse_args()

    secure = {}
    if not args.plain:
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(args.cert, args.key)
        secure = dict(auth_required=True,
                      authenticator=make_authenticator(args.user, args.password),
                      auth_exclude_mechanism=["PLAIN"] if args.login_only else None)
        if args.implicit_tls:
            # The whole connection is TLS; aiosmtpd only counts STARTTLS as such, so its own
            # "AUTH needs TLS" rule is off here.
            secure.update(ssl_context=context, auth_require_tls=False)
        else:
            secure.update(tls_context=context, require_starttls=True, auth_require_tls=True)

    probe = socket.socket()
    probe.bind(("127.0.0.1", 0))
    port = probe.getsockname()[1]
    probe.close()
    controller = Controller(Keep(args.folder), hostname="127.0.0.1", port=port,
                            data_size_limit=400 * 1024 * 1024, **secure)
    controller.start()
    print("READY %d" % port, flush=True)
    sys.stdin.read()
    controller.stop()


if __name__ == "__main__":
    main()
