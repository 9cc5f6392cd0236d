# SPDX-License-Identifier: GPL-3.0-or-later
"""A plain HTTP server for the HTTP layer's tests, on 127.0.0.1 and a free
port, which it prints as "port N". Bodies are bytes 0, 1, 2, ... mod 251.

  /sized?n=N      N bytes with Content-Length
  /nolength?n=N   N bytes, no Content-Length, ended by closing the connection
  /chunked?n=N    N bytes in chunks of varied sizes, no Content-Length
  /empty          Content-Length: 0
  /missing        a 404 page
  /redirect       302 to /sized?n=10000
"""
import sys
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import parse_qs, urlsplit


def body(n):
    return bytes(i % 251 for i in range(n))


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_GET(self):
        url = urlsplit(self.path)
        n = int(parse_qs(url.query).get("n", ["0"])[0])
        if url.path == "/sized":
            self.send_response(200)
            self.send_header("Content-Length", str(n))
            self.end_headers()
            self.wfile.write(body(n))
        elif url.path == "/nolength":
            self.send_response(200)
            self.send_header("Connection", "close")
            self.end_headers()
            data = body(n)
            for start in range(0, n, 1000):
                self.wfile.write(data[start:start + 1000])
                self.wfile.flush()
            self.close_connection = True
        elif url.path == "/chunked":
            self.send_response(200)
            self.send_header("Transfer-Encoding", "chunked")
            self.end_headers()
            data, start, sizes = body(n), 0, [100, 3000, 5000, 1, 9000]
            while start < n:
                size = sizes[start % len(sizes)]
                piece = data[start:start + size]
                self.wfile.write(b"%x\r\n%s\r\n" % (len(piece), piece))
                self.wfile.flush()
                start += len(piece)
            self.wfile.write(b"0\r\n\r\n")
        elif url.path == "/empty":
            self.send_response(200)
            self.send_header("Content-Length", "0")
            self.end_headers()
        elif url.path == "/redirect":
            page = b"moved"
            self.send_response(302)
            self.send_header("Location", "/sized?n=10000")
            self.send_header("Content-Length", str(len(page)))
            self.end_headers()
            self.wfile.write(page)
        else:
            self.send_error(404, "Not Found")


server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
print("port", server.server_address[1], flush=True)
try:
    server.serve_forever()
except KeyboardInterrupt:
    pass
