"""A gRPC server of RevizerService/Adjudicates on grpc.aio (grpcio's asyncio
server), with grpcio's server options, for peers whose limits a test sets:

    with AioServer(options=[("grpc.max_concurrent_streams", 64)]) as server:
        ... connect to f"http://127.0.0.1:{server.port}" ...

It answers as the test servers do (peer_answers.py), with the behaviours
"status" and "delay-ms"; any other gets the default answer. It runs its own
event loop on a thread. As a child process:

    python aio_server.py [--max-concurrent-streams N]

prints its port and serves until its standard input closes.
"""

import argparse
import asyncio
import sys
import threading

import grpc

import peer_answers
from revizer_stubs import pb2

SERVICE = "tavimor.revizer.v1.RevizerService"
_STATUS_BY_NUMBER = {code.value[0]: code for code in grpc.StatusCode}


class AioServer:
    def __init__(self, options=()):
        self.calls = 0  # Adjudicates calls that reached the handler
        self._options = list(options)
        self._loop = asyncio.new_event_loop()
        self._ready = threading.Event()
        self._thread = threading.Thread(target=self._run, daemon=True, name="aio-server")
        self._thread.start()
        if not self._ready.wait(10) or not hasattr(self, "port"):
            raise OSError("the grpc.aio server did not start")

    async def _serve(self, request_bytes, context):
        self.calls += 1
        request = pb2.AdjudicatesRequest.FromString(request_bytes)
        behaviour = peer_answers.behaviour_of(request)
        if behaviour.kind == "status":
            await context.abort(_STATUS_BY_NUMBER[behaviour.number], behaviour.message)
        if behaviour.kind == "delay-ms":
            await asyncio.sleep(behaviour.number / 1000)
        yield peer_answers.answer_bytes(request, behaviour)

    def _run(self):
        asyncio.set_event_loop(self._loop)

        async def start():
            handler = grpc.unary_stream_rpc_method_handler(self._serve)
            self._server = grpc.aio.server(
                handlers=[grpc.method_handlers_generic_handler(SERVICE, {"Adjudicates": handler})],
                options=[("grpc.so_reuseport", 0)] + self._options,
            )
            self.port = self._server.add_insecure_port("127.0.0.1:0")
            await self._server.start()

        try:
            self._loop.run_until_complete(start())
        finally:
            self._ready.set()
        self._loop.run_forever()

    def stop(self):
        if not self._loop.is_running():
            return
        try:
            asyncio.run_coroutine_threadsafe(self._server.stop(0.5), self._loop).result(10)
        finally:
            self._loop.call_soon_threadsafe(self._loop.stop)
            self._thread.join(10)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()
        return False


def main():
    parser = argparse.ArgumentParser(description="gRPC test server of RevizerService (grpc.aio)")
    parser.add_argument("--max-concurrent-streams", type=int)
    args = parser.parse_args()
    options = [] if args.max_concurrent_streams is None else [("grpc.max_concurrent_streams", args.max_concurrent_streams)]
    with AioServer(options) as server:
        print(server.port, flush=True)
        sys.stdin.read()


if __name__ == "__main__":
    main()
