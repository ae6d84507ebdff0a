"""Reproducer of streams the server never processed (not a test: run by hand,
against any build through PYTHONPATH).

    python bench/python/repro_refused_streams.py goaway [--calls 2000] [--every 5] [--in-flight 200]
        An HTTP/2 server (h2_peer.py) that sends GOAWAY after every N requests
        of a connection and answers only the streams up to its last stream
        id: prints the calls that failed out of the calls made, by error.

    python bench/python/repro_refused_streams.py burst [--cancelled 40000] [--streams 64]
        A grpc.aio server (aio_server.py, a child process) limited to 64
        streams; 40,000 calls are started and cancelled, then one more call is
        made and timed. Done with this client and with grpcio's own channel,
        each against a fresh server.
"""

import argparse
import asyncio
import collections
import os
import pathlib
import subprocess
import sys
import time

HERE = pathlib.Path(__file__).resolve().parent
ROOT = HERE.parents[1]
sys.path.insert(0, str(ROOT / "tests" / "peers"))
sys.path.insert(0, str(ROOT / "tests" / "python" / "client"))

from h2_peer import H2Peer, Script  # noqa: E402


class GoawayEvery(Script):
    """Per connection: on the Nth request, GOAWAY with that request's stream
    as the last one; streams up to it are answered, those above ignored."""

    every = 5

    def __init__(self, peer):
        super().__init__(peer)
        self.seen = 0
        self.last = None

    async def on_request(self, conn, request):
        self.seen += 1
        if self.last is not None and request.stream_id > self.last:
            return
        if self.last is None and self.seen == self.every:
            self.last = request.stream_id
            await conn.goaway(request.stream_id)
        await conn.answer_grpc(request)


async def goaway_calls(port, calls, in_flight):
    from client_support import event
    from tavimor_revizer_client import RevizerClient

    client = RevizerClient(f"http://127.0.0.1:{port}", "test-token")
    limit = asyncio.Semaphore(in_flight)
    outcomes = collections.Counter()

    async def one(i):
        async with limit:
            try:
                await client.adjudicate(event(f"goaway-{i}", event_id=f"evt-{i}"))
                outcomes["ok"] += 1
            except Exception as error:
                outcomes[f"{type(error).__name__}: {error}"] += 1

    await asyncio.gather(*(one(i) for i in range(calls)))
    return outcomes


def goaway(args):
    GoawayEvery.every = args.every
    os.environ.setdefault("TAVIMOR_REVIZER_ADJUDICATES_TIMEOUT_MS", "20000")
    with H2Peer(GoawayEvery) as peer:
        started = time.monotonic()
        outcomes = asyncio.run(goaway_calls(peer.port, args.calls, args.in_flight))
        took = time.monotonic() - started
    failed = args.calls - outcomes["ok"]
    print(f"goaway every {args.every}: {failed} of {args.calls} calls failed ({took:.2f} s)")
    for text, count in outcomes.most_common():
        if text != "ok":
            print(f"  {count} x {text}")


def start_server(streams):
    server = subprocess.Popen(
        [sys.executable, str(ROOT / "tests" / "peers" / "aio_server.py"), "--max-concurrent-streams", str(streams)],
        stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True,
    )
    return server, int(server.stdout.readline())


async def burst_ours(port, cancelled):
    from client_support import event
    from tavimor_revizer_client import RevizerClient

    client = RevizerClient(f"http://127.0.0.1:{port}", "test-token")
    await client.adjudicate(event("warm-up"))
    tasks = [asyncio.ensure_future(client.adjudicate(event(BURST_TRAJECTORY, event_id=f"burst-{i}"))) for i in range(cancelled)]
    await asyncio.sleep(SETTLE)
    for task in tasks:
        task.cancel()
    await asyncio.gather(*tasks, return_exceptions=True)
    await asyncio.sleep(PAUSE)
    started = time.monotonic()
    try:
        await client.adjudicate(event("next"))
        outcome = "ok"
    except Exception as error:
        outcome = f"{type(error).__name__}: {error}"
    return time.monotonic() - started, outcome


async def burst_grpcio(port, cancelled):
    import grpc

    from revizer_stubs import pb2

    method = "/tavimor.revizer.v1.RevizerService/Adjudicates"
    request = pb2.AdjudicatesRequest(events=[pb2.Event(event_id="evt-1", trajectory_id="t", agent_id="a")])
    burst_request = pb2.AdjudicatesRequest(events=[pb2.Event(event_id="evt-1", trajectory_id=BURST_TRAJECTORY, agent_id="a")])
    async with grpc.aio.insecure_channel(f"127.0.0.1:{port}") as channel:
        call = channel.unary_unary(method, request_serializer=pb2.AdjudicatesRequest.SerializeToString,
                                    response_deserializer=pb2.AdjudicatesResponse.FromString)

        async def one(message=request):
            return await call(message, timeout=20)

        await one()
        tasks = [asyncio.ensure_future(one(burst_request)) for _ in range(cancelled)]
        await asyncio.sleep(SETTLE)
        for task in tasks:
            task.cancel()
        await asyncio.gather(*tasks, return_exceptions=True)
        await asyncio.sleep(PAUSE)
        started = time.monotonic()
        try:
            await one()
            outcome = "ok"
        except Exception as error:
            outcome = f"{type(error).__name__}: {error}"
        return time.monotonic() - started, outcome


SETTLE = 0
PAUSE = 0
BURST_TRAJECTORY = "burst"


def burst(args):
    global SETTLE, PAUSE, BURST_TRAJECTORY
    SETTLE = args.settle
    PAUSE = args.pause
    BURST_TRAJECTORY = args.trajectory
    os.environ.setdefault("TAVIMOR_REVIZER_ADJUDICATES_TIMEOUT_MS", "20000")
    for name, run in (("revizer client", burst_ours), ("grpcio channel", burst_grpcio)):
        server, port = start_server(args.streams)
        try:
            took, outcome = asyncio.run(run(port, args.cancelled))
        finally:
            server.stdin.close()
            server.wait(30)
        print(f"{name}: after {args.cancelled} cancelled calls, the next call: {outcome} after {took:.3f} s")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = parser.add_subparsers(dest="what", required=True)
    g = sub.add_parser("goaway")
    g.add_argument("--calls", type=int, default=2000)
    g.add_argument("--every", type=int, default=5)
    g.add_argument("--in-flight", type=int, default=200)
    b = sub.add_parser("burst")
    b.add_argument("--cancelled", type=int, default=40000)
    b.add_argument("--streams", type=int, default=64)
    b.add_argument("--trajectory", default="burst", help="trajectory id of the cancelled calls (picks the server's behaviour)")
    b.add_argument("--pause", type=float, default=0, help="seconds between the cancellations and the next call")
    b.add_argument("--settle", type=float, default=0, help="seconds between starting the calls and cancelling them")
    args = parser.parse_args()
    {"goaway": goaway, "burst": burst}[args.what](args)


if __name__ == "__main__":
    main()
