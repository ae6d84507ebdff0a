"""Answers that are not gRPC's, as proxies, load balancers and identity-aware
proxies send them: an HTML page with an HTTP status. The client judges them
by their head (the status, then the content type), drops the page unread
whatever its size, and keeps the connection for the next call. And a server
that closes the connection cleanly mid-call: the failure carries its source."""

import asyncio

import pytest

from client_support import client_for, event
from h2_peer import H2Peer, Script

PAGE = b"<html><head><title>Error</title></head><body>The service is starting.</body></html>\n"
# Past the largest answer message (16 MiB) and the stream's receive window.
LARGE_PAGE = b"<html>" + b"x" * (17 * 1024 * 1024)
BOUND = 20  # seconds; every call here ends well within it


def mapped(status):
    return f"grpc-status header missing, mapped from HTTP status code {status}"


def pages(status, content_type, body, count=1):
    """A script whose first `count` requests on the connection get the page,
    and the rest the default gRPC answer; it notes whether each page went out
    whole."""

    class Pages(Script):
        sent = []

        async def on_request(self, conn, request):
            if conn.requests_seen <= count:
                Pages.sent.append(await conn.send_page(request.stream_id, status, content_type, body))
            else:
                await conn.answer_grpc(request)

    return Pages


async def outcome(call):
    try:
        await asyncio.wait_for(call, BOUND)
        return "ok"
    except RuntimeError as error:
        return str(error)


@pytest.mark.parametrize(
    "status, content_type, body, expected",
    [
        (401, "text/html", PAGE, "unauthenticated: " + mapped(401)),
        (429, "text/html", PAGE, "revizer unavailable: " + mapped(429)),
        (502, "text/html", PAGE, "revizer unavailable: " + mapped(502)),
        (503, "text/html", PAGE, "revizer unavailable: " + mapped(503)),
        (503, "text/html", b"", "revizer unavailable: " + mapped(503)),
        (503, "application/grpc", PAGE, "revizer unavailable: " + mapped(503)),
        (200, "text/html; charset=utf-8", PAGE, "server error: invalid content-type: text/html; charset=utf-8"),
        (200, None, PAGE, "server error: missing content-type"),
    ],
    ids=["401", "429", "502", "503", "503-no-body", "503-typed-grpc", "200-html", "200-untyped"],
)
def test_error_page_is_judged_by_its_head(status, content_type, body, expected):
    script = pages(status, content_type, body)
    with H2Peer(script) as peer:
        client = client_for(peer)

        async def main():
            return await outcome(client.adjudicate(event())), await outcome(client.adjudicate(event()))

        page, after = asyncio.run(main())
        assert page == "Adjudication failed: " + expected
        assert after == "ok", "the connection goes on after the page"
        assert script.sent == [True], "the client read the page to its end"
        assert len(peer.connections) == 1


def test_pages_of_any_size_drain_and_the_connection_goes_on():
    # Five pages of 17 MiB: more than the connection's receive window too.
    script = pages(503, "text/html", LARGE_PAGE, count=5)
    with H2Peer(script) as peer:
        client = client_for(peer)

        async def main():
            return [await outcome(client.adjudicate(event())) for _ in range(6)]

        results = asyncio.run(main())
        assert results == ["Adjudication failed: revizer unavailable: " + mapped(503)] * 5 + ["ok"]
        assert script.sent == [True] * 5
        assert len(peer.connections) == 1


class CloseMidCall(Script):
    """Takes the request, then closes the connection without an answer (no
    GOAWAY, no reset: the client reads the end of the stream)."""

    async def on_request(self, conn, request):
        await conn.drain()
        conn.close()


def test_clean_close_mid_call_carries_its_source():
    with H2Peer(CloseMidCall) as peer:
        client = client_for(peer)

        async def main():
            return await outcome(client.adjudicates([event()])), await outcome(client.adjudicate(event()))

        status_text, adjudicate_text = asyncio.run(main())
        assert status_text == (
            "Adjudication failed: code: 'The service is currently unavailable', "
            'message: "connection closed by the server", source: End of file'
        )
        assert adjudicate_text == "Adjudication failed: revizer unavailable: connection closed by the server"
