"""CodeRunner's combinator template grader for a fivestage exercise: it writes the student's answer
to src.txt in a folder of its own, checks it with fivestage-report against exercise.json (a support
file of the question, so in the working folder) and prints the JSON that CodeRunner reads as the
mark and the feedback: a fraction, the checks as a table, the verdict.

The exercise's maxCycles caps every run; the timeout caps its wall time."""
import html
import json
import os
import subprocess
import tempfile

EXERCISE = os.environ.get("FIVESTAGE_EXERCISE", "exercise.json")
TIMEOUT = float(os.environ.get("FIVESTAGE_TIMEOUT", "30"))
ANSWER = """{{ STUDENT_ANSWER | e('py') }}"""


def not_checked(reason):
    """No marks, and why: CodeRunner gets a result even when the grader cannot run."""
    return {"fraction": 0, "prologuehtml": f"<p>The grader could not check this answer: {html.escape(reason)}</p>",
            "testresults": [["iscorrect", "ishidden"]], "epiloguehtml": ""}


def check(answer):
    with tempfile.TemporaryDirectory(dir=".") as folder:  # the sandbox's working folder is writable
        with open(os.path.join(folder, "src.txt"), "w", encoding="utf-8") as file:
            file.write(answer)
        try:
            run = subprocess.run(["fivestage-report", "--check", EXERCISE, folder, "--coderunner", "-"],
                                 capture_output=True, text=True, timeout=TIMEOUT)
        except (OSError, subprocess.TimeoutExpired) as error:
            return not_checked(str(error))
    try:
        return json.loads(run.stdout)
    except ValueError:
        return not_checked(run.stderr.strip() or f"fivestage-report ended with status {run.returncode}")


print(json.dumps(check(ANSWER)))
