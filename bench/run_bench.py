#!/usr/bin/env python3
"""Measures fivestage against the floor of the work it must do.

One command: builds the release configuration with the floor programs, makes
the large inputs in a temporary folder, runs fivestage and the floor programs
side by side several times, and prints the medians and ratios of:
  1. cycle throughput of a long batch run (target: at most 1.3 x the floor),
  2. loading and listing large files (target: at most 1.5 x the floor),
  3. peak memory: the long run's does not grow with the number of cycles
     (100,000 against 1,000,000 cycles, within 1 MiB), and loading stays
     under 3 x the size of the loaded data,
  4. fivestage-report on the long run: at most 1.5 x the console's batch run,
     its memory does not grow with the cycles either, and its page stays
     under a few MB,
  5. headless runs: the report with --json and no trace (target: at least 10
     million cycles per second), a run of the figures alone as the grader
     makes it (at least 20 million), --compare (at most 4 x one run).
Usage: bench/run_bench.py [--runs N] [--iterations N] [--fivestage PATH] [--cpu-time]
(--fivestage measures another build of the simulator against the same floors.)

Needs CMake and a C++20 compiler, Google Benchmark (Debian: libbenchmark-dev)
for the micro-benchmarks built alongside, nlohmann-json and CLI11 (Debian:
nlohmann-json3-dev, libcli11-dev) for the report, and GNU time (Debian: time)
for the peak memory. Missing packages are installed with apt-get when running as root;
otherwise the script names them and stops.
"""
import argparse
import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.join(ROOT, "build", "bench")
ENERGY = os.path.join(ROOT, "tests", "e2e", "energy", "EnergyConsumptionInput")

# A counted loop: a store of the counter and a load back (this machine's lw
# stores, sw loads), arithmetic, two stalls per iteration, a taken branch.
LOOP = ["addi $1, $1, 1", "lw $1, 0($0)", "sw $4, 0($0)", "add $5, $4, $3", "bne $1, $2, L1", "addi $6, $6, 1"]
STAGE_FILES = {
    b" Fetching : E(": "EnergyConsumptionInput/Fetch/energy.txt",
    b" Executing : E(": "EnergyConsumptionInput/Execute/energy.txt",
    b"\t Reading from Memory": "EnergyConsumptionInput/Mem/energy.txt",
    b"\t Writing to Memory": "EnergyConsumptionInput/Mem/energy.txt",
    b"\t Writing Register File (regWrite=1)": "EnergyConsumptionInput/WriteBack/energy.txt",
}


# What the measurements need: a check that it is there, and its Debian package.
PREREQUISITES = [
    ("cmake", lambda: shutil.which("cmake") is not None, "cmake"),
    ("a C++ compiler", lambda: shutil.which("c++") is not None, "g++"),
    ("GNU time", lambda: os.access("/usr/bin/time", os.X_OK), "time"),
    ("Google Benchmark", lambda: debian_package("libbenchmark-dev"), "libbenchmark-dev"),
    ("nlohmann-json", lambda: debian_package("nlohmann-json3-dev"), "nlohmann-json3-dev"),
    ("CLI11", lambda: debian_package("libcli11-dev"), "libcli11-dev"),
]


def debian_package(name):
    return subprocess.run(["dpkg", "-s", name], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0


def ensure_prerequisites():
    missing = [(name, package) for name, present, package in PREREQUISITES if not present()]
    if not missing:
        return
    packages = [package for _, package in missing]
    if os.geteuid() == 0 and shutil.which("apt-get"):
        quiet = {"stdout": subprocess.DEVNULL, "stderr": subprocess.DEVNULL}
        subprocess.run(["apt-get", "update"], check=False, **quiet)
        subprocess.run(["apt-get", "install", "-y"] + packages, check=False, env=dict(os.environ,
                       DEBIAN_FRONTEND="noninteractive"), **quiet)
        missing = [(name, package) for name, present, package in PREREQUISITES if not present()]
    if missing:
        names = ", ".join(f"{name} (package {package})" for name, package in missing)
        sys.exit(f"run_bench.py needs {names}: apt-get install {' '.join(p for _, p in missing)}")


def build():
    for command in (["cmake", "-S", ROOT, "-B", BUILD, "-DCMAKE_BUILD_TYPE=Release", "-DFIVESTAGE_BENCH=ON",
                     "-DFIVESTAGE_TESTS=OFF"], ["cmake", "--build", BUILD, "-j2"]):
        result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        if result.returncode != 0:
            sys.exit(f"{' '.join(command)} failed:\n{result.stdout}")


# Whether a run is timed by the processor time it took (user and system)
# rather than by the clock: on a machine others load, the clock measures them.
CPU_TIME = False


def run(command, cwd, stdin_path):
    """Runs a command with its output to /dev/null; returns (seconds, peak resident KiB, exit status).

    The peak comes from GNU time, a small process whose child is the program:
    a child of this Python process would report Python's own peak as well.
    The processor time comes from waiting for GNU time, whose usage then
    includes the program's, to the microsecond: GNU time prints it to the
    hundredth of a second, too coarse for runs of a tenth of a second."""
    with open(stdin_path, "rb") as stdin, tempfile.NamedTemporaryFile("r") as peak:
        start = time.perf_counter()
        process = subprocess.Popen(["/usr/bin/time", "-f", "%M", "-o", peak.name] + command, cwd=cwd, stdin=stdin,
                                   stdout=subprocess.DEVNULL)
        _, wait_status, usage = os.wait4(process.pid, 0)
        seconds = time.perf_counter() - start
        process.returncode = os.waitstatus_to_exitcode(wait_status)
        rss = peak.read().split()[-1]
        return (usage.ru_utime + usage.ru_stime if CPU_TIME else seconds), int(rss), process.returncode


def loop_folder(parent, iterations):
    folder = os.path.join(parent, f"loop-{iterations}")
    os.makedirs(folder)
    shutil.copytree(ENERGY, os.path.join(folder, "EnergyConsumptionInput"))
    with open(os.path.join(folder, "src.txt"), "w") as f:
        f.write("\n".join(LOOP) + "\n")
    registers = [0] * 32
    registers[2], registers[3] = iterations, 1
    with open(os.path.join(folder, "reg.txt"), "w") as f:
        f.write("".join(f"{r}\n" for r in registers))
    with open(os.path.join(folder, "mem.txt"), "w") as f:
        f.write("".join(f"{w}\n" for w in range(16)))
    # About ten cycles an iteration; spare newlines are left unread.
    with open(os.path.join(folder, "keys"), "wb") as f:
        f.write(b"1\n" + b"\n" * (iterations * 12 + 100))
    return folder


def tally(folder, fivestage):
    """One run whose trace is counted: cycles, bytes, and every energy file read."""
    counts = {}
    markers = dict(STAGE_FILES)
    for index, line in enumerate(LOOP):
        opcode = line.split()[0]
        markers[f" Decoding : E({index})   {line}\n".encode()] = f"EnergyConsumptionInput/Decode/{opcode}/energy.txt"
    markers[b"Cpu Cycle"] = "cycles"
    overlap = max(len(m) for m in markers)
    total = 0
    tail = b""
    with open(os.path.join(folder, "keys"), "rb") as keys:
        process = subprocess.Popen([fivestage], cwd=folder, stdin=keys, stdout=subprocess.PIPE)
        while True:
            chunk = process.stdout.read(1 << 22)
            if not chunk:
                break
            total += len(chunk)
            window = tail + chunk
            # Count each marker once: only matches that end inside the new chunk.
            for marker, name in markers.items():
                counted = window.count(marker) - tail.count(marker)
                counts[name] = counts.get(name, 0) + counted
            tail = window[-overlap:]
        process.wait()
    cycles = counts.pop("cycles")
    return cycles, total, counts


def median_run(command, cwd, stdin_path, runs):
    results = [run(command, cwd, stdin_path) for _ in range(runs)]
    assert all(status == 0 for _, _, status in results), f"{command} failed"
    return statistics.median(s for s, _, _ in results), max(rss for _, rss, _ in results)


def cycle_throughput(parent, runs, iterations, fivestage, floor):
    folder = loop_folder(parent, iterations)
    keys = os.path.join(folder, "keys")
    cycles, written, reads = tally(folder, fivestage)
    program_s, program_rss = median_run([fivestage], folder, keys, runs)
    floor_command = [floor, str(cycles), str(written)] + [x for path, n in sorted(reads.items()) for x in (path, str(n))]
    floor_s, _ = median_run(floor_command, folder, keys, runs)
    return folder, cycles, written, sum(reads.values()), program_s, floor_s, program_rss


def report_run(report, folder, runs, outputs=()):
    """The report of the loop folder's whole run (its stdout goes nowhere)."""
    command = [report, folder, "--max-cycles", "100000000"]
    for option in outputs:
        command += [option, os.path.join(folder, "out." + option.lstrip("-"))]
    return median_run(command, folder, "/dev/null", runs)


def loading_folder(parent):
    folder = os.path.join(parent, "loading")
    os.makedirs(folder)
    rng = random.Random(5)
    forms = ["add $3, $1, $2", "addi $4, $5, -17", "lw $6, 12($7)", "sw $8, 4($9)", "beq $1, $2, L40",
             "sub $10, $11, $12", "j L7", "or $1, $2, $3"]
    sizes = 0
    with open(os.path.join(folder, "src.txt"), "w") as f:
        sizes += f.write("".join(rng.choice(forms) + "\n" for _ in range(100_000)))
    with open(os.path.join(folder, "reg.txt"), "w") as f:
        sizes += f.write("".join(f"{rng.randint(-10**6, 10**6)}\n" for _ in range(100_000)))
    with open(os.path.join(folder, "mem.txt"), "w") as f:
        sizes += f.write("".join(f"{rng.randint(-10**9, 10**9)}\n" for _ in range(1_000_000)))
    with open(os.path.join(folder, "keys"), "wb") as f:
        f.write(b"2\n")
    return folder, sizes


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--runs", type=int, default=3, help="timed runs per program (median)")
    parser.add_argument("--iterations", type=int, default=100_000, help="loop iterations of the long run")
    parser.add_argument("--fivestage", help="simulator executable to measure instead of this tree's release build")
    parser.add_argument("--cpu-time", action="store_true",
                        help="time each run by its processor time, not the clock (for a loaded machine)")
    args = parser.parse_args()
    global CPU_TIME
    CPU_TIME = args.cpu_time

    ensure_prerequisites()
    build()
    fivestage = os.path.abspath(args.fivestage) if args.fivestage else os.path.join(BUILD, "fivestage")
    floor_cycles = os.path.join(BUILD, "bench", "floor_cycles")
    floor_loading = os.path.join(BUILD, "bench", "floor_loading")
    ok = True
    with tempfile.TemporaryDirectory(prefix="fivestage-bench-") as parent:
        long_folder, cycles, written, reads, program_s, floor_s, rss_long = cycle_throughput(
            parent, args.runs, args.iterations, fivestage, floor_cycles)
        ratio = program_s / floor_s
        ok &= ratio <= 1.3
        print(f"1. cycles: {cycles} cycles, {written / 2**20:.0f} MiB written, {reads} energy file reads")
        print(f"   fivestage {program_s:.2f} s ({program_s / cycles * 1e6:.2f} us/cycle), "
              f"floor {floor_s:.2f} s ({floor_s / cycles * 1e6:.2f} us/cycle), "
              f"ratio {ratio:.2f} (target <= 1.3) {'ok' if ratio <= 1.3 else 'MISSED'}")

        short = loop_folder(parent, args.iterations // 10)
        _, rss_short = median_run([fivestage], short, os.path.join(short, "keys"), 1)
        growth = rss_long - rss_short
        ok &= abs(growth) <= 1024
        print(f"3a. peak memory: {rss_short} KiB at {cycles // 10} cycles, {rss_long} KiB at {cycles} cycles, "
              f"difference {growth} KiB (target within 1024) {'ok' if abs(growth) <= 1024 else 'MISSED'}")

        report = os.path.join(BUILD, "fivestage-report")
        report_s, _ = report_run(report, long_folder, args.runs)
        ratio = report_s / program_s
        ok &= ratio <= 1.5
        print(f"4. report of the {cycles}-cycle run: {report_s:.2f} s against the console's {program_s:.2f} s, "
              f"ratio {ratio:.2f} (target <= 1.5) {'ok' if ratio <= 1.5 else 'MISSED'}")
        json_s, _ = report_run(report, long_folder, args.runs, ("--json",))
        speed = cycles / json_s / 1e6
        ok &= speed >= 10
        print(f"5. headless report (--json, no trace): {json_s:.3f} s, {speed:.1f} million cycles per second "
              f"(target >= 10) {'ok' if speed >= 10 else 'MISSED'}")
        # What the grader and the comparison need: the figures, with a window
        # of one cycle (the grader's), so no chart and no details.
        figures_s, _ = median_run([report, long_folder, "--max-cycles", "100000000", "--cycles", "1:1", "--json",
                                   os.path.join(long_folder, "out.figures")], long_folder, "/dev/null", args.runs)
        speed = cycles / figures_s / 1e6
        ok &= speed >= 20
        print(f"   figures only (--cycles 1:1 --json): {figures_s:.3f} s, {speed:.1f} million cycles per second "
              f"(target >= 20) {'ok' if speed >= 20 else 'MISSED'}")
        compare_s, compare_rss = median_run([report, long_folder, "--max-cycles", "100000000", "--compare", "--json",
                                             os.path.join(long_folder, "out.compare")], long_folder, "/dev/null",
                                            args.runs)
        ratio = compare_s / json_s
        ok &= ratio <= 4
        print(f"   --compare (four machines): {compare_s:.3f} s, {ratio:.2f} x one run (target <= 4) "
              f"{'ok' if ratio <= 4 else 'MISSED'}; peak memory {compare_rss} KiB")
        all_outputs = ("--html", "--json", "--kanata")
        everything_s, everything_rss = report_run(report, long_folder, 1, all_outputs)
        _, short_rss = report_run(report, short, 1, all_outputs)
        page = os.path.getsize(os.path.join(long_folder, "out.html"))
        growth = everything_rss - short_rss
        ok &= abs(growth) <= 1024 and page < 4 * 2**20
        print(f"   with --html --json --kanata: {everything_s:.2f} s; peak memory {short_rss} KiB at {cycles // 10} "
              f"cycles, {everything_rss} KiB at {cycles} cycles, difference {growth} KiB (target within 1024); "
              f"page {page / 2**20:.1f} MiB (target < 4) {'ok' if abs(growth) <= 1024 and page < 4 * 2**20 else 'MISSED'}")

        folder, data_bytes = loading_folder(parent)
        keys = os.path.join(folder, "keys")
        program_s, program_rss = median_run([fivestage], folder, keys, args.runs)
        floor_s, _ = median_run([floor_loading], folder, keys, args.runs)
        ratio = program_s / floor_s
        ok &= ratio <= 1.5
        print(f"2. loading 100,000 source lines, 100,000 registers, 1,000,000 memory words: "
              f"fivestage {program_s:.3f} s, floor {floor_s:.3f} s, "
              f"ratio {ratio:.2f} (target <= 1.5) {'ok' if ratio <= 1.5 else 'MISSED'}")
        limit = 3 * data_bytes / 1024
        ok &= program_rss < limit
        print(f"3b. loading peak memory: {program_rss} KiB for {data_bytes / 1024:.0f} KiB of data "
              f"(target under {limit:.0f} KiB) {'ok' if program_rss < limit else 'MISSED'}")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
