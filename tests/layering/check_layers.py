#!/usr/bin/env python3
"""Holds the source folders to their layers.

A folder under src/ may include headers of the folders below it, never of
one above it or beside it; the profile layer reaches the form model through
its one seam header only; nothing under src/ includes a test header; Qt
enters in the view and the program alone. tools/ and tests/ have rules of
their own (below). Every finding is printed as FILE:LINE: reason, and the
exit status is 1 when there is one.

`check_layers.py ROOT` checks the tree at ROOT; `--self-test` plants each
kind of fault in a scratch tree and fails unless every one is found.
"""
import os
import re
import sys
import tempfile

# The layers from the bottom up. Folders of one rank do not see each other.
RANKS = {
    "util": 0,
    "settings": 1,
    "trace": 1,
    "serial": 2,
    "protocol": 3,
    "scan": 4,
    "forms": 5,
    "profile": 6,
    "gui": 7,
    "app": 8,
}
# Headers made by the build, counted as part of their folder.
GENERATED = {"util/version.h"}
# The one header through which profiles (and the bench) drive a modem.
SESSION_SEAM = "forms/modem_session.h"
# Includes that break the profile rule, each to be struck once it is gone.
# An entry that no longer occurs fails the check too, so the list can only
# shrink; it is empty: profile reaches the form model through the seam alone.
KNOWN_DEBT = set()
QT_INCLUDE = re.compile(r"^\s*#\s*include\s*<(Q[A-Za-z]+|Qt[A-Za-z]*/[^>]+)>")
LOCAL_INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')
SOURCES = (".h", ".cpp", ".hpp", ".inc")


def layer_of(rel_header):
    return rel_header.split("/", 1)[0]


def check_file(root, path, findings, debt_seen):
    rel = os.path.relpath(path, root).replace(os.sep, "/")
    parts = rel.split("/")
    top = parts[0]
    where = parts[1] if len(parts) > 2 else None
    with open(path, encoding="utf-8", errors="replace") as f:
        lines = f.readlines()
    for number, line in enumerate(lines, 1):
        say = lambda reason: findings.append(f"{rel}:{number}: {reason}")
        if QT_INCLUDE.match(line):
            if not (top == "src" and where in ("gui", "app")) and top not in ("tests", "bench") and \
                    not rel.startswith(("tools/artwork/", "tools/cli/screenshot")):
                say("Qt is included below the view (only src/gui and src/app may)")
            continue
        m = LOCAL_INCLUDE.match(line)
        if not m:
            continue
        header = m.group(1)
        beside = os.path.join(os.path.dirname(path), header)
        in_src = os.path.isfile(os.path.join(root, "src", header)) or header in GENERATED
        if top == "src":
            if os.path.isfile(beside) and "/" not in header:
                # A folder's private header named without its folder.
                continue
            if not in_src:
                say(f'"{header}" is not a header of src/ (a test or tool header in the program)')
                continue
            target = layer_of(header)
            if where not in RANKS or target not in RANKS:
                say(f'"{header}": folder {where} or {target} is not a known layer')
                continue
            if target == where:
                continue
            if RANKS[target] >= RANKS[where]:
                say(f'"{header}": {where} may not include {target} (a layer at or above its own)')
            elif where == "profile" and target == "forms" and header != SESSION_SEAM:
                if (rel, header) in KNOWN_DEBT:
                    debt_seen.add((rel, header))
                    continue
                say(f'"{header}": profile reaches the form model through {SESSION_SEAM} only')
        elif top == "tools":
            tool = where
            if in_src:
                target = layer_of(header)
                if tool == "modem-sim" and target != "util":
                    say(f'"{header}": the simulator shares no code with the program but util')
                elif tool == "cli" and target in ("gui", "app") and not rel.startswith("tools/cli/screenshot"):
                    say(f'"{header}": velimo-cli is headless and may not use {target}')


def check_tree(root, debt=True):
    findings = []
    debt_seen = set()
    for base in ("src", "tools"):
        for folder, _, names in os.walk(os.path.join(root, base)):
            for name in sorted(names):
                if name.endswith(SOURCES):
                    check_file(root, os.path.join(folder, name), findings, debt_seen)
    if debt:
        for rel, header in sorted(KNOWN_DEBT - debt_seen):
            findings.append(f'{rel}:0: "{header}" is no longer included: strike it from KNOWN_DEBT')
    return sorted(findings)


def self_test():
    plants = {
        "src/util/a.h": '#include "serial/port.h"\n',  # upward
        "src/trace/b.h": '#include "settings/ini.h"\n',  # beside
        "src/serial/port.h": "#include <QString>\n",  # Qt below the view
        "src/protocol/c.cpp": '#include "support/fake.h"\n',  # test header
        "src/profile/d.cpp": '#include "forms/form.h"\n',  # past the seam
        "src/profile/e.cpp": '#include "forms/modem_session.h"\n#include "serial/port.h"\n',  # allowed
        "src/forms/form.h": '#include "util/a.h"\n#include "serial/net/n.h"\n',  # allowed
        "src/forms/modem_session.h": "",
        "src/serial/net/n.h": '#include "serial/port.h"\n',  # allowed
        "src/settings/ini.h": "",
        "tools/cli/x.cpp": '#include "gui/w.h"\n',  # headless tool
        "tools/modem-sim/y.cpp": '#include "protocol/c.h"\n',
        "src/gui/w.h": "#include <QWidget>\n",  # allowed
        "src/protocol/c.h": "",
        "tests/support/fake.h": "",
    }
    expected = {
        "src/util/a.h:1", "src/trace/b.h:1", "src/serial/port.h:1", "src/protocol/c.cpp:1",
        "src/profile/d.cpp:1", "tools/cli/x.cpp:1", "tools/modem-sim/y.cpp:1",
    }
    with tempfile.TemporaryDirectory() as root:
        for rel, text in plants.items():
            os.makedirs(os.path.dirname(os.path.join(root, rel)), exist_ok=True)
            with open(os.path.join(root, rel), "w") as f:
                f.write(text)
        found = {f.split(": ", 1)[0] for f in check_tree(root, debt=False)}
    if found != expected:
        print("self-test: missed", sorted(expected - found), "wrongly found", sorted(found - expected))
        return 1
    print(f"self-test: all {len(expected)} planted faults found, nothing else")
    return 0


def main(argv):
    if len(argv) == 2 and argv[1] == "--self-test":
        return self_test()
    if len(argv) != 2:
        print("usage: check_layers.py ROOT | --self-test")
        return 2
    findings = check_tree(argv[1])
    for finding in findings:
        print(finding)
    print(f"check_layers: {len(findings)} finding(s)")
    return 1 if findings else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
