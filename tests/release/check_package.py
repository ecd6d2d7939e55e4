#!/usr/bin/env python3
"""Checks the release package, or one built program, without Wine.

    check_package.py --zip-in <dist> --version-header <res/version.h> --built <Tallowbox.exe>
                     [--folder <source or build folder>]...
        dist/Tallowbox-<version>-win64.zip holds exactly Tallowbox.exe, README.txt and README.en.txt; the exe is
        the built (and tested) one byte for byte, a 64-bit (machine 0x8664) GUI program that
        imports only the system's own DLLs and carries the version of version.h in its version
        resource; README.txt (Japanese) and README.en.txt (English, ASCII) are UTF-8 with a byte-order mark
        and CRLF line ends, each naming what the usage text must. The
        debug file the exe links to lies beside the zip with the checksum the link names.
    check_package.py --program <Tallowbox.exe> --machine i386 [--folder <folder>]...
        One built program: its machine, and that it imports only the system's own DLLs.

Either way the program must be one anyone can rebuild to the same bytes and ship as it is: no
time stamp in its PE header, no debug sections or symbol table (only the link to its debug
file), and none of the given folders (the source and build folders) anywhere in its bytes.

Every check prints what it expected and what it saw; the exit code is the number of failures.
"""
import argparse
import binascii
import io
import os
import re
import struct
import sys
import zipfile

MACHINES = {"x86_64": 0x8664, "i386": 0x14C}
# What a bare Windows has. A MinGW runtime DLL (libstdc++, libgcc_s, libwinpthread) is not here.
SYSTEM_DLLS = {
    "advapi32.dll", "comctl32.dll", "comdlg32.dll", "gdi32.dll", "kernel32.dll", "msvcrt.dll",
    "ole32.dll", "oleaut32.dll", "shell32.dll", "shlwapi.dll", "user32.dll", "uxtheme.dll",
    "version.dll", "ucrtbase.dll", "ntdll.dll",
}

failures = 0


def check(ok, what, expected, seen):
    global failures
    if not ok:
        failures += 1
        print("FAIL %s: expected %s, saw %s" % (what, expected, seen))
    return ok


class Pe:
    """The few parts of a PE file the checks read: machine, subsystem, imports, resources."""

    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise ValueError("no MZ header")
        at = struct.unpack_from("<I", data, 0x3C)[0]
        if data[at:at + 4] != b"PE\0\0":
            raise ValueError("no PE signature")
        (self.machine, sections, self.timestamp, self.symbol_table, self.symbols, optional_size,
         _) = struct.unpack_from("<HHIIIHH", data, at + 4)
        optional = at + 24
        self.magic = struct.unpack_from("<H", data, optional)[0]
        self.subsystem = struct.unpack_from("<H", data, optional + 68)[0]
        directories = optional + (112 if self.magic == 0x20B else 96)
        self.import_rva = struct.unpack_from("<I", data, directories + 8)[0]
        self.sections = []
        self.section_names = []
        self.raw = {}
        table = optional + optional_size
        for n in range(sections):
            name, virtual_size, rva, raw_size, raw_at = struct.unpack_from("<8sIIII", data, table + 40 * n)
            self.sections.append((rva, max(virtual_size, raw_size), raw_at))
            self.section_names.append(self.long_name(name.rstrip(b"\0").decode("latin-1")))
            self.raw[self.section_names[-1]] = data[raw_at:raw_at + raw_size]

    def long_name(self, name):
        """A name longer than eight characters is "/<offset>" into the string table after the symbols."""
        if not name.startswith("/") or not name[1:].isdigit():
            return name
        at = self.symbol_table + 18 * self.symbols + int(name[1:])
        return self.data[at:self.data.index(b"\0", at)].decode("latin-1")

    def offset(self, rva):
        for start, size, raw_at in self.sections:
            if start <= rva < start + size:
                return raw_at + rva - start
        raise ValueError("RVA 0x%x is in no section" % rva)

    def c_string(self, rva):
        at = self.offset(rva)
        return self.data[at:self.data.index(b"\0", at)].decode("ascii")

    def imported_dlls(self):
        names = []
        at = self.offset(self.import_rva)
        while True:
            name_rva = struct.unpack_from("<I", self.data, at + 12)[0]
            if name_rva == 0:
                return names
            names.append(self.c_string(name_rva))
            at += 20


def read_version(header_path):
    with open(header_path, encoding="utf-8") as header:
        text = header.read()
    found = [re.search(r"^#define TALLOWBOX_VERSION_%s (\d+)\s*$" % part, text, re.MULTILINE)
             for part in ("MAJOR", "MINOR")]
    if not all(found):
        sys.exit("check_package: no version numbers in %s" % header_path)
    return int(found[0].group(1)), int(found[1].group(1))


def check_program(data, what, machine):
    try:
        pe = Pe(data)
    except (ValueError, struct.error) as error:
        check(False, what + " is a PE file", "a PE file", error)
        return None
    check(pe.machine == MACHINES[machine], what + " machine", "0x%x (%s)" % (MACHINES[machine], machine),
          "0x%x" % pe.machine)
    check(pe.subsystem == 2, what + " subsystem", "2 (Windows GUI)", pe.subsystem)
    dlls = pe.imported_dlls()
    check(bool(dlls), what + " imports", "some DLLs", "none")
    foreign = [dll for dll in dlls if dll.lower() not in SYSTEM_DLLS and not dll.lower().startswith("api-ms-win-")]
    check(not foreign, what + " imports only system DLLs", "none other", foreign)
    return pe


def debug_link(pe):
    """(file name, CRC-32) from the .gnu_debuglink section, or None."""
    raw = pe.raw.get(".gnu_debuglink")
    if raw is None or b"\0" not in raw:
        return None
    name = raw[:raw.index(b"\0")].decode("latin-1")
    crc_at = (len(name) + 1 + 3) // 4 * 4
    return name, struct.unpack_from("<I", raw, crc_at)[0]


def folder_forms(folder):
    """How a folder of the building machine could be written into the program."""
    unix = os.path.abspath(folder)
    windows = "Z:" + unix.replace("/", "\\")
    return {unix.encode(), windows.encode(), unix.encode("utf-16-le"), windows.encode("utf-16-le")}


def check_shippable(pe, what, folders):
    """Rebuilt to the same bytes anywhere, and shipped without its debug information."""
    check(pe.timestamp == 0, what + " PE time stamp", "0 (none)", "0x%x" % pe.timestamp)
    debug = [name for name in pe.section_names if name.startswith((".debug", "/"))]
    check(not debug, what + " debug sections", "none", debug)
    check(pe.symbols == 0, what + " symbol table", "no symbols", "%d symbols" % pe.symbols)
    check(debug_link(pe) is not None, what + " link to its debug file", "a .gnu_debuglink section", "none")
    for folder in folders:
        found = [form for form in folder_forms(folder) if form in pe.data]
        check(not found, what + " holds no path of " + folder, "none", found)


def check_debug_file(pe, where):
    link = debug_link(pe)
    if link is None:
        return
    name, crc = link
    path = os.path.join(where, name)
    if check(os.path.isfile(path), "debug file", path, "no such file"):
        with open(path, "rb") as debug_file:
            seen = binascii.crc32(debug_file.read())
        check(seen == crc, "debug file " + name + " CRC-32", "0x%08x (the link's)" % crc, "0x%08x" % seen)


def check_version_resource(data, what, major, minor):
    """The version resource's fixed part and its version strings, found in the file's bytes."""
    fixed = data.find(struct.pack("<I", 0xFEEF04BD))
    if not check(fixed >= 0, what + " version resource", "VS_FIXEDFILEINFO", "none"):
        return
    _, _, file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<IIIIII", data, fixed)
    want = "%d.%d.0.0" % (major, minor)
    for label, ms, ls in (("file", file_ms, file_ls), ("product", product_ms, product_ls)):
        seen = "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
        check(seen == want, "%s %s version" % (what, label), want, seen)
    text = "%d.%d" % (major, minor)
    for key in ("FileVersion", "ProductVersion"):
        # A String entry: key, zero, padding to four bytes, then the value and its zero.
        found = re.search(re.escape((key + "\0").encode("utf-16-le")) + b"(?:\0\0)?" +
                          re.escape((text + "\0").encode("utf-16-le")), data)
        check(found is not None, "%s %s string" % (what, key), repr(text), "another or none")


# What each usage text must name: the program's words in its language, and the keys of Tallowbox.ini.
USAGE_TEXTS = {
    "README.txt": ("送る", "元に戻す(&R)", "(復元)", "(失敗)", "(中止)", "以前の版", "別の場所に戻す", "整理",
                   "ごみ箱", "見張る(&W)", "見張り一覧", "通知領域", "起動時に開始", "(自動)", "ミラー先"),
    "README.en.txt": ("Send To", "Restore...", "(restore)", "(failed)", "(stopped)", "Earlier Versions",
                      "Restore To", "Clean Up", "Recycle Bin", "Watch", "List of Watches", "notification area",
                      "Start at Logon", "(auto)", "Set Mirror Folder"),
}


def check_usage_text(name, raw, version):
    check(raw.startswith(b"\xef\xbb\xbf"), name + " starts with", "a UTF-8 byte-order mark", raw[:3])
    try:
        text = raw[3:].decode("utf-8")
    except UnicodeDecodeError as error:
        check(False, name, "UTF-8", error)
        return
    bare = len(re.findall(r"(?<!\r)\n", text)) + len(re.findall(r"\r(?!\n)", text))
    check(bare == 0, name + " line ends", "CRLF only", "%d bare CR or LF" % bare)
    check(text.endswith("\r\n"), name, "ends with a line end", repr(text[-5:]))
    check(name != "README.en.txt" or text.isascii(), name, "ASCII only", "other characters")
    for needed in ("Tallowbox " + version, "Tallowbox.exe C:\\", "Ctrl+V", "backups\\YYYY-MMDD\\HHMM\\", "Esc",
                   "(2)", "Tallowbox.ini", "BackupFolder=", "Exclude=", "%LOCALAPPDATA%\\Tallowbox\\backups",
                   "Ctrl+H", "Tallowbox-journal.tsv", "WatchDelay=", "Tallowbox-watch.tsv", "Language=ja",
                   "Language=en", "MirrorFolder=") + USAGE_TEXTS[name]:
        check(needed in text, name + " mentions", repr(needed), "no such text")


def check_package(args):
    major, minor = read_version(args.version_header)
    version = "%d.%d" % (major, minor)
    path = os.path.join(args.zip_in, "Tallowbox-%s-win64.zip" % version)
    if not check(os.path.isfile(path), "package", path + " (scripts/package makes it)", "no such file"):
        return
    with open(path, "rb") as package_file:
        package = zipfile.ZipFile(io.BytesIO(package_file.read()))
    names = package.namelist()
    check(sorted(names) == ["README.en.txt", "README.txt", "Tallowbox.exe"], "package names",
          "README.en.txt, README.txt, Tallowbox.exe", names)
    bad = package.testzip()
    check(bad is None, "package entries' checksums", "all good", bad)
    if "Tallowbox.exe" in names:
        exe = package.read("Tallowbox.exe")
        with open(args.built, "rb") as built:
            check(exe == built.read(), "packaged Tallowbox.exe", "the built and tested " + args.built,
                  "other bytes (run scripts/package after building)")
        pe = check_program(exe, "packaged Tallowbox.exe", "x86_64")
        if pe:
            check_version_resource(exe, "packaged Tallowbox.exe", major, minor)
            check_shippable(pe, "packaged Tallowbox.exe", args.folder)
            check_debug_file(pe, args.zip_in)
    for name in USAGE_TEXTS:
        if name in names:
            check_usage_text(name, package.read(name), version)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--zip-in")
    parser.add_argument("--version-header")
    parser.add_argument("--built")
    parser.add_argument("--program")
    parser.add_argument("--machine", choices=sorted(MACHINES))
    parser.add_argument("--folder", action="append", default=[])
    args = parser.parse_args()
    if args.program:
        with open(args.program, "rb") as program:
            pe = check_program(program.read(), args.program, args.machine or "x86_64")
        if pe:
            check_shippable(pe, args.program, args.folder)
            check_debug_file(pe, os.path.dirname(os.path.abspath(args.program)))
    else:
        if not (args.zip_in and args.version_header and args.built):
            parser.error("--zip-in, --version-header and --built go together")
        check_package(args)
    print("check_package: %d failure(s)" % failures)
    return min(failures, 125)


if __name__ == "__main__":
    sys.exit(main())
