# SPDX-License-Identifier: GPL-3.0-or-later
"""A scripted update server for the update run's tests, on 127.0.0.1 and a
free port, which it prints as "port N".

Replies come from the folder given as the first argument: a request for
/get/tipsara/<rest> gets the file named <rest> (query included, e.g.
"get_cat.php?id=1"), or else the file named by <rest> without its query, or
else 404 with an empty body. Every request target is appended to the file
"requests.log" of the folder before it is answered. If the folder holds a
file "die-after" with a number N, the server ends itself right after
answering its N-th request, as a server that goes away in mid-run.
"""
import os
import sys
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

folder = sys.argv[1]
served = 0
PREFIX = "/get/tipsara/"


def reply_file(target):
    if not target.startswith(PREFIX):
        return None
    rest = target[len(PREFIX):]
    for name in (rest, rest.split("?", 1)[0]):
        if not name or ".." in name.split("/") or len(os.path.basename(name)) > 250:
            continue
        path = os.path.join(folder, name)
        if os.path.isfile(path):
            return path
    return None


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_GET(self):
        global served
        with open(os.path.join(folder, "requests.log"), "a", encoding="latin-1") as log:
            log.write(self.path + "\n")
        path = reply_file(self.path)
        body = b""
        if path:
            with open(path, "rb") as f:
                body = f.read()
        self.send_response(200 if path else 404)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)
        self.wfile.flush()
        served += 1
        limit = os.path.join(folder, "die-after")
        if os.path.isfile(limit) and served >= int(open(limit).read().strip() or "0"):
            os._exit(0)


server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
print("port", server.server_address[1], flush=True)
try:
    server.serve_forever()
except KeyboardInterrupt:
    pass
