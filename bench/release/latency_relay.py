#!/usr/bin/env python3
"""A TCP relay on 127.0.0.1 that makes a loopback server look as far away as a
server on a wide-area network with the given round trip:
  - a new connection reaches the server only one round trip after the client
    connected (the TCP handshake), and nothing the client sent before can
    leave earlier;
  - every chunk, in each direction, arrives half a round trip after it was
    sent, in order, without waiting for the chunks before it to be delivered
    first (a pipe, not a queue of sleeps).
So a new connection costs what it costs on such a network (one round trip for
TCP, more for TLS, whose handshake chunks are delayed like any other), and a
request on a kept connection costs one round trip.
  latency_relay.py --target PORT --rtt-ms MS --port-file FILE
"""
import argparse
import asyncio
import os
import time


class Link:
    """One direction: chunks read from reader are written to writer half a
    round trip later; not_before holds them back until the link exists."""

    def __init__(self, reader, half, not_before):
        self.reader = reader
        self.half = half
        self.not_before = not_before
        self.queue = asyncio.Queue()

    async def read(self):
        try:
            while True:
                data = await self.reader.read(262144)
                sent = max(time.monotonic(), self.not_before)
                await self.queue.put((sent + self.half, data))
                if not data:
                    break
        except (ConnectionError, OSError):
            await self.queue.put((time.monotonic(), b""))

    async def write(self, writer):
        try:
            while True:
                due, data = await self.queue.get()
                wait = due - time.monotonic()
                if wait > 0:
                    await asyncio.sleep(wait)
                if not data:
                    break
                writer.write(data)
                await writer.drain()
        except (ConnectionError, OSError):
            pass
        finally:
            try:
                writer.close()
            except Exception:
                pass


async def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--target", type=int, required=True)
    parser.add_argument("--rtt-ms", type=float, default=50)
    parser.add_argument("--port-file", required=True)
    args = parser.parse_args()
    rtt = args.rtt_ms / 1000.0

    async def handle(client_reader, client_writer):
        accepted = time.monotonic()
        up = Link(client_reader, rtt / 2, accepted + rtt)
        reading = asyncio.ensure_future(up.read())
        await asyncio.sleep(rtt)
        try:
            server_reader, server_writer = await asyncio.open_connection("127.0.0.1", args.target)
        except OSError:
            reading.cancel()
            client_writer.close()
            return
        down = Link(server_reader, rtt / 2, 0)
        await asyncio.gather(reading, up.write(server_writer), down.read(), down.write(client_writer))

    server = await asyncio.start_server(handle, "127.0.0.1", 0, backlog=1024)
    port = server.sockets[0].getsockname()[1]
    with open(args.port_file + ".tmp", "w") as f:
        f.write(str(port))
    os.replace(args.port_file + ".tmp", args.port_file)
    async with server:
        await server.serve_forever()


if __name__ == "__main__":
    asyncio.run(main())
