#!/usr/bin/env python3
"""Reads the graders' formats with readers written elsewhere. The JUnit XML of
fivestage-report --check --junit and fivestage-grade --junit with junitparser (Debian's
python3-junitparser):

- each check is one test case, named as --check's text names it, with the points and
  maxPoints --check's JSON gives it, failed or passed as there, and the suite's counts
  and score agree;
- a hidden data set's expected and observed values appear nowhere;
- a folder without a src.txt still gets its report: every check an error saying why;
- fivestage-grade writes one suite per submission, named as given, odd characters
  included, with the grade sheet's scores.

The JSON of --gradescope, --prairielearn, --coderunner and --classroom (once its base64 is
decoded) against JSON Schemas written from each platform's documented fields
(tests/exercise/platforms), with python3-jsonschema; then their scores, for an exercise of 10
points, their tests named as the checks, a hidden data set's tests hidden where the platform
hides them and without a number but in their names, and a result, not gradable or an error,
for a folder without a src.txt.

Usage: grading_formats.py SOURCE_DIR FIVESTAGE_REPORT FIVESTAGE_GRADE"""
import base64
import json
import os
import subprocess
import sys
import tempfile

try:
    import jsonschema
    import junitparser
except ImportError:
    print("needs the python3-junitparser and python3-jsonschema packages")
    sys.exit(1)

source, report_tool, grade_tool = sys.argv[1:4]
exercise = os.path.join(source, "examples", "exercises", "sum-array.json")
model = open(os.path.join(source, "tests", "exercise", "solutions", "sum-array", "src.txt")).read()
failures = []

# Each answer: its src.txt (None for none), its score and --check's exit status.
answers = {
    "right": (model, 1.0, 0),
    "hard-coded": ("addi $1, $0, 10\nlw $1, 8($0)\n", 0.25, 1),
    "empty": ("", 0.0, 1),
    "no src.txt": (None, 0.0, 2),
}


def expect(condition, message):
    if not condition:
        failures.append(message)
        print(f"FAIL: {message}")


def make_folder(work, name, text):
    folder = os.path.join(work, name)
    os.makedirs(folder)
    if text is not None:
        with open(os.path.join(folder, "src.txt"), "w") as file:
            file.write(text)
    return folder


def properties(element):
    found = element.child(junitparser.Properties)
    return {} if found is None else {prop.name: float(prop.value) for prop in found}


def check_name(check):
    return f"{check['data'] or 'program'}: {check['check']}"


def only_suite(path):
    suites = list(junitparser.JUnitXml.fromfile(path))
    expect(len(suites) == 1, f"{path}: {len(suites)} test suites, not one")
    return suites[0]


def check_suite(name, suite, checks, score, text):
    """The suite of one graded answer against its checks in --check's JSON (hidden values shown)."""
    cases = list(suite)
    expect([case.name for case in cases] == [check_name(check) for check in checks],
           f"{name}: the cases are not the checks: {[case.name for case in cases]}")
    lines = [line[2:] for line in text.splitlines() if line[:2] in ("✓ ", "✗ ")]
    expect(len(lines) == len(cases) and all(line.startswith(case.name) for line, case in zip(lines, cases)),
           f"{name}: the cases are not named as the text names the checks")
    failed = sum(not check["passed"] for check in checks)
    expect((suite.tests, suite.failures, suite.errors, suite.skipped) == (len(checks), failed, 0, 0),
           f"{name}: counts {suite.tests} {suite.failures} {suite.errors} {suite.skipped}")
    expect(abs(properties(suite)["score"] - score) < 1e-9, f"{name}: suite score {properties(suite)}")
    earned = 0
    for case, check in zip(cases, checks):
        points = properties(case)
        earned += points["points"]
        expect(abs(points["points"] - check["points"]) < 1e-9 and abs(points["maxPoints"] - check["maxPoints"]) < 1e-9,
               f"{name}: {case.name} has points {points}, not {check['points']} of {check['maxPoints']}")
        expect(case.is_passed == check["passed"], f"{name}: {case.name} passed is {case.is_passed}")
        for result in case.result:
            expect(isinstance(result, junitparser.Failure), f"{name}: {case.name} has a {type(result).__name__}")
            hidden = check["data"] in ("six words", "one word")
            if hidden:
                # Nothing of a hidden data set's values: not the expected, not the observed, no number at all.
                expect(not any(c.isdigit() for c in result.message or ""),
                       f"{name}: {case.name} shows a hidden value: {result.message}")
            else:
                observed = "not reached" if check["observed"] is None else check["observed"]
                bound = "at most " if check["bound"] == "at most" else ""
                expect(result.message == f"{observed} (expected {bound}{check['expected']})",
                       f"{name}: {case.name} says {result.message}")
    expect(abs(earned - score) < 1e-6, f"{name}: the cases' points add up to {earned}, not {score}")


def check_answers(work):
    listed = None
    for name, (text, score, status) in answers.items():
        folder = make_folder(work, name, text)
        xml = os.path.join(work, name + ".xml")
        shown = os.path.join(work, name + ".json")
        run = subprocess.run([report_tool, "--check", exercise, folder, "--junit", xml, "--json", shown,
                              "--show-hidden"], capture_output=True, text=True)
        expect(run.returncode == status, f"{name}: exit status {run.returncode}: {run.stderr}")
        suite = only_suite(xml)
        if text is None:
            expect(not os.path.exists(shown), f"{name}: --json written without a program to check")
            cases = list(suite)
            expect([case.name for case in cases] == [check_name(check) for check in listed],
                   f"{name}: not every check listed: {[case.name for case in cases]}")
            expect((suite.tests, suite.failures, suite.errors) == (len(listed), 0, len(listed)),
                   f"{name}: counts {suite.tests} {suite.failures} {suite.errors}")
            expect(all(isinstance(result, junitparser.Error) and result.message == "not graded: there is no src.txt"
                       for case in cases for result in case.result) and all(case.result for case in cases),
                   f"{name}: the checks are not errors saying why")
            expect(properties(suite)["score"] == 0, f"{name}: scored {properties(suite)}")
            continue
        report = json.load(open(shown))
        expect(abs(report["score"] - score) < 1e-9, f"{name}: --check scores {report['score']}, not {score}")
        listed = report["checks"]
        check_suite(name, suite, listed, score, run.stdout)
        # The XML alone on standard output, and the same.
        alone = subprocess.run([report_tool, "--check", exercise, folder, "--junit", "-"], capture_output=True)
        expect(alone.stdout.startswith(b"<?xml"), f"{name}: --junit - writes {alone.stdout[:40]!r}")
        print(f"--check --junit: {name} read as expected")


def check_class(work):
    names = ["right", "hard-coded", "no src.txt", "ann & <bob> \"c\" 'd'", "tab\there"]
    folders = []
    for name in names:
        text = answers[name][0] if name in answers else model
        folders.append(make_folder(os.path.join(work, "class"), name, text))
    xml = os.path.join(work, "class.xml")
    sheet = os.path.join(work, "class.json")
    run = subprocess.run([grade_tool, exercise, *folders, "--junit", xml, "--json", sheet, "--jobs", "2"],
                         capture_output=True, text=True)
    expect(run.returncode == 0, f"fivestage-grade exits with {run.returncode}: {run.stderr}")
    suites = list(junitparser.JUnitXml.fromfile(xml))
    expect([suite.name for suite in suites] == folders, f"the suites are {[suite.name for suite in suites]}")
    grades = json.load(open(sheet))["submissions"]
    for suite, grade in zip(suites, grades):
        expect(abs(properties(suite)["score"] - grade["score"]) < 1e-9,
               f"{suite.name}: scored {properties(suite)} against {grade['score']}")
        expect(suite.errors == (0 if grade["error"] is None else suite.tests), f"{suite.name}: {suite.errors} errors")
        expect(sum(not case.is_passed for case in suite) == suite.failures + suite.errors,
               f"{suite.name}: the cases do not add up to its counts")
    root = junitparser.JUnitXml.fromfile(xml)
    expect(root.tests == sum(suite.tests for suite in suites), f"the whole report counts {root.tests} tests")
    print(f"fivestage-grade --junit: {len(suites)} suites read as expected")


def schema_of(name):
    return jsonschema.Draft202012Validator(
        json.load(open(os.path.join(source, "tests", "exercise", "platforms", name + ".schema.json"))))


def digit_free(value, name):
    """No number in any text of a value but in the check's name: nothing of a hidden data set's values."""
    if isinstance(value, str):
        return not any(c.isdigit() for c in value.replace(name, ""))
    if isinstance(value, dict):
        return all(digit_free(item, name) for item in value.values())
    if isinstance(value, list):
        return all(digit_free(item, name) for item in value)
    return True


def platform_results(work, name, exercise_file, folder):
    """Every format at once, with --json and --show-hidden, which the formats must not heed."""
    paths = {fmt: os.path.join(work, f"{name}.{fmt}") for fmt in ("gradescope", "prairielearn", "coderunner",
                                                                  "classroom", "junit", "json")}
    run = subprocess.run([report_tool, "--check", exercise_file, folder, "--show-hidden"] +
                         [arg for fmt, path in paths.items() for arg in (f"--{fmt}", path)],
                         capture_output=True, text=True)
    results = {}
    for fmt in ("gradescope", "prairielearn", "coderunner"):
        results[fmt] = json.load(open(paths[fmt]))
    encoded = open(paths["classroom"]).read()
    expect(encoded.endswith("\n") and "\n" not in encoded[:-1], f"{name}: the Classroom result is not one line")
    results["classroom"] = json.loads(base64.b64decode(encoded.rstrip("\n"), validate=True))
    shown = json.load(open(paths["json"])) if os.path.exists(paths["json"]) else None
    return run, results, shown


def check_platforms(work):
    points = 10
    scaled = os.path.join(work, "scaled.json")
    with open(scaled, "w") as file:
        json.dump(dict(json.load(open(exercise)), points=points), file)
    schemas = {fmt: schema_of(fmt) for fmt in ("gradescope", "prairielearn", "coderunner", "classroom")}
    listed = None
    for name, (text, share, status) in answers.items():
        folder = make_folder(os.path.join(work, "platforms"), name, text)
        run, results, shown = platform_results(work, name, scaled, folder)
        expect(run.returncode == status, f"{name}: exit status {run.returncode}: {run.stderr}")
        for fmt, schema in schemas.items():
            for error in schema.iter_errors(results[fmt]):
                expect(False, f"{name}: {fmt}: {error.message} at {list(error.absolute_path)}")
        gradescope, prairielearn, coderunner, classroom = (results[fmt] for fmt in schemas)
        expect(abs(gradescope["score"] - share * points) < 1e-6, f"{name}: Gradescope score {gradescope['score']}")
        expect(abs(prairielearn["score"] - share) < 1e-9, f"{name}: PrairieLearn score {prairielearn['score']}")
        expect(abs(coderunner["fraction"] - share) < 1e-9, f"{name}: CodeRunner fraction {coderunner['fraction']}")
        expect(abs(sum(test["score"] for test in classroom["tests"]) - share * points) < 1e-6,
               f"{name}: Classroom tests score {[test['score'] for test in classroom['tests']]}")
        expect(classroom["max_score"] == points, f"{name}: Classroom max_score {classroom['max_score']}")
        rows = coderunner["testresults"][1:]
        header = coderunner["testresults"][0]
        if shown is not None:
            listed = shown["checks"]
        names = [check_name(check) for check in listed]
        expect([test["name"] for test in gradescope["tests"]] == names, f"{name}: Gradescope tests {gradescope['tests']}")
        expect([test["name"] for test in prairielearn["tests"]] == names, f"{name}: PrairieLearn tests")
        expect([test["name"] for test in classroom["tests"]] == names, f"{name}: Classroom tests")
        expect([row[header.index("Check")] for row in rows] == names, f"{name}: CodeRunner rows")
        for check, test, pl_test, row, cl_test in zip(listed, gradescope["tests"], prairielearn["tests"], rows,
                                                      classroom["tests"]):
            hidden = check["data"] in ("six words", "one word")
            expect(test["visibility"] == ("after_published" if hidden else "visible"),
                   f"{name}: {test['name']} is {test['visibility']}")
            expect(row[header.index("ishidden")] == hidden, f"{name}: CodeRunner {row}")
            if hidden:
                expect(all(digit_free(item, test["name"]) for item in (test, pl_test, row, cl_test)),
                       f"{name}: a hidden value shows in {test}, {pl_test}, {row}, {cl_test}")
        if text is None:
            expect(prairielearn["gradable"] is False and prairielearn["format_errors"] == ["there is no src.txt"],
                   f"{name}: PrairieLearn {prairielearn}")
            expect(classroom["status"] == "error" and all(test["status"] == "error" for test in classroom["tests"]),
                   f"{name}: Classroom status {classroom['status']}")
            expect("not graded: there is no src.txt" in gradescope["output"], f"{name}: {gradescope['output']}")
            expect(gradescope["leaderboard"] == [], f"{name}: a leaderboard without a run")
            continue
        expect(prairielearn["gradable"] is True, f"{name}: PrairieLearn says not gradable")
        expect(classroom["status"] == ("pass" if shown["passed"] else "fail"), f"{name}: {classroom['status']}")
        expect(all(row[header.index("iscorrect")] == check["passed"] for row, check in zip(rows, listed)),
               f"{name}: CodeRunner's iscorrect")
        # Only an answer whose results are all right is on the leaderboard: an empty program is quickest.
        limits = {"instructions", "cycles", "stalls", "mispredictions", "energy", "energy-delay", "wrong-path energy",
                  "as meant"}
        races = all(check["passed"] for check in shown["checks"] if check["check"] not in limits)
        board = {entry["name"]: entry for entry in gradescope["leaderboard"]}
        expect(set(board) == ({"cycles", "energy"} if races else set()) and
               all(entry["order"] == "asc" for entry in board.values()),
               f"{name}: leaderboard {gradescope['leaderboard']}")
        # A limit kept by an answer with wrong results is passed without points, and says why.
        for check, test in zip(shown["checks"], gradescope["tests"]):
            unpaid = check["passed"] and check["points"] < check["maxPoints"]
            expect(unpaid == test["output"].endswith("once every data set's results are right"),
                   f"{name}: {test['name']}: {test['output']}")
        # The output is the student's text of the checks, as --check prints it without --show-hidden.
        student = subprocess.run([report_tool, "--check", scaled, folder], capture_output=True, text=True)
        expect(gradescope["output"] == student.stdout and prairielearn["output"] == student.stdout,
               f"{name}: the output is not the student's text")
        print(f"platform formats: {name} scores {share * points} of {points} and validates")
    # Each may go to standard output alone.
    alone = subprocess.run([report_tool, "--check", scaled, os.path.join(work, "platforms", "right"),
                            "--prairielearn", "-"], capture_output=True, text=True)
    expect(json.loads(alone.stdout)["score"] == 1, f"--prairielearn - writes {alone.stdout[:60]!r}")


with tempfile.TemporaryDirectory() as work:
    check_answers(work)
    check_class(work)
    check_platforms(work)
if failures:
    sys.exit(f"{len(failures)} checks of the graders' formats failed")
