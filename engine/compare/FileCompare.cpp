#include "engine/compare/FileCompare.h"

#include "engine/base/BackupPaths.h"
#include "engine/compare/CompareSide.h"
#include "engine/office/OfficeFile.h"

namespace {

// The outcome that says why a side cannot be compared.
FileCompareOutcome Failed(CompareSide side, DWORD error) {
    const bool missing = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    if (side == kOlder)
        return missing ? FileCompareOutcome::OlderMissing : FileCompareOutcome::OlderUnreadable;
    return missing ? FileCompareOutcome::NewerMissing : FileCompareOutcome::NewerUnreadable;
}

// The file's facts, or why there are none (a folder is no file to compare).
bool ReadFacts(const std::wstring& path, FileFacts* facts, DWORD* error) {
    if (ReadFileFacts(path, facts))
        return true;
    const DWORD attributes = GetFileAttributesW(path.c_str());
    *error = attributes == INVALID_FILE_ATTRIBUTES ? GetLastError() : ERROR_DIRECTORY;
    return false;
}

} // namespace

TextReadOutcome ReadAsText(const std::wstring& path, CDecodedText* text, const BOOL* stop, DWORD* error,
                           OfficeOutcome* document) {
    const OfficeKind kind = OfficeKindOfName(path);
    if (kind == OfficeKind::None)
        return ReadTextFile(path, text, stop, error);
    std::vector<wchar_t> units;
    *document = ReadOfficeFile(path, kind, stop, &units, error);
    if (*document == OfficeOutcome::Stopped)
        return TextReadOutcome::Stopped;
    if (*document == OfficeOutcome::Unreadable)
        return TextReadOutcome::Unreadable;
    return *document == OfficeOutcome::Ok && text->SetFromUtf16(std::move(units)) ? TextReadOutcome::Text
                                                                                   : TextReadOutcome::NotText;
}

void CompareFiles(const std::wstring& older, const std::wstring& newer, const BOOL* stop,
                  FileComparison* result) {
    *result = FileComparison();
    const std::wstring paths[2] = {SystemPath(older), SystemPath(newer)};
    FileFacts* facts[2] = {&result->older, &result->newer};
    CDecodedText* texts[2] = {&result->olderText, &result->newerText};
    for (CompareSide side : {kOlder, kNewer}) {
        if (!ReadFacts(paths[side], facts[side], &result->error)) {
            result->outcome = Failed(side, result->error);
            return;
        }
    }
    bool bothText = true;
    for (CompareSide side : {kOlder, kNewer}) {
        OfficeOutcome document = OfficeOutcome::Ok;
        const TextReadOutcome read = ReadAsText(paths[side], texts[side], stop, &result->error, &document);
        if (read == TextReadOutcome::NotText && document != OfficeOutcome::Ok) {
            result->documentOutcome = document;
            result->documentOnNewerSide = side == kNewer;
        }
        if (read == TextReadOutcome::Stopped) {
            result->outcome = FileCompareOutcome::Stopped;
            return;
        }
        if (read == TextReadOutcome::Unreadable) {
            result->outcome = Failed(side, result->error);
            return;
        }
        if (read != TextReadOutcome::Text) {
            result->tooLargeForText = read == TextReadOutcome::TooLarge;
            bothText = false;
            break; // the other side is not read as text at all
        }
    }
    if (bothText) {
        const OfficeKind kind = OfficeKindOfName(paths[kOlder]);
        result->document = kind == OfficeKindOfName(paths[kNewer]) ? kind : OfficeKind::None;
        DiffLines(result->olderText, result->newerText, stop, &result->lines);
        result->outcome = result->lines.Stopped() ? FileCompareOutcome::Stopped : FileCompareOutcome::Texts;
        return;
    }
    result->olderText.Clear();
    result->newerText.Clear();
    result->bytes = CompareFileBytes(paths[kOlder], paths[kNewer], stop);
    switch (result->bytes.outcome) {
    case ByteCompareOutcome::Stopped:
        result->outcome = FileCompareOutcome::Stopped;
        break;
    case ByteCompareOutcome::LeftUnreadable:
        result->error = result->bytes.error;
        result->outcome = Failed(kOlder, result->error);
        break;
    case ByteCompareOutcome::RightUnreadable:
        result->error = result->bytes.error;
        result->outcome = Failed(kNewer, result->error);
        break;
    default:
        result->outcome = FileCompareOutcome::Bytes;
        result->older = result->bytes.left; // as the bytes were read
        result->newer = result->bytes.right;
        break;
    }
}
