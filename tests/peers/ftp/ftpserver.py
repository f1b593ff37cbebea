"""The anonymous FTP server of the tests: Debian's pyftpdlib with one thread per session.

The module's own command line (python3 -m pyftpdlib) serves every session from one event
loop, which stops answering some sessions when several clients come at once, as the tests
do when they run in parallel; with a thread per session it does not.

Usage: /usr/bin/python3 ftpserver.py ROOT
Serves ROOT read-only to anonymous users on 127.0.0.1 at a free port, and on ::1 at another
where the machine has IPv6 on its loopback; prints "port N" and "port6 M" (or "port6 none")
once it listens, and logs each session to standard error.
"""
import logging
import socket
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import ThreadedFTPServer


class AnonymousHandler(FTPHandler):
    pass


def main():
    authorizer = DummyAuthorizer()
    authorizer.add_anonymous(sys.argv[1])
    AnonymousHandler.authorizer = authorizer
    logging.basicConfig(level=logging.INFO, format="[%(asctime)s] %(message)s")
    server = ThreadedFTPServer(("127.0.0.1", 0), AnonymousHandler)
    # Both servers wait on the one event loop of the module, which serve_forever runs.
    try:
        server6 = ThreadedFTPServer(("::1", 0), AnonymousHandler)
        port6 = server6.address[1]
    except (OSError, socket.error):
        port6 = "none"
    print("port", server.address[1], flush=True)
    print("port6", port6, flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
