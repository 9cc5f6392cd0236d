#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Installs the build twice, as an install for all users (prefix /usr in a
staging folder) and into a private prefix, then checks what landed where,
validates the desktop entry and the metainfo, and starts the installed
program on each layout."""
import argparse
import gzip
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

APP_ID = "ru.marvek.Tipsara"
ICON_SIZES = (16, 32, 48, 64, 128, 256)
ARGS = None


def install(prefix, destdir=None):
    env = dict(os.environ)
    env.pop("DESTDIR", None)
    if destdir:
        env["DESTDIR"] = destdir
    subprocess.run([ARGS.cmake, "--install", ARGS.build, "--prefix", prefix],
                   check=True, env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)


def snapshot(root):
    """Every path below root with its size and modification time."""
    seen = {}
    for folder, dirs, files in os.walk(root):
        for name in dirs + files:
            path = os.path.join(folder, name)
            st = os.lstat(path)
            seen[os.path.relpath(path, root)] = (st.st_size, st.st_mtime_ns)
    return seen


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    assert head[:8] == b"\x89PNG\r\n\x1a\n", path
    return struct.unpack(">II", head[16:24])


def desktop_entry(path):
    entry = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            if "=" in line and not line.startswith("#"):
                key, value = line.rstrip("\n").split("=", 1)
                entry[key] = value
    return entry


class Installed(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.mkdtemp(prefix="tipsara-install-")
        cls.stage = os.path.join(cls.tmp, "stage")
        cls.usr = os.path.join(cls.stage, "usr")
        install("/usr", destdir=cls.stage)
        cls.opt = os.path.join(cls.tmp, "opt")
        install(cls.opt)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.tmp, ignore_errors=True)

    def run_program(self, program, home):
        env = dict(os.environ)
        env.update({
            "XDG_DATA_HOME": os.path.join(home, "data"),
            "XDG_CONFIG_HOME": os.path.join(home, "config"),
            "TIPSARA_REPORT_SHOWN": "1",
        })
        p = subprocess.run([program], env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                           timeout=120)
        self.assertEqual(p.returncode, 0, p.stderr.decode(errors="replace"))
        self.assertTrue(p.stdout.startswith(b"shown "), p.stdout)
        self.assertNotIn(b"message:", p.stderr)

    def test_database_layouts(self):
        # For all users: one read-only shipped copy under share/, nothing
        # beside the program in bin/.
        shipped = os.path.join(self.usr, "share/tipsara/Tipsara.gdb")
        self.assertTrue(os.path.isfile(shipped))
        self.assertGreater(os.path.getsize(shipped), 0)
        self.assertEqual(os.stat(shipped).st_mode & 0o777, 0o644)
        self.assertFalse(os.path.exists(os.path.join(self.usr, "bin/DB")))
        self.assertTrue(os.access(os.path.join(self.usr, "bin/tipsara"), os.X_OK))
        # A private prefix: the database beside the program, as in the build.
        self.assertTrue(os.path.isfile(os.path.join(self.opt, "bin/DB/Tipsara.gdb")))
        self.assertFalse(os.path.exists(os.path.join(self.opt, "share/tipsara")))

        # Staged (DESTDIR) the same, and installing again over a private
        # prefix keeps the user's articles.
        stage = os.path.join(self.tmp, "stage-opt")
        install("/opt/tipsara", destdir=stage)
        db = os.path.join(stage, "opt/tipsara/bin/DB/Tipsara.gdb")
        self.assertTrue(os.path.isfile(db))
        self.assertEqual(sorted(os.listdir(stage)), ["opt"])
        with open(db, "wb") as f:
            f.write(b"the user's articles")
        install("/opt/tipsara", destdir=stage)
        with open(db, "rb") as f:
            self.assertEqual(f.read(), b"the user's articles")

    def test_desktop_entry_metainfo_and_icons(self):
        share = os.path.join(self.usr, "share")
        desktop = os.path.join(share, "applications", APP_ID + ".desktop")
        metainfo = os.path.join(share, "metainfo", APP_ID + ".metainfo.xml")
        p = subprocess.run([ARGS.desktop_file_validate, desktop], stdout=subprocess.PIPE,
                           stderr=subprocess.STDOUT, text=True)
        self.assertEqual(p.returncode, 0, p.stdout)
        self.assertEqual(p.stdout.strip(), "")  # not even a hint
        p = subprocess.run([ARGS.appstreamcli, "validate", "--no-net", metainfo],
                           stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        self.assertEqual(p.returncode, 0, p.stdout)

        entry = desktop_entry(desktop)
        self.assertEqual(entry["Exec"], "tipsara %u")
        # The tipsara: links reach the program through its entry.
        self.assertEqual(entry["MimeType"], "x-scheme-handler/tipsara;")
        self.assertEqual(entry["Terminal"], "false")
        self.assertEqual(entry["Icon"], APP_ID)
        self.assertEqual(set(entry["Categories"].strip(";").split(";")),
                         {"Development", "Documentation"})
        self.assertTrue(entry.get("Name[ru]") and entry.get("Comment[ru]"))
        # The class the program's windows carry on X11: its application name.
        self.assertEqual(entry["StartupWMClass"], "Tipsara")
        with open(metainfo, encoding="utf-8") as f:
            text = f.read()
        self.assertIn("<id>%s</id>" % APP_ID, text)
        self.assertIn('<launchable type="desktop-id">%s.desktop</launchable>' % APP_ID, text)

        hicolor = os.path.join(share, "icons/hicolor")
        self.assertTrue(os.path.isfile(os.path.join(hicolor, "scalable/apps", APP_ID + ".svg")))
        for size in ICON_SIZES:
            png = os.path.join(hicolor, "%dx%d/apps" % (size, size), APP_ID + ".png")
            self.assertEqual(png_size(png), (size, size), png)

    def test_man_page_and_package_documents(self):
        man = os.path.join(self.usr, "share/man/man1/tipsara.1.gz")
        with gzip.open(man, "rt", encoding="utf-8") as f:
            text = f.read()
        for section in ("NAME", "SYNOPSIS", "DESCRIPTION", "FILES", "ENVIRONMENT"):
            self.assertIn(".SH " + section, text)
        for place in ("Tipsara.gdb", "Tipsara.idx", ".local/share/tipsara", "Tipsara.conf"):
            self.assertIn(place, text)
        if shutil.which("man"):
            env = dict(os.environ, LC_ALL="C.UTF-8", MANROFFSEQ="", MANWIDTH="80")
            p = subprocess.run(["man", "--warnings", "-E", "UTF-8", "-l", "-Tutf8", "-Z", man],
                               env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                               text=True)
            self.assertEqual(p.stderr, "")
        doc = os.path.join(self.usr, "share/doc/tipsara")
        self.assertTrue(os.path.isfile(os.path.join(doc, "copyright")))
        with gzip.open(os.path.join(doc, "changelog.gz"), "rt") as f:
            self.assertTrue(f.readline().startswith("tipsara ("))

    def test_program_installed_for_all_users_works_on_the_users_copy(self):
        home = os.path.join(self.tmp, "home-shared")
        before = snapshot(self.stage)
        self.run_program(os.path.join(self.usr, "bin/tipsara"), home)
        own = os.path.join(home, "data/tipsara/DB/Tipsara.gdb")
        self.assertTrue(os.path.isfile(own))
        # Nothing under the prefix was written: no database, no index, no lock.
        self.assertEqual(snapshot(self.stage), before)

        # The second start works on the same copy; it is never made again.
        inode = os.stat(own).st_ino
        self.run_program(os.path.join(self.usr, "bin/tipsara"), home)
        self.assertEqual(os.stat(own).st_ino, inode)

    def test_program_in_a_private_prefix_works_beside_itself(self):
        home = os.path.join(self.tmp, "home-private")
        self.run_program(os.path.join(self.opt, "bin/tipsara"), home)
        self.assertFalse(os.path.exists(os.path.join(home, "data/tipsara")))


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--cmake", required=True)
    parser.add_argument("--desktop-file-validate", required=True)
    parser.add_argument("--appstreamcli", required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)
