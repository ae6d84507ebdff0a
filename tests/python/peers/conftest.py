import pathlib
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "peers"))

from peer_fixtures import *  # noqa: E402,F401,F403
