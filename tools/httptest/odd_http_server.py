#!/usr/bin/env python3
"""A small HTTP server that answers range requests wrongly on purpose, for
the tests of the cached HTTP storage. It serves one resource of SIZE bytes
(the same pattern as the test servers' data.bin) under three paths:

  /star/data.bin        HEAD has no Content-Length; every range reply says
                        "bytes a-b/*" (size never told)
  /starfirst/data.bin   HEAD has no Content-Length; the reply to a range that
                        starts at 0 says "/*", every other one the size
  /wrongstart/data.bin  every range reply starts one byte after the request

Usage: odd_http_server.py PORT_FILE   (binds 127.0.0.1 on a free port and
writes the port number to PORT_FILE, then serves until killed)
"""
import http.server
import re
import sys

SIZE = 100000


def byte_of(i):
    return (i * 7 + i // 251) & 0xFF


DATA = bytes(byte_of(i) for i in range(SIZE))


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def _mode(self):
        parts = self.path.split("/")
        return parts[1] if len(parts) > 2 and parts[2] == "data.bin" else None

    def do_HEAD(self):
        if self._mode() is None:
            self.send_error(404)
            return
        self.send_response(200)
        self.send_header("Connection", "close")
        self.end_headers()

    def do_GET(self):
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
        total = "*" if mode == "star" or (mode == "starfirst" and first == 0) else str(SIZE)
        shown = first + 1 if mode == "wrongstart" else first
        self.send_response(206)
        self.send_header("Content-Range", "bytes %d-%d/%s" % (shown, last, total))
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Connection", "close")
        self.end_headers()
        self.wfile.write(body)


def main():
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    with open(sys.argv[1], "w") as f:
        f.write("%d\n" % server.server_address[1])
    server.serve_forever()


if __name__ == "__main__":
    main()
