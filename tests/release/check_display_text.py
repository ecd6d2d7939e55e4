#!/usr/bin/env python3
"""Finds display text left as a literal in the program's C++ sources, without Wine.

    check_display_text.py <source root>

Every string or character literal in engine/ and shell/ (.cpp and .h) holding a Japanese
character (kana, kanji, CJK punctuation, full- or half-width forms) is reported with its file
and line: the program's words belong in the resources' string tables. Comments may quote them.
The exit code is the number of literals found (at most 255).
"""
import glob
import os
import re
import sys

JAPANESE = re.compile("[\u3000-\u30ff\u4e00-\u9fff\uff00-\uffef]")
# A comment, or a literal (with an optional prefix such as L or u8), whichever starts first.
TOKEN = re.compile(r'//[^\n]*|/\*.*?\*/|(?:u8|[LuU])?"(?:\\.|[^"\\\n])*"|(?:u8|[LuU])?\'(?:\\.|[^\'\\\n])*\'', re.S)

root = sys.argv[1]
found = 0
for path in sorted(glob.glob(os.path.join(root, "engine", "**", "*.[ch]*"), recursive=True) +
                     glob.glob(os.path.join(root, "shell", "**", "*.[ch]*"), recursive=True)):
    with open(path, encoding="utf-8") as source:
        text = source.read()
    for match in TOKEN.finditer(text):
        if not match.group(0).startswith(("//", "/*")) and JAPANESE.search(match.group(0)):
            line = text.count("\n", 0, match.start()) + 1
            print("FAIL %s:%d: display text in a literal: %s" % (os.path.relpath(path, root), line, match.group(0)))
            found += 1
print("check_display_text: %d literal(s) with display text" % found)
sys.exit(min(found, 255))
