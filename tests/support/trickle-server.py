#!/usr/bin/env python3
# A web server that never finishes a download: every path is a large file sent
# a kilobyte at a time, so that a client's transfer of it stays "running". A
# paused download comes back asking for the rest: ranges are served.
#   trickle-server.py PORT
import http.server
import sys
import time


class Trickle(http.server.BaseHTTPRequestHandler):
    SIZE = 1 << 30

    def do_GET(self):
        first = self.headers.get("Range", "").partition("bytes=")[2].split("-")[0]
        start = min(int(first), self.SIZE - 1) if first.isdigit() else 0
        if first.isdigit():
            self.send_response(206)
            self.send_header("Content-Range", "bytes %d-%d/%d" % (start, self.SIZE - 1, self.SIZE))
        else:
            self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(self.SIZE - start))
        self.end_headers()
        try:
            while True:
                self.wfile.write(b"\0" * 1024)
                time.sleep(0.05)
        except (BrokenPipeError, ConnectionResetError):
            pass

    def log_message(self, *args):
        pass


http.server.ThreadingHTTPServer(("127.0.0.1", int(sys.argv[1])), Trickle).serve_forever()
