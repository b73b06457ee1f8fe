#!/usr/bin/env python3
"""Runs fivestage-report --json on runs of every kind and validates each
report against report/report.schema.json; checks a few figures as well.
Usage: validate_json.py FIVESTAGE_REPORT SOURCE_DIR"""
import json
import os
import shutil
import subprocess
import sys
import tempfile

try:
    import jsonschema
except ImportError:
    print("needs the python3-jsonschema package (apt-get install python3-jsonschema)")
    sys.exit(1)

report, source = sys.argv[1], sys.argv[2]
schema = json.load(open(os.path.join(source, "report", "report.schema.json")))
jsonschema.Draft202012Validator.check_schema(schema)
validator = jsonschema.Draft202012Validator(schema)
energy = os.path.join(source, "tests", "e2e", "energy", "EnergyConsumptionInput")

# program, extra arguments, expected status text start, exit status
RUNS = {
    "completed": ("add $3, $1, $2\nadd $4, $3, $5\nbeq $0, $0, L5\nadd $1, $1, $1\nsw $1, 0($0)\n", [], "completed", 0),
    "failed": ("add $3, $1, $2\nxor $1, $1, $1\n", [], "File could not be loaded", 1),
    "stopped": ("j L1\n", ["--max-cycles", "40"], "stopped", 1),
    "windowed": ("add $3, $1, $2\nadd $4, $3, $5\n", ["--cycles", "3:4"], "completed", 0),
    "warnings": ("ori $1, $1, 1\n\nj L0\nadd $40, $1, $1\n", [], "File could not be loaded", 1),
    "not loaded": (None, [], "File src.txt could not be loaded", 1),
    "odd bytes": ("add $3, $1, $2 \xff\xfe <b>&\n", [], "completed", 0),
    "both options": ("addi $1, $0, 2\naddi $2, $0, 0\naddi $2, $2, 1\nsw $3, 0($0)\nadd $4, $3, $2\n"
                     "bne $2, $1, L3\nj L9\naddi $5, $0, 1\n", ["--forwarding", "--flush"], "completed", 0),
    "2-bit predictor": ("addi $1, $0, 3\naddi $2, $0, 0\naddi $2, $2, 1\nbne $2, $1, L3\nbeq $2, $0, L1\n"
                        "j L7\naddi $5, $0, 1\n", ["--predictor", "2-bit"], "completed", 0),
    "shared entry": ("addi $1, $0, 3\naddi $2, $0, 0\naddi $2, $2, 1\nbne $2, $1, L3\nbeq $2, $0, L1\n",
                     ["--forwarding", "--predictor", "1-bit", "--predictor-entries", "1"], "completed", 0),
    "taken predictor": ("addi $1, $0, 2\naddi $2, $0, 0\naddi $2, $2, 1\nbne $2, $1, L3\n", ["--predictor", "taken"],
                        "completed", 0),
}

failures = 0
for name, (program, arguments, status, exit_status) in RUNS.items():
    with tempfile.TemporaryDirectory() as folder:
        shutil.copytree(energy, os.path.join(folder, "EnergyConsumptionInput"))
        if program is not None:
            with open(os.path.join(folder, "src.txt"), "w", encoding="latin-1") as f:
                f.write(program)
        with open(os.path.join(folder, "reg.txt"), "w") as f:
            f.write("".join(f"{r}\n" for r in range(8)))
        with open(os.path.join(folder, "mem.txt"), "w") as f:
            f.write("5\n")
        result = subprocess.run([report, folder, "--json", os.path.join(folder, "report.json")] + arguments,
                                stdout=subprocess.DEVNULL)
        data = json.load(open(os.path.join(folder, "report.json")))
        errors = list(validator.iter_errors(data))
        problems = [f"{list(e.path)}: {e.message}" for e in errors]
        if result.returncode != exit_status or data["exitStatus"] != exit_status:
            problems.append(f"exit status {result.returncode}, exitStatus {data['exitStatus']}, wanted {exit_status}")
        if not data["status"].startswith(status):
            problems.append(f"status {data['status']!r}, wanted {status!r}...")
        if data["energy"]["total"] != sum(data["energy"]["byStage"].values()):
            problems.append("energy total is not the sum of the stages")
        if data["energy"]["total"] != sum(data["energy"]["byOpcode"].values()):
            problems.append("energy total is not the sum of the opcodes")
        if data["energy"]["total"] != sum(line["energy"] for line in data["energy"]["byLine"]):
            problems.append("energy total is not the sum of the lines")
        breakdown = data["cycleBreakdown"]
        if (breakdown is None) != (data["status"] != "completed" or data["completed"] == 0):
            problems.append("a breakdown where there is none, or none where there is one")
        if breakdown is not None and sum(breakdown.values()) != data["cycles"]:
            problems.append(f"the breakdown {breakdown} does not add up to {data['cycles']} cycles")
        if data["fetched"] != data["completed"] + data["cancelled"] and data["status"] == "completed":
            problems.append("fetched is not completed plus cancelled")
        if sum(group["count"] for group in data["stallGroups"]) != data["stallCount"]:
            problems.append("the stall groups do not count every stall")
        if sum(group["cyclesLost"] for group in data["stallGroups"]) != data["cyclesLost"]:
            problems.append("the stall groups do not add up to the cycles lost")
        if program is not None and len(data["finalRegisters"]) != 8:
            problems.append("the final register file does not have the 8 registers of reg.txt")
        for change in data["registers"]:
            if data["finalRegisters"][change["register"]] != change["final"]:
                problems.append(f"register {change['register']} differs between the changes and the final file")
        if data["window"]["from"] == 1 and data["cycles"] <= data["window"]["to"]:
            if len(data["chart"]) != data["fetched"]:
                problems.append("the chart does not have one row per fetch")
            if sum(row["cells"].count("s") + row["cells"].count("f") for row in data["chart"]) != data["cyclesLost"]:
                problems.append("the chart's s and f cells do not add up to the cycles lost")
            per_cycle = sum(sum(v for k, v in cycle.items() if k != "cycle") for cycle in data["energyPerCycle"])
            if per_cycle != data["energy"]["total"]:
                problems.append("the energy per cycle does not add up to the total")
        predicting = data["machine"]["predictor"] != "not-taken"
        if ("prediction" in data) != predicting:
            problems.append("a prediction object without a predictor, or none with one")
        if predicting:
            prediction = data["prediction"]
            if sum(b["mispredicted"] for b in prediction["branches"]) != prediction["mispredictions"]:
                problems.append("the branches do not add up to the mispredictions")
            if sum(b["executions"] for b in prediction["branches"]) != prediction["resolved"]:
                problems.append("the branches do not add up to the branches resolved")
            if sum(not step["right"] for step in prediction["history"]) != prediction["mispredictions"]:
                problems.append("the history does not show every misprediction")
            # Every cancelled fetch costs its cycle, but one as the program drains.
            if prediction["cyclesLost"] != data["cycleBreakdown"]["cancelled"]:
                problems.append("the cycles lost to mispredictions are not those of the cycle breakdown")
            if data["cancelled"] - prediction["cyclesLost"] not in (0, 1):
                problems.append("the cycles lost to mispredictions are not the cancelled fetches")
        for problem in problems:
            print(f"{name}: {problem}")
        failures += len(problems)
        print(f"{name}: {'ok' if not problems else 'FAILED'}")
sys.exit(1 if failures else 0)
