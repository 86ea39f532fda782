#!/usr/bin/env python3
"""A real FTP server on loopback for the upload tests: one user with a home folder.

Prints the port it listens on (chosen by the system) on its first line, then serves until killed.
"""
import argparse
import logging
import sys

from pyftpdlib.authorizers import AuthenticationFailed, DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


class EchoingAuthorizer(DummyAuthorizer):
    """A careless server: its refusal quotes what the client sent."""

    def validate_authentication(self, username, password, handler):
        raise AuthenticationFailed("Login incorrect for %s with password %s" % (username, password))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--home", required=True)
    parser.add_argument("--user", required=True)
    parser.add_argument("--password", required=True)
    parser.add_argument("--perm", default="elradfmw")
    parser.add_argument("--certfile", help="FTP over explicit TLS, required on both connections")
    parser.add_argument("--keyfile")
    parser.add_argument("--echo-password", action="store_true",
                        help="refuse every login with a reply that quotes the password sent")
    args = parser.parse_args()

    logging.basicConfig(level=logging.ERROR)
    authorizer = EchoingAuthorizer() if args.echo_password else DummyAuthorizer()
    authorizer.add_user(args.user, args.password, args.home, perm=args.perm)
    handler = FTPHandler
    if args.certfile:
        from pyftpdlib.handlers import TLS_FTPHandler

        from OpenSSL import SSL

        handler = TLS_FTPHandler
        # pyftpdlib drops TLS 1.3 data connections (it starts their handshake before the client
        # does); TLS 1.2 is what it handles.
        context = SSL.Context(SSL.TLS_SERVER_METHOD)
        context.set_max_proto_version(SSL.TLS1_2_VERSION)
        context.use_certificate_chain_file(args.certfile)
        context.use_privatekey_file(args.keyfile or args.certfile)
        handler.ssl_context = context
        handler.tls_control_required = True
        handler.tls_data_required = True
    handler.authorizer = authorizer
    handler.banner = "test server ready"
    handler.auth_failed_timeout = 0.1  # the refused-login test need not wait 3 s
    server = FTPServer(("127.0.0.1", 0), handler)
    print(server.address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    sys.exit(main())
