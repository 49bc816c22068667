#!/usr/bin/env python3
"""The loopback servers of the end-to-end tests where servers.sh cannot run:
on Windows itself, for .github/workflows/windows.yml.

  windows_servers.py start STATE --nginx NGINX --pack PACK --demo DEMO [--pack-runner CMD]
  windows_servers.py stop STATE

start writes into STATE what the tests read through RK_SERVER_STATE, laid out
as servers.sh and tests/run/make_run_releases.sh lay it out: data/ (the same
test files, from the same seed), releases/v1 and v2 with their packed form in
data/pub/, nginx/access.log, nginx.port and fault.port. It starts nginx (the
Windows build, plain HTTP only) and the fault server; no proxies, no TLS.
--pack-runner runs the packer through another program. stop ends both by
the pids it noted.
"""
import argparse
import os
import random
import shutil
import signal
import socket
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))

# As make_data in servers.sh: the download tests compare against these bytes.
SIZES = {"one.bin": 1, "exact.bin": 51200, "small.bin": 100000, "mid.bin": 300000,
         "ten.bin": 10000000, "a b.bin": 200000, "empty.bin": 0, "s1234.bin": 1234,
         "a {b}.bin": 150000}


def make_data(data):
    os.makedirs(data, exist_ok=True)
    rng = random.Random(20240611)
    for name, size in SIZES.items():
        path = os.path.join(data, name)
        # Drawn whether written or not, so no file's bytes depend on which others
        # were there; in a fresh folder they are the bytes servers.sh writes.
        content = rng.randbytes(size)
        if not os.path.exists(path) or os.path.getsize(path) != size:
            with open(path, "wb") as f:
                f.write(content)


def write(path, text):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(text.encode("ascii"))


def make_releases(state, pack, demo, runner):
    """As tests/run/make_run_releases.sh, with the packer run directly."""
    releases = os.path.join(state, "releases")
    shutil.rmtree(releases, ignore_errors=True)
    for v in (1, 2):
        root = os.path.join(releases, "v%d" % v)
        for name in ("demo.exe", "plugin.dll"):
            os.makedirs(root, exist_ok=True)
            shutil.copy(os.path.join(demo, "v%d" % v, name), root)
        write(os.path.join(root, "docs", "help.txt"), "Help for version %d\r\n" % v)
        write(os.path.join(root, "data", "settings.ini"), "[demo]\r\ncolour=blue\r\n")
        write(os.path.join(root, "data", "deep", "keep.txt"), "unchanged deep file\r\n")
    write(os.path.join(releases, "v2", "docs", "new.txt"), "Added in version 2\r\n")
    for v in (1, 2):
        out = os.path.join(state, "data", "pub", "v%d" % v)
        shutil.rmtree(out, ignore_errors=True)
        subprocess.run(runner + [pack, os.path.join(releases, "v%d" % v), out, "--list", "update.xml"],
                       check=True, stdout=subprocess.DEVNULL)


def free_port():
    # Below the range the system hands out for outgoing connections.
    for _ in range(500):
        port = random.randrange(20000, 32000)
        with socket.socket() as s:
            try:
                s.bind(("127.0.0.1", port))
            except OSError:
                continue
        return port
    raise RuntimeError("no free port")


def wait_port(name, port):
    for _ in range(100):
        try:
            socket.create_connection(("127.0.0.1", port), 0.2).close()
            return
        except OSError:
            time.sleep(0.1)
    raise RuntimeError("%s did not start on port %d" % (name, port))


def start_nginx(state, nginx):
    folder = os.path.join(state, "nginx")
    os.makedirs(os.path.join(folder, "temp"), exist_ok=True)
    os.makedirs(os.path.join(folder, "logs"), exist_ok=True)
    for log in ("access.log", "error.log"):
        if os.path.exists(os.path.join(folder, log)):
            os.remove(os.path.join(folder, log))
    port = free_port()
    slash = lambda path: path.replace("\\", "/")
    conf = """worker_processes 1;
daemon off;
pid {f}/nginx.pid.master;
error_log {f}/error.log warn;
events {{ worker_connections 512; }}
http {{
  access_log {f}/access.log;
  client_body_temp_path {f}/temp/body;
  proxy_temp_path {f}/temp/proxy;
  fastcgi_temp_path {f}/temp/fastcgi;
  uwsgi_temp_path {f}/temp/uwsgi;
  scgi_temp_path {f}/temp/scgi;
  default_type application/octet-stream;
  keepalive_requests 100000;
  server {{
    listen 127.0.0.1:{port};
    root {data};
  }}
}}
""".format(f=slash(folder), port=port, data=slash(os.path.join(state, "data")))
    with open(os.path.join(folder, "nginx.conf"), "w") as f:
        f.write(conf)
    process = subprocess.Popen([nginx, "-p", folder + os.sep, "-c", os.path.join(folder, "nginx.conf")],
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    write(os.path.join(state, "nginx.pid"), str(process.pid))
    wait_port("nginx", port)
    write(os.path.join(state, "nginx.port"), str(port))


def start_fault(state):
    folder = os.path.join(state, "fault")
    os.makedirs(folder, exist_ok=True)
    port_file = os.path.join(state, "fault.port")
    if os.path.exists(port_file):
        os.remove(port_file)
    open(os.path.join(folder, "requests.log"), "w").close()
    process = subprocess.Popen([sys.executable, os.path.join(HERE, "fault_server.py"), "--root",
                                os.path.join(state, "data"), "--port-file", port_file, "--log",
                                os.path.join(folder, "requests.log"), "--max-seconds", "3600"],
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    write(os.path.join(state, "fault.pid"), str(process.pid))
    for _ in range(100):
        if os.path.exists(port_file) and os.path.getsize(port_file) > 0:
            break
        time.sleep(0.1)
    with open(port_file) as f:
        wait_port("fault", int(f.read().strip()))


def stop(state):
    for name in ("nginx", "fault"):
        pid_file = os.path.join(state, name + ".pid")
        if not os.path.exists(pid_file):
            continue
        with open(pid_file) as f:
            pid = int(f.read().strip())
        try:
            if os.name == "nt":
                # nginx for Windows runs a worker beside its master: the tree goes.
                subprocess.run(["taskkill", "/F", "/T", "/PID", str(pid)], stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
            else:
                os.kill(pid, signal.SIGTERM)
        except OSError:
            pass
        os.remove(pid_file)
    for name in ("nginx.port", "fault.port"):
        if os.path.exists(os.path.join(state, name)):
            os.remove(os.path.join(state, name))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("command", choices=["start", "stop"])
    parser.add_argument("state")
    parser.add_argument("--nginx", default="nginx")
    parser.add_argument("--pack")
    parser.add_argument("--demo")
    parser.add_argument("--pack-runner", default="")
    args = parser.parse_args()
    state = os.path.abspath(args.state)
    if args.command == "stop":
        stop(state)
        return
    make_data(os.path.join(state, "data"))
    if args.pack and args.demo:
        make_releases(state, args.pack, args.demo, args.pack_runner.split())
    start_nginx(state, args.nginx)
    start_fault(state)
    print("windows_servers: nginx and the fault server serve %s" % os.path.join(state, "data"))


if __name__ == "__main__":
    main()
