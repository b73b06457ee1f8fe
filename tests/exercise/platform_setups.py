#!/usr/bin/env python3
"""Runs the grading set-ups of examples/platforms as each platform runs them, in fake platform trees
built in a scratch folder, with the fivestage-report first on the PATH:

- Gradescope's run_autograder, PrairieLearn's entrypoint (found where info.json names it), the
  CodeRunner template with the student's answer put in as CodeRunner's Twig does, and the Classroom
  workflow's checking step (the step the reporter reads, as the workflow runs it);
- each with a right answer (full marks), a wrong one (less), an empty one (none), and for the
  folder-based ones a missing src.txt and a src.txt that is a symbolic link to a right answer
  (none: no link out of the student's folder is followed);
- each with an exercise that cannot be read, and with a check that hangs past the wall time: a
  result all the same, with no marks;
- every result against the platform's JSON Schema (tests/exercise/platforms, python3-jsonschema).

Then what the teacher uploads is read as the platform reads it: info.json and question.html,
the CodeRunner XML (its template the runnable one), the workflow's YAML (python3-yaml), and every
shell script through sh -n.

Usage: platform_setups.py SOURCE_DIR"""
import base64
import json
import os
import shutil
import stat
import subprocess
import sys
import tempfile
import uuid
import xml.etree.ElementTree as ElementTree
from html.parser import HTMLParser

try:
    import jsonschema
    import yaml
except ImportError:
    print("needs the python3-jsonschema and python3-yaml packages")
    sys.exit(1)

source = sys.argv[1]
setups = os.path.join(source, "examples", "platforms")
question = os.path.join(setups, "prairielearn", "questions", "fivestage-sum-array")
exercise = os.path.join(source, "examples", "exercises", "sum-array.json")
model = open(os.path.join(source, "tests", "exercise", "solutions", "sum-array", "src.txt")).read()
PLACEHOLDER = "{{ STUDENT_ANSWER | e('py') }}"
failures = []

# Each answer: how src.txt is given ("file", "link" to a file outside the folder, None for none), its
# text, and the share of the marks it earns.
answers = {
    "right": ("file", model, 1.0),
    "wrong": ("file", "addi $1, $0, 10\nlw $1, 8($0)\n", 0.25),
    "empty": ("file", "", 0.0),
    "missing": (None, None, 0.0),
    "link": ("link", model, 0.0),
}


def expect(condition, message):
    if not condition:
        failures.append(message)
        print(f"FAIL: {message}")


def put_answer(folder, answer):
    """The student's folder holding src.txt as the answer gives it."""
    kind, text, _ = answer
    os.makedirs(folder, exist_ok=True)
    target = os.path.join(folder, "src.txt")
    if kind == "link":
        outside = os.path.join(os.path.dirname(folder), "elsewhere.txt")
        with open(outside, "w") as file:
            file.write(text)
        os.symlink(outside, target)
    elif kind == "file":
        with open(target, "w") as file:
            file.write(text)


def put_file(path, original):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    shutil.copy(original, path)


def run(command, env, cwd=None):
    done = subprocess.run(command, cwd=cwd, env=dict(os.environ, **env), capture_output=True, text=True,
                          timeout=60)
    expect(done.returncode == 0, f"{command} ended with status {done.returncode}: {done.stderr}")
    return done


def gradescope(work, answer, exercise_file, env):
    root = os.path.join(work, "autograder")
    put_file(os.path.join(root, "source", "exercise.json"), exercise_file)
    put_answer(os.path.join(root, "submission"), answer)
    run([os.path.join(setups, "gradescope", "run_autograder")], env=dict(env, AUTOGRADER_ROOT=root))
    result = json.load(open(os.path.join(root, "results", "results.json")))
    out_of = sum(test["max_score"] for test in result["tests"])
    return result, result["score"] / out_of if out_of else result["score"]


def prairielearn_info():
    return json.load(open(os.path.join(question, "info.json")))


def prairielearn(work, answer, exercise_file, env):
    # PrairieLearn copies the course's serverFilesCourse under /grade and the submitted files to
    # /grade/student; the exercise goes beside the entrypoint.
    root = os.path.join(work, "grade")
    shutil.copytree(os.path.join(setups, "prairielearn", "serverFilesCourse"), os.path.join(root, "serverFilesCourse"))
    put_file(os.path.join(root, "serverFilesCourse", "fivestage", "exercise.json"), exercise_file)
    put_answer(os.path.join(root, "student"), answer)
    entrypoint = os.path.join(root, os.path.relpath(prairielearn_info()["externalGradingOptions"]["entrypoint"], "/grade"))
    run([entrypoint], env=dict(env, GRADE_ROOT=root))
    result = json.load(open(os.path.join(root, "results", "results.json")))
    return result, result["score"]


def coderunner(work, answer, exercise_file, env):
    # CodeRunner's e('py') escapes the answer for a Python string literal, as JSON's escapes do.
    template = open(os.path.join(setups, "coderunner", "template.py")).read()
    expect(template.count(PLACEHOLDER) == 1, f"the template holds {template.count(PLACEHOLDER)} answer placeholders")
    os.makedirs(work)
    program = os.path.join(work, "prog.py")
    with open(program, "w") as file:
        file.write(template.replace(PLACEHOLDER, json.dumps(answer[1])[1:-1]))
    put_file(os.path.join(work, "exercise.json"), exercise_file)
    result = json.loads(run([sys.executable, program], cwd=work, env=env).stdout)
    return result, result["fraction"]


def classroom_steps():
    return yaml.safe_load(open(os.path.join(setups, "classroom", "classroom.yml")))["jobs"]["run-autograding-tests"]["steps"]


def reporter_step(steps):
    return next(step for step in steps if step.get("uses", "").startswith("classroom-resources/"))


def checking_step(steps):
    """The step whose result the reporter reads."""
    runner = reporter_step(steps)["with"]["runners"]
    return next(step for step in steps if step.get("id") == runner)


def classroom(work, answer, exercise_file, env):
    # The student's repository: src.txt at its root, the script and the exercise in .github/classroom.
    repository = os.path.join(work, "repository")
    put_answer(repository, answer)
    put_file(os.path.join(repository, ".github", "classroom", "grade.sh"), os.path.join(setups, "classroom", "grade.sh"))
    put_file(os.path.join(repository, ".github", "classroom", "exercise.json"), exercise_file)
    outputs = os.path.join(work, "outputs")
    with open(outputs, "w") as file:
        file.write("earlier=kept\n")
    run(["sh", "-c", checking_step(classroom_steps())["run"]], cwd=repository,
        env=dict(env, GITHUB_OUTPUT=outputs, GITHUB_WORKSPACE=repository))
    lines = open(outputs).read().splitlines()
    expect(lines[0] == "earlier=kept" and len(lines) == 2, f"Classroom: the step's outputs are {lines}")
    encoded = lines[-1].removeprefix("result=")
    result = json.loads(base64.b64decode(encoded, validate=True))
    return result, sum(test["score"] for test in result["tests"]) / result["max_score"] if result["max_score"] else 0


# Each platform: how it runs the set-up, and whether the answer is a folder (or a text).
platforms = {
    "gradescope": (gradescope, True),
    "prairielearn": (prairielearn, True),
    "coderunner": (coderunner, False),
    "classroom": (classroom, True),
}


def validate(platform, name, result):
    schema = json.load(open(os.path.join(source, "tests", "exercise", "platforms", platform + ".schema.json")))
    for error in jsonschema.Draft202012Validator(schema).iter_errors(result):
        expect(False, f"{platform}, {name}: {error.message} at {list(error.absolute_path)}")


def check_answers(work):
    for platform, (set_up, folders) in platforms.items():
        for name, answer in answers.items():
            if answer[0] != "file" and not folders:
                continue
            result, share = set_up(os.path.join(work, platform, name), answer, exercise, {})
            validate(platform, name, result)
            expect(abs(share - answer[2]) < 1e-9, f"{platform}, {name}: scores {share}, not {answer[2]}")
        print(f"{platform}: every answer scored as expected")


def check_no_check(work):
    """An exercise that cannot be read, and a check that never ends (a fivestage-report that hangs,
    with a wall time of a second): a result all the same, with no marks."""
    broken = os.path.join(work, "broken.json")
    with open(broken, "w") as file:
        file.write('{"schema": 1, "title": "cut short"')
    hanging = os.path.join(work, "hanging")
    os.makedirs(hanging)
    with open(os.path.join(hanging, "fivestage-report"), "w") as file:
        file.write("#!/bin/sh\nexec sleep 600\n")
    os.chmod(os.path.join(hanging, "fivestage-report"), 0o755)
    cases = {
        "a broken exercise": (broken, {}),
        "a check that hangs": (exercise, {"PATH": hanging + os.pathsep + os.environ["PATH"], "FIVESTAGE_TIMEOUT": "1"}),
    }
    for case, (exercise_file, env) in cases.items():
        for platform, (set_up, _) in platforms.items():
            result, share = set_up(os.path.join(work, platform, case), answers["right"], exercise_file, env)
            validate(platform, case, result)
            expect(share == 0, f"{platform}, {case}: scores {share}")
            if platform == "prairielearn":
                expect(result["gradable"] is False, f"PrairieLearn, {case}: gradable")
            if platform == "classroom":
                expect(result["status"] == "error", f"Classroom, {case}: status {result['status']}")
        print(f"{case}: every platform gets a result with no marks")


class Elements(HTMLParser):
    """Each element's name with its attributes and the names of the elements around it, and the text
    right inside each element's name."""

    def __init__(self):
        super().__init__()
        self.open, self.found, self.text = [], [], {}

    def handle_starttag(self, tag, attrs):
        self.found.append((tag, dict(attrs), list(self.open)))
        self.open.append(tag)

    def handle_data(self, data):
        if self.open:
            self.text[self.open[-1]] = self.text.get(self.open[-1], "") + data

    def handle_endtag(self, tag):
        if tag in self.open:
            del self.open[len(self.open) - 1 - self.open[::-1].index(tag):]


def check_prairielearn_question():
    info = prairielearn_info()
    uuid.UUID(info["uuid"])
    expect(info["type"] == "v3" and info["gradingMethod"] == "External" and info["singleVariant"] is True,
           f"info.json: {info}")
    options = info["externalGradingOptions"]
    expect(options["enabled"] is True and options["image"] and options["timeout"] > 0, f"info.json: {options}")
    entrypoint = os.path.relpath(options["entrypoint"], "/grade/serverFilesCourse")
    expect(any(entrypoint.startswith(shared) for shared in options["serverFilesCourse"]),
           f"info.json: the entrypoint {entrypoint} is not in the files copied to the grader")
    parser = Elements()
    parser.feed(open(os.path.join(question, "question.html")).read())
    found = {tag: (attrs, around) for tag, attrs, around in parser.found}
    expect(found.get("pl-file-editor", ({}, []))[0].get("file-name") == "src.txt"
           or "src.txt" in found.get("pl-file-upload", ({}, []))[0].get("file-names", "").split(","),
           "question.html asks for no src.txt")
    expect("pl-submission-panel" in found.get("pl-external-grader-results", ({}, []))[1],
           "question.html shows no grader results in the submission panel")
    # The question is the exercise the grader checks: its title, and its starting program in the editor.
    graded = json.load(open(exercise))
    expect(info["title"] == graded["title"], f"info.json's title is {info['title']}")
    expect(parser.text.get("pl-file-editor", "").strip() == graded["files"]["src.txt"].strip(),
           "the editor does not start with the exercise's program")
    print("PrairieLearn: info.json and question.html read as expected")


def check_coderunner_prototype():
    question = ElementTree.parse(os.path.join(setups, "coderunner", "fivestage-prototype.xml")).find("question")
    field = {child.tag: (child.text or "").strip() for child in question}
    expect(question.get("type") == "coderunner", f"the XML's question is of type {question.get('type')}")
    expect((field["prototypetype"], field["iscombinatortemplate"], field["grader"], field["language"]) ==
           ("2", "1", "TemplateGrader", "python3"), f"the XML's question: {field}")
    expect(question.find("template").text == open(os.path.join(setups, "coderunner", "template.py")).read(),
           "the XML's template is not template.py")
    print("CodeRunner: the prototype reads as expected")


def check_classroom_workflow():
    steps = classroom_steps()
    reporter = reporter_step(steps)
    runner = reporter["with"]["runners"]
    expect(reporter["env"] == {f"{runner.upper()}_RESULTS": f"${{{{ steps.{runner}.outputs.result }}}}"},
           f"the reporter reads {reporter['env']}")
    expect(steps.index(checking_step(steps)) < steps.index(reporter), "the reporter runs before the check")
    print("Classroom: the workflow reads as expected")


def check_scripts():
    scripts = [os.path.join(folder, name) for folder, _, names in os.walk(setups) for name in names
               if name.endswith(".sh") or name == "run_autograder"]
    for script in scripts:
        expect(os.stat(script).st_mode & stat.S_IXUSR, f"{script} is not executable")
        syntax = subprocess.run(["sh", "-n", script], capture_output=True, text=True)
        expect(syntax.returncode == 0, f"{script}: {syntax.stderr}")
    print(f"{len(scripts)} shell scripts: executable, and sh reads them")


with tempfile.TemporaryDirectory() as scratch:
    check_answers(scratch)
    check_no_check(scratch)
check_prairielearn_question()
check_coderunner_prototype()
check_classroom_workflow()
check_scripts()
if failures:
    sys.exit(f"{len(failures)} checks of the platforms' set-ups failed")
