// Two files compared as the compare window shows them: line by line when both read as text
// (TextDecode.h; a Word, Excel or PowerPoint file as the text of the document, office/OfficeText.h),
// otherwise byte by byte. The older file is the left side, the newer the right.
//
// A worker thread fills a FileComparison and hands the whole of it to the window's thread (a posted
// message that owns it); a flag the window's thread sets stops it early, with a Stopped result.
#pragma once

#include <windows.h>

#include <string>

#include "engine/base/ByteCompare.h"
#include "engine/compare/LineDiff.h"
#include "engine/compare/TextDecode.h"
#include "engine/copy/PreviousCopy.h"
#include "engine/office/OfficeText.h"

enum class FileCompareOutcome : unsigned char {
    Texts, // olderText, newerText and lines hold the compare
    Bytes, // bytes holds it: a side is not text, or too large to be compared as text
    Stopped,
    OlderMissing,
    OlderUnreadable, // error says why (ERROR_DIRECTORY: a folder)
    NewerMissing,
    NewerUnreadable
};

struct FileComparison {
    FileCompareOutcome outcome = FileCompareOutcome::Texts;
    DWORD error = ERROR_SUCCESS;
    FileFacts older, newer;            // sizes and last-write times
    bool tooLargeForText = false;      // Bytes because a side is larger than kMaxTextBytes
    OfficeKind document = OfficeKind::None; // Texts of two documents of this kind
    // Bytes because the document on that side could not be read as one: why.
    OfficeOutcome documentOutcome = OfficeOutcome::Ok;
    bool documentOnNewerSide = false;
    CDecodedText olderText, newerText; // with their encodings and line ends
    CLineDiff lines;
    ByteComparison bytes;
};

// A Word, Excel or PowerPoint file (by its extension) read as the text of the document, any other
// file as a text file (path in SystemPath's form). A document that cannot be read as one is no text
// (NotText), *document saying why.
TextReadOutcome ReadAsText(const std::wstring& path, CDecodedText* text, const BOOL* stop, DWORD* error,
                           OfficeOutcome* document);

// older and newer as the user gives them (any length: SystemPath's form is made here). *stop is read
// as the reading, the diff and the byte compare go.
void CompareFiles(const std::wstring& older, const std::wstring& newer, const BOOL* stop,
                  FileComparison* result);
