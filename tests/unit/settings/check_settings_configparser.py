#!/usr/bin/env python3
"""Reads a settings file written by the store with Python's configparser and compares every
section, key and value with what the store itself read back."""

import base64
import configparser
import json
import os
import subprocess
import sys
import tempfile

ORDER = {
    "General": ["Language", "Logfile", "Logfilepath"],
    "Network": ["AgentPort", "PollInterval", "PollRetries", "PollTimeout"],
    "Security": ["LoginP"],
    "EVENT": ["EnableNotify", "NotifyType", "Level", "EnableSysLog"],
    "SMTP": ["Server", "Auth", "Account", "Password", "SenderName", "SenderAddr", "Port",
             "Security", "CAFile"],
}


def file_form(section, key, value):
    """The text the file must hold for a value of the record."""
    if key == "AgentPort":
        return str(value - 65536 if value > 32767 else value)
    if key in ("EnableNotify", "EnableSysLog"):
        return "Y" if value else "N"
    if key == "Password":
        return base64.b64encode(value.encode() + b"\0").decode() if value else ""
    return str(value)


def main():
    writer = sys.argv[1]
    failures = []
    with tempfile.TemporaryDirectory() as tmp:
        path = os.path.join(tmp, "QuillHT.ini")
        held = json.loads(subprocess.run([writer, path], check=True, capture_output=True,
                                         text=True).stdout)
        parser = configparser.RawConfigParser(strict=False, interpolation=None)
        parser.optionxform = str
        with open(path, encoding="utf-8") as f:
            parser.read_file(f)

        expected_sections = ["Window"] + list(ORDER)
        if parser.sections() != expected_sections:
            failures.append(f"sections {parser.sections()} != {expected_sections}")
        if dict(parser["Window"]) != {"Left": "10", "Title": "Quill = main"}:
            failures.append(f"foreign section changed: {dict(parser['Window'])}")
        for section, keys in ORDER.items():
            if section not in parser:
                continue
            if list(parser[section]) != keys:
                failures.append(f"[{section}] keys {list(parser[section])} != {keys}")
            for key in keys:
                want = file_form(section, key, held[section][key])
                got = parser[section].get(key)
                if got != want:
                    failures.append(f"[{section}] {key}: configparser {got!r}, store {want!r}")
        password = base64.b64decode(parser["SMTP"]["Password"])
        if password.rstrip(b"\0").decode() != held["SMTP"]["Password"] or not password.endswith(b"\0"):
            failures.append(f"password bytes {password!r}")
    for failure in failures:
        print(failure)
    print("ok" if not failures else f"{len(failures)} mismatches")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
