// Where a document's bytes come from: read at an offset, a piece at a time, so the zip reader
// never needs the whole file in memory. A file on disk (OfficeFile.cpp) and bytes already in
// memory (tests, the fuzzer) are the two sources.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

enum class SourceRead : unsigned char {
    Ok,
    PastEnd, // the source is shorter than offset + size
    Failed,  // the system refused: the source keeps the error
    Stopped  // the user asked the work to stop
};

class CByteSource {
public:
    virtual ~CByteSource() = default;
    virtual uint64_t Size() const = 0;
    // Fills exactly size bytes from offset, or says why not.
    virtual SourceRead ReadAt(uint64_t offset, void* into, size_t size) = 0;
};

// Bytes the caller keeps alive as long as the source.
class CMemorySource : public CByteSource {
public:
    CMemorySource(const void* bytes, size_t size) : m_bytes(static_cast<const unsigned char*>(bytes)), m_size(size) {}
    uint64_t Size() const override { return m_size; }
    SourceRead ReadAt(uint64_t offset, void* into, size_t size) override {
        if (offset > m_size || size > m_size - offset)
            return SourceRead::PastEnd;
        if (size > 0)
            std::memcpy(into, m_bytes + offset, size);
        return SourceRead::Ok;
    }

private:
    const unsigned char* m_bytes;
    size_t m_size;
};
