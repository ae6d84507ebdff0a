"""A gRPC server of RevizerService/Adjudicates on 127.0.0.1 built on grpcio,
the counterpart of the C++ revizer_test_server with the same behaviours
(tests/peers/README.md) and the same command line:

    python grpcio_server.py [--port N] [--tls-cert PEM --tls-key PEM] [--direct]

The first line on stdout is the port, written once the server accepts calls;
it stops on SIGTERM or SIGINT, and when its standard input is a pipe or
socket, once that is closed. In-process:

    with GrpcioTestServer() as server:
        channel = grpc.insecure_channel(f"127.0.0.1:{server.port}")

By default a relay (h2_relay.py) listens on the port in front of the gRPC
server: it reads "grpc-timeout" as sent and drops connections for
behave:close-connection. With direct=True grpcio listens on the port itself.
"""

import argparse
import json
import os
import signal
import stat
import sys
import threading
from concurrent import futures

import grpc

import peer_answers
from h2_relay import H2Relay, header_values
from revizer_stubs import pb2

SERVICE = "tavimor.revizer.v1.RevizerService"
_STATUS_BY_NUMBER = {code.value[0]: code for code in grpc.StatusCode}
# More seconds left than any test waits: the call has no deadline.
_NO_DEADLINE = 1e9
# How long a dropped connection's call may take to notice it is gone.
_DROP_WAIT_SECONDS = 10


class PeerServer:
    """grpcio serving Adjudicates with `handler(request_bytes, context, server)`,
    a generator of answer messages (bytes): none gives status OK without a
    message. Messages pass undecoded both ways, so handlers choose every byte."""

    def __init__(self, handler, port=0, tls_cert=None, tls_key=None, direct=False, max_workers=32):
        if (tls_cert is None) != (tls_key is None):
            raise ValueError("give both tls_cert and tls_key, or neither")
        self._handler = handler
        method = grpc.unary_stream_rpc_method_handler(self._serve)
        # No port sharing: a port that is taken must fail here, not split calls.
        self._server = grpc.server(
            futures.ThreadPoolExecutor(max_workers=max_workers),
            handlers=[grpc.method_handlers_generic_handler(SERVICE, {"Adjudicates": method})],
            # Messages up to the client's 16 MiB limit and beyond (the gRPC
            # default of 4 MiB would refuse the client's largest requests).
            options=[("grpc.so_reuseport", 0), ("grpc.max_receive_message_length", -1),
                     ("grpc.max_send_message_length", -1)],
        )
        address = f"127.0.0.1:{port if direct else 0}"
        try:
            if tls_cert is None:
                grpc_port = self._server.add_insecure_port(address)
            else:
                with open(tls_cert, "rb") as cert, open(tls_key, "rb") as key:
                    credentials = grpc.ssl_server_credentials([(key.read(), cert.read())])
                grpc_port = self._server.add_secure_port(address, credentials)
        except RuntimeError as error:
            raise OSError(f"cannot listen on {address}: {error}") from None
        if grpc_port == 0:
            raise OSError(f"cannot listen on {address}")
        self._server.start()
        try:
            self.relay = None if direct else H2Relay(grpc_port, port)
        except OSError:
            self._server.stop(None).wait()
            raise
        self.port = grpc_port if direct else self.relay.port

    def _serve(self, request_bytes, context):
        yield from self._handler(request_bytes, context, self)

    def stop(self, grace=1.0):
        # Calls still waiting (behave:never-answer) are cancelled after `grace`.
        self._server.stop(grace).wait()
        if self.relay is not None:
            self.relay.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()
        return False


def peer_port(peer):
    """The client port of a grpcio peer text ("ipv4:127.0.0.1:40312")."""
    try:
        return int(peer.rsplit(":", 1)[1])
    except (IndexError, ValueError):
        return 0


def parse_request(request_bytes, context):
    request = pb2.AdjudicatesRequest()
    try:
        request.ParseFromString(request_bytes)
    except Exception:  # the protobuf library's DecodeError, whatever its module
        context.abort(grpc.StatusCode.INTERNAL, "the request does not decode as AdjudicatesRequest")
    return request


def wait_for_cancel(context, timeout=None):
    """Blocks until the call is cancelled (by the client, a lost connection or
    the server's stop) or `timeout` passes; True when it was cancelled."""
    cancelled = threading.Event()
    if not context.add_callback(cancelled.set):
        return True  # already over
    return cancelled.wait(timeout)


def metadata_report(context, server):
    metadata = context.invocation_metadata()
    report = {
        name: peer_answers.report_values([m.value for m in metadata if m.key == name])
        for name in ("authorization", "x-api-key", "user-agent")
    }
    timeouts = []
    if server.relay is not None:
        headers = server.relay.last_request_on(peer_port(context.peer()))
        if headers is not None:
            timeouts = header_values(headers, b"grpc-timeout")
    report["grpc-timeout"] = peer_answers.report_values(timeouts)
    # grpcio gives a call without deadline the time left until its "infinite future".
    remaining = context.time_remaining()
    report["deadline-ms"] = None if remaining is None or remaining > _NO_DEADLINE else round(remaining * 1000)
    return json.dumps(report, ensure_ascii=False, separators=(",", ":"))


def test_behaviours(request_bytes, context, server):
    """The handler of the test server: the behaviour table of README.md."""
    request = parse_request(request_bytes, context)
    try:
        behaviour = peer_answers.behaviour_of(request)
    except peer_answers.BehaviourError as error:
        context.abort(grpc.StatusCode.INVALID_ARGUMENT, str(error))
    kind = behaviour.kind
    if kind == "never-answer":
        wait_for_cancel(context)
        return
    if kind == "status":
        context.abort(_STATUS_BY_NUMBER[behaviour.number], behaviour.message)
    if kind == "no-message":
        return
    if kind == "close-connection":
        if server.relay is not None and server.relay.drop(peer_port(context.peer())):
            wait_for_cancel(context, _DROP_WAIT_SECONDS)
            return
        context.abort(
            grpc.StatusCode.FAILED_PRECONDITION,
            "behave:close-connection needs the relay, and the server runs with --direct",
        )
    if kind == "delay-ms" and wait_for_cancel(context, behaviour.number / 1000):
        return
    report = metadata_report(context, server) if kind == "metadata" else ""
    try:
        answer = peer_answers.answer_bytes(request, behaviour, report)
    except peer_answers.BehaviourError as error:
        context.abort(grpc.StatusCode.INVALID_ARGUMENT, str(error))
    yield answer


class GrpcioTestServer(PeerServer):
    """The test server in-process."""

    def __init__(self, **options):
        super().__init__(test_behaviours, **options)


# --- command line shared with policy_server.py ---------------------------------


def argument_parser(description, relay=True):
    parser = argparse.ArgumentParser(description=description)
    parser.add_argument("--port", type=int, default=0, help="port on 127.0.0.1 (default: one of its own choice)")
    parser.add_argument("--tls-cert", help="PEM certificate chain of the server")
    parser.add_argument("--tls-key", help="PEM private key of the server")
    if relay:
        parser.add_argument("--direct", action="store_true", help="no relay in front of the gRPC server")
    return parser


def serve_until_stopped(server):
    """Prints the port, then serves until SIGTERM, SIGINT or the end of a
    piped standard input (a server started from a shell with stdin on
    /dev/null or a terminal runs until it is signalled)."""
    stop = threading.Event()
    # The handler only records the signal: calling stop.set() there could
    # deadlock on the event's own lock when the signal lands while the main
    # thread holds it inside wait().
    signalled = []
    for signum in (signal.SIGTERM, signal.SIGINT):
        signal.signal(signum, lambda *_: signalled.append(True))
    mode = os.fstat(sys.stdin.fileno()).st_mode
    if stat.S_ISFIFO(mode) or stat.S_ISSOCK(mode):

        def watch_stdin():
            while os.read(sys.stdin.fileno(), 256):
                pass
            stop.set()

        threading.Thread(target=watch_stdin, daemon=True).start()
    print(server.port, flush=True)
    while not signalled and not stop.wait(0.1):
        pass
    server.stop()


def main(argv=None):
    args = argument_parser("gRPC test server of RevizerService (grpcio)").parse_args(argv)
    if (args.tls_cert is None) != (args.tls_key is None):
        sys.exit("grpcio_server: give both --tls-cert and --tls-key, or neither")
    try:
        server = GrpcioTestServer(port=args.port, tls_cert=args.tls_cert, tls_key=args.tls_key, direct=args.direct)
    except OSError as error:
        sys.exit(f"grpcio_server: {error}")
    serve_until_stopped(server)


if __name__ == "__main__":
    main()
