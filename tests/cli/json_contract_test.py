#!/usr/bin/python3
"""vantrel-flash --json through every command and every way a command ends,
each document and station line checked against the published schema.

    json_contract_test.py VANTREL_FLASH SCHEMA RECORDINGS_FOLDER
"""

import json
import os
import signal
import subprocess
import sys
import tempfile
import time

from jsonschema import Draft202012Validator

flash, schema_path, recordings = sys.argv[1:4]
with open(schema_path, encoding="utf-8") as schema_file:
    schema = json.load(schema_file)
Draft202012Validator.check_schema(schema)
validator = Draft202012Validator(schema)
document_validator = Draft202012Validator({**schema, "oneOf": [{"$ref": "#/$defs/document"}]})
line_validator = Draft202012Validator({**schema, "oneOf": [{"$ref": "#/$defs/stationLine"}]})

failures = []
scratch = tempfile.mkdtemp(prefix="vantrel-json-contract-")
# The default history and the spool in the scratch folder, never the user's.
environment = {name: value for name, value in os.environ.items() if name != "VANTREL_HISTORY_URL"}
environment["XDG_DATA_HOME"] = os.path.join(scratch, "data")


def fail(case, what):
    failures.append(f"{case}: {what}")


def check(case, validator_used, value):
    errors = sorted(validator_used.iter_errors(value), key=str)
    for error in errors[:3]:
        fail(case, f"{error.message} at {list(error.absolute_path)}")
    return not errors


def run(arguments, timeout=120):
    return subprocess.run([flash, *arguments], capture_output=True, timeout=timeout, check=False, env=environment)


def document_case(case, arguments, exit_code, error_kind):
    """A command that writes one document."""
    ended = run(["--json", *arguments])
    if ended.returncode != exit_code:
        fail(case, f"exit code {ended.returncode}, not {exit_code}: {ended.stderr.decode(errors='replace')}")
    try:
        document = json.loads(ended.stdout)
    except json.JSONDecodeError as error:
        fail(case, f"standard output is no JSON document ({error}): {ended.stdout[:200]!r}")
        return None
    if check(case, document_validator, document):
        if document["exitCode"] != ended.returncode:
            fail(case, f"exitCode {document['exitCode']} in the document, {ended.returncode} on exit")
        if document["errorKind"] != error_kind:
            fail(case, f"errorKind {document['errorKind']!r}, not {error_kind!r}")
    return document


def recording(name):
    return os.path.join(recordings, name + ".jsonl")


def scratch_file(name, text):
    path = os.path.join(scratch, name)
    with open(path, "w", encoding="utf-8") as file:
        file.write(text)
    return path


MAX, FLEX = "max", "flex"
history = os.path.join(scratch, "history.sqlite")
damaged_history = scratch_file("damaged.sqlite", "x" * 4096)
cases = [
    # name, arguments, exit code, error kind
    ("list", ["list", "--simulate", MAX, "--simulate", "flex,installed", "--simulate", "arm-basic,serial=0401"], 0, None),
    ("list with an unreadable adapter", ["list", "--simulate", "max,fault=no-reply"], 0, None),
    ("list of none", ["list"], 3, "not-found"),
    ("info", ["info", "--simulate", "flex,installed"], 0, None),
    ("info unsupported", ["info", "--simulate", "arm-basic,serial=0401"], 1, "unsupported"),
    ("info not found", ["info", "--serial", "X", "--simulate", MAX], 3, "not-found"),
    ("info ambiguous", ["info", "--simulate", MAX, "--simulate", FLEX], 3, "ambiguous"),
    ("install", ["install", "--simulate", MAX], 0, None),
    ("install if needed, current", ["install", "--if-needed", "--simulate", "flex,installed"], 0, None),
    ("install all, one failing", ["install", "--all", "--simulate", "max,serial=A",
                                  "--simulate", "flex,serial=B,fault=write",
                                  "--simulate", "arm-basic,serial=0401"], 1, "write-failed"),
    ("install ambiguous", ["install", "--simulate", MAX, "--simulate", FLEX], 3, "ambiguous"),
    ("install not found", ["install", "--port", "9-9", "--simulate", MAX], 3, "not-found"),
    ("verify", ["verify", "--simulate", "max,installed"], 0, None),
    ("verify differs", ["verify", "--simulate", "max,installed,damaged=3"], 1, "verify-mismatch"),
    ("usage: unknown option", ["list", "--bogus"], 2, "usage"),
    ("usage: no command", [], 2, "usage"),
    ("usage: given twice", ["install", "--serial", "A", "--serial", "B"], 2, "usage"),
    ("usage: bad simulation", ["list", "--simulate", "toaster"], 2, "usage"),
    ("version", ["--version"], 0, None),
    ("help", ["--help"], 0, None),
    ("bad recording: missing", ["--replay", os.path.join(scratch, "missing.jsonl"), "install"], 2, "bad-recording"),
    ("bad recording: not one", ["--replay", scratch_file("garbage.jsonl", "not a recording\n"), "install"], 2,
     "bad-recording"),
    ("bad recording: another command", ["--replay", recording("list"), "install"], 2, "bad-recording"),
    ("recording cannot be made", ["--record", os.path.join(scratch, "no-such-folder", "r.jsonl"), "list",
                                  "--simulate", MAX], 2, "recording-failed"),
    ("replay", ["--replay", recording("install-flex"), "install"], 0, None),
]
# Every fault the simulator has, through install.
for fault, kind in [("busy", "device-busy"), ("connect", "connect-failed"), ("erase", "erase-failed"),
                    ("write", "write-failed"), ("verify", "verify-failed"), ("crc", "verify-mismatch"),
                    ("disconnect", "disconnect-failed"), ("no-reply", "no-reply"), ("unplug", "link-failed"),
                    ("no-permission", "no-permission"), ("no-driver", "open-failed"), ("link", "link-failed"),
                    ("wrong-version", "wrong-version"), ("garbled", "device-error")]:
    cases.append((f"install, fault {fault}", ["install", "--simulate", f"max,fault={fault}"], 1, kind))
cases.append(("install, never back", ["install", "--simulate", "max,installed,fault=never-back"], 1, "not-back"))
cases.append(("install, unsupported", ["install", "--simulate", "unsupported"], 1, "unsupported"))
cases.append(("replay of an interrupted install", ["--replay", recording("interrupted-install"), "install"], 130,
              "interrupted"))
# The history: each result as it was kept, and the history command's paths.
cases += [
    ("install, kept", ["install", "--history", history, "--station", "json-1", "--simulate", MAX], 0, None),
    ("verify differs, kept", ["verify", "--history", history, "--simulate", "max,installed,damaged=3"], 1,
     "verify-mismatch"),
    ("install failing, kept", ["install", "--history", history, "--simulate", "flex,fault=write"], 1, "write-failed"),
    ("install, spooled", ["install", "--history", damaged_history, "--simulate", MAX], 0, None),
    ("install, history required and damaged", ["install", "--history", damaged_history, "--require-history",
                                               "--simulate", MAX], 4, "history-failed"),
    ("install, history malformed", ["install", "--history", "postgresql://h:0/x", "--simulate", MAX], 2, "usage"),
    ("history", ["history", "--history", history], 0, None),
    ("history of one outcome", ["history", "--history", history, "--outcome", "failed", "--since", "2025-01-01"], 0,
     None),
    ("history, none match", ["history", "--history", history, "--serial", "nobody"], 0, None),
    ("history of a missing file", ["history", "--history", os.path.join(scratch, "missing.sqlite")], 4,
     "history-failed"),
    ("history of a damaged file", ["history", "--history", damaged_history], 4, "history-failed"),
    ("history, bad date", ["history", "--since", "soon"], 2, "usage"),
]

documents = {}
for case, arguments, exit_code, error_kind in cases:
    documents[case] = document_case(case, arguments, exit_code, error_kind)

# What the history kept is what the commands reported.
listed = documents.get("history") or {"entries": []}
if [entry["outcome"] for entry in listed["entries"]] != ["installed", "differs", "failed"]:
    fail("history", f"entries {[entry['outcome'] for entry in listed['entries']]}")
spooled = documents.get("install, spooled") or {"adapters": [{}]}
if spooled["adapters"][0].get("history", {}).get("spooled") is not True:
    fail("install, spooled", f"history {spooled['adapters'][0].get('history')}")

# A replay that asks for other exchanges than were recorded.
with open(recording("install-flex"), encoding="utf-8") as file:
    text = file.read()
diverging = scratch_file("diverging.jsonl", text.replace('"data":"fe01"', '"data":"fe00"', 1))
document_case("replay diverged", ["--replay", diverging, "install"], 1, "replay-diverged")

# Interrupted: a real-time install stopped by SIGINT once it is under way.
process = subprocess.Popen([flash, "--json", "install", "--real-time", "--simulate", MAX],
                           stdout=subprocess.PIPE, stderr=subprocess.PIPE)
time.sleep(1.0)
process.send_signal(signal.SIGINT)
out, err = process.communicate(timeout=120)
if process.returncode != 130:
    fail("interrupted", f"exit code {process.returncode}: {err.decode(errors='replace')}")
try:
    document = json.loads(out)
    if check("interrupted", document_validator, document) and document["outcome"] != "interrupted":
        fail("interrupted", f"outcome {document['outcome']}")
except json.JSONDecodeError as error:
    fail("interrupted", f"no JSON document ({error})")

# A station: a line per adapter, and a refused station's one line.
station = run(["--json", "install", "--wait", "--count", "2", "--if-needed", "--history", history,
               "--simulate", "max,serial=A,arrive=1,leave=10", "--simulate", "flex,serial=B,installed,arrive=15"])
lines = station.stdout.decode().splitlines()
if station.returncode != 0 or len(lines) != 2:
    fail("station", f"exit code {station.returncode}, {len(lines)} lines: {station.stderr.decode(errors='replace')}")
for number, line in enumerate(lines, 1):
    value = json.loads(line)
    if check(f"station line {number}", line_validator, value) and value["sequence"] != number:
        fail(f"station line {number}", f"sequence {value['sequence']}")
refused = run(["--json", "install", "--wait", "--count", "0"])
if refused.returncode != 2 or len(refused.stdout.decode().splitlines()) != 1:
    fail("refused station", f"exit code {refused.returncode}, output {refused.stdout!r}")
else:
    check("refused station", document_validator, json.loads(refused.stdout))
required = run(["--json", "install", "--wait", "--history", damaged_history, "--require-history", "--simulate", MAX])
if required.returncode != 4 or len(required.stdout.decode().splitlines()) != 1:
    fail("station refused for its history", f"exit code {required.returncode}, output {required.stdout!r}")
else:
    check("station refused for its history", document_validator, json.loads(required.stdout))

# Everything written validates against the schema as a whole too.
for failure in failures:
    print("FAILED:", failure)
print(f"{len(cases) + 5} paths checked, {len(failures)} failures")
sys.exit(1 if failures else 0)
