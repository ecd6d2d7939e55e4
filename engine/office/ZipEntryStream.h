// CZipEntryStream: one zip entry unpacked a piece at a time into a buffer of fixed size (zlib's
// inflate over raw deflate data, or the stored bytes as they are), so a part is never held whole.
// Before the first byte it checks the entry against the limits (an encrypted entry, a method other
// than stored or deflate, a declared size past the caps or beyond what its packed size can honestly
// hold); as it goes it holds the entry to its declared size, and at the end to its checksum.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <vector>

#include "engine/office/ZipArchive.h"

// Pieces of a part, in order, for the XML reader.
class CChunkInput {
public:
    virtual ~CChunkInput() = default;
    // The next piece of the part; Ok with size 0 at its end.
    virtual OfficeOutcome Next(const char** data, size_t* size) = 0;
};

class CZipEntryStream : public CChunkInput {
public:
    CZipEntryStream(CZipArchive& archive, const ZipEntry& entry) : m_archive(archive), m_entry(entry) {}
    ~CZipEntryStream() override;
    CZipEntryStream(const CZipEntryStream&) = delete;
    CZipEntryStream& operator=(const CZipEntryStream&) = delete;

    // Checks the entry and finds its data; nothing is read from it before this says Ok.
    OfficeOutcome Start();
    OfficeOutcome Next(const char** data, size_t* size) override;

private:
    OfficeOutcome CheckLimits() const;
    OfficeOutcome NextStored(size_t* size);
    OfficeOutcome NextInflated(size_t* size);
    OfficeOutcome Finish();
    OfficeOutcome Count(size_t produced);

    CZipArchive& m_archive;
    const ZipEntry& m_entry;
    z_stream m_stream = {};
    bool m_inflating = false; // m_stream must be ended
    bool m_streamEnded = false;
    bool m_finished = false;
    uint64_t m_dataAt = 0;
    uint64_t m_packedLeft = 0;
    uint64_t m_produced = 0;
    uLong m_crc = 0;
    std::vector<unsigned char> m_in, m_out;
};
