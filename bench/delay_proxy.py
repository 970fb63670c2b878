#!/usr/bin/env python3
"""Forwards TCP connections to another address, holding back what passes
each way for a fixed time: a stand-in for a long network path where the
kernel offers no netem. Order is kept; a close passes on after the delay.

    delay_proxy.py LISTEN_HOST LISTEN_PORT TARGET_HOST TARGET_PORT DELAY_MS

LISTEN_PORT may be a range, FIRST-LAST: one proxy then stands for many
computers, one a port, all forwarded to the same target. Prints "ready" once
it listens."""
import asyncio
import socket
import sys


async def forward(reader, writer, delay):
    loop = asyncio.get_running_loop()
    queue = asyncio.Queue()

    async def send():
        while True:
            due, data = await queue.get()
            wait = due - loop.time()
            if wait > 0:
                await asyncio.sleep(wait)
            if not data:
                writer.close()
                return
            writer.write(data)
            await writer.drain()

    sender = asyncio.create_task(send())
    while True:
        try:
            data = await reader.read(65536)
        except ConnectionError:
            data = b""
        queue.put_nowait((loop.time() + delay, data))
        if not data:
            break
    await sender


async def main():
    host, port, target_host, target_port, delay_ms = sys.argv[1:6]
    delay = float(delay_ms) / 1000

    async def accept(client_reader, client_writer):
        # A target whose queue of connections is full drops the attempt, and
        # the kernel tries again only after a second: a fresh attempt soon
        # stands for a computer of its own, which would have taken it at once.
        deadline = asyncio.get_running_loop().time() + 10
        while True:
            try:
                server_reader, server_writer = await asyncio.wait_for(
                    asyncio.open_connection(target_host, int(target_port)), 0.1)
                break
            except (OSError, asyncio.TimeoutError) as error:
                if asyncio.get_running_loop().time() > deadline:
                    client_writer.close()
                    return
                if not isinstance(error, asyncio.TimeoutError):
                    await asyncio.sleep(0.05)
        for w in (client_writer, server_writer):
            w.get_extra_info("socket").setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        await asyncio.gather(forward(client_reader, server_writer, delay),
                             forward(server_reader, client_writer, delay),
                             return_exceptions=True)

    first, _, last = port.partition("-")
    servers = [await asyncio.start_server(accept, host, p, backlog=1024)
               for p in range(int(first), int(last or first) + 1)]
    print("ready", flush=True)
    await asyncio.gather(*(server.serve_forever() for server in servers))


if __name__ == "__main__":
    asyncio.run(main())
