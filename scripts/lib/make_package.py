#!/usr/bin/env python3
"""Writes dist/Tallowbox-<version>-win64.zip: the given Tallowbox.exe, README.txt, the Japanese
usage text (docs/usage.ja.txt), and README.en.txt, the English one (docs/usage.en.txt), both in
UTF-8 with a byte-order mark and CRLF line ends, so Notepad opens them right. The version comes from res/version.h. Also writes the zip's SHA-256
beside it, and copies the program's separate debug file (the one its debug link names) there.
The zip is the same bytes for the same inputs: its entries carry the time given by --stamp
(seconds since 1970, UTC; the commit's time), not the files' own. Called by scripts/package;
writes nothing outside the dist folder it is given.

    make_package.py --root <source tree> --exe <Tallowbox.exe> --debug <Tallowbox-<version>.debug>
                    --stamp <seconds> --dist <folder>
"""
import argparse
import hashlib
import os
import re
import shutil
import sys
import tempfile
import time
import zipfile


def read_version(header_path):
    """"0.13" from TALLOWBOX_VERSION_MAJOR and _MINOR in version.h."""
    with open(header_path, encoding="utf-8") as header:
        text = header.read()
    numbers = {}
    for part in ("MAJOR", "MINOR"):
        found = re.search(r"^#define TALLOWBOX_VERSION_%s (\d+)\s*$" % part, text, re.MULTILINE)
        if not found:
            sys.exit("make_package: no TALLOWBOX_VERSION_%s in %s" % (part, header_path))
        numbers[part] = int(found.group(1))
    return "%d.%d" % (numbers["MAJOR"], numbers["MINOR"])


def usage_text(source_path, version):
    """The usage text as Notepad wants it: BOM, UTF-8, CRLF, the version filled in."""
    with open(source_path, encoding="utf-8") as source:
        text = source.read()
    text = text.replace("@VERSION@", version)
    text = text.replace("\r\n", "\n").replace("\n", "\r\n")
    return b"\xef\xbb\xbf" + text.encode("utf-8")


def entry(name, stamp):
    # Zip times start in 1980 and carry no time zone: UTC, so every machine writes the same.
    info = zipfile.ZipInfo(name, date_time=time.gmtime(max(stamp, 315532800))[:6])
    info.compress_type = zipfile.ZIP_DEFLATED
    info.external_attr = 0o644 << 16
    return info


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--exe", required=True)
    parser.add_argument("--debug", required=True)
    parser.add_argument("--stamp", required=True, type=int)
    parser.add_argument("--dist", required=True)
    args = parser.parse_args()

    version = read_version(os.path.join(args.root, "res", "version.h"))
    with open(args.exe, "rb") as program:
        exe = program.read()
    readmes = [("README.txt", usage_text(os.path.join(args.root, "docs", "usage.ja.txt"), version)),
               ("README.en.txt", usage_text(os.path.join(args.root, "docs", "usage.en.txt"), version))]
    stamp = args.stamp

    os.makedirs(args.dist, exist_ok=True)
    name = "Tallowbox-%s-win64.zip" % version
    target = os.path.join(args.dist, name)
    # Written under a temporary name first: a zip that is there is a whole one.
    handle, partial = tempfile.mkstemp(prefix=".partial-", suffix=".zip", dir=args.dist)
    try:
        with os.fdopen(handle, "wb") as raw, zipfile.ZipFile(raw, "w") as package:
            package.writestr(entry("Tallowbox.exe", stamp), exe)
            for readme_name, readme in readmes:
                package.writestr(entry(readme_name, stamp), readme)
        os.chmod(partial, 0o644)
        os.replace(partial, target)
    except BaseException:
        os.unlink(partial)
        raise
    debug_name = os.path.basename(args.debug)
    shutil.copyfile(args.debug, os.path.join(args.dist, debug_name))
    with open(target, "rb") as written:
        digest = hashlib.sha256(written.read()).hexdigest()
    with open(target + ".sha256", "w", encoding="ascii", newline="\n") as checksum:
        checksum.write("%s  %s\n" % (digest, name))
    print("package: wrote dist/%s and dist/%s" % (name, debug_name))
    print("package: SHA-256 of the zip           %s" % digest)
    print("package: SHA-256 of Tallowbox.exe     %s" % hashlib.sha256(exe).hexdigest())
    print("package: a build of the same commit must give these same two figures")


if __name__ == "__main__":
    main()
