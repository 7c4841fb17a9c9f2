"""A call that waits for a terminal lets other Python threads run, and Ctrl-C
ends it promptly, leaving the line usable."""

import os
import signal
import threading
import time

import pytest


def test_other_threads_run_while_a_call_waits(simulator):
    simulator.control("fault ClearFlag:next:delay=1000")
    ticks = []
    stop = threading.Event()

    def ticker():
        while not stop.is_set():
            ticks.append(time.monotonic())
            time.sleep(0.01)

    with simulator.open("tcp") as line:
        thread = threading.Thread(target=ticker)
        thread.start()
        try:
            start = time.monotonic()
            line.terminal(1).clear_flag(timeout=5)
            end = time.monotonic()
        finally:
            stop.set()
            thread.join()
    assert end - start >= 0.9
    # About 90 ticks of 10 ms fit in the wait; a held GIL would allow none.
    assert sum(start < tick < end for tick in ticks) >= 20


def wait_for_a_reply(terminal):
    terminal.clear_flag(timeout=10)


def wait_for_a_page(terminal):
    for _ in terminal.records(unit_timeout=10):
        pass


@pytest.mark.sim_args("--records", "600")
@pytest.mark.parametrize("kind", ["tcp", "pty"])
@pytest.mark.parametrize("fault, wait", [
    ("ClearFlag:next:drop", wait_for_a_reply),
    ("0xBB,page=2:next:drop", wait_for_a_page),
])
def test_ctrl_c_ends_a_wait_and_leaves_the_line_usable(simulator, kind, fault, wait):
    simulator.control(f"fault {fault}")
    with simulator.open(kind) as line:
        terminal = line.terminal(1)
        sent = []

        def interrupt():
            sent.append(time.monotonic())
            os.kill(os.getpid(), signal.SIGINT)

        timer = threading.Timer(0.3, interrupt)
        timer.start()
        try:
            with pytest.raises(KeyboardInterrupt):
                wait(terminal)
            raised = time.monotonic()
        finally:
            timer.join()
        # The module wakes every 50 ms and a stop ends a wait within 100 ms;
        # the bound leaves room for a loaded machine.
        assert raised - sent[0] < 1.0
        assert terminal.record_count(timeout=2) == 600
