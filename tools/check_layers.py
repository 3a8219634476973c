#!/usr/bin/env python3
"""Checks that the libraries under src/ depend on each other only downward.

Each folder with a CMake library has a layer (LAYERS below). The check fails
when
  - a library links one of ours on its own layer or above,
  - a file includes "x/..." of a library that its library does not link (the
    links are followed through, as the linker does), or of a library on its
    own layer or above,
  - a file includes "x/..." of a folder that is no library,
  - a library folder has no layer in the table.

The links come from the CMake files under src/: `softbox_library(name dir
links...)` in src/CMakeLists.txt, and `add_library`/`add_executable` with
`target_link_libraries` in a folder's own CMakeLists.txt.

Usage: check_layers.py [SRC_DIR]     (default: src/ next to this tools/ folder)
       check_layers.py --self-test   (proves that each kind of fault is caught)
"""

import os
import re
import sys
import tempfile

LAYERS = {
    "support": 0,
    "platform": 1,
    "settings": 2,
    "net": 2,
    "catalog": 3,
    "resolve": 3,
    "download": 3,
    "app": 4,
    "app/view": 5,
    "updater": 5,
    # The box's executable puts the window and the model together, so it sits
    # just above the view.
    "app/main": 6,
}

SOURCE_SUFFIXES = (".h", ".hpp", ".cpp", ".cc")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)
COMMENT = re.compile(r"#[^\n]*")


def _calls(text, command):
    """The argument lists of every call of a CMake command."""
    text = COMMENT.sub("", text)
    for m in re.finditer(r"\b" + command + r"\s*\(([^)]*)\)", text):
        yield m.group(1).split()


def read_libraries(src):
    """{folder: (target, set of linked targets)} and {target: folder}."""
    folders = {}
    top = os.path.join(src, "CMakeLists.txt")
    with open(top, encoding="utf-8") as f:
        for args in _calls(f.read(), "softbox_library"):
            if len(args) >= 2:
                folders[args[1]] = (args[0], set(args[2:]))
    for root, _dirs, files in os.walk(src):
        if "CMakeLists.txt" not in files or os.path.samefile(root, src):
            continue
        folder = os.path.relpath(root, src).replace(os.sep, "/")
        with open(os.path.join(root, "CMakeLists.txt"), encoding="utf-8") as f:
            text = f.read()
        targets = [a[0] for c in ("add_library", "add_executable") for a in _calls(text, c) if a]
        if not targets:
            continue
        links = set()
        for args in _calls(text, "target_link_libraries"):
            if args and args[0] in targets:
                links.update(a for a in args[1:] if a not in ("PUBLIC", "PRIVATE", "INTERFACE"))
        folders[folder] = (targets[0], links | set(targets[1:]))
    owner = {target: folder for folder, (target, _links) in folders.items()}
    return folders, owner


def folder_of(path, folders):
    """The library folder that a path below src/ belongs to (the deepest one)."""
    parts = path.split("/")
    for n in range(len(parts) - 1, 0, -1):
        candidate = "/".join(parts[:n])
        if candidate in folders:
            return candidate
    return None


def check(src):
    folders, owner = read_libraries(src)
    errors = []
    for folder in sorted(folders):
        if folder not in LAYERS:
            errors.append(f"{folder}: a library folder without a layer in tools/check_layers.py")
    if errors:
        return errors

    direct = {}
    for folder, (_target, links) in folders.items():
        direct[folder] = {owner[t] for t in links if t in owner and owner[t] != folder}
        for other in sorted(direct[folder]):
            if LAYERS[other] >= LAYERS[folder]:
                errors.append(f"src/CMakeLists: {folder} (layer {LAYERS[folder]}) links "
                              f"{other} (layer {LAYERS[other]}), which is not below it")

    def reachable(folder):
        seen, todo = set(), [folder]
        while todo:
            for other in direct[todo.pop()]:
                if other not in seen:
                    seen.add(other)
                    todo.append(other)
        return seen

    linked = {folder: reachable(folder) for folder in folders}
    # Folder names that a quoted include may start with: ours, and the ones
    # that are only planned (so that an include of them is caught).
    known_roots = {f.split("/")[0] for f in list(folders) + list(LAYERS)}

    for root, _dirs, files in os.walk(src):
        for name in sorted(files):
            if not name.endswith(SOURCE_SUFFIXES):
                continue
            path = os.path.join(root, name)
            rel = os.path.relpath(path, src).replace(os.sep, "/")
            mine = folder_of(rel, folders)
            if mine is None:
                continue
            with open(path, encoding="utf-8", errors="replace") as f:
                text = f.read()
            for m in INCLUDE.finditer(text):
                header = m.group(1)
                if "/" not in header or header.split("/")[0] not in known_roots:
                    continue
                line = text.count("\n", 0, m.start()) + 1
                theirs = folder_of(header, folders)
                where = f"src/{rel}:{line}: includes \"{header}\""
                if theirs is None:
                    errors.append(f"{where}, which belongs to no library")
                elif theirs == mine:
                    continue
                elif LAYERS[theirs] >= LAYERS[mine]:
                    errors.append(f"{where}: {theirs} (layer {LAYERS[theirs]}) is not below "
                                  f"{mine} (layer {LAYERS[mine]})")
                elif theirs not in linked[mine]:
                    errors.append(f"{where}: {mine} does not link {theirs}")
    return errors


def self_test():
    """Each kind of fault in a small made-up tree must be reported."""

    def tree(cmake, sources, extra=None):
        d = tempfile.mkdtemp(prefix="check_layers.")
        with open(os.path.join(d, "CMakeLists.txt"), "w") as f:
            f.write(cmake)
        for rel, text in {**sources, **(extra or {})}.items():
            os.makedirs(os.path.join(d, os.path.dirname(rel)), exist_ok=True)
            with open(os.path.join(d, rel), "w") as f:
                f.write(text)
        return d

    good_cmake = ("softbox_library(s support)\n"
                  "softbox_library(p platform s)\n"
                  "softbox_library(n net s)\n"
                  "softbox_library(a app n p)  # app links net and platform\n")
    good = {"support/A.h": "#pragma once\n",
            "platform/B.cpp": '#include "platform/B.h"\n#include "support/A.h"\n',
            "platform/B.h": "#include <vector>\n",
            "net/C.cpp": '#include "support/A.h"\n#include "Local.h"\n',
            "app/D.cpp": '#include "net/C.h"\n#include "support/A.h"\n'}
    cases = [
        ("clean tree", good_cmake, {}, None),
        ("include of an unlinked library", good_cmake,
         {"net/E.cpp": '#include "platform/B.h"\n'}, "net does not link platform"),
        ("include upward", good_cmake,
         {"support/E.cpp": '#include "net/C.h"\n'}, "is not below support"),
        ("include on the same layer", good_cmake + "softbox_library(t settings s)\n",
         {"net/E.cpp": '#include "settings/X.h"\n'}, "settings (layer 2) is not below net"),
        ("include of a folder that is no library yet", good_cmake,
         {"app/E.cpp": '#include "download/Queue.h"\n'}, "belongs to no library"),
        ("link on the same layer", good_cmake + "softbox_library(r resolve s c)\n"
         "softbox_library(c catalog s)\n", {}, "resolve (layer 3) links catalog"),
        ("folder without a layer", good_cmake + "softbox_library(x extra s)\n", {},
         "extra: a library folder without a layer"),
    ]
    failures = 0
    for title, cmake, extra, expected in cases:
        errors = check(tree(cmake, good, extra))
        ok = not errors if expected is None else any(expected in e for e in errors)
        print(("ok   " if ok else "FAIL ") + title + ("" if ok else f": {errors}"))
        failures += not ok
    return failures == 0


def main(argv):
    if len(argv) > 1 and argv[1] == "--self-test":
        return 0 if self_test() else 1
    src = argv[1] if len(argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "src")
    errors = check(os.path.abspath(src))
    for e in errors:
        print(e)
    if not errors:
        print("include graph of src/ runs only downward")
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
