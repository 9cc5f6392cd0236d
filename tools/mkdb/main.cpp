// SPDX-License-Identifier: GPL-3.0-or-later
// Build step: makes DB/Tipsara.gdb from the schema script and the catalogue
// files, unless the database file exists already (a user's articles live in
// it, so it is never overwritten).

#include "data/DbBuild.h"

#include <cstdio>
#include <exception>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s DATABASE SCHEMA.sql CATALOGUE-DIR\n", argv[0]);
        return 2;
    }
    try {
        if (dbbuild::buildDatabase(argv[1], argv[2], argv[3]))
            std::printf("created %s\n", argv[1]);
        else
            std::printf("%s exists; left as it is\n", argv[1]);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", argv[0], e.what());
        return 1;
    }
}
