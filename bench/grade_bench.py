#!/usr/bin/env python3
"""Times fivestage-grade on a class of 1,000 submissions to an exercise whose
answer runs about 10,000 cycles on each of its 3 data sets.
Target: at most 10 s on this machine (2 cores), with the default --jobs.
Usage: bench/grade_bench.py [--grade PATH] [--runs N] [--submissions N]
(--grade defaults to build/release/fivestage-grade: build the release preset first.)
"""
import argparse
import json
import os
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# Counts $1 up to $3 (from the data set) and adds each count into $2: about
# 6 cycles a turn, so $3 = 1,666 turns is about 10,000 cycles.
ANSWER = """addi $1, $1, 1
add $2, $2, $1
bne $1, $3, L1
addi $7, $7, 0
lw $2, 8($0)
"""


def data_set(name, turns, hidden):
    registers = [0, 0, 0, turns] + [0] * 4
    return {"name": name, "hidden": hidden, "reg.txt": "".join(f"{r}\n" for r in registers),
            "mem.txt": "0\n" * 10, "expect": {"memory": {"8": turns * (turns + 1) // 2}}}


def exercise():
    return {"schema": 1, "title": "Triangle numbers", "statement": "Store 1 + 2 + ... + $3 in word 8.",
            "files": {"src.txt": "# your program\n"}, "maxCycles": 20000,
            "data": [data_set("seen", 1666, False), data_set("more", 1667, True), data_set("fewer", 1665, True)],
            "limits": {"cycles": 12000}}


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--grade", default=os.path.join(ROOT, "build", "release", "fivestage-grade"))
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--submissions", type=int, default=1000)
    arguments = parser.parse_args()
    if not os.access(arguments.grade, os.X_OK):
        sys.exit(f"no {arguments.grade}: cmake --preset release && cmake --build --preset release")

    with tempfile.TemporaryDirectory() as work:
        exercise_file = os.path.join(work, "exercise.json")
        with open(exercise_file, "w") as out:
            json.dump(exercise(), out)
        folders = []
        for i in range(arguments.submissions):
            folder = os.path.join(work, "class", f"s{i:04}")
            os.makedirs(folder)
            with open(os.path.join(folder, "src.txt"), "w") as out:
                out.write(ANSWER)
            folders.append(folder)
        csv = os.path.join(work, "grades.csv")
        times = []
        for _ in range(arguments.runs):
            start = time.perf_counter()
            subprocess.run([arguments.grade, exercise_file, *folders, "--csv", csv], check=True,
                           stdout=subprocess.DEVNULL)
            times.append(time.perf_counter() - start)
        with open(csv) as grades:
            rows = grades.read().splitlines()[1:]
        passed = sum(1 for row in rows if ",true," in row)
        cycles = rows[0].split(",")[3]
    median = statistics.median(times)
    print(f"{arguments.submissions} submissions x 3 data sets, {cycles} cycles on the first: "
          f"median {median:.2f} s over {arguments.runs} runs ({', '.join(f'{t:.2f}' for t in times)}), "
          f"{passed} passed; target <= 10 s")
    if passed != arguments.submissions:
        sys.exit("every submission should pass")
    sys.exit(0 if median <= 10 else 1)


if __name__ == "__main__":
    main()
