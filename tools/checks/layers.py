#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The layering of src/ as folders and the includes between them.

Each folder of src/components/ is a node, and so is each other folder of
src/ (a subsystem). The rules:
  - a component includes no subsystem;
  - no subsystem includes app/ (the entry and the main window sit on top);
  - the folders' include graph has no cycle;
  - the logic library (tipsara_logic in src/CMakeLists.txt) includes no
    window header of ours and no Qt header outside Qt Core and Qt Network,
    so that it never needs the Gui or Widgets modules.
With --graph the graph is printed, one "from -> to" line each.
Exit 0 when every rule holds, 1 otherwise (the violations are printed).
"""
import os
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def folder_of(path):
    """The node of a path relative to src/: components/<name> or <subsystem>."""
    parts = path.split("/")
    if parts[0] == "components" and len(parts) > 2:
        return "components/" + parts[1]
    return parts[0] if len(parts) > 1 else None


def graph(src):
    edges = {}
    for root, _, files in os.walk(src):
        for name in files:
            if not name.endswith((".h", ".cpp")):
                continue
            path = os.path.join(root, name)
            rel = os.path.relpath(path, src).replace(os.sep, "/")
            here = folder_of(rel)
            if here is None:
                continue
            with open(path, encoding="utf-8", errors="replace") as f:
                text = f.read()
            for inc in INCLUDE.findall(text):
                # Includes are written from src/ or beside the file.
                target = inc if "/" in inc else os.path.dirname(rel) + "/" + inc
                there = folder_of(target)
                if there and there != here and os.path.exists(os.path.join(src, target)):
                    edges.setdefault(here, {}).setdefault(there, []).append(rel)
    return edges


def cycles(edges):
    found, state, stack = [], {}, []

    def visit(node):
        state[node] = 1
        stack.append(node)
        for nxt in sorted(edges.get(node, {})):
            if state.get(nxt) == 1:
                found.append(stack[stack.index(nxt):] + [nxt])
            elif not state.get(nxt):
                visit(nxt)
        stack.pop()
        state[node] = 2

    for node in sorted(edges):
        if not state.get(node):
            visit(node)
    return found


QT_SYSTEM = re.compile(r'^\s*#\s*include\s+<(Q[A-Za-z]+)>', re.M)


def logic_sources(src):
    with open(os.path.join(src, "CMakeLists.txt"), encoding="utf-8") as f:
        text = f.read()
    block = re.search(r"add_library\(tipsara_logic STATIC(.*?)\)", text, re.S)
    return block.group(1).split() if block else []


def qt_module_of(header, qt_dirs):
    for module in ("QtCore", "QtNetwork"):
        for d in qt_dirs:
            if os.path.exists(os.path.join(d, module, header)):
                return module
    return None


def logic_problems(src):
    qt_dirs = [d for d in ("/usr/include/x86_64-linux-gnu/qt6", "/usr/include/qt6",
                           "/usr/include/aarch64-linux-gnu/qt6") if os.path.isdir(d)]
    problems, seen = [], set()
    todo = list(logic_sources(src))
    todo += [s[:-4] + ".h" for s in todo if os.path.exists(os.path.join(src, s[:-4] + ".h"))]
    while todo:
        rel = todo.pop()
        if rel in seen:
            continue
        seen.add(rel)
        with open(os.path.join(src, rel), encoding="utf-8", errors="replace") as f:
            text = f.read()
        for inc in INCLUDE.findall(text):
            target = inc if "/" in inc else os.path.dirname(rel) + "/" + inc
            if not os.path.exists(os.path.join(src, target)):
                continue
            if os.path.basename(target).startswith("U") and os.path.basename(target)[1:2].isupper():
                problems.append(f"logic file {rel} includes the window header {target}")
            elif not target.startswith("components/widgets/"):
                todo.append(target)
            else:
                problems.append(f"logic file {rel} includes the widget component {target}")
        if qt_dirs:
            for header in QT_SYSTEM.findall(text):
                if not qt_module_of(header, qt_dirs):
                    problems.append(f"logic file {rel} includes <{header}>, outside Qt Core and Network")
    return problems


def main(argv):
    src = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "src")
    edges = graph(os.path.normpath(src))
    if "--graph" in argv:
        for a in sorted(edges):
            for b in sorted(edges[a]):
                print(f"{a} -> {b}")
    problems = []
    for a, targets in sorted(edges.items()):
        for b, files in sorted(targets.items()):
            if a.startswith("components/") and not b.startswith("components/"):
                problems.append(f"component {a} includes subsystem {b} ({', '.join(sorted(set(files)))})")
            if b == "app" and a != "app":
                problems.append(f"{a} includes app/ ({', '.join(sorted(set(files)))})")
    problems += logic_problems(os.path.normpath(src))
    for c in cycles(edges):
        problems.append("cycle: " + " -> ".join(c))
    for p in problems:
        print(p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
