// The content hash every copy is proven by: XXH3 with 128 bits (seed 0, its default secret), the
// same digest xxHash's own tools print with `xxhsum -H2`. It tells a damaged or edited copy from the
// bytes it was made of; it is no defence against someone who forges both a copy and its hash (they
// could rewrite the manifest or the journal as easily), so a fast non-cryptographic hash serves.
//
// The copy feeds CContentHasher the bytes as it writes them, so the original is read once. Below
// the copy code: this folder uses the standard library only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct ContentHash {
    uint64_t high = 0;
    uint64_t low = 0;
    friend bool operator==(const ContentHash& a, const ContentHash& b) {
        return a.high == b.high && a.low == b.low;
    }
    friend bool operator!=(const ContentHash& a, const ContentHash& b) { return !(a == b); }
};

// How many characters HashText writes: 32 lowercase hexadecimal digits.
constexpr size_t kHashTextLength = 32;
// The hash as text, high half first, as xxhsum prints it.
std::string HashText(const ContentHash& hash);
// Reads exactly kHashTextLength hexadecimal digits (either case); false for anything else.
bool ParseHashText(const char* text, size_t length, ContentHash* hash);

// Hashes bytes given in pieces of any size; the result depends only on their concatenation.
class CContentHasher {
public:
    CContentHasher();
    void Add(const void* data, size_t size);
    // The hash of everything added so far (more may still be added after).
    ContentHash Finish() const;

private:
    static constexpr size_t kBufferSize = 256;
    uint64_t m_acc[8];
    uint64_t m_total = 0;
    size_t m_buffered = 0;
    unsigned m_stripesInBlock = 0; // stripes accumulated since the last scramble
    unsigned char m_buffer[kBufferSize];
    unsigned char m_lastStripe[64]; // the last 64 bytes accumulated, for a short tail
};

// The hash of one piece of memory.
ContentHash HashOfBytes(const void* data, size_t size);
