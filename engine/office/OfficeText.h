// Word, Excel and PowerPoint files (.docx, .xlsx, .pptx and their macro-enabled forms) read as the
// text a user sees in them, without Office: the zip container is read by ZipArchive, its XML parts
// by XmlReader, and one reader per kind keeps the visible text as UTF-16 lines separated by '\n'.
// A document is untrusted input: every size is bounded (the limits below), and whatever is wrong
// with it ends in an outcome code, never a crash, a hang or unbounded memory. The shell words the
// codes; nothing here is shown as it is.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CByteSource;

enum class OfficeKind : unsigned char { None, Word, Excel, PowerPoint };

enum class OfficeOutcome : unsigned char {
    Ok,
    NotZip,      // no zip directory at the end (and no zip entry at the start)
    Truncated,   // a zip whose end, directory or entry data is cut off
    Encrypted,   // an entry the document needs is encrypted
    TooLarge,    // past a limit below: entries, names, unpacked sizes, the text
    Bomb,        // an entry declares far more than its packed size can honestly hold
    Damaged,     // the zip contradicts itself: a declared size or checksum that lies, bad deflate data
    BrokenXml,   // a part the document needs is not well-formed XML
    Unsupported, // zip64, a packing method other than stored or deflate, or not that kind of document
    Unreadable,  // the system refused to read the file (the source keeps the error)
    Stopped
};

// Limits, checked before anything is allocated or inflated.
constexpr uint32_t kMaxZipEntries = 20000;
constexpr uint32_t kMaxZipDirectoryBytes = 8u * 1024 * 1024;
constexpr uint32_t kMaxZipNameBytes = 1024;
constexpr uint64_t kMaxEntryUnpacked = 256ull * 1024 * 1024; // one part
constexpr uint64_t kMaxTotalUnpacked = 512ull * 1024 * 1024; // every part read for one document
// Deflate packs real XML well under 100 to 1; past this (after the first MiB) it is a bomb.
constexpr uint64_t kMaxInflateRatio = 250;
constexpr uint64_t kInflateRatioSlack = 1024 * 1024;
constexpr size_t kMaxOfficeTextUnits = 64u * 1024 * 1024; // the text read out, in UTF-16 units
constexpr size_t kMaxSharedStrings = 8u * 1024 * 1024;

// The kind a file name's extension says (case aside), or None.
OfficeKind OfficeKindOfName(const std::wstring& name);

// Reads the document in source as kind into units (UTF-16, lines separated by '\n'); on any
// outcome other than Ok, units is left empty.
OfficeOutcome ReadOfficeText(CByteSource& source, OfficeKind kind, std::vector<wchar_t>* units);
