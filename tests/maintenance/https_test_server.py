#!/usr/bin/env python3
"""An HTTPS server on the loopback for the update check tests.

Usage: https_test_server.py ROUTES.json CERT.pem KEY.pem

ROUTES maps a request path to {"status": N, "body": "...", "hang": bool}; "bodyLatin1"
instead of "body" sends each character as one byte. "{base}"
in a body becomes this server's "https://127.0.0.1:PORT". A route with "hang" never
answers. Prints "PORT <n>" once listening and "REQUEST <path>" for every request.
"""
import http.server
import json
import ssl
import sys
import threading

routes = json.load(open(sys.argv[1]))
never = threading.Event()


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def do_GET(self):
        print("REQUEST " + self.path, flush=True)
        route = routes.get(self.path, {"status": 404, "body": "no such route"})
        if route.get("hang"):
            never.wait()
            return
        if "bodyLatin1" in route:
            # Raw bytes (each character one byte), for bodies that are not UTF-8.
            body = route["bodyLatin1"].encode("latin-1")
        else:
            body = route.get("body", "").replace("{base}", base).encode()
        status = route["status"]
        self.send_response(status)
        if status in (204, 304):
            self.end_headers()
            return
        self.send_header("Content-Type", route.get("type", "text/html"))
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, format, *args):
        pass


server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
server.daemon_threads = True
context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.load_cert_chain(sys.argv[2], sys.argv[3])
server.socket = context.wrap_socket(server.socket, server_side=True)
base = "https://127.0.0.1:%d" % server.server_address[1]
print("PORT %d" % server.server_address[1], flush=True)
server.serve_forever()
