#!/usr/bin/env python3
"""What the Python module costs over the terminal API it is built on.

One tallygate-sim holding 32,767 records (128 pages) over TCP; in turns, the
C++ FetchRecords of them all to a callback (python_bench_fetch) and Python's
list(terminal.records()), each a few times. Prints both times, each round's
ratio and the ratio of the sums (target: at most 1.10), and the peak memory
growth of a Python loop over the records that keeps none of them, measured
first (the queue between the fetch's thread and the iterator is bounded).

    PYTHONPATH=build/python python3 bench/python_bench.py \\
        --sim build/sim/tallygate-sim --helper build/bench/python_bench_fetch
"""

import argparse
import os
import subprocess
import sys
import time

import tallygate

TARGET_RATIO = 1.10


def start_simulator(program, records):
    sim = subprocess.Popen(
        [program, "--tcp-port", "0", "--address", "1", "--records", str(records), "--quiet"],
        stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    port = None
    for line in sim.stdout:
        words = line.split()
        if words[:1] == ["tcp"]:
            port = int(words[2])
        if words[:1] == ["ready"]:
            return sim, port
    raise RuntimeError("tallygate-sim did not get ready")


def cpp_fetch(helper, port, records):
    out = subprocess.run([helper, "--port", str(port)], check=True, capture_output=True, text=True)
    seconds, delivered, complete = out.stdout.split()
    if int(delivered) != records or complete != "1":
        raise RuntimeError(f"C++ fetch delivered {delivered} of {records} records")
    return float(seconds)


def python_fetch(port, records):
    # The simulator serves one client at a time: each turn opens its own line.
    with tallygate.Line.tcp("127.0.0.1", port) as line:
        terminal = line.terminal(1)
        start = time.perf_counter()
        fetched = list(terminal.records())
        seconds = time.perf_counter() - start
    if len(fetched) != records:
        raise RuntimeError(f"Python fetch delivered {len(fetched)} of {records} records")
    return seconds


def status_kb(name):
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith(name + ":"):
                return int(line.split()[1])
    return -1


def loop_memory_growth_mb(port):
    """Peak memory growth of a loop that keeps no record, from a fresh peak."""
    with open("/proc/self/clear_refs", "w") as clear:
        clear.write("5")  # VmHWM starts again from the current VmRSS
    before = status_kb("VmRSS")
    cards = 0
    with tallygate.Line.tcp("127.0.0.1", port) as line:
        for record in line.terminal(1).records():
            cards ^= record.card
    return (status_kb("VmHWM") - before) / 1024.0


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--sim", required=True, help="tallygate-sim")
    parser.add_argument("--helper", required=True, help="python_bench_fetch")
    parser.add_argument("--records", type=int, default=32767)
    parser.add_argument("--rounds", type=int, default=3)
    args = parser.parse_args()

    with open("/proc/loadavg") as loadavg:
        load = loadavg.read().split()[0]
    print(f"Machine: {os.cpu_count()} cores, load average {load} (1 min) at the start")
    print(f"TCP, loopback: {args.records} records, C++ FetchRecords to a callback and Python "
          f"list(terminal.records()), in turns")
    sim, port = start_simulator(args.sim, args.records)
    try:
        # First, while the heap has not yet held a list of records.
        growth = loop_memory_growth_mb(port)
        cpp_total = python_total = 0.0
        for turn in range(1, args.rounds + 1):
            cpp = cpp_fetch(args.helper, port, args.records)
            python = python_fetch(port, args.records)
            cpp_total += cpp
            python_total += python
            print(f"  round {turn}: C++ {cpp:7.3f} s   Python {python:7.3f} s   "
                  f"ratio {python / cpp:.4f}")
        ratio = python_total / cpp_total
        met = ratio <= TARGET_RATIO
        print(f"  sums:    C++ {cpp_total:7.3f} s   Python {python_total:7.3f} s   "
              f"ratio {ratio:.4f} (target <= {TARGET_RATIO:.2f})  {'met' if met else 'MISSED'}")
        print(f"  a loop keeping no record: peak memory growth {growth:.2f} MB")
    finally:
        sim.terminate()
        sim.wait()
    return 0 if met else 1


if __name__ == "__main__":
    sys.exit(main())
