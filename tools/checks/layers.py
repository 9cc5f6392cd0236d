#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The layering of src/ and tests/, read as the compiler reads the includes.

Each folder of src/components/ is a node, and so is each other folder of
src/ (a subsystem). Every include of every file of src/ and tests/ is
resolved as the compiler does for the translation units that reach it: a
quoted name first beside the including file, then the -iquote, -I and
-isystem folders of that unit in build/compile_commands.json (or the
database named by --compile-commands). The rules:
  - every arrow between folders is one of ALLOWED below; a new one is a
    decision, taken by adding it there with its reason;
  - the allowed arrows lead into no subsystem from a component, into app/
    from nowhere, and round no cycle;
  - the logic library (tipsara_logic in src/CMakeLists.txt) and every
    library it links reach no file of a window library (the sources of
    tipsara_gui and tipsara_widgets and their headers) and no Qt header
    outside Qt Core and Qt Network, and link no other Qt module;
  - a test of a component (tests/components/<name>/) links that component
    alone and reaches only it, the components it links, what the test
    helpers link (tests/CMakeLists.txt) and tests/support/;
  - a GoogleTest test that does not link the window library keeps to the
    logic library's rules, so that it runs and builds without widgets;
  - a component's sources are compiled with no include folder that shows a
    subsystem (src/CMakeLists.txt gives them one holding src/components/
    alone), so that the build itself refuses such an include;
  - a Qt header or a quoted include that is not found is an error, never a
    rule skipped.
With --graph the graph of src/ is printed, one "from -> to" line each.
Exit 0 when every rule holds, 1 otherwise (the violations are printed),
2 when the compile database is missing.
"""
import argparse
import json
import os
import re
import shlex
import sys

# Every arrow the folders of src/ may have, with why it is there. Arrows to
# be removed stay allowed until their removal lands, and may then go
# unused; any other entry that no include uses is reported, so that a
# removed arrow cannot come back unnoticed.
ALLOWED = {
    "app -> authoring": "the main window opens the add window",
    "app -> browser": "the main window hosts the browser and its commands",
    "app -> components/desktop": "quit signals and web links of the session",
    "app -> components/http": "the main window reports update transfer errors",
    "app -> components/text": "the command line's reports go to the terminal in UTF-8",
    "app -> components/smtp": "the anti-freeze of the mail client during a send",
    "app -> components/text": "look-up words from outside become Windows-1251",
    "app -> components/widgets": "the shared message boxes, controls and pictures",
    "app -> components/zip": "the main window reports archive errors of an update",
    "app -> data": "the main window opens and counts the database",
    "app -> mail": "the main window opens the submission window",
    "app -> search": "the main window opens the search windows",
    "app -> settings": "the main window reads and shows the preferences",
    "app -> update": "the main window runs the update",
    "authoring -> components/fb": "the user's articles are written with statements",
    "authoring -> components/text": "Windows-1251 text of the articles",
    "authoring -> components/zip": "bundles of articles are ZIP archives",
    "authoring -> components/widgets": "the add window's controls and messages",
    "authoring -> data": "the add window works on the open database",
    "browser -> authoring": "the tree's menu edits, deletes and renames one's own articles and categories",
    "browser -> components/fb": "the catalogue is read with statements",
    "browser -> components/text": "Windows-1251 pages and names",
    "browser -> components/widgets": "the page view, tree pictures and controls",
    "browser -> data": "the browser reads the open database",
    "browser -> settings": "the stored tree width and reading preferences",
    "components/fb -> components/text": "rows are Windows-1251 text",
    "components/http -> components/text": "replies and error texts are Windows-1251",
    "components/smtp -> components/text": "messages and error texts are Windows-1251",
    "components/widgets -> components/desktop": "links in pages open in the user's browser",
    "components/widgets -> components/text": "Windows-1251 text becomes QString at the widgets",
    "components/zip -> components/text": "entry names and error texts are Windows-1251",
    "data -> components/fb": "the data module attaches and queries the database",
    "data -> components/text": "Windows-1251 paths and texts",
    "data -> components/zip": "a catalogue is read from a bundle as from its folder",
    "data -> components/widgets": "the data module's window reports its errors",
    "fulltext -> components/text": "Windows-1251 articles become UTF-8 terms and back",
    "mail -> components/fb": "the submission reads its lists with statements",
    "mail -> components/smtp": "the submission is sent by the SMTP client",
    "mail -> components/text": "Windows-1251 message texts",
    "mail -> components/widgets": "the submission window's controls and messages",
    "mail -> data": "the submission reads the categories from the database",
    "mail -> settings": "the stored sender and server",
    "search -> components/fb": "the search runs its statements and reads the index's articles",
    "search -> components/text": "Windows-1251 words and collation",
    "search -> components/widgets": "the search windows' controls and messages",
    "search -> data": "the search works on the open database",
    "search -> fulltext": "the text search asks the full-text index",
    "search -> settings": "the stored search options",
    "settings -> components/text": "Windows-1251 stored values",
    "settings -> components/widgets": "the preferences dialog's controls",
    "update -> authoring": "the update run leaves the names of one's own categories alone",
    "update -> components/desktop": "the update's page opens in the user's browser",
    "update -> components/fb": "the import writes with statements",
    "update -> components/http": "the update is downloaded over HTTP",
    "update -> components/text": "Windows-1251 protocol and texts",
    "update -> components/widgets": "the update windows' controls and pictures",
    "update -> components/zip": "the downloaded archives are unpacked",
    "update -> data": "the import works on the open database",
}
TO_BE_REMOVED = {arrow for arrow, why in ALLOWED.items() if why.startswith("TO BE REMOVED")}

LOGIC = "tipsara_logic"
LOGIC_QT = {"QtCore", "QtNetwork"}
LOGIC_QT_LIBS = {"Qt6::Core", "Qt6::Network"}
WINDOW_QT = {"Qt6::Gui", "Qt6::Widgets", "Qt6::Svg"}
# What AUTOMOC makes in the build: found only once the build has run.
GENERATED = re.compile(r"(^|/)(moc_[^/]*|[^/]*\.moc|ui_[^/]*)$")
QT_NAME = re.compile(r"^(Q[A-Za-z0-9_]*|Qt[A-Za-z0-9]+/.*)$")
QT_MODULE_DIR = re.compile(r"^Qt[A-Z][A-Za-z0-9]*$")


# ---------------------------------------------------------------- sources

def without_comments(text):
    """The text with lines spliced and comments blanked, strings kept."""
    text = text.replace("\\\n", "")
    out, i = [], 0
    token = re.compile(r'R"([^(\s]*)\(.*?\)\1"|//[^\n]*|/\*.*?\*/|"(?:\\.|[^"\\\n])*"|\'(?:\\.|[^\'\\\n])*\'',
                       re.S)
    for m in token.finditer(text):
        out.append(text[i:m.start()])
        t = m.group(0)
        if t.startswith("//"):
            out.append(" ")
        elif t.startswith("/*"):
            out.append(" " + "\n" * t.count("\n"))
        else:
            out.append(t)
        i = m.end()
    out.append(text[i:])
    return "".join(out)


INCLUDE = re.compile(r'^[ \t]*#[ \t]*(?:include|include_next|import)[ \t]*(?:"([^"\n]+)"|<([^>\n]+)>|(\S.*))?', re.M)


def includes(path):
    """(name, quoted) for each include of a file; name None for a computed one."""
    with open(path, encoding="utf-8", errors="replace") as f:
        text = without_comments(f.read())
    found = []
    for m in INCLUDE.finditer(text):
        if m.group(1):
            found.append((m.group(1), True))
        elif m.group(2):
            found.append((m.group(2), False))
        else:
            found.append((m.group(3) or "", None))
    return found


# ------------------------------------------------------------------ CMake

def cmake_commands(text):
    """(command, [arguments]) of a CMakeLists text, in order."""
    text = re.sub(r'#[^\n]*', "", text)
    commands = []
    for m in re.finditer(r'\b([A-Za-z_][A-Za-z0-9_]*)\s*\(', text):
        depth, i, quoted = 1, m.end(), False
        while i < len(text) and depth:
            c = text[i]
            if c == '"' and text[i - 1] != "\\":
                quoted = not quoted
            elif not quoted and c == "(":
                depth += 1
            elif not quoted and c == ")":
                depth -= 1
            i += 1
        args = re.findall(r'"(?:\\.|[^"\\])*"|[^\s"]+', text[m.end():i - 1])
        commands.append((m.group(1).lower(), m.start(), [a.strip('"') for a in args]))
    return commands


class Target:
    def __init__(self, name, kind, folder, sources):
        self.name, self.kind, self.folder = name, kind, folder
        self.sources = [os.path.normpath(os.path.join(folder, s)) for s in sources]
        self.links = []


def read_targets(root):
    """The libraries, programs and tests of src/ and tests/ with their links."""
    lists = [os.path.join(d, "CMakeLists.txt") for d, _, files in sorted(os.walk(os.path.join(root, "src")))
             if "CMakeLists.txt" in files]
    lists += [os.path.join(d, "CMakeLists.txt") for d, _, files in sorted(os.walk(os.path.join(root, "tests")))
              if "CMakeLists.txt" in files]
    targets, helpers = {}, {}
    for path in lists:
        folder = os.path.dirname(path)
        with open(path, encoding="utf-8") as f:
            commands = cmake_commands(f.read())
        function = None
        for name, _, args in commands:
            if name == "function" and args:
                function = args[0]
                helpers[function] = []
            elif name == "endfunction":
                function = None
            elif function and name == "target_link_libraries" and args and args[0] == "${name}":
                helpers[function] += args[1:]
            elif function:
                continue
            elif name in ("add_library", "add_executable") and args:
                sources = [a for a in args[1:] if a not in ("STATIC", "SHARED", "OBJECT", "MODULE")]
                targets[args[0]] = Target(args[0], name[4:], folder, sources)
            elif name in helpers and args:
                targets[args[0]] = Target(args[0], name, folder, args[1:])
                targets[args[0]].links += helpers[name]
            elif name == "target_link_libraries" and args and args[0] in targets:
                targets[args[0]].links += args[1:]
    for t in targets.values():
        t.links = [link for link in t.links if link not in ("PUBLIC", "PRIVATE", "INTERFACE")]
        t.explicit = [link for link in t.links if link not in helpers.get(t.kind, [])]
    return targets, helpers


def closure(targets, names):
    seen, todo = set(), list(names)
    while todo:
        name = todo.pop()
        if name not in seen:
            seen.add(name)
            if name in targets:
                todo += targets[name].links
    return seen


def files_of(target):
    """A target's sources and the headers beside them."""
    owned = set()
    for s in target.sources:
        owned.add(s)
        stem = os.path.splitext(s)[0]
        for ext in (".h", ".hpp"):
            if os.path.exists(stem + ext):
                owned.add(stem + ext)
    return owned


# ------------------------------------------------------------- compiler

def include_paths(entry):
    """The quote, bracket and system folders of a compile command, in order."""
    args = entry.get("arguments") or shlex.split(entry["command"])
    where = entry["directory"]
    quote, bracket = [], []
    i = 0
    while i < len(args):
        a = args[i]
        for flag, into in (("-iquote", quote), ("-isystem", bracket), ("-idirafter", None),
                           ("-I", bracket)):
            if a.startswith(flag):
                value = a[len(flag):] or (args[i + 1] if i + 1 < len(args) else "")
                if not a[len(flag):]:
                    i += 1
                d = os.path.realpath(os.path.join(where, value))
                (into if into is not None else bracket).append(d)
                break
        i += 1
    return tuple(quote), tuple(bracket)


class Resolver:
    def __init__(self):
        self.cache = {}

    def __call__(self, name, quoted, including, paths):
        quote, bracket = paths
        key = (name, quoted, os.path.dirname(including) if quoted else None, paths)
        if key not in self.cache:
            folders = ([os.path.dirname(including)] + list(quote) if quoted else []) + list(bracket)
            self.cache[key] = next((os.path.realpath(os.path.join(d, name)) for d in folders
                                    if os.path.isfile(os.path.join(d, name))), None)
        return self.cache[key]


def qt_module(path):
    modules = [p for p in path.split(os.sep)[:-1] if QT_MODULE_DIR.match(p)]
    return modules[-1] if modules else None


# ----------------------------------------------------------------- checks

class Check:
    def __init__(self, root, database):
        self.root = os.path.realpath(root)
        self.src = os.path.join(self.root, "src")
        self.tests = os.path.join(self.root, "tests")
        self.problems = []
        self.edges = {}
        self.resolve = Resolver()
        self.targets, self.helpers = read_targets(self.root)
        with open(database, encoding="utf-8") as f:
            self.units = {}
            for entry in json.load(f):
                path = os.path.realpath(os.path.join(entry["directory"], entry["file"]))
                self.units[path] = include_paths(entry)
        self.reached = {}   # file -> include paths it was read with
        self.read = {}      # (file, paths) -> [(name, quoted, resolved)]

    def rel(self, path):
        return os.path.relpath(path, self.root)

    def ours(self, path):
        return path.startswith(self.root + os.sep) and path.split(os.sep)[len(self.root.split(os.sep))] in (
            "src", "tests", "tools")

    def node(self, path):
        if not path.startswith(self.src + os.sep):
            return None
        parts = os.path.relpath(path, self.src).split(os.sep)
        if parts[0] == "components" and len(parts) > 2:
            return "components/" + parts[1]
        # A file loose in src/ is a node of its own, not a way round the list.
        return parts[0] if len(parts) > 1 else "src"

    def is_component(self, folder):
        """Whether a folder is that of a component, whose header-only files are its own too."""
        return (self.node(os.path.join(folder, "x")) or "").startswith("components/")

    def includes_of(self, path, paths):
        key = (path, paths)
        if key not in self.read:
            found = []
            for name, quoted in includes(path):
                if quoted is None:
                    self.problems.append(f"{self.rel(path)}: a computed include ({name}) cannot be checked")
                    continue
                target = self.resolve(name, quoted, path, paths)
                if target is None and quoted and not GENERATED.search(name):
                    self.problems.append(f'{self.rel(path)}: "{name}" is found in none of its include folders')
                elif target is None and QT_NAME.match(name) and not GENERATED.search(name):
                    self.problems.append(f"{self.rel(path)}: <{name}> is found in none of its include "
                                         "folders, so its Qt module cannot be told")
                elif target is None and any(os.path.isfile(os.path.join(top, name))
                                            for top in (self.src, self.tests)):
                    self.problems.append(f"{self.rel(path)}: <{name}> is found in none of its include folders")
                found.append((name, quoted, target))
            self.read[key] = found
        return self.read[key]

    def walk(self, unit, paths):
        """Our files a translation unit reaches, each with what it includes."""
        seen, todo, result = set(), [unit], []
        while todo:
            path = todo.pop()
            if path in seen:
                continue
            seen.add(path)
            self.reached.setdefault(path, paths)
            found = self.includes_of(path, paths)
            result.append((path, found))
            todo += [t for _, _, t in found if t and self.ours(t)]
        return result

    def run(self):
        sources = {}
        for t in self.targets.values():
            for s in t.sources:
                sources.setdefault(os.path.realpath(s), t.name)
        for top in (self.src, self.tests):
            for d, _, files in os.walk(top):
                for name in files:
                    path = os.path.realpath(os.path.join(d, name))
                    if name.endswith(".cpp") and path not in sources:
                        self.problems.append(f"{self.rel(path)} is in no target of the CMakeLists")
                    elif name.endswith(".cpp") and path not in self.units:
                        self.problems.append(f"{self.rel(path)} is not in the compile database: configure again")

        logic = closure(self.targets, [LOGIC]) if LOGIC in self.targets else set()
        if LOGIC not in self.targets:
            self.problems.append(f"src/CMakeLists.txt has no {LOGIC}")
        for name in sorted(n for n in logic if n.startswith("Qt6::") and n not in LOGIC_QT_LIBS):
            self.problems.append(f"{LOGIC} links {name}")
        # Everything of src/ that the logic library does not link is the windows' side.
        windows, window_folders, window_libs = set(), set(), set(WINDOW_QT)
        for t in self.targets.values():
            if t.folder.startswith(self.src) and t.name not in logic:
                window_libs.add(t.name)
                windows |= {os.path.realpath(f) for f in files_of(t)}
                if self.is_component(t.folder):
                    window_folders.add(os.path.realpath(t.folder))

        def window_side(path):
            return path in windows or any(path.startswith(f + os.sep) for f in window_folders)

        def logic_rules(walked, who):
            for path, found in walked:
                if window_side(path):
                    self.problems.append(f"{who} reaches the window file {self.rel(path)}")
                    continue
                for name, quoted, target in found:
                    module = qt_module(target) if target and not self.ours(target) else None
                    if module and module not in LOGIC_QT:
                        self.problems.append(f"{who}: {self.rel(path)} includes <{name}> of {module}, "
                                             "outside Qt Core and Network")

        # The program's own sources; a component's compiled seeing no subsystem.
        subsystems = sorted(d for d in os.listdir(self.src)
                            if d != "components" and os.path.isdir(os.path.join(self.src, d)))
        for t in sorted(self.targets.values(), key=lambda t: t.name):
            if not t.folder.startswith(self.src):
                continue
            for s in t.sources:
                s = os.path.realpath(s)
                if s not in self.units:
                    continue
                if self.is_component(t.folder):
                    for d in (d for paths in self.units[s] for d in paths):
                        seen = [sub for sub in subsystems if os.path.realpath(os.path.join(d, sub)) ==
                                os.path.join(self.src, sub)]
                        if seen:
                            self.problems.append(f"{self.rel(s)} is compiled seeing src/{seen[0]}/ through {d}")
                walked = self.walk(s, self.units[s])
                if t.name in logic:
                    logic_rules(walked, f"{t.name} ({self.rel(s)})")

        # The tests.
        support = os.path.join(self.tests, "support")
        for t in sorted(self.targets.values(), key=lambda t: t.name):
            if not t.folder.startswith(self.tests + os.sep):
                continue
            linked = closure(self.targets, t.links)
            component = None
            parts = os.path.relpath(t.folder, self.tests).split(os.sep)
            if parts[0] == "components" and len(parts) > 1:
                component = "tipsara_" + parts[1]
                wrong = [link for link in t.explicit if link.startswith("tipsara_") and link != component]
                if wrong or component not in t.explicit:
                    self.problems.append(f"{t.name}, a test of {parts[1]}, links {', '.join(t.explicit)} "
                                         f"where it may link {component} alone")
                allowed = closure(self.targets, [component] + self.helpers.get(t.kind, []))
                allowed_files = set()
                allowed_folders = {os.path.realpath(t.folder), os.path.realpath(support)}
                for name in allowed:
                    if name in self.targets:
                        lib = self.targets[name]
                        allowed_files |= {os.path.realpath(f) for f in files_of(lib)}
                        if self.is_component(lib.folder):
                            allowed_folders.add(os.path.realpath(lib.folder))
            gui_side = bool(linked & window_libs)
            if LOGIC in t.explicit and gui_side:
                self.problems.append(f"{t.name} links {LOGIC} and a window library too")
            for s in t.sources:
                s = os.path.realpath(s)
                if s not in self.units:
                    continue
                walked = self.walk(s, self.units[s])
                who = f"{t.name} ({self.rel(s)})"
                if component:
                    for path, _ in walked:
                        if self.ours(path) and path not in allowed_files and not any(
                                path.startswith(f + os.sep) for f in allowed_folders):
                            self.problems.append(f"{who} reaches {self.rel(path)}, outside {parts[1]} "
                                                 "and what it links")
                if not gui_side:
                    logic_rules(walked, who)

        # Headers that no unit reaches are read as their folder's units read theirs.
        for top in (self.src, self.tests):
            for d, _, files in os.walk(top):
                for name in sorted(files):
                    path = os.path.realpath(os.path.join(d, name))
                    if path in self.reached or not name.endswith((".h", ".hpp", ".cpp")):
                        continue
                    beside = [u for u in sorted(self.units) if os.path.dirname(u) == os.path.realpath(d)]
                    under = [u for u in sorted(self.units) if u.startswith(top + os.sep)]
                    if beside or under:
                        self.walk(path, self.units[(beside or under)[0]])

        # Every reading of a file counts, whatever unit it was read for.
        for (path, paths), found in self.read.items():
            here = self.node(path)
            for _, _, target in found:
                there = self.node(target) if target else None
                if here and there and here != there:
                    self.edges.setdefault(f"{here} -> {there}", set()).add(self.rel(path))

        for arrow, files in sorted(self.edges.items()):
            if arrow not in ALLOWED:
                self.problems.append(f"{arrow} is not an allowed arrow ({', '.join(sorted(files))})")
        for arrow in sorted(set(ALLOWED) - set(self.edges) - TO_BE_REMOVED):
            self.problems.append(f"{arrow} is allowed but no longer used: drop it from ALLOWED")
        self.problems += allowed_list_problems()
        return self.problems


def allowed_list_problems():
    problems, graph = [], {}
    for arrow in ALLOWED:
        a, b = arrow.split(" -> ")
        graph.setdefault(a, []).append(b)
        if a.startswith("components/") and not b.startswith("components/"):
            problems.append(f"ALLOWED lets component {a} include subsystem {b}")
        if b == "app":
            problems.append(f"ALLOWED lets {a} include app/")
    state, stack = {}, []

    def visit(node):
        state[node] = 1
        stack.append(node)
        for nxt in sorted(graph.get(node, [])):
            if state.get(nxt) == 1:
                problems.append("ALLOWED has a cycle: " + " -> ".join(stack[stack.index(nxt):] + [nxt]))
            elif not state.get(nxt):
                visit(nxt)
        stack.pop()
        state[node] = 2

    for node in sorted(graph):
        if not state.get(node):
            visit(node)
    return problems


def main(argv):
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description="The layering of src/ and tests/.")
    parser.add_argument("--graph", action="store_true", help="print the folder graph of src/")
    parser.add_argument("--root", default=os.path.normpath(os.path.join(here, "..", "..")))
    parser.add_argument("--compile-commands", help="default: <root>/build/compile_commands.json")
    args = parser.parse_args(argv)
    database = args.compile_commands or os.path.join(args.root, "build", "compile_commands.json")
    if not os.path.isfile(database):
        print(f"layers: {database} is missing; configure first (bash scripts/setup.sh)", file=sys.stderr)
        return 2
    check = Check(args.root, database)
    problems = check.run()
    if args.graph:
        for arrow in sorted(check.edges):
            print(arrow)
    for p in dict.fromkeys(problems):
        print(p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
