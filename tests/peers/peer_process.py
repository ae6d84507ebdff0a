"""A child process of a test (the counterpart of peer_process.h): its standard
input is a pipe held open for its whole life (the test servers end when it
closes, so they cannot outlive a crashed test), its standard output is read
line by line by a thread of its own, and stopping it sends SIGTERM, then
SIGKILL if it lingers, and reaps it.

    with PeerProcess([server, "--direct"]) as process:
        port = int(process.read_line())
"""

import queue
import subprocess
import threading

_END = object()


class PeerProcess:
    def __init__(self, argv, **popen_options):
        self._process = subprocess.Popen(
            argv, stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True, **popen_options
        )
        self._lines = queue.Queue(maxsize=1000)
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()

    @property
    def pid(self):
        return self._process.pid

    def _read(self):
        for line in self._process.stdout:
            try:
                self._lines.put_nowait(line.rstrip("\n"))
            except queue.Full:
                pass  # nobody reads a chatty child's output; do not let it block
        self._lines.put(_END)

    def read_line(self, timeout=20):
        """The next output line, or None once the output ended or after `timeout` seconds."""
        try:
            line = self._lines.get(timeout=timeout)
        except queue.Empty:
            return None
        if line is _END:
            self._lines.put(_END)
            return None
        return line

    def send_signal(self, signum):
        self._process.send_signal(signum)

    def close_stdin(self):
        self._process.stdin.close()

    def wait(self, timeout=None):
        return self._process.wait(timeout)

    def stop(self):
        """Ends the process (if it still runs) and returns its exit status."""
        if self._process.poll() is None:
            self._process.terminate()
            try:
                self._process.wait(5)
            except subprocess.TimeoutExpired:
                self._process.kill()
                self._process.wait()
        if not self._process.stdin.closed:
            self._process.stdin.close()
        self._reader.join(5)
        if not self._reader.is_alive():
            self._process.stdout.close()  # the reader is done with it
        return self._process.returncode

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()
        return False


class ServerProcess(PeerProcess):
    """A test server started as a child process that prints its port first
    (revizer_test_server, grpcio_server.py, policy_server.py)."""

    def __init__(self, argv, **popen_options):
        super().__init__(argv, **popen_options)
        line = self.read_line()
        if line is None or not line.isdigit():
            status = self.stop()
            raise RuntimeError(f"{argv[0]} did not print its port (exit status {status}, first line {line!r})")
        self.port = int(line)
