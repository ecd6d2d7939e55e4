// What the mirror reads of the two places' journals: which records are versions it copies, what
// makes two records (one in each place) one version, and the journal's lines read from an offset on,
// so a day already scanned is read on from where it was left. Every line is untrusted text.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "engine/journal/Journal.h"

// A version of ours to copy: a succeeded backup whose copy lies in a day and minute folder.
bool IsMirroredKind(const JournalRecord& record);
// "2026-1207\1015\name": a day, a minute and one name.
bool HasMinuteShape(const std::wstring& copy);
// What makes two records one version in either place: its moment, its item, its kind and a file's hash.
uint64_t VersionKey(const JournalRecord& record);
// The journal of day below root, SystemPath's form.
std::wstring JournalOf(const std::wstring& root, const std::wstring& day);

using JournalLineAt = std::function<void(const char* text, size_t length, uint64_t offset)>;
// Calls line(text, length, offset) for every whole line from offset on; a line too long to be a
// record is skipped. The offset after the last whole line: a line still being written is read again.
uint64_t ScanJournalFrom(const std::wstring& path, uint64_t from, const JournalLineAt& line);
// The record on the line at offset (under a header of version), read as untrusted text again.
bool ReadRecordAt(const std::wstring& path, uint64_t offset, int version, JournalRecord* record);
