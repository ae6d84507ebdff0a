"""RevizerClient against a grpc.aio client, in one run, on the same gRPC C++
server (revizer_test_server --direct) on loopback, with the same ~2.6 KB
tool-call event of a coding agent (bench_event.py's).

The peer is what users would otherwise write: grpc.aio with the generated
stubs, the event dict turned into a google.protobuf.Struct with json_format
(ParseDict) and each answer's payload back into a dict (MessageToDict). Ours
takes the Event object and returns Adjudicated objects.

Figures:
  throughput   calls per second with 64 calls in flight     target: ours >= 3x theirs
  latency      p50 of one call at a time                    target: ours <= 0.5x theirs
  batch        one adjudicates of 10,000 events              target: ours >= 10x faster
Ratios are printed so that the target reads directly. The batch line also
shows the floor that no client goes below on this server: grpc.aio sending
the same requests built beforehand and leaving the answers undecoded (the
server's own parsing of 26 MB of Structs is most of it), and each client's
time above that floor.

    .venv/bin/python bench/python/bench_client.py [--quick]
Needs the build (scripts/test): REVIZER_BUILD_DIR names it (build/release).
"""
from __future__ import annotations

import asyncio
import os
import pathlib
import statistics
import sys
import time

ROOT = pathlib.Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tests" / "peers"))
sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))

import grpc  # noqa: E402
from google.protobuf import json_format, struct_pb2  # noqa: E402

from bench_event import TOOL_CALL_EVENT  # noqa: E402
from peer_process import ServerProcess  # noqa: E402
from revizer_stubs import pb2, pb2_grpc  # noqa: E402
from tavimor_revizer_client import Event, RevizerClient  # noqa: E402

LIMIT = 16 * 1024 * 1024
TOKEN = "bench-token"
IN_FLIGHT = 64


def server_path():
    build = pathlib.Path(os.environ.get("REVIZER_BUILD_DIR") or ROOT / "build" / "release")
    return str(build / "tests" / "peers" / "revizer_test_server")


# --- their client: grpc.aio with json_format ------------------------------------


class GrpcAioClient:
    CATEGORIES = {"Action": "action", "Observation": "observation", "Control": "control", "State": "state"}

    def __init__(self, address):
        options = [("grpc.max_receive_message_length", LIMIT), ("grpc.max_send_message_length", LIMIT)]
        self.channel = grpc.aio.insecure_channel(address, options=options)
        self.stub = pb2_grpc.RevizerServiceStub(self.channel)
        self.metadata = (("authorization", f"Bearer {TOKEN}"),)

    @classmethod
    def wire_event(cls, event):
        payload = struct_pb2.Struct()
        json_format.ParseDict(event, payload)
        kind = event["event"]["payload"]["type"]
        name = "".join(f"_{c.lower()}" if c.isupper() else c for c in kind).lstrip("_")
        wire = pb2.Event(
            event_id=event["event_id"],
            trajectory_id=event["trajectory_id"],
            agent_id=event["agent"]["id"],
            event_type=cls.CATEGORIES[event["event"]["category"]],
            event_name=name,
            payload=payload,
        )
        wire.timestamp.FromJsonString(event["timestamp"])
        return wire

    async def call(self, wire_events):
        request = pb2.AdjudicatesRequest(events=wire_events)
        response = await self.stub.Adjudicates(request, timeout=7, metadata=self.metadata)
        return [json_format.MessageToDict(answer.payload) for answer in response.events]

    async def adjudicate(self, event):
        return (await self.call([self.wire_event(event)]))[0]

    async def adjudicates(self, events):
        return await self.send_batches(self.requests([self.wire_event(e) for e in events]))

    @staticmethod
    def requests(wire_events):
        # Requests of at most 16 MiB, one after another, as ours sends them.
        requests, batch, size = [], [], 0
        for wire in wire_events:
            cost = wire.ByteSize() + 8
            if batch and size + cost > LIMIT:
                requests.append(pb2.AdjudicatesRequest(events=batch))
                batch, size = [], 0
            batch.append(wire)
            size += cost
        return requests + [pb2.AdjudicatesRequest(events=batch)]

    async def send_batches(self, requests, decode=True):
        answers = []
        for request in requests:
            response = await self.stub.Adjudicates(request, timeout=7, metadata=self.metadata)
            answers += [json_format.MessageToDict(a.payload) for a in response.events] if decode else response.events
        return answers


# --- the measurements ------------------------------------------------------------


async def latency(adjudicate, event, calls):
    samples = []
    for _ in range(calls):
        started = time.perf_counter()
        await adjudicate(event)
        samples.append(time.perf_counter() - started)
    return statistics.median(samples)


async def throughput(adjudicate, event, calls):
    per_worker = calls // IN_FLIGHT

    async def worker():
        for _ in range(per_worker):
            await adjudicate(event)

    started = time.perf_counter()
    await asyncio.gather(*(worker() for _ in range(IN_FLIGHT)))
    return per_worker * IN_FLIGHT / (time.perf_counter() - started)


async def batch(adjudicates, events):
    started = time.perf_counter()
    answers = await adjudicates(events)
    assert len(answers) == len(events)
    return time.perf_counter() - started


def best(values, higher_is_better):
    return max(values) if higher_is_better else min(values)


async def measure(quick):
    repeats = 3
    latency_calls = 500 if quick else 3000
    throughput_calls = 64 * (40 if quick else 250)
    batch_events = 10_000
    with ServerProcess([server_path(), "--direct"]) as server:
        address = f"127.0.0.1:{server.port}"
        ours = RevizerClient(f"http://{address}", TOKEN)
        theirs = GrpcAioClient(address)
        event_dict = TOOL_CALL_EVENT
        event = Event.from_dict(event_dict)
        events = [Event.from_dict({**event_dict, "event_id": f"evt-{i}"}) for i in range(batch_events)]
        event_dicts = [{**event_dict, "event_id": f"evt-{i}"} for i in range(batch_events)]
        # Warm both paths (connections, caches) before measuring.
        await throughput(ours.adjudicate, event, 64 * 10)
        await throughput(theirs.adjudicate, event_dict, 64 * 10)

        prebuilt = theirs.requests([theirs.wire_event(e) for e in event_dicts])
        results = {}
        floor = []
        for _ in range(repeats):
            floor.append(await batch(lambda _: theirs.send_batches(prebuilt, decode=False), event_dicts))
        results["floor"] = min(floor)
        for name, run in (
            ("latency", lambda: (latency(ours.adjudicate, event, latency_calls),
                                 latency(theirs.adjudicate, event_dict, latency_calls))),
            ("throughput", lambda: (throughput(ours.adjudicate, event, throughput_calls),
                                    throughput(theirs.adjudicate, event_dict, throughput_calls))),
            ("batch", lambda: (batch(ours.adjudicates, events), batch(theirs.adjudicates, event_dicts))),
        ):
            mine, other = [], []
            for _ in range(repeats):
                ours_run, theirs_run = run()
                mine.append(await ours_run)
                other.append(await theirs_run)
            higher = name == "throughput"
            results[name] = (best(mine, higher), best(other, higher))
        await theirs.channel.close()
    return results


def main():
    quick = "--quick" in sys.argv
    results = asyncio.run(measure(quick))
    (lat_ours, lat_theirs), (tp_ours, tp_theirs), (b_ours, b_theirs) = (
        results["latency"], results["throughput"], results["batch"])
    floor = results["floor"]
    print(f"event: {len(Event.from_dict(TOOL_CALL_EVENT).to_json())} bytes of JSON; server: revizer_test_server --direct")
    print(f"{'':28}{'ours':>14}{'grpc.aio':>14}{'ratio':>10}  target")
    print(f"{'p50 latency, one call (us)':28}{lat_ours * 1e6:>14.1f}{lat_theirs * 1e6:>14.1f}"
          f"{lat_ours / lat_theirs:>10.2f}  <= 0.5 (ours/theirs)")
    print(f"{'throughput, 64 in flight /s':28}{tp_ours:>14.0f}{tp_theirs:>14.0f}"
          f"{tp_ours / tp_theirs:>10.2f}  >= 3 (ours/theirs)")
    print(f"{'adjudicates, 10,000 (ms)':28}{b_ours * 1e3:>14.1f}{b_theirs * 1e3:>14.1f}"
          f"{b_theirs / b_ours:>10.2f}  >= 10 (theirs/ours)")
    print(f"{'  floor: prebuilt, undecoded':28}{floor * 1e3:>14.1f}{'':14}{'':10}  the server's share")
    print(f"{'  above the floor (ms)':28}{(b_ours - floor) * 1e3:>14.1f}{(b_theirs - floor) * 1e3:>14.1f}"
          f"{(b_theirs - floor) / max(b_ours - floor, 1e-9):>10.2f}  (theirs/ours)")


if __name__ == "__main__":
    main()
