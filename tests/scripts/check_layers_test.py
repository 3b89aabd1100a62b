#!/usr/bin/env python3
"""scripts/check-layers on small fake trees: a tree whose layers hold
passes, and each kind of upward reach fails with a line naming it."""

import os
import subprocess
import sys
import tempfile
import textwrap
import unittest

CHECK = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts", "check-layers")

README = textwrap.dedent("""\
    # A tree

    ## Layout

    The folders under `src/` are the layers, each built only on those below it:

        app/                 the program
        ui/  ui_extra/       widgets
        core/                the engine

    More text.
    """)

# The tree whose layers hold: each folder includes and links only its own
# row and those below.
CLEAN = {
    "README.md": README,
    "src/core/CMakeLists.txt": "add_library(core STATIC core.cpp core.h)\n",
    "src/core/core.h": "#pragma once\n",
    "src/core/core.cpp": '#include "core/core.h"\n',
    "src/ui/CMakeLists.txt": "add_library(ui STATIC ui.cpp)\ntarget_link_libraries(ui PUBLIC core ui_extra)\n",
    "src/ui/ui.h": "#pragma once\n",
    "src/ui/ui.cpp": '#include "ui/ui.h"\n#include "core/core.h"\n#include "ui_extra/extra.h"\n#include <vector>\n',
    "src/ui_extra/CMakeLists.txt": "add_library(ui_extra STATIC extra.cpp)\n",
    "src/ui_extra/extra.h": '#pragma once\n#include "ui/ui.h"\n',
    "src/ui_extra/extra.cpp": '#include "ui_extra/extra.h"\n#include "generated_by_the_build.h"\n',
    "src/app/CMakeLists.txt": "add_executable(app main.cpp)\ntarget_link_libraries(app PRIVATE ui core)\n",
    "src/app/main.cpp": '#include "ui/ui.h"\n#include "core/core.h"\n',
    "tests/CMakeLists.txt": "quarn_add_test_folder(core TESTS core_test)\n",
    "tests/core/core_test.cpp": '#include "core.h"\n',
}


class CheckLayers(unittest.TestCase):
    def run_check(self, changes):
        files = dict(CLEAN)
        files.update(changes)
        with tempfile.TemporaryDirectory(prefix="check-layers-") as root:
            for rel, text in files.items():
                if text is None:
                    continue
                path = os.path.join(root, rel)
                os.makedirs(os.path.dirname(path), exist_ok=True)
                with open(path, "w", encoding="utf-8") as f:
                    f.write(text)
            done = subprocess.run([sys.executable, CHECK, root], capture_output=True, text=True)
        return done.returncode, done.stderr

    def test_a_tree_whose_layers_hold_passes(self):
        code, errors = self.run_check({})
        self.assertEqual(code, 0, errors)
        self.assertEqual(errors, "")

    def test_each_upward_reach_fails_and_is_named(self):
        cases = [
            ("an include by a bare name", {"src/ui/ui.cpp": '#include "core.h"\n'},
             'src/ui/ui.cpp includes "core.h" by a name that is not its path from src/ ("core/core.h")'),
            ("an include by a relative path", {"src/app/main.cpp": '#include "../core/core.h"\n'},
             'src/app/main.cpp includes "../core/core.h" by a name that is not its path from src/'),
            ("an upward include by bare name", {"src/core/core.cpp": '#include "core/core.h"\n#include "ui.h"\n'},
             'src/core/core.cpp (core/) includes "ui.h", src/ui/ui.h of the higher layer ui/'),
            ("an upward include with its folder", {"src/core/core.h": '#pragma once\n#include "app/main.cpp"\n'},
             'src/core/core.h (core/) includes "app/main.cpp"'),
            ("an upward include by a relative path", {"src/ui/ui.cpp": '#include "../app/main.cpp"\n'},
             'src/ui/ui.cpp (ui/) includes "../app/main.cpp"'),
            ("an upward link",
             {"src/core/CMakeLists.txt": "add_library(core STATIC core.cpp)\n"
                                         "target_link_libraries(core\n  PUBLIC\n    ui)\n"},
             "src/core/CMakeLists.txt: core (core/) links ui of the higher layer ui/"),
            ("a folder outside the table", {"src/stray/stray.h": "#pragma once\n"},
             "src/stray/stray.h: its folder is in no row of the table of layers"),
            ("a source no list names", {"src/core/forgotten.cpp": "\n"},
             "src/core/forgotten.cpp: named in no CMakeLists.txt"),
            ("a test no list names", {"tests/core/forgotten_test.cpp": "\n"},
             "tests/core/forgotten_test.cpp: named in no CMakeLists.txt"),
        ]
        for what, changes, line in cases:
            with self.subTest(what):
                code, errors = self.run_check(changes)
                self.assertEqual(code, 1, errors)
                self.assertIn(line, errors)

    def test_a_commented_out_link_is_no_link(self):
        code, errors = self.run_check(
            {"src/core/CMakeLists.txt": "add_library(core STATIC core.cpp)\n# target_link_libraries(core ui)\n"})
        self.assertEqual(code, 0, errors)

    def test_a_readme_without_the_table_fails(self):
        code, errors = self.run_check({"README.md": "# A tree\n"})
        self.assertNotEqual(code, 0)
        self.assertIn("no table of layers", errors)


if __name__ == "__main__":
    unittest.main()
