"""tallygate-sim for the Python module's tests: one simulator per test, with
a terminal at address 1 over TCP and on a pseudo-terminal bus.

CTest passes the simulator's path in TALLYGATE_SIM and the build's package
in PYTHONPATH.
"""

import os
import subprocess

import pytest

import tallygate


class Simulator:
    def __init__(self, *extra):
        program = os.environ.get("TALLYGATE_SIM")
        if not program or not os.access(program, os.X_OK):
            pytest.skip("TALLYGATE_SIM does not name tallygate-sim")
        self.process = subprocess.Popen(
            [program, "--tcp-port", "0", "--pty", "--address", "1", "--quiet", *extra],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        for line in self.process.stdout:
            words = line.split()
            if words[0] == "tcp":
                self.port = int(words[2])
            elif words[0] == "pty":
                self.pty = words[1]
            elif words[0] == "ready":
                return
        raise RuntimeError("tallygate-sim did not get ready")

    def control(self, command):
        """Sends a control line; returns the answer and its detail lines."""
        self.process.stdin.write(command + "\n")
        self.process.stdin.flush()
        answer = self.process.stdout.readline().strip()
        assert answer.startswith("ok"), f"{command}: {answer}"
        details = int(answer.split("detail-lines=")[1]) if "detail-lines=" in answer else 0
        return answer, [self.process.stdout.readline().strip() for _ in range(details)]

    def record_units(self):
        """The records the terminal holds, as the raw bytes a record page carries."""
        return [bytes.fromhex(unit) for unit in self.control("dump-records")[1]]

    def open(self, kind, **options):
        if kind == "tcp":
            return tallygate.Line.tcp("127.0.0.1", self.port, **options)
        return tallygate.Line.serial(self.pty, **options)

    def stop(self):
        self.process.terminate()
        self.process.wait(10)


@pytest.fixture
def simulator(request):
    """A simulator; a test marked @pytest.mark.sim_args(...) gives it options."""
    marker = request.node.get_closest_marker("sim_args")
    sim = Simulator(*(marker.args if marker else ()))
    yield sim
    sim.stop()


@pytest.fixture(params=["tcp", "pty"])
def line(request, simulator):
    """A line to the simulator's terminal, over TCP and over the serial bus."""
    with simulator.open(request.param) as opened:
        yield opened


def pytest_configure(config):
    config.addinivalue_line("markers", "sim_args(*args): options for tallygate-sim")
