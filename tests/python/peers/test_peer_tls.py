"""TLS peers: both gRPC test servers with the test certificates, and the TLS
server that never selects "h2"."""

import json
import socket
import ssl

import grpc
import pytest

from grpcio_server import GrpcioTestServer
from peer_fixtures import cpp_server_path
from peer_process import ServerProcess
from peer_tls import OpensslTlsServer
from revizer_stubs import METHOD, pb2


def tls_server(kind, cert, key):
    if kind == "cpp":
        return ServerProcess([cpp_server_path(), "--tls-cert", cert, "--tls-key", key])
    return GrpcioTestServer(tls_cert=cert, tls_key=key)


def tls_call(port, ca, trajectory_id, server_name=None):
    with open(ca, "rb") as f:
        credentials = grpc.ssl_channel_credentials(root_certificates=f.read())
    options = [("grpc.ssl_target_name_override", server_name)] if server_name else []
    with grpc.secure_channel(f"localhost:{port}", credentials, options) as channel:
        request = pb2.AdjudicatesRequest(events=[pb2.Event(event_id="e", trajectory_id=trajectory_id)])
        try:
            return pb2.AdjudicatesResponse.FromString(
                channel.unary_unary(METHOD)(request.SerializeToString(), timeout=3)
            )
        except grpc.RpcError as error:
            return error


@pytest.mark.parametrize("kind", ["cpp", "grpcio"])
def test_tls_with_the_test_ca_and_the_relay_in_front(kind, test_certs):
    with tls_server(kind, test_certs.server_cert, test_certs.server_key) as server:
        assert tls_call(server.port, test_certs.ca, "plain").events[0].event_id == "e"
        # The relay passes TLS through: it cannot read the headers ...
        report = json.loads(tls_call(server.port, test_certs.ca, "behave:metadata").events[0].payload["reason"])
        assert report["grpc-timeout"] is None and report["deadline-ms"] > 0
        # ... but can still drop the connection.
        error = tls_call(server.port, test_certs.ca, "behave:close-connection")
        assert error.code() == grpc.StatusCode.UNAVAILABLE
        assert tls_call(server.port, test_certs.ca, "plain").events


@pytest.mark.parametrize("kind", ["cpp", "grpcio"])
@pytest.mark.parametrize("which", ["wrong_host", "self_signed"])
def test_certificates_the_client_must_refuse(kind, which, test_certs):
    cert, key = getattr(test_certs, f"{which}_cert"), getattr(test_certs, f"{which}_key")
    with tls_server(kind, cert, key) as server:
        assert tls_call(server.port, test_certs.ca, "plain").code() == grpc.StatusCode.UNAVAILABLE
        # The wrong-host certificate fails on its name alone: the CA signed it.
        named = tls_call(server.port, test_certs.ca, "plain", server_name="wrong-host.test")
        assert isinstance(named, grpc.RpcError) == (which == "self_signed")


def handshake_offering_h2(port, ca):
    """The ALPN protocol selected by a handshake that offers only "h2"."""
    context = ssl.create_default_context(cafile=ca)
    context.set_alpn_protocols(["h2"])
    with socket.create_connection(("127.0.0.1", port), timeout=5) as raw:
        with context.wrap_socket(raw, server_hostname="localhost") as tls:
            return tls.selected_alpn_protocol()


def test_openssl_server_never_selects_h2(test_certs):
    with OpensslTlsServer(test_certs.server_cert, test_certs.server_key) as server:
        assert handshake_offering_h2(server.port, test_certs.ca) is None
    with OpensslTlsServer(test_certs.server_cert, test_certs.server_key, alpn="http/1.1") as server:
        with pytest.raises(ssl.SSLError, match="NO_APPLICATION_PROTOCOL"):
            handshake_offering_h2(server.port, test_certs.ca)
