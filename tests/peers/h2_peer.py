"""An HTTP/2 server on a loopback port built on the h2 library (PyPI), for
peers that behave as real deployments do and that no gRPC server can be made
to imitate: a proxy's HTML error page, a server that sends GOAWAY or refuses
streams on its own schedule, a peer that stops reading or grants no window.

It runs an asyncio loop on a thread of its own. What it does with each
request is up to a script, one per connection:

    class Pages(Script):
        async def on_request(self, conn, request):
            await conn.send_page(request.stream_id, 503, "text/html", b"<html>...")

    with H2Peer(Pages) as peer:
        ... connect to f"http://127.0.0.1:{peer.port}" ...

A request is handed to the script once its stream has ended (the whole
gRPC request is in `request.body`). `conn.answer_grpc(request)` answers with
the test servers' default Adjudicates answer (peer_answers.py).
"""

import asyncio
import struct
import threading
from dataclasses import dataclass, field

import h2.config
import h2.connection
import h2.errors
import h2.events
import h2.exceptions
import h2.settings

from peer_answers import answer_bytes, behaviour_of
from revizer_stubs import pb2


@dataclass
class Request:
    stream_id: int
    headers: dict  # name -> value (str), the last of each name
    body: bytes = b""


class Script:
    """One connection's behaviour; the default answers every request with the
    default gRPC answer. `settings` go into the server's first SETTINGS."""

    settings: dict = {}

    def __init__(self, peer):
        self.peer = peer

    async def on_connection(self, conn):
        pass

    async def on_request(self, conn, request):
        await conn.answer_grpc(request)


class PeerConnection:
    def __init__(self, peer, reader, writer, script):
        self.peer = peer
        self.reader = reader
        self.writer = writer
        self.script = script
        config = h2.config.H2Configuration(client_side=False, header_encoding="utf-8")
        self.h2 = h2.connection.H2Connection(config=config)
        self.requests = {}  # stream id -> Request, until the request has ended
        self.reading = True
        self.closed = False
        self.requests_seen = 0
        self._resume_reading = asyncio.Event()
        self._resume_reading.set()
        self._window_opened = asyncio.Event()
        self._tasks = set()

    # --- what scripts call -------------------------------------------------

    def flush(self):
        data = self.h2.data_to_send()
        if data and not self.closed:
            self.writer.write(data)

    async def drain(self):
        self.flush()
        try:
            await self.writer.drain()
        except ConnectionError:
            self.closed = True

    async def send_headers(self, stream_id, headers, end_stream=False):
        self.h2.send_headers(stream_id, headers, end_stream=end_stream)
        await self.drain()

    async def send_data(self, stream_id, data, end_stream=False):
        """Sends `data` as the flow-control windows allow; gives up quietly
        when the stream or the connection ends first. True when all of it
        went out."""
        view = memoryview(data)
        while view:
            try:
                window = min(self.h2.local_flow_control_window(stream_id), self.h2.max_outbound_frame_size)
            except (h2.exceptions.StreamClosedError, h2.exceptions.ProtocolError, KeyError):
                return False
            if window <= 0:
                self._window_opened.clear()
                await self._window_opened.wait()
                if self.closed:
                    return False
                continue
            chunk, view = view[:window], view[window:]
            try:
                self.h2.send_data(stream_id, bytes(chunk), end_stream=end_stream and not view)
            except (h2.exceptions.StreamClosedError, h2.exceptions.ProtocolError):
                return False
            await self.drain()
        if end_stream and not data:
            self.h2.end_stream(stream_id)
            await self.drain()
        return not self.closed

    async def answer_grpc(self, request):
        """The test servers' default answer to an Adjudicates request."""
        message = pb2.AdjudicatesRequest.FromString(request.body[5:])
        answer = answer_bytes(message, behaviour_of(message))
        await self.send_headers(request.stream_id, [(":status", "200"), ("content-type", "application/grpc")])
        await self.send_data(request.stream_id, b"\x00" + struct.pack(">I", len(answer)) + answer)
        await self.send_headers(request.stream_id, [("grpc-status", "0")], end_stream=True)

    async def send_page(self, stream_id, status, content_type, body):
        """An answer as a proxy or load balancer gives it: a status, a type
        and a page (no gRPC framing, no trailers). True when all of it went
        out."""
        headers = [(":status", str(status))]
        if content_type is not None:
            headers.append(("content-type", content_type))
        await self.send_headers(stream_id, headers, end_stream=not body)
        if body:
            return await self.send_data(stream_id, body, end_stream=True)
        return not self.closed

    async def goaway(self, last_stream_id, error_code=h2.errors.ErrorCodes.NO_ERROR):
        """Tells the client to open no more streams: those above
        `last_stream_id` were not processed; those up to it can still be
        answered, as a server that shuts down gracefully does. (h2 sends no
        frame after a GOAWAY of its own, so the frame is written past it.)
        `close()` ends the connection once they are answered."""
        self.flush()
        if not self.closed:
            self.writer.write(struct.pack(">I", 8)[1:] + bytes([0x7, 0]) +
                              struct.pack(">III", 0, last_stream_id & 0x7FFFFFFF, int(error_code)))
        await self.drain()

    async def refuse(self, stream_id):
        self.h2.reset_stream(stream_id, error_code=h2.errors.ErrorCodes.REFUSED_STREAM)
        await self.drain()

    async def ping(self):
        self.h2.ping(b"peer-png")
        await self.drain()

    def pause_reading(self):
        """Stops reading the socket: the client's writes fill the TCP window."""
        self._resume_reading.clear()

    def resume_reading(self):
        self._resume_reading.set()

    def spawn(self, coroutine):
        task = asyncio.ensure_future(coroutine)
        self._tasks.add(task)
        task.add_done_callback(self._tasks.discard)
        return task

    def close(self):
        self.closed = True
        self._window_opened.set()
        self._resume_reading.set()  # a paused loop wakes and ends
        self.writer.close()

    # --- the connection's loop ---------------------------------------------

    async def run(self):
        self.h2.initiate_connection()
        if self.script.settings:
            self.h2.update_settings(dict(self.script.settings))
        await self.drain()
        await self.script.on_connection(self)
        try:
            while not self.closed:
                await self._resume_reading.wait()
                data = await self.reader.read(65536)
                # A pause that came while the read waited holds what it brought.
                await self._resume_reading.wait()
                if not data:
                    break
                try:
                    events = self.h2.receive_data(data)
                except h2.exceptions.ProtocolError:
                    await self.drain()
                    break
                for event in events:
                    self._on_event(event)
                await self.drain()
        except (ConnectionError, asyncio.CancelledError):
            pass
        finally:
            self.close()
            for task in list(self._tasks):
                task.cancel()

    def _on_event(self, event):
        if isinstance(event, h2.events.RequestReceived):
            self.requests_seen += 1
            self.requests[event.stream_id] = Request(event.stream_id, dict(event.headers))
            if event.stream_ended:
                self._request_ended(event.stream_id)
        elif isinstance(event, h2.events.DataReceived):
            request = self.requests.get(event.stream_id)
            if request is not None:
                request.body += event.data
            self.h2.acknowledge_received_data(event.flow_controlled_length, event.stream_id)
            if event.stream_ended:
                self._request_ended(event.stream_id)
        elif isinstance(event, h2.events.StreamEnded):
            self._request_ended(event.stream_id)
        elif isinstance(event, h2.events.StreamReset):
            self.requests.pop(event.stream_id, None)
            self._window_opened.set()
        elif isinstance(event, (h2.events.WindowUpdated, h2.events.RemoteSettingsChanged)):
            self._window_opened.set()
        elif isinstance(event, h2.events.ConnectionTerminated):
            self.closed = True
            self._window_opened.set()

    def _request_ended(self, stream_id):
        request = self.requests.pop(stream_id, None)
        if request is not None:
            self.spawn(self._serve(request))

    async def _serve(self, request):
        try:
            await self.script.on_request(self, request)
        except (ConnectionError, h2.exceptions.StreamClosedError):
            pass


class H2Peer:
    """The server: `script` (a Script subclass) is made anew for each
    connection with the peer as its argument."""

    def __init__(self, script=Script, port=0):
        self.script = script
        self.connections = []
        self.lock = threading.Lock()
        self._loop = asyncio.new_event_loop()
        self._ready = threading.Event()
        self._thread = threading.Thread(target=self._run, args=(port,), daemon=True, name="h2-peer")
        self._thread.start()
        self._ready.wait(10)
        if not hasattr(self, "port"):
            raise OSError("the HTTP/2 peer did not start")

    def _run(self, port):
        asyncio.set_event_loop(self._loop)
        self._server = self._loop.run_until_complete(asyncio.start_server(self._accept, "127.0.0.1", port))
        self.port = self._server.sockets[0].getsockname()[1]
        self._ready.set()
        self._loop.run_forever()

    async def _accept(self, reader, writer):
        conn = PeerConnection(self, reader, writer, self.script(self))
        with self.lock:
            self.connections.append(conn)
        await conn.run()

    def call(self, function, *args):
        """Runs `function(*args)` on the peer's loop and returns its result
        (awaited when it is a coroutine)."""
        async def run():
            result = function(*args)
            if asyncio.iscoroutine(result):
                result = await result
            return result
        return asyncio.run_coroutine_threadsafe(run(), self._loop).result(10)

    def stop(self):
        if not self._loop.is_running():
            return

        async def shut():
            self._server.close()
            for conn in list(self.connections):
                conn.close()
        try:
            asyncio.run_coroutine_threadsafe(shut(), self._loop).result(5)
        finally:
            self._loop.call_soon_threadsafe(self._loop.stop)
            self._thread.join(5)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()
        return False
