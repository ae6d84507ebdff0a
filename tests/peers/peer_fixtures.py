"""pytest fixtures of the test peers, for any test directory's conftest.py:

    sys.path.insert(0, "<repo>/tests/peers")
    from peer_fixtures import *  # noqa: F401,F403

Every fixture stops what it started when its scope ends.
"""

import os
import pathlib
import sys

import pytest

from grpcio_server import GrpcioTestServer
from peer_process import ServerProcess
from peer_tls import make_test_certs

ROOT = pathlib.Path(__file__).resolve().parents[2]
PEERS = ROOT / "tests" / "peers"

__all__ = [
    "cpp_server_path",
    "grpcio_server_argv",
    "cpp_server",
    "grpcio_server",
    "revizer_server",
    "test_certs",
]


def cpp_server_path():
    """revizer_test_server of the build that scripts/test names in
    REVIZER_BUILD_DIR (build/release by default)."""
    build = pathlib.Path(os.environ.get("REVIZER_BUILD_DIR") or ROOT / "build" / "release")
    path = build / "tests" / "peers" / "revizer_test_server"
    if not path.exists():
        pytest.fail(f"{path} is missing: build the project first (scripts/test)")
    return str(path)


def grpcio_server_argv():
    return [sys.executable, str(PEERS / "grpcio_server.py")]


@pytest.fixture(scope="module")
def cpp_server():
    """revizer_test_server as a child process, with its relay."""
    with ServerProcess([cpp_server_path()]) as server:
        yield server


@pytest.fixture(scope="module")
def grpcio_server():
    """The grpcio test server in this process, with its relay."""
    with GrpcioTestServer() as server:
        yield server


@pytest.fixture(scope="module", params=["cpp", "grpcio"])
def revizer_server(request):
    """Each of the two test servers in turn (they have the same behaviours)."""
    return request.getfixturevalue(f"{request.param}_server")


@pytest.fixture(scope="session")
def test_certs(tmp_path_factory):
    """The certificates of make_test_certs.sh, made once per test run."""
    return make_test_certs(tmp_path_factory.mktemp("certs"))
