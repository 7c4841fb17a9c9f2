#!/usr/bin/env python3
"""Every path the documentation names must be there.

Reads README.md, the Markdown files under docs/ and the other READMEs, and the
manual pages, and checks each path they name:

  build/...            in the build folder given (programs, the Python package)
  scripts/..., docs/..., examples/... and the other top-level folders
                       in the source tree
  man NAME, NAME(1)    a manual page of ours for NAME (tallygate*)

A segment written in capitals (fuzz/corpus/NAME/) stands for any name.
Prints each path that is missing with the file and line naming it; exits 1
when there is one.

  documented_paths.py SOURCE_DIR BUILD_DIR
"""
import glob
import os
import re
import sys

TOP_FOLDERS = ("scripts", "examples", "docs", "link", "collector", "sim", "tools", "demo",
               "python", "tests", "bench", "fuzz", "soak", "component", "common", "cmake",
               "packaging", "fakes")
PATH = re.compile(r"(?<![\w./<>$-])((?:build|%s)/[\w./@*+-]*)" % "|".join(TOP_FOLDERS))
MAN_PAGE = re.compile(r"\bman (?:-w )?(tallygate[\w-]*)|\b(tallygate[\w-]*)\(1\)")
# Made by a script when it runs, not by the build.
MADE_BY_SCRIPTS = ("build/reliability/",)


def documents(source):
    names = ["README.md"]
    for pattern in ("docs/**/*.md", "*/README.md", "docs/man/*.1", "tools/*/*.1.in"):
        names += glob.glob(pattern, root_dir=source, recursive=True)
    return sorted(set(names))


def exists(root, path):
    pattern = "/".join("*" if re.fullmatch(r"[A-Z][A-Z_]*", part) else part
                       for part in path.split("/"))
    return bool(glob.glob(os.path.join(root, pattern)))


def man_pages(source):
    pages = set()
    for name in glob.glob("**/*.1*", root_dir=source, recursive=True):
        if not name.startswith("build"):
            pages.add(re.sub(r"\.1(\.in)?$", "", os.path.basename(name)))
    return pages


def main(source, build):
    pages = man_pages(source)
    missing = []
    for name in documents(source):
        with open(os.path.join(source, name), encoding="utf-8") as text:
            for number, line in enumerate(text, 1):
                for path in PATH.findall(line):
                    path = path.rstrip(".,:;)")
                    if path.startswith(MADE_BY_SCRIPTS):
                        continue
                    if path.startswith("build/"):
                        found = exists(build, path[len("build/"):])
                    else:
                        found = exists(source, path)
                    if not found:
                        missing.append(f"{name}:{number}: {path}")
                for match in MAN_PAGE.finditer(line):
                    page = match.group(1) or match.group(2)
                    if page not in pages:
                        missing.append(f"{name}:{number}: manual page {page}")
    for line in missing:
        print(line)
    print(f"{len(missing)} documented paths missing" if missing else "every documented path is there")
    return 1 if missing else 0


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit("usage: documented_paths.py SOURCE_DIR BUILD_DIR")
    sys.exit(main(*sys.argv[1:]))
