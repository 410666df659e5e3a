#!/usr/bin/env python3
# A small HTTP server on 127.0.0.1 for the tests: files with their MIME
# types, a 404, a redirect, an echo of the request, a repeated header and a
# count of the requests per path. Used by url_http.py.
import http.server
import json
import threading


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    files = {}    # path -> (content type, bytes)
    counts = {}   # path -> requests seen
    lock = threading.Lock()

    def log_message(self, *args):
        pass

    def count(self):
        with self.lock:
            self.counts[self.path] = self.counts.get(self.path, 0) + 1

    def send(self, status, body, ctype="text/plain; charset=utf-8", extra=()):
        self.send_response(status)
        self.send_header("Content-Type", ctype)
        self.send_header("Content-Length", str(len(body)))
        for k, v in extra:
            self.send_header(k, v)
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def echo(self):
        length = int(self.headers.get("Content-Length") or 0)
        body = self.rfile.read(length) if length else b""
        answer = {
            "method": self.command,
            "path": self.path,
            "headers": [[k, v] for k, v in self.headers.items()],
            "body": body.decode("utf-8", "replace"),
            "body-hex": body.hex(),
        }
        self.send(200, json.dumps(answer).encode(), "application/json")

    def route(self):
        self.count()
        path = self.path.split("?")[0]
        if path.startswith("/echo"):
            return self.echo()
        if path == "/redirect":
            return self.send(302, b"", extra=[("Location", "/files/hello.txt")])
        if path == "/twice":
            return self.send(200, b"two", extra=[("X-Dup", "one"), ("X-Dup", "two")])
        if path == "/counts":
            return self.send(200, json.dumps(self.counts).encode(), "application/json")
        if path.startswith("/files/"):
            f = self.files.get(path[len("/files/"):])
            if f:
                return self.send(200, f[1], f[0])
        self.send(404, b"not found: " + path.encode())

    do_GET = do_POST = do_PUT = do_HEAD = do_DELETE = do_PATCH = route


def start(files):
    Handler.files = files
    Handler.counts = {}
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    thread = threading.Thread(target=server.serve_forever, daemon=True)
    thread.start()
    return server
