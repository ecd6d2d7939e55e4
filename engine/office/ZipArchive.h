// CZipArchive: a zip container read from its central directory, as the end of the file describes
// it. Every count and size is checked against the limits in OfficeText.h before it is allocated;
// the directory is read in one bounded piece and kept as a small record per entry. Entries are
// found by name (case aside, as the package format names parts) and read through CZipEntryStream.
// Zip64 is refused, as no document this reads comes near its sizes.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/office/OfficeText.h"
#include "engine/office/ByteSource.h"

// What every entry's local header, and so every zip file, starts with.
constexpr uint32_t kLocalSignature = 0x04034b50;

struct ZipEntry {
    std::string name;           // as stored (UTF-8 in every package this reads)
    uint16_t flags = 0;         // general-purpose bits: 0 says encrypted
    uint16_t method = 0;        // 0 stored, 8 deflate
    uint32_t crc = 0;
    uint32_t packedSize = 0;
    uint32_t unpackedSize = 0;  // as declared: the stream holds the entry to it
    uint32_t localHeader = 0;   // offset of the entry's local header
};

class CZipArchive {
public:
    explicit CZipArchive(CByteSource& source) : m_source(source) {}
    CZipArchive(const CZipArchive&) = delete;
    CZipArchive& operator=(const CZipArchive&) = delete;

    OfficeOutcome Open();
    // The entry named name (case aside), or nullptr.
    const ZipEntry* Find(const std::string& name) const;
    CByteSource& Source() const { return m_source; }
    // What every entry read so far has unpacked: bounded by kMaxTotalUnpacked.
    uint64_t& UnpackedSoFar() { return m_unpackedSoFar; }

private:
    OfficeOutcome FindEnd(uint64_t* endAt, uint32_t* count, uint32_t* directorySize, uint32_t* directoryAt);
    OfficeOutcome ReadDirectory(uint64_t endAt, uint32_t count, uint32_t directorySize, uint32_t directoryAt);
    OfficeOutcome ParseDirectory(const std::vector<unsigned char>& directory, uint32_t count);

    CByteSource& m_source;
    std::vector<ZipEntry> m_entries;
    std::unordered_map<std::string, size_t> m_byName; // lower-case ASCII name -> entry
    uint64_t m_unpackedSoFar = 0;
};

// The outcome a source read gives when it does not fill what was asked.
OfficeOutcome SourceOutcome(SourceRead read);
// Little-endian fields of the zip records.
inline uint16_t Le16(const unsigned char* at) { return static_cast<uint16_t>(at[0] | (at[1] << 8)); }
inline uint32_t Le32(const unsigned char* at) {
    return static_cast<uint32_t>(at[0]) | (static_cast<uint32_t>(at[1]) << 8) |
           (static_cast<uint32_t>(at[2]) << 16) | (static_cast<uint32_t>(at[3]) << 24);
}
// A part name as the package compares it: ASCII letters in lower case.
std::string LowerAscii(std::string name);
