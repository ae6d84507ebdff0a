"""A TCP relay on a loopback port in front of a gRPC server on another (the
counterpart of h2_relay.cpp). It passes bytes both ways unchanged, keeps the
request headers of plain HTTP/2 connections as the client sent them (decoded
with the hpack library: grpcio turns "grpc-timeout" into a deadline before a
handler sees it), and can drop a connection while a call is in flight, which
grpcio cannot do. Connections are named by the local port of the relay's own
connection to the server, the client port that the server sees as its peer.
"""

import socket
import threading
from dataclasses import dataclass, field

import hpack

_PREFACE = b"PRI * HTTP/2.0\r\n\r\nSM\r\n\r\n"
_HEADERS, _CONTINUATION = 0x1, 0x9
_END_HEADERS, _PADDED, _PRIORITY = 0x4, 0x8, 0x20
# Larger than any table a client may be allowed, so that a size update sent
# after the server raised the limit is accepted.
_TABLE_LIMIT = 1 << 16


@dataclass
class RequestHeaders:
    stream_id: int
    headers: list = field(default_factory=list)  # (name, value) bytes pairs, in the order sent


class H2RequestReader:
    """Decodes the header block of every request in what an HTTP/2 client
    sends; gives up at the first bytes that are not HTTP/2 (a TLS handshake)."""

    def __init__(self):
        self._decoder = hpack.Decoder()
        self._decoder.max_allowed_table_size = _TABLE_LIMIT
        self._pending = b""
        self._preface_seen = False
        self.gave_up = False
        self._block = b""
        self._block_stream = 0

    def feed(self, data):
        """Takes the next bytes; returns the header blocks they complete."""
        out = []
        if self.gave_up:
            return out
        self._pending += data
        rest = self._pending
        if not self._preface_seen:
            have = min(len(rest), len(_PREFACE))
            if rest[:have] != _PREFACE[:have]:
                return self._give_up(out)
            if have < len(_PREFACE):
                return out
            self._preface_seen = True
            rest = rest[len(_PREFACE) :]
        while len(rest) >= 9:
            length = int.from_bytes(rest[:3], "big")
            if len(rest) < 9 + length:
                break
            kind, flags = rest[3], rest[4]
            stream = int.from_bytes(rest[5:9], "big") & 0x7FFFFFFF
            try:
                self._take_frame(kind, flags, stream, rest[9 : 9 + length], out)
            except (ValueError, hpack.HPACKError):
                return self._give_up(out)
            rest = rest[9 + length :]
        self._pending = rest
        return out

    def _give_up(self, out):
        self.gave_up = True
        self._pending = b""
        return out

    def _take_frame(self, kind, flags, stream, payload, out):
        if kind == _HEADERS:
            padding = 0
            if flags & _PADDED:
                if not payload:
                    raise ValueError("no pad length")
                padding, payload = payload[0], payload[1:]
            if flags & _PRIORITY:
                if len(payload) < 5:
                    raise ValueError("short priority")
                payload = payload[5:]
            if padding > len(payload):
                raise ValueError("padding beyond the frame")
            self._block = payload[: len(payload) - padding]
            self._block_stream = stream
        elif kind == _CONTINUATION:
            if stream != self._block_stream:
                raise ValueError("continuation of another stream")
            self._block += payload
        else:
            return
        if flags & _END_HEADERS:
            headers = self._decoder.decode(self._block, raw=True)
            self._block = b""
            out.append(RequestHeaders(self._block_stream, [(bytes(k), bytes(v)) for k, v in headers]))


def header_values(headers, name):
    """The values of one header name (bytes), in order."""
    return [v for k, v in headers if k == name]


class _Link:
    def __init__(self, client, upstream):
        self.client = client
        self.upstream = upstream
        self.reader = H2RequestReader()
        self.last_request = None  # guarded by the relay's lock
        self._closed = False
        self._close_lock = threading.Lock()

    def close(self):
        with self._close_lock:
            if self._closed:
                return
            self._closed = True
        for sock in (self.client, self.upstream):
            try:
                sock.shutdown(socket.SHUT_RDWR)  # wakes the pump blocked on it
            except OSError:
                pass
            sock.close()


class H2Relay:
    """Listens on 127.0.0.1:`port` (0: a port of its own choice) and relays to
    127.0.0.1:`upstream_port`."""

    def __init__(self, upstream_port, port=0):
        self._upstream_port = upstream_port
        self._lock = threading.Lock()
        self._links = {}
        self._all = []
        self._closing = False
        self._listener = socket.create_server(("127.0.0.1", port))
        self.port = self._listener.getsockname()[1]
        self._acceptor = threading.Thread(target=self._accept_loop, name="h2-relay-accept", daemon=True)
        self._acceptor.start()

    def requests(self):
        """Every request header block seen so far, on all connections, in arrival order."""
        with self._lock:
            return list(self._all)

    def last_request_on(self, upstream_port):
        """The headers of the last request on that connection, or None."""
        with self._lock:
            link = self._links.get(upstream_port)
            return None if link is None else link.last_request

    def drop(self, upstream_port):
        """Closes both sides of that connection; False when there is none."""
        with self._lock:
            link = self._links.get(upstream_port)
        if link is None:
            return False
        link.close()
        return True

    def close(self):
        with self._lock:
            self._closing = True
            links = list(self._links.values())
        # Shutting the listener down wakes the blocked accept.
        try:
            self._listener.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        self._listener.close()
        self._acceptor.join()
        for link in links:
            link.close()

    def _accept_loop(self):
        while True:
            try:
                client, _ = self._listener.accept()
            except OSError:
                return
            try:
                upstream = socket.create_connection(("127.0.0.1", self._upstream_port))
            except OSError:
                client.close()
                continue
            for sock in (client, upstream):
                sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            link = _Link(client, upstream)
            name = upstream.getsockname()[1]
            with self._lock:
                if self._closing:
                    link.close()
                    return
                self._links[name] = link
            threading.Thread(target=self._pump, args=(link, name, upstream, client, False), daemon=True).start()
            threading.Thread(target=self._pump, args=(link, name, client, upstream, True), daemon=True).start()

    def _pump(self, link, name, source, sink, from_client):
        # Requests are read before they are passed on, so a server that asks
        # about a call finds its headers already kept.
        try:
            while data := source.recv(65536):
                if from_client:
                    self._keep(link, link.reader.feed(data))
                sink.sendall(data)
        except OSError:
            pass
        link.close()
        with self._lock:
            if self._links.get(name) is link:
                del self._links[name]

    def _keep(self, link, seen):
        if not seen:
            return
        with self._lock:
            for request in seen:
                link.last_request = request.headers
                self._all.append(request)
