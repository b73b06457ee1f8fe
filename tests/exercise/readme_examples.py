#!/usr/bin/env python3
"""Checks that the README's examples work when pasted:

- the sample exercise of "Write an exercise" matches exercise/exercise.schema.json,
  fivestage-report takes it, and the solution shown beside it passes every check;
- each answer shown in "Check an answer" makes fivestage-report --check print, byte
  for byte, the output shown right after it;
- every shell command line names commands, options and presets that exist.

Usage: readme_examples.py SOURCE_DIR FIVESTAGE FIVESTAGE_REPORT FIVESTAGE_GRADE"""
import json
import os
import re
import shlex
import subprocess
import sys
import tempfile

try:
    import jsonschema
except ImportError:
    print("needs the python3-jsonschema package (apt-get install python3-jsonschema)")
    sys.exit(1)

source, fivestage, report_tool, grade_tool = sys.argv[1:5]
tools = {"fivestage": fivestage, "fivestage-report": report_tool, "fivestage-grade": grade_tool}
failures = []


def fail(message):
    failures.append(message)
    print(f"FAIL: {message}")


def fenced_blocks(text):
    """Every fenced block as (heading it is under, info string, text)."""
    blocks, heading, fence = [], "", None
    for line in text.splitlines(keepends=True):
        if fence is None:
            if line.startswith("```"):
                fence = (heading, line[3:].strip(), [])
            elif line.startswith("#"):
                heading = line.lstrip("#").strip()
        elif line.startswith("```"):
            blocks.append((fence[0], fence[1], "".join(fence[2])))
            fence = None
        else:
            fence[2].append(line)
    return blocks


def under(blocks, heading):
    return [(info, text) for (where, info, text) in blocks if where == heading]


def check_answer(exercise, answer, work):
    """fivestage-report --check on `answer` as a folder's src.txt: (status, output)."""
    folder = tempfile.mkdtemp(dir=work)
    with open(os.path.join(folder, "src.txt"), "w") as file:
        file.write(answer)
    run = subprocess.run([report_tool, "--check", exercise, folder], capture_output=True, text=True)
    return run.returncode, run.stdout + run.stderr


def sample_exercise(blocks, work):
    """The sample exercise's file, once its JSON validates; its solution must pass it."""
    written = under(blocks, "Write an exercise")
    exercises = [text for info, text in written if info == "json"]
    solutions = [text for info, text in written if info == "asm"]
    if len(exercises) != 1 or len(solutions) != 1:
        sys.exit(f"'Write an exercise' shows {len(exercises)} exercises and {len(solutions)} solutions, not one each")
    schema = json.load(open(os.path.join(source, "exercise", "exercise.schema.json")))
    try:
        jsonschema.Draft202012Validator(schema).validate(json.loads(exercises[0]))
    except (ValueError, jsonschema.ValidationError) as error:
        sys.exit(f"the sample exercise is not valid: {error}")
    path = os.path.join(work, "sample.json")
    with open(path, "w") as file:
        file.write(exercises[0])
    status, output = check_answer(path, solutions[0], work)
    if status != 0 or not output.endswith("\npassed\n"):
        fail(f"the sample solution does not pass the sample exercise (status {status}):\n{output}")
    else:
        print("the sample exercise validates and its solution passes")
    return path


def check_outputs(blocks, exercise, work):
    """Each answer in 'Check an answer' and the output shown after it."""
    shown = under(blocks, "Check an answer")
    pairs = [(shown[i][1], shown[i + 1][1]) for i in range(len(shown) - 1)
             if shown[i][0] == "asm" and shown[i + 1][0] == "text"]
    if not pairs:
        fail("'Check an answer' shows no answer followed by its output")
    for answer, expected in pairs:
        status, output = check_answer(exercise, answer, work)
        if output != expected:
            fail(f"--check prints, for the answer\n{answer}this:\n{output}and not what the README shows:\n{expected}")
        elif status != (0 if expected.endswith("\npassed\n") else 1):
            fail(f"--check exits with {status} for the answer\n{answer}")
        else:
            print(f"--check output as shown: {expected.splitlines()[-1]}")


def help_text(tool):
    return subprocess.run([tools[tool], "--help"], capture_output=True, text=True).stdout


def check_command(words, presets):
    """One simple command: fivestage's tools with options they know, cmake and ctest with presets there are."""
    if not words:
        return
    name = os.path.basename(words[0])
    if name in tools:
        known = help_text(name)
        for word in words[1:]:
            option = word.split("=")[0]
            if option.startswith("--") and not re.search(rf"(^|[\s,\[]){re.escape(option)}\b", known):
                fail(f"{' '.join(words)}: {name} has no option {option}")
    elif name in ("cmake", "ctest"):
        for i, word in enumerate(words[:-1]):
            if word == "--preset" and words[i + 1] not in presets:
                fail(f"{' '.join(words)}: there is no preset {words[i + 1]}")


def check_command_lines(blocks):
    presets = {preset["name"] for kind in ("configurePresets", "buildPresets", "testPresets")
               for preset in json.load(open(os.path.join(source, "CMakePresets.json"))).get(kind, [])}
    checked = 0
    for _, info, text in blocks:
        if info not in ("sh", "console"):
            continue
        for line in text.splitlines():
            line = line.split(" #")[0].strip()
            if not line or line.startswith("#"):
                continue
            words = shlex.split(line)
            command = []
            for word in words + ["&&"]:
                if word in ("&&", "||", "|", ";"):
                    check_command(command, presets)
                    checked += 1
                    command = []
                else:
                    command.append(word)
    print(f"{checked} shell commands checked")


readme = open(os.path.join(source, "README.md")).read()
blocks = fenced_blocks(readme)
with tempfile.TemporaryDirectory() as work:
    exercise = sample_exercise(blocks, work)
    check_outputs(blocks, exercise, work)
check_command_lines(blocks)
if failures:
    sys.exit(f"{len(failures)} README examples do not work as shown")
