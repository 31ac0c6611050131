#!/usr/bin/env python3
# A baseline server for the Go command's figures: every POST is answered with the file of the
# path's name in FOLDER, sent with sendfile so that the server is never what limits a run.
# usage: sendfile-server.py FOLDER   (prints the port it listens on, on 127.0.0.1)
import http.server
import os
import sys

folder = sys.argv[1]


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def do_POST(self):
        self.rfile.read(int(self.headers.get("Content-Length", 0)))
        path = os.path.join(folder, os.path.basename(self.path))
        self.send_response(200)
        self.send_header("Content-Type", "text/xml; charset=utf-8")
        self.send_header("Content-Length", str(os.path.getsize(path)))
        self.end_headers()
        with open(path, "rb") as f:
            self.wfile.flush()
            self.connection.sendfile(f)

    def log_message(self, *args):
        pass


server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
print(server.server_address[1], flush=True)
server.serve_forever()
