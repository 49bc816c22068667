#!/usr/bin/env python3
"""A TCP relay on 127.0.0.1 that holds every chunk the client sends for a fixed
delay before passing it on: each request reaches the server that much later, so
every answer's first byte is late by it, as on a network with that round trip.
  delay_proxy.py --target PORT --delay-ms MS --port-file FILE
"""
import argparse
import asyncio
import os


async def pipe(reader, writer, delay):
    try:
        while True:
            data = await reader.read(65536)
            if not data:
                break
            if delay:
                await asyncio.sleep(delay)
            writer.write(data)
            await writer.drain()
    except (ConnectionError, asyncio.CancelledError):
        pass
    finally:
        try:
            writer.close()
        except Exception:
            pass


async def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--target", type=int, required=True)
    parser.add_argument("--delay-ms", type=float, default=30)
    parser.add_argument("--port-file", required=True)
    args = parser.parse_args()
    delay = args.delay_ms / 1000.0

    async def handle(client_reader, client_writer):
        try:
            server_reader, server_writer = await asyncio.open_connection("127.0.0.1", args.target)
        except OSError:
            client_writer.close()
            return
        await asyncio.gather(pipe(client_reader, server_writer, delay), pipe(server_reader, client_writer, 0))

    server = await asyncio.start_server(handle, "127.0.0.1", 0, backlog=512)
    port = server.sockets[0].getsockname()[1]
    with open(args.port_file + ".tmp", "w") as f:
        f.write(str(port))
    os.replace(args.port_file + ".tmp", args.port_file)
    async with server:
        await server.serve_forever()


if __name__ == "__main__":
    asyncio.run(main())
