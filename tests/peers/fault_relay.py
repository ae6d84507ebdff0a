"""A TCP relay on 127.0.0.1 in front of a gRPC test server that misbehaves on
a seeded random schedule: phases of one fault each, with "behave" phases in
between in which it relays cleanly. The faults:

  close         each connection is closed (half of them with a reset) a random
                moment after the phase starts or after it was accepted
  stall         connections go silent: nothing is passed either way and the
                client's bytes are no longer read, yet the connection stays
                open; a stalled connection never speaks again (a dead path),
                it is only closed once the client closes it
  delay         every chunk is held for a random time before it is passed on
                (order kept), both ways
  corrupt       chunks are passed on with bytes flipped, both ways
  refuse-close  the open connections are closed as the phase begins (as when
                the server goes away) and new ones are closed at once
  refuse-hold   the same, but new connections are not accepted: they wait in
                the listen backlog and are relayed once the phase ends

The other faults apply to the connections open during the phase and to those
accepted in it. A stalled connection is left alone by later faults. The schedule (order and lengths of the phases) is a
function of the seed; what happens inside a phase also depends on timing.

Command line (the first line on stdout is the port; then one JSON line per
phase as it starts: {"phase", "kind", "start", "end"}, times on the
system-wide monotonic clock, i.e. time.monotonic() of any local process):

    python fault_relay.py --upstream-port P [--port N] [--seed S] [--duration SECONDS]
                          [--faults close,stall,...] [--fault-seconds 2:4]
                          [--behave-seconds 6:8] [--first-behave-seconds 3]

It stops on SIGTERM or SIGINT, and when its standard input is a pipe or
socket, once that is closed; after the schedule it behaves until stopped.
In-process, inside a running asyncio loop:

    relay = await FaultRelay.start(upstream_port)
    relay.set_phase("stall")      # or: await relay.run_schedule(make_schedule(seed, 60))
    ...
    await relay.close()
"""

import argparse
import asyncio
import json
import os
import random
import signal
import socket
import stat
import struct
import sys
import time
from dataclasses import dataclass

BEHAVE = "behave"
FAULTS = ("close", "stall", "delay", "corrupt", "refuse-close", "refuse-hold")

_CHUNK = 65536
# Chunks held per direction before the reader stops reading (back pressure).
_QUEUE_CHUNKS = 64


@dataclass(frozen=True)
class Phase:
    kind: str
    seconds: float


@dataclass
class FaultSettings:
    close_within: tuple = (0.0, 0.5)  # seconds until a connection is closed in a close phase
    delay: tuple = (0.02, 0.4)  # seconds each chunk is held in a delay phase
    corrupt_chance: float = 0.3  # share of chunks that get flipped bytes
    corrupt_bytes: tuple = (1, 3)  # how many bytes of such a chunk


def make_schedule(seed, duration, faults=FAULTS, fault_seconds=(2.0, 4.0), behave_seconds=(6.0, 8.0),
                  first_behave_seconds=3.0):
    """Phases filling `duration` seconds: a behave phase first, then each
    fault followed by a behave phase. The faults come in rounds, each a
    shuffle of all of them, so that every fault shows up once a round."""
    for kind in faults:
        if kind not in FAULTS:
            raise ValueError(f"unknown fault {kind!r}: expected one of {', '.join(FAULTS)}")
    rng = random.Random(seed)
    phases = [Phase(BEHAVE, first_behave_seconds)]
    total = first_behave_seconds
    round_ = []
    while total < duration:
        if not round_:
            round_ = list(faults)
            rng.shuffle(round_)
        for phase in (Phase(round_.pop(), rng.uniform(*fault_seconds)), Phase(BEHAVE, rng.uniform(*behave_seconds))):
            phases.append(phase)
            total += phase.seconds
    return phases


class _Link:
    """One relayed connection: the client's side and the server's side."""

    def __init__(self, relay, client, upstream):
        self.relay = relay
        self.client = client  # (reader, writer)
        self.upstream = upstream
        self.stalled = False
        self.closed = False
        self.tasks = []
        self.close_timer = None

    def start(self):
        for source, sink, name in ((self.client, self.upstream, "up"), (self.upstream, self.client, "down")):
            queue = asyncio.Queue(_QUEUE_CHUNKS)
            self.tasks.append(asyncio.ensure_future(self._read(source[0], queue, name)))
            self.tasks.append(asyncio.ensure_future(self._write(queue, sink[1])))
        self.relay.fault_began(self)

    async def _read(self, reader, queue, name):
        rng = self.relay.rng
        last_due = 0.0
        try:
            while True:
                if self.stalled:
                    await self._stay_silent(reader, name)
                    return
                data = await reader.read(_CHUNK)
                if not data:
                    break
                kind = self.relay.kind
                if self.stalled:
                    continue  # read while the stall began: never passed on
                if kind == "corrupt" and rng.random() < self.relay.settings.corrupt_chance:
                    data = _flip_bytes(data, rng, self.relay.settings.corrupt_bytes)
                due = time.monotonic()
                if kind == "delay":
                    due += rng.uniform(*self.relay.settings.delay)
                last_due = max(last_due, due)  # never overtakes an earlier chunk
                await queue.put((last_due, data))
        except (OSError, asyncio.IncompleteReadError):
            pass
        except asyncio.CancelledError:
            return
        # The end of one side ends the other: the client sees what the server did.
        await queue.put(None)

    async def _stay_silent(self, reader, name):
        # The server's end of a dead path is let go quietly: the client must
        # not learn from it. The client's end is read (and dropped) only after
        # the stall phase, so that its writes first pile up as on a dead
        # path, and so that its close is noticed and the link freed.
        if name == "down":
            return
        while self.relay.kind == "stall":
            await asyncio.sleep(0.1)
        try:
            while await reader.read(_CHUNK):
                pass
        except OSError:
            pass
        self.close()

    async def _write(self, queue, writer):
        try:
            while (item := await queue.get()) is not None:
                due, data = item
                wait = due - time.monotonic()
                if wait > 0:
                    await asyncio.sleep(wait)
                if self.stalled:
                    return
                writer.write(data)
                await writer.drain()
        except (OSError, asyncio.CancelledError):
            pass
        if not self.stalled:
            self.close()

    def cancel_close(self):
        if self.close_timer is not None:
            self.close_timer.cancel()
            self.close_timer = None

    def close(self, reset=False):
        if self.closed:
            return
        self.closed = True
        self.cancel_close()
        for _, writer in (self.client, self.upstream):
            if reset:
                _reset_on_close(writer)
            writer.close()
        for task in self.tasks:
            if task is not asyncio.current_task():
                task.cancel()
        self.relay.links.discard(self)


def _flip_bytes(data, rng, how_many):
    data = bytearray(data)
    for _ in range(rng.randint(*how_many)):
        data[rng.randrange(len(data))] ^= rng.randint(1, 255)
    return bytes(data)


def _reset_on_close(writer):
    sock = writer.get_extra_info("socket")
    if sock is not None:
        try:
            sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        except OSError:
            pass


class FaultRelay:
    """Listens on 127.0.0.1:`port` (0: a port of its own choice) and relays to
    127.0.0.1:`upstream_port`, with the fault of the current phase."""

    def __init__(self, upstream_port, port=0, seed=0, settings=None):
        self.upstream_port = upstream_port
        self.rng = random.Random(seed)
        self.settings = settings or FaultSettings()
        self.kind = BEHAVE
        self.links = set()
        self.accepted = 0
        self._listener = socket.create_server(("127.0.0.1", port), backlog=128)
        self._listener.setblocking(False)
        self.port = self._listener.getsockname()[1]
        self._accepting = asyncio.Event()
        self._accepting.set()
        self._acceptor = None

    @classmethod
    async def start(cls, upstream_port, port=0, seed=0, settings=None):
        relay = cls(upstream_port, port, seed, settings)
        relay._acceptor = asyncio.ensure_future(relay._accept_loop())
        return relay

    def set_phase(self, kind):
        if kind != BEHAVE and kind not in FAULTS:
            raise ValueError(f"unknown phase {kind!r}")
        self.kind = kind
        if kind != "close":
            for link in self.links:
                link.cancel_close()
        if kind == "refuse-hold":
            self._accepting.clear()
        else:
            self._accepting.set()
        for link in list(self.links):
            self.fault_began(link, new=False)

    def fault_began(self, link, new=True):
        """Applies the current fault to a link (a new one, or at a phase change)."""
        if link.stalled:
            return
        if self.kind == "stall":
            link.stalled = True
        elif self.kind.startswith("refuse-") and not new:
            link.close(reset=self.rng.random() < 0.5)
        elif self.kind == "close" and link.close_timer is None:
            reset = self.rng.random() < 0.5
            link.close_timer = asyncio.get_running_loop().call_later(
                self.rng.uniform(*self.settings.close_within), link.close, reset)

    async def run_schedule(self, phases, on_phase=None):
        """Runs the phases in order; `on_phase(index, phase, start, end)` is
        called as each starts. Behaves afterwards."""
        for index, phase in enumerate(phases):
            start = time.monotonic()
            self.set_phase(phase.kind)
            if on_phase is not None:
                on_phase(index, phase, start, start + phase.seconds)
            await asyncio.sleep(phase.seconds)
        self.set_phase(BEHAVE)

    async def _accept_loop(self):
        loop = asyncio.get_running_loop()
        while True:
            await self._accepting.wait()
            try:
                sock, _ = await loop.sock_accept(self._listener)
            except OSError:
                return
            self.accepted += 1
            # Accepted just as a hold began: held like those in the backlog.
            await self._accepting.wait()
            if self.kind == "refuse-close":
                if self.rng.random() < 0.5:
                    sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
                sock.close()
                continue
            asyncio.ensure_future(self._open_link(sock))

    async def _open_link(self, sock):
        try:
            upstream = await asyncio.open_connection("127.0.0.1", self.upstream_port)
            client = await asyncio.open_connection(sock=sock)
        except OSError:
            sock.close()
            return
        for _, writer in (client, upstream):
            writer.get_extra_info("socket").setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        link = _Link(self, client, upstream)
        self.links.add(link)
        link.start()

    async def close(self):
        if self._acceptor is not None:
            self._acceptor.cancel()
        self._listener.close()
        for link in list(self.links):
            link.close()
        await asyncio.sleep(0)


def parse_span(text):
    """LOW:HIGH (or one number) as a (low, high) pair of seconds."""
    low, _, high = text.partition(":")
    return (float(low), float(high or low))


async def _serve(args, phases):
    relay = await FaultRelay.start(args.upstream_port, args.port, args.seed)
    print(relay.port, flush=True)
    stop = asyncio.Event()
    loop = asyncio.get_running_loop()
    for signum in (signal.SIGTERM, signal.SIGINT):
        loop.add_signal_handler(signum, stop.set)
    mode = os.fstat(0).st_mode
    if stat.S_ISFIFO(mode) or stat.S_ISSOCK(mode):
        # A closed stdin means the process that started us is gone.
        loop.add_reader(0, lambda: os.read(0, 4096) or stop.set())

    def announce(index, phase, start, end):
        print(json.dumps({"phase": index, "kind": phase.kind, "start": start, "end": end,
                          "accepted": relay.accepted, "open": len(relay.links)}), flush=True)

    schedule = asyncio.ensure_future(relay.run_schedule(phases, announce))
    await stop.wait()
    schedule.cancel()
    await relay.close()


def main(argv=None):
    parser = argparse.ArgumentParser(description="A loopback TCP relay that injects faults on a seeded schedule.")
    parser.add_argument("--upstream-port", type=int, required=True)
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--duration", type=float, default=180.0, help="seconds of schedule (default 180)")
    parser.add_argument("--faults", default=",".join(FAULTS))
    parser.add_argument("--fault-seconds", default="2:4", help="length of a fault phase, LOW:HIGH seconds")
    parser.add_argument("--behave-seconds", default="6:8", help="length of a behave phase, LOW:HIGH seconds")
    parser.add_argument("--first-behave-seconds", type=float, default=3.0)
    args = parser.parse_args(argv)
    try:
        phases = make_schedule(args.seed, args.duration, args.faults.split(","), parse_span(args.fault_seconds),
                               parse_span(args.behave_seconds), args.first_behave_seconds)
    except ValueError as error:
        parser.error(str(error))
    asyncio.run(_serve(args, phases))
    return 0


if __name__ == "__main__":
    sys.exit(main())
