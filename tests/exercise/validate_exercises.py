#!/usr/bin/env python3
"""Validates every exercise under examples/exercises against
exercise/exercise.schema.json, and checks that the schema refuses a file
with a wrong member. Usage: validate_exercises.py SOURCE_DIR"""
import glob
import json
import os
import sys

try:
    import jsonschema
except ImportError:
    print("needs the python3-jsonschema package (apt-get install python3-jsonschema)")
    sys.exit(1)

source = sys.argv[1]
schema = json.load(open(os.path.join(source, "exercise", "exercise.schema.json")))
jsonschema.Draft202012Validator.check_schema(schema)
validator = jsonschema.Draft202012Validator(schema)

examples = sorted(glob.glob(os.path.join(source, "examples", "exercises", "*.json")))
if len(examples) != 3:
    sys.exit(f"expected three worked exercises, found {len(examples)}")
for path in examples:
    exercise = json.load(open(path))
    validator.validate(exercise)
    wrong = json.loads(json.dumps(exercise))
    wrong["data"][0]["expect"]["registers"] = {"x": 1}
    if validator.is_valid(wrong):
        sys.exit(f"{path}: the schema takes a register named x")
    for editable in (["src.txt"], ["reg.txt", "reg.txt"], ["../mem.txt"]):
        if validator.is_valid({**exercise, "editable": editable}):
            sys.exit(f"{path}: the schema takes {editable} as the files a student may edit")
    validator.validate({**exercise, "editable": ["reg.txt", "EnergyConsumptionInput/Decode/add/energy.txt"]})
    print(f"{os.path.basename(path)}: valid")
