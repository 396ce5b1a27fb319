#!/usr/bin/env python3
"""A small HTTP server for the credential tests of the cached HTTP storage:
it asks for credentials and redirects between two addresses, which nginx
cannot show. It serves one resource of SIZE bytes (the same pattern as the
test servers' data.bin), answering ranges, under these paths:

  /auth/data.bin        asks for Basic credentials (realm "Odd test",
                        tester / secret) on either address
  /redirect/...         on 127.0.0.1: 302 to the same path without
                        "/redirect" on 127.0.0.2 (same port), which asks
                        with the same realm as 127.0.0.1
  /authredirect/...     the same redirect, but only after asking for the
                        credentials itself

Usage: odd_http_server.py PORT_FILE LOG_FILE   (binds 127.0.0.1 and 127.0.0.2
on one port the system chooses and holds a second port bound without
listening, which refuses every connection; writes the two port numbers to
PORT_FILE, one a line, then serves until killed). LOG_FILE gets one line per request: the address asked, the method,
the path and "auth" when the request carried an Authorization header, else
"-".
"""
import base64
import http.server
import os
import re
import socket
import sys
import threading

SIZE = 100000


def byte_of(i):
    return (i * 7 + i // 251) & 0xFF


DATA = bytes(byte_of(i) for i in range(SIZE))


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    log_lock = threading.Lock()

    def _log(self):
        with self.log_lock, open(sys.argv[2], "a") as f:
            f.write("%s %s %s %s\n" % (self.server.server_address[0], self.command, self.path,
                                       "auth" if "Authorization" in self.headers else "-"))

    def _mode(self):
        parts = self.path.split("/")
        return parts[1] if len(parts) > 2 and parts[2] == "data.bin" else None

    def _authorized(self):
        expected = "Basic " + base64.b64encode(b"tester:secret").decode()
        return self.headers.get("Authorization", "") == expected

    # Answers the authentication and redirect steps; False when the request
    # is to be served.
    def _answered(self):
        self._log()
        parts = self.path.split("/", 2)
        first = parts[1] if len(parts) > 2 else ""
        if first in ("auth", "authredirect") and not self._authorized():
            self.send_response(401)
            self.send_header("WWW-Authenticate", 'Basic realm="Odd test"')
        elif first in ("redirect", "authredirect") and self.server.server_address[0] == "127.0.0.1":
            self.send_response(302)
            self.send_header("Location", "http://127.0.0.2:%d/%s" % (self.server.server_address[1], parts[2]))
        else:
            return False
        self.send_header("Content-Length", "0")
        self.send_header("Connection", "close")
        self.end_headers()
        return True

    def do_HEAD(self):
        if self._answered():
            return
        if self._mode() is None:
            self.send_error(404)
            return
        self.send_response(200)
        self.send_header("Connection", "close")
        self.end_headers()

    def do_GET(self):
        if self._answered():
            return
        mode = self._mode()
        m = re.match(r"bytes=(\d+)-(\d+)$", self.headers.get("Range", ""))
        if mode is None or not m:
            self.send_error(404 if mode is None else 400)
            return
        first, last = int(m.group(1)), min(int(m.group(2)), SIZE - 1)
        if first > last:
            self.send_error(416)
            return
        body = DATA[first:last + 1]
        self.send_response(206)
        self.send_header("Content-Range", "bytes %d-%d/%d" % (first, last, SIZE))
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Connection", "close")
        self.end_headers()
        self.wfile.write(body)


def bind_pair():
    """Both addresses on one port the system chooses; another try when
    127.0.0.2 has that port taken already."""
    for _ in range(20):
        server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        try:
            return server, http.server.ThreadingHTTPServer(("127.0.0.2", server.server_address[1]), Handler)
        except OSError:
            server.server_close()
    raise SystemExit("odd_http_server: no port free on both addresses")


def main():
    server, second = bind_pair()
    # Bound but never listening: every connection to it is refused, and no
    # other program can take the port while this server runs.
    closed = socket.socket()
    closed.bind(("127.0.0.1", 0))
    threading.Thread(target=second.serve_forever, daemon=True).start()
    # Written whole under another name and renamed, so that a reader never
    # sees half of it.
    with open(sys.argv[1] + ".new", "w") as f:
        f.write("%d\n%d\n" % (server.server_address[1], closed.getsockname()[1]))
    os.replace(sys.argv[1] + ".new", sys.argv[1])
    server.serve_forever()


if __name__ == "__main__":
    main()
