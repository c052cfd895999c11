#!/usr/bin/env python3
"""Serves the page (build/web) on 127.0.0.1 and prints its address.

usage: serve.py [DIR] [PORT]   (PORT 0, the default 8000 taken: any free port)
"""
import functools
import http.server
import sys


class Handler(http.server.SimpleHTTPRequestHandler):
    extensions_map = {**http.server.SimpleHTTPRequestHandler.extensions_map,
                      ".wasm": "application/wasm", ".js": "text/javascript",
                      ".lamp": "text/plain"}

    def end_headers(self):
        self.send_header("Cache-Control", "no-store")
        super().end_headers()

    def log_message(self, *args):
        pass


def server(directory, port):
    handler = functools.partial(Handler, directory=directory)
    return http.server.ThreadingHTTPServer(("127.0.0.1", port), handler)


def main():
    directory = sys.argv[1] if len(sys.argv) > 1 else "build/web"
    port = int(sys.argv[2]) if len(sys.argv) > 2 else 8000
    try:
        httpd = server(directory, port)
    except OSError:
        httpd = server(directory, 0)
    print("the lamp: http://127.0.0.1:%d/  (Ctrl-C stops)" % httpd.server_address[1], flush=True)
    try:
        httpd.serve_forever()
    except KeyboardInterrupt:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
