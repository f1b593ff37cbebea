"""The anonymous FTP server of the tests: Debian's pyftpdlib with one thread per session.

The module's own command line (python3 -m pyftpdlib) serves every session from one event
loop, which stops answering some sessions when several clients come at once, as the tests
do when they run in parallel; with a thread per session it does not.

Usage: /usr/bin/python3 ftpserver.py ROOT
Serves ROOT read-only to anonymous users on 127.0.0.1 at a free port, prints "port N" once it
listens, and logs each session to standard error.
"""
import logging
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
    print("port", server.address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
