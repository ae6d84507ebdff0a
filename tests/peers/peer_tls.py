"""TLS for tests (the counterparts of test_certificates.h and
openssl_tls_server.h): certificates made by make_test_certs.sh with the
openssl command line tool, and a TLS server that never selects "h2"."""

import pathlib
import subprocess
from dataclasses import dataclass

from peer_process import PeerProcess

_SCRIPT = pathlib.Path(__file__).resolve().parent / "make_test_certs.sh"


@dataclass(frozen=True)
class TestCertificates:
    """Paths of the files that make_test_certs.sh writes (see there)."""

    __test__ = False  # not a pytest test class

    dir: pathlib.Path

    def file(self, name):
        return str(self.dir / name)

    ca = property(lambda self: self.file("ca.pem"))
    server_cert = property(lambda self: self.file("server.pem"))
    server_key = property(lambda self: self.file("server.key"))
    wrong_host_cert = property(lambda self: self.file("wrong-host.pem"))
    wrong_host_key = property(lambda self: self.file("wrong-host.key"))
    self_signed_cert = property(lambda self: self.file("self-signed.pem"))
    self_signed_key = property(lambda self: self.file("self-signed.key"))


def make_test_certs(directory):
    """Writes the test certificates into `directory` (made if missing)."""
    subprocess.run(["sh", str(_SCRIPT), str(directory)], check=True)
    return TestCertificates(pathlib.Path(directory))


class OpensslTlsServer(PeerProcess):
    """openssl s_server on 127.0.0.1. Without `alpn` it ignores ALPN, so a
    client that offers "h2" completes the handshake with no protocol
    selected; with `alpn` (say "http/1.1") it ends the handshake of a client
    that offers none of those with a no_application_protocol alert."""

    def __init__(self, cert, key, alpn=None):
        argv = ["openssl", "s_server", "-accept", "127.0.0.1:0", "-cert", cert, "-key", key]
        if alpn:
            argv += ["-alpn", alpn]
        super().__init__(argv)
        # It announces its port as "ACCEPT 127.0.0.1:<port>" once it listens.
        while (line := self.read_line()) is not None:
            if line.startswith("ACCEPT 127.0.0.1:"):
                self.port = int(line.rsplit(":", 1)[1])
                return
        status = self.stop()
        raise RuntimeError(f"openssl s_server did not start (exit status {status})")
