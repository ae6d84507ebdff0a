"""Python stubs of RevizerService, generated from its description with
grpc_tools.protoc into a temporary directory the first time a process imports
this module (generated code is not kept in the repository).

    from revizer_stubs import pb2, pb2_grpc
"""

import atexit
import importlib
import os
import shutil
import sys
import tempfile

import grpc_tools
from grpc_tools import protoc

_SCHEMA = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "schema")
_PROTO = os.path.join("tavimor", "revizer", "v1", "revizer.proto")


def _generate():
    out = tempfile.mkdtemp(prefix="revizer-stubs-")
    atexit.register(shutil.rmtree, out, True)
    well_known = os.path.join(os.path.dirname(grpc_tools.__file__), "_proto")
    status = protoc.main(
        [
            "protoc",
            f"--proto_path={_SCHEMA}",
            f"--proto_path={well_known}",
            f"--python_out={out}",
            f"--grpc_python_out={out}",
            os.path.join(_SCHEMA, _PROTO),
        ]
    )
    if status != 0:
        raise RuntimeError(f"grpc_tools.protoc failed on {_PROTO} (status {status})")
    sys.path.insert(0, out)
    return (
        importlib.import_module("tavimor.revizer.v1.revizer_pb2"),
        importlib.import_module("tavimor.revizer.v1.revizer_pb2_grpc"),
    )


pb2, pb2_grpc = _generate()

METHOD = "/tavimor.revizer.v1.RevizerService/Adjudicates"
