#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""tools/checks/layers.py against faults planted one at a time in a copy of
the tree, read with a compile database made here (every unit sees src/, a
component only src/components/ as the build has it, the tests tests/ too, and
all see every Qt module), so that no build is needed and the Qt module of a
header is what Qt's own folders say."""
import argparse
import contextlib
import json
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
CHECK = os.path.join(ROOT, "tools", "checks", "layers.py")
ARGS = None


def compile_database(root, qt_headers, components_see_src=False):
    # The components' own include folder, as src/CMakeLists.txt makes it.
    own = os.path.join(root, "component-include", "src")
    if not os.path.exists(own):
        os.makedirs(own)
        os.symlink(os.path.join(root, "src", "components"), os.path.join(own, "components"))
    modules = sorted(m for m in os.listdir(qt_headers) if m.startswith("Qt")) if os.path.isdir(qt_headers) else []
    entries = []
    for top in ("src", "tests"):
        for d, _, files in os.walk(os.path.join(root, top)):
            for name in files:
                if name.endswith(".cpp"):
                    component = os.path.relpath(d, root).startswith("src/components/")
                    flags = ["-I" + (own if component and not components_see_src else os.path.join(root, "src"))]
                    if top == "tests":
                        # The look test's palette comes from the screenshot tool.
                        flags = ["-I" + os.path.join(root, "tests"), *flags, "-I" + os.path.join(ROOT, "tools")]
                    flags += ["-isystem", qt_headers]
                    for module in modules:
                        flags += ["-isystem", os.path.join(qt_headers, module)]
                    path = os.path.join(d, name)
                    entries.append({"directory": root, "file": path,
                                    "arguments": ["c++", *flags, "-c", path]})
    return entries


class PlantedFaults(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.root = os.path.join(cls.tmp.name, "tree")
        for top in ("src", "tests"):
            shutil.copytree(os.path.join(ROOT, top), os.path.join(cls.root, top))
        shutil.copy(os.path.join(ROOT, "CMakeLists.txt"), cls.root)
        cls.database = os.path.join(cls.tmp.name, "compile_commands.json")
        cls.write_database(ARGS.qt_headers)

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    @classmethod
    def write_database(cls, qt_headers, components_see_src=False):
        with open(cls.database, "w", encoding="utf-8") as f:
            json.dump(compile_database(cls.root, qt_headers, components_see_src), f)

    def check(self):
        run = subprocess.run([sys.executable, CHECK, "--root", self.root,
                              "--compile-commands", self.database],
                             stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        return run.returncode, run.stdout

    @contextlib.contextmanager
    def planted(self, rel, old, new):
        """The file with `old` replaced by `new` (appended when old is empty)."""
        path = os.path.join(self.root, rel)
        with open(path, encoding="utf-8") as f:
            text = f.read()
        self.assertTrue(old == "" or old in text, f"{old!r} is not in {rel}")
        with open(path, "w", encoding="utf-8") as f:
            f.write(text.replace(old, new, 1) if old else text + new)
        try:
            yield
        finally:
            with open(path, "w", encoding="utf-8") as f:
                f.write(text)

    def assertFails(self, expected):
        code, out = self.check()
        self.assertEqual(code, 1, out)
        self.assertIn(expected, out)

    def test_the_tree_as_it_is_passes(self):
        self.assertEqual(self.check(), (0, ""))

    def test_includes_are_resolved_as_the_compiler_does(self):
        cases = [
            ("src/fulltext/Index.cpp", "\n#include <data/UData.h>\n",
             "fulltext -> data is not an allowed arrow"),
            # A component does not even see the subsystems; only a relative name reaches one.
            ("src/components/http/Http.cpp", "\n#include <data/UData.h>\n",
             "Http.cpp: <data/UData.h> is found in none of its include folders"),
            ("src/components/zip/UnZip.cpp", '\n#include "../../data/UData.h"\n',
             "components/zip -> data is not an allowed arrow"),
            # Hidden behind a spliced line it is still an include.
            ("src/settings/Store.cpp", '\n#\\\ninclude "data/Database.h"\n',
             "settings -> data is not an allowed arrow"),
            ("src/fulltext/Index.cpp", '\n#include "settings/Store.h"\n',
             "fulltext -> settings is not an allowed arrow"),
        ]
        for rel, line, expected in cases:
            with self.subTest(line=line), self.planted(rel, "", line):
                self.assertFails(expected)

    def test_the_logic_reaches_no_window_and_no_gui_module(self):
        cases = [
            ("src/update/UpdateSteps.cpp", "", '\n#include "UpdateRun.h"\n',
             "reaches the window file src/update/UpdateRun.h"),
            ("src/search/Search.cpp", "", "\n#include <QtWidgets/QWidget>\n",
             "includes <QtWidgets/QWidget> of QtWidgets"),
            ("src/browser/Catalogue.h", "", "\n#include <QImage>\n", "includes <QImage> of QtGui"),
            ("src/CMakeLists.txt", "Qt6::Core\n  PRIVATE", "Qt6::Core Qt6::Widgets\n  PRIVATE",
             "tipsara_logic links Qt6::Widgets"),
        ]
        for rel, old, new, expected in cases:
            with self.subTest(new=new), self.planted(rel, old, new):
                self.assertFails(expected)

    def test_what_the_compile_commands_let_through_fails_the_check(self):
        cases = [
            (os.path.join(self.tmp.name, "no-qt-here"), False,
             "is found in none of its include folders, so its Qt module cannot be told"),
            (ARGS.qt_headers, True, "src/components/http/Http.cpp is compiled seeing src/app/"),
        ]
        for qt_headers, components_see_src, expected in cases:
            with self.subTest(expected=expected):
                self.write_database(qt_headers, components_see_src)
                try:
                    self.assertFails(expected)
                finally:
                    self.write_database(ARGS.qt_headers)

    def test_tests_keep_to_their_layer(self):
        http = "tests/components/http/"
        cases = [
            (http + "http_test.cpp", "", '\n#include "update/UpdateProtocol.h"\n',
             "reaches src/update/UpdateProtocol.h, outside http"),
            (http + "CMakeLists.txt", "", "target_link_libraries(http_test PRIVATE tipsara_logic)\n",
             "links tipsara_http, tipsara_logic where it may link tipsara_http alone"),
            ("tests/search/logic_test.cpp", "", '\n#include "search/USearch.h"\n',
             "reaches the window file src/search/USearch.h"),
            ("tests/search/CMakeLists.txt", "PRIVATE tipsara_logic)", "PRIVATE tipsara_logic tipsara_widgets)",
             "search_logic_test links tipsara_logic and a window library too"),
        ]
        for rel, old, new, expected in cases:
            with self.subTest(new=new), self.planted(rel, old, new):
                self.assertFails(expected)

    def test_a_missing_compile_database_is_no_pass(self):
        run = subprocess.run([sys.executable, CHECK, "--root", self.root, "--compile-commands",
                              os.path.join(self.tmp.name, "none.json")], capture_output=True)
        self.assertEqual(run.returncode, 2)


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--qt-headers", required=True, help="the folder holding QtCore/, QtWidgets/, …")
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)
