import pathlib
import sys

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parents[1] / "peers"))
sys.path.insert(0, str(HERE))

from peer_fixtures import *  # noqa: E402,F401,F403
