#!/usr/bin/env python3
"""HTTP server for the download tests: serves a folder and misbehaves on request.

The first path segment names the faults, the rest is the file:
  /plain/FILE               normal answer, honouring Range
  /norange/FILE             ignore Range: 200 with the whole body
  /status=404/FILE          answer with that status and a short error page
  /cut=N/FILE               close the connection after N body bytes, every time
  /cutfirst=N,t=ID/FILE     the same, only for the first request of this exact path
  /cutnth=K:N,t=ID/FILE     the same, only for the K-th request of this exact path
  /failfrom=K:S,t=ID/FILE   answer status S from the K-th request of this exact path on
  /failrange=B:S/FILE       answer status S to a request whose Range starts at byte B
  /page=N                   pad error pages to N bytes
  /status=206/FILE          answer 206 with the whole body and its Content-Range
  /stall=MS/FILE            wait MS milliseconds between the headers and the body
  /drip=N:MS/FILE           send the body N bytes at a time, MS milliseconds apart
  /server=TEXT/FILE         send TEXT as the Server header (percent-decoded)
  /nolength/FILE            no Content-Length; the body ends when the connection closes
  /nozip/FILE               404 for a zipped variant (a path ending in "._.zip")
  /corruptzip/FILE          a zipped variant with bytes in its middle flipped
  /hold=KEY/FILE            answer only once /release=KEY/ was asked (at most 60 s)
  /release=KEY/             let the requests held for KEY go on; answers 200 "released"
  /hang=N/FILE              send N body bytes, then nothing, keeping the connection open
                            until the client closes it (at most --max-hang seconds)
  /shift=N/FILE             answer a range starting at B with the bytes from B+N and an
                            honest Content-Range (a cache serving another position)
  /total=N/FILE             report N as the total in Content-Range (a replaced file)
  /cutrange=B:N,t=ID/FILE   cut the first answer to "Range: bytes=B-" after N body bytes
  /hangnth=K:N,t=ID/FILE    hang as above, only in the K-th answer of this exact path
  /flipfile=NAME:N/FILE     when FILE's name is NAME, flip byte N of it; a zipped variant
                            (NAME._.zip) is served as a valid archive of the flipped bytes
                            (a man in the middle who swaps one file and nothing else)
  /nosig/FILE               404 for a signature file (a path ending in ".sig")
  /statusfor=NAME:S/FILE    answer status S when FILE's name is NAME or NAME._.zip (one
                            document of a folder missing or broken, the rest served)
  /cutfor=NAME:N/FILE       close the connection after N body bytes, every time, when
                            FILE's name is NAME or NAME._.zip
  t=ID                      ignored; makes a path unique to one test
Options combine with commas. A request target with a raw blank or another
character that must be escaped (" < > \ ^ ` { | }) is answered 400, as a strict
server does; its percent-encoded form is served.
Every request goes to the log file as one JSON line. Listens on 127.0.0.1 only and
stops by itself after --max-seconds or --max-requests.
"""
import argparse
import http.server
import io
import json
import os
import socket
import threading
import time
import urllib.parse
import zipfile


class FaultServer(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def __init__(self, root, log_path, max_requests, max_hang=120.0):
        super().__init__(("127.0.0.1", 0), Handler)
        self.max_hang = max_hang
        self.once = set()
        self.root = os.path.realpath(root)
        self.log_path = log_path
        self.max_requests = max_requests
        self.lock = threading.Lock()
        self.requests = 0
        self.path_counts = {}
        self.cache = {}
        self.holds = {}

    def hold_event(self, key):
        with self.lock:
            return self.holds.setdefault(key, threading.Event())

    def record(self, entry):
        with self.lock:
            self.requests += 1
            with open(self.log_path, "a", encoding="utf-8") as log:
                log.write(json.dumps(entry) + "\n")
            if self.requests >= self.max_requests:
                threading.Thread(target=self.shutdown, daemon=True).start()

    def count(self, path):
        """Numbers the requests of one exact path from 1."""
        with self.lock:
            self.path_counts[path] = self.path_counts.get(path, 0) + 1
            return self.path_counts[path]

    def first_time(self, key):
        """True only for the first call with this key."""
        with self.lock:
            if key in self.once:
                return False
            self.once.add(key)
            return True

    def body(self, relative):
        full = os.path.realpath(os.path.join(self.root, relative))
        if not full.startswith(self.root + os.sep) or not os.path.isfile(full):
            return None
        with self.lock:
            if full not in self.cache:
                with open(full, "rb") as f:
                    self.cache[full] = f.read()
            return self.cache[full]


RAW_UNSAFE = set(' "<>\\^`{|}')


def flip_file(data, relative, rule):
    """Flips byte N of the file named NAME, inside its zipped variant too."""
    name, _, offset = rule.rpartition(":")
    base = relative.rsplit("/", 1)[-1]
    at = int(offset)
    if base == name:
        if not data:
            return b"x"
        flipped = bytearray(data)
        flipped[at % len(flipped)] ^= 0x01
        return bytes(flipped)
    if base == name + "._.zip":
        with zipfile.ZipFile(io.BytesIO(data)) as archive:
            member = archive.infolist()[0]
            inner = bytearray(archive.read(member) or b"\0")
        inner[at % len(inner)] ^= 0x01
        out = io.BytesIO()
        with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as archive:
            archive.writestr(member.filename, bytes(inner))
        return out.getvalue()
    return data


def parse_faults(text):
    faults = {}
    for item in text.split(","):
        name, _, value = item.partition("=")
        faults[name] = urllib.parse.unquote(value)
    return faults


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_text = "faultserver"

    def version_string(self):
        return self.server_text

    def log_message(self, format, *args):
        pass

    def send_body_only(self, body):
        self.send_response(200)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def parse_request(self):
        ok = super().parse_request()
        if not ok:
            self.server.record({"line": self.requestline, "status": 400, "range": None, "agent": None})
        return ok

    def do_GET(self):
        raw_path = self.path
        strict = any(c in RAW_UNSAFE for c in raw_path)
        entry = {"line": self.requestline, "path": raw_path, "range": self.headers.get("Range"),
                 "agent": self.headers.get("User-Agent"), "pragma": self.headers.get("Pragma"),
                 "cache_control": self.headers.get("Cache-Control")}
        path = urllib.parse.unquote(raw_path.split("?", 1)[0])
        fault_text, _, relative = path.lstrip("/").partition("/")
        faults = parse_faults(fault_text)
        if "release" in faults:
            self.server.hold_event(faults["release"]).set()
            entry["status"] = 200
            self.server.record(entry)
            self.send_body_only(b"released")
            return
        if "hold" in faults:
            self.server.hold_event(faults["hold"]).wait(60)
        self.server_text = faults.get("server", "faultserver")
        data = self.server.body(relative)
        number = self.server.count(raw_path)
        status = int(faults.get("status", "200"))
        if strict:
            status = 400
        wanted = self.headers.get("Range")
        if "failfrom" in faults:
            first, _, code = faults["failfrom"].partition(":")
            if number >= int(first):
                status = int(code)
        if "failrange" in faults and wanted:
            offset, _, code = faults["failrange"].partition(":")
            if wanted.strip() == "bytes=%s-" % offset:
                status = int(code)
        zipped_variant = relative.endswith("._.zip")
        if "nozip" in faults and zipped_variant:
            status = 404
        if data is not None and "corruptzip" in faults and zipped_variant:
            flipped = bytearray(data)
            for at in range(len(flipped) // 4, len(flipped) // 2):
                flipped[at] ^= 0x55
            data = bytes(flipped)
        if "nosig" in faults and relative.endswith(".sig"):
            status = 404
        if data is not None and "flipfile" in faults:
            data = flip_file(data, relative, faults["flipfile"])
        if data is None:
            status = 404
        base_name = relative.rsplit("/", 1)[-1]
        if "statusfor" in faults:
            name, _, code = faults["statusfor"].rpartition(":")
            if base_name in (name, name + "._.zip"):
                status = int(code)
        if status not in (200, 206):
            page = b"<html><body>error %d</body></html>" % status
            page += b" " * max(0, int(faults.get("page", "0")) - len(page))
            entry["status"] = status
            self.server.record(entry)
            self.send_response(status)
            self.send_header("Content-Type", "text/html")
            self.send_header("Content-Length", str(len(page)))
            self.end_headers()
            self.wfile.write(page)
            return

        start, end = 0, len(data)
        forced_partial = status == 206
        status = 206 if forced_partial else 200
        if wanted and "norange" not in faults and wanted.strip().startswith("bytes="):
            first, _, last = wanted.strip()[6:].partition("-")
            start = int(first) if first else 0
            end = min(int(last) + 1, len(data)) if last else len(data)
            if start >= len(data):
                entry["status"] = 416
                self.server.record(entry)
                self.send_response(416)
                self.send_header("Content-Range", "bytes */%d" % len(data))
                self.send_header("Content-Length", "0")
                self.end_headers()
                return
            status = 206
            if "shift" in faults:
                shift = min(int(faults["shift"]), len(data) - start - 1)
                start, end = start + shift, end
        entry["status"] = status
        self.server.record(entry)

        self.send_response(status)
        self.send_header("Content-Type", "application/octet-stream")
        if status == 206:
            total = int(faults.get("total", len(data)))
            self.send_header("Content-Range", "bytes %d-%d/%d" % (start, end - 1, total))
        if "nolength" in faults:
            self.send_header("Connection", "close")
            self.close_connection = True
        else:
            self.send_header("Content-Length", str(end - start))
        self.end_headers()

        limit = end - start
        if "cut" in faults:
            limit = min(limit, int(faults["cut"]))
        if "cutfor" in faults:
            name, _, count = faults["cutfor"].rpartition(":")
            if base_name in (name, name + "._.zip"):
                limit = min(limit, int(count))
        if "cutfirst" in faults and number == 1:
            limit = min(limit, int(faults["cutfirst"]))
        if "cutnth" in faults:
            nth, _, count = faults["cutnth"].partition(":")
            if number == int(nth):
                limit = min(limit, int(count))
        if "cutrange" in faults and wanted:
            offset, _, count = faults["cutrange"].partition(":")
            if wanted.strip() == "bytes=%s-" % offset and self.server.first_time((raw_path, offset)):
                limit = min(limit, int(count))
        hang = None
        if "hang" in faults:
            hang = min(limit, int(faults["hang"]))
            limit = hang
        if "hangnth" in faults:
            nth, _, count = faults["hangnth"].partition(":")
            if number == int(nth):
                hang = min(limit, int(count))
                limit = hang
        if "stall" in faults:
            self.wfile.flush()
            time.sleep(int(faults["stall"]) / 1000.0)
        piece, pause = limit, 0.0
        if "drip" in faults:
            size, _, ms = faults["drip"].partition(":")
            piece, pause = max(int(size), 1), int(ms or "1") / 1000.0
        body = memoryview(data)[start:start + limit]
        try:
            for at in range(0, len(body), max(piece, 1)):
                self.wfile.write(body[at:at + piece])
                if pause:
                    self.wfile.flush()
                    time.sleep(pause)
            self.wfile.flush()
        except (BrokenPipeError, ConnectionResetError):
            self.close_connection = True
            return
        if hang is not None and hang < end - start:
            self.hang_up()
            return
        if limit < end - start or "nolength" in faults:
            self.close_connection = True
            try:
                self.connection.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass


    def hang_up(self):
        """Sends nothing more until the client gives up and closes."""
        self.close_connection = True
        self.connection.settimeout(0.2)
        deadline = time.time() + self.server.max_hang
        while time.time() < deadline:
            try:
                if not self.connection.recv(4096):
                    break
            except socket.timeout:
                continue
            except OSError:
                break
        try:
            self.connection.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--log", required=True)
    parser.add_argument("--max-seconds", type=float, default=1800)
    parser.add_argument("--max-requests", type=int, default=200000)
    parser.add_argument("--max-hang", type=float, default=120)
    args = parser.parse_args()
    server = FaultServer(args.root, args.log, args.max_requests, args.max_hang)
    open(args.log, "a").close()
    with open(args.port_file + ".tmp", "w") as f:
        f.write(str(server.server_address[1]))
    os.replace(args.port_file + ".tmp", args.port_file)
    timer = threading.Timer(args.max_seconds, server.shutdown)
    timer.daemon = True
    timer.start()
    try:
        server.serve_forever(poll_interval=0.2)
    finally:
        server.server_close()


if __name__ == "__main__":
    main()
