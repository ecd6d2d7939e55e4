// XXH3-128 written from its published description: inputs up to 240 bytes take one of four short
// paths, longer ones are accumulated 64 bytes (a stripe) at a time into eight lanes, scrambled
// every 1,024 bytes (a block), and folded into two halves at the end. The lanes' loop is what a
// copy pays for; it runs with AVX2 where the processor has it, else SSE2 (every x86-64 processor has
// that), and in plain C++ on other targets.
#include "engine/hash/ContentHash.h"

#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#elif defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr uint32_t kPrime32_1 = 0x9E3779B1U;
constexpr uint32_t kPrime32_2 = 0x85EBCA77U;
constexpr uint32_t kPrime32_3 = 0xC2B2AE3DU;
constexpr uint64_t kPrime64_1 = 0x9E3779B185EBCA87ULL;
constexpr uint64_t kPrime64_2 = 0xC2B2AE3D27D4EB4FULL;
constexpr uint64_t kPrime64_3 = 0x165667B19E3779F9ULL;
constexpr uint64_t kPrime64_4 = 0x85EBCA77C2B2AE63ULL;
constexpr uint64_t kPrime64_5 = 0x27D4EB2F165667C5ULL;
constexpr uint64_t kPrimeMx1 = 0x165667919E3779F9ULL;
constexpr uint64_t kPrimeMx2 = 0x9FB21C651E98DF25ULL;

constexpr size_t kStripe = 64;
constexpr size_t kSecretSize = 192;
constexpr unsigned kStripesPerBlock = (kSecretSize - kStripe) / 8; // 16: a block is 1,024 bytes
constexpr size_t kLongestShort = 240;                              // longer inputs are accumulated

alignas(16) const unsigned char kSecret[kSecretSize] = {
    0xb8, 0xfe, 0x6c, 0x39, 0x23, 0xa4, 0x4b, 0xbe, 0x7c, 0x01, 0x81, 0x2c, 0xf7, 0x21, 0xad, 0x1c,
    0xde, 0xd4, 0x6d, 0xe9, 0x83, 0x90, 0x97, 0xdb, 0x72, 0x40, 0xa4, 0xa4, 0xb7, 0xb3, 0x67, 0x1f,
    0xcb, 0x79, 0xe6, 0x4e, 0xcc, 0xc0, 0xe5, 0x78, 0x82, 0x5a, 0xd0, 0x7d, 0xcc, 0xff, 0x72, 0x21,
    0xb8, 0x08, 0x46, 0x74, 0xf7, 0x43, 0x24, 0x8e, 0xe0, 0x35, 0x90, 0xe6, 0x81, 0x3a, 0x26, 0x4c,
    0x3c, 0x28, 0x52, 0xbb, 0x91, 0xc3, 0x00, 0xcb, 0x88, 0xd0, 0x65, 0x8b, 0x1b, 0x53, 0x2e, 0xa3,
    0x71, 0x64, 0x48, 0x97, 0xa2, 0x0d, 0xf9, 0x4e, 0x38, 0x19, 0xef, 0x46, 0xa9, 0xde, 0xac, 0xd8,
    0xa8, 0xfa, 0x76, 0x3f, 0xe3, 0x9c, 0x34, 0x3f, 0xf9, 0xdc, 0xbb, 0xc7, 0xc7, 0x0b, 0x4f, 0x1d,
    0x8a, 0x51, 0xe0, 0x4b, 0xcd, 0xb4, 0x59, 0x31, 0xc8, 0x9f, 0x7e, 0xc9, 0xd9, 0x78, 0x73, 0x64,
    0xea, 0xc5, 0xac, 0x83, 0x34, 0xd3, 0xeb, 0xc3, 0xc5, 0x81, 0xa0, 0xff, 0xfa, 0x13, 0x63, 0xeb,
    0x17, 0x0d, 0xdd, 0x51, 0xb7, 0xf0, 0xda, 0x49, 0xd3, 0x16, 0x55, 0x26, 0x29, 0xd4, 0x68, 0x9e,
    0x2b, 0x16, 0xbe, 0x58, 0x7d, 0x47, 0xa1, 0xfc, 0x8f, 0xf8, 0xb8, 0xd1, 0x7a, 0xd0, 0x31, 0xce,
    0x45, 0xcb, 0x3a, 0x8f, 0x95, 0x16, 0x04, 0x28, 0xaf, 0xd7, 0xfb, 0xca, 0xbb, 0x4b, 0x40, 0x7e,
};

struct Product {
    uint64_t low;
    uint64_t high;
};

uint32_t Read32(const unsigned char* p) {
    uint32_t value;
    std::memcpy(&value, p, sizeof value); // little-endian, as every target of the program is
    return value;
}

uint64_t Read64(const unsigned char* p) {
    uint64_t value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

uint32_t Swap32(uint32_t x) {
    return __builtin_bswap32(x);
}

uint64_t Swap64(uint64_t x) {
    return __builtin_bswap64(x);
}

uint32_t Rotl32(uint32_t x, int r) {
    return (x << r) | (x >> (32 - r));
}

Product Multiply(uint64_t a, uint64_t b) {
#if defined(__SIZEOF_INT128__)
    const unsigned __int128 product = static_cast<unsigned __int128>(a) * b;
    return {static_cast<uint64_t>(product), static_cast<uint64_t>(product >> 64)};
#else
    const uint64_t lolo = (a & 0xFFFFFFFF) * (b & 0xFFFFFFFF), hilo = (a >> 32) * (b & 0xFFFFFFFF);
    const uint64_t lohi = (a & 0xFFFFFFFF) * (b >> 32), hihi = (a >> 32) * (b >> 32);
    const uint64_t cross = (lolo >> 32) + (hilo & 0xFFFFFFFF) + lohi;
    return {(cross << 32) | (lolo & 0xFFFFFFFF), (hilo >> 32) + (cross >> 32) + hihi};
#endif
}

uint64_t MultiplyFold(uint64_t a, uint64_t b) {
    const Product product = Multiply(a, b);
    return product.low ^ product.high;
}

uint64_t Avalanche64(uint64_t h) {
    h ^= h >> 33;
    h *= kPrime64_2;
    h ^= h >> 29;
    h *= kPrime64_3;
    return h ^ (h >> 32);
}

uint64_t Avalanche3(uint64_t h) {
    h ^= h >> 37;
    h *= kPrimeMx1;
    return h ^ (h >> 32);
}

ContentHash Empty() {
    return {Avalanche64(Read64(kSecret + 80) ^ Read64(kSecret + 88)),
            Avalanche64(Read64(kSecret + 64) ^ Read64(kSecret + 72))};
}

ContentHash UpTo3(const unsigned char* in, size_t length) {
    const uint32_t combinedLow = (static_cast<uint32_t>(in[0]) << 16) |
                                 (static_cast<uint32_t>(in[length >> 1]) << 24) | in[length - 1] |
                                 (static_cast<uint32_t>(length) << 8);
    const uint32_t combinedHigh = Rotl32(Swap32(combinedLow), 13);
    const uint64_t flipLow = Read32(kSecret) ^ Read32(kSecret + 4);
    const uint64_t flipHigh = Read32(kSecret + 8) ^ Read32(kSecret + 12);
    return {Avalanche64(combinedHigh ^ flipHigh), Avalanche64(combinedLow ^ flipLow)};
}

ContentHash UpTo8(const unsigned char* in, size_t length) {
    const uint64_t both = Read32(in) + (static_cast<uint64_t>(Read32(in + length - 4)) << 32);
    const uint64_t flip = Read64(kSecret + 16) ^ Read64(kSecret + 24);
    Product m = Multiply(both ^ flip, kPrime64_1 + (static_cast<uint64_t>(length) << 2));
    m.high += m.low << 1;
    m.low ^= m.high >> 3;
    m.low ^= m.low >> 35;
    m.low *= kPrimeMx2;
    m.low ^= m.low >> 28;
    return {Avalanche3(m.high), m.low};
}

ContentHash UpTo16(const unsigned char* in, size_t length) {
    const uint64_t flipLow = Read64(kSecret + 32) ^ Read64(kSecret + 40);
    const uint64_t flipHigh = Read64(kSecret + 48) ^ Read64(kSecret + 56);
    const uint64_t first = Read64(in);
    uint64_t last = Read64(in + length - 8);
    Product m = Multiply(first ^ last ^ flipLow, kPrime64_1);
    m.low += static_cast<uint64_t>(length - 1) << 54;
    last ^= flipHigh;
    m.high += last + static_cast<uint64_t>(static_cast<uint32_t>(last)) * (kPrime32_2 - 1);
    m.low ^= Swap64(m.high);
    Product h = Multiply(m.low, kPrime64_2);
    h.high += m.high * kPrime64_2;
    return {Avalanche3(h.high), Avalanche3(h.low)};
}

uint64_t Mix16(const unsigned char* in, const unsigned char* secret) {
    return MultiplyFold(Read64(in) ^ Read64(secret), Read64(in + 8) ^ Read64(secret + 8));
}

void Mix32(Product& acc, const unsigned char* a, const unsigned char* b, const unsigned char* secret) {
    acc.low += Mix16(a, secret);
    acc.low ^= Read64(b) + Read64(b + 8);
    acc.high += Mix16(b, secret + 16);
    acc.high ^= Read64(a) + Read64(a + 8);
}

ContentHash FinishMid(const Product& acc, size_t length) {
    const uint64_t low = acc.low + acc.high;
    const uint64_t high =
        acc.low * kPrime64_1 + acc.high * kPrime64_4 + static_cast<uint64_t>(length) * kPrime64_2;
    return {0 - Avalanche3(high), Avalanche3(low)};
}

ContentHash UpTo128(const unsigned char* in, size_t length) {
    Product acc{static_cast<uint64_t>(length) * kPrime64_1, 0};
    if (length > 32) {
        if (length > 64) {
            if (length > 96)
                Mix32(acc, in + 48, in + length - 64, kSecret + 96);
            Mix32(acc, in + 32, in + length - 48, kSecret + 64);
        }
        Mix32(acc, in + 16, in + length - 32, kSecret + 32);
    }
    Mix32(acc, in, in + length - 16, kSecret);
    return FinishMid(acc, length);
}

ContentHash UpTo240(const unsigned char* in, size_t length) {
    Product acc{static_cast<uint64_t>(length) * kPrime64_1, 0};
    for (size_t i = 0; i < 4; ++i)
        Mix32(acc, in + 32 * i, in + 32 * i + 16, kSecret + 32 * i);
    acc.low = Avalanche3(acc.low);
    acc.high = Avalanche3(acc.high);
    for (size_t i = 4; i < length / 32; ++i)
        Mix32(acc, in + 32 * i, in + 32 * i + 16, kSecret + 3 + 32 * (i - 4));
    Mix32(acc, in + length - 16, in + length - 32, kSecret + 136 - 17 - 16);
    return FinishMid(acc, length);
}

ContentHash Short(const unsigned char* in, size_t length) {
    if (length == 0)
        return Empty();
    if (length <= 3)
        return UpTo3(in, length);
    if (length <= 8)
        return UpTo8(in, length);
    if (length <= 16)
        return UpTo16(in, length);
    return length <= 128 ? UpTo128(in, length) : UpTo240(in, length);
}

#if defined(__x86_64__) && !defined(TALLOWBOX_HASH_SSE2_ONLY) // the benchmark times SSE2 alone
// The same as the SSE2 loop below, 32 bytes at a time. Only called where the processor has AVX2;
// the lanes live in registers and memory is only read unaligned, so no 32-byte stack alignment is
// needed (which the Windows target does not give).
__attribute__((target("avx2"), always_inline)) inline __m256i LaneAvx2(__m256i lanes, const unsigned char* in,
                                                                       const unsigned char* key) {
    const __m256i plain = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in));
    const __m256i keyed = _mm256_xor_si256(plain, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(key)));
    const __m256i product = _mm256_mul_epu32(keyed, _mm256_shuffle_epi32(keyed, _MM_SHUFFLE(0, 3, 0, 1)));
    const __m256i swapped = _mm256_shuffle_epi32(plain, _MM_SHUFFLE(1, 0, 3, 2));
    return _mm256_add_epi64(lanes, _mm256_add_epi64(product, swapped));
}

__attribute__((target("avx2"))) void AccumulateStripesAvx2(uint64_t* acc, const unsigned char* in,
                                                           size_t stripes, const unsigned char* secret) {
    __m256i low = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(acc));
    __m256i high = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(acc) + 1);
    for (size_t n = 0; n < stripes; ++n, in += kStripe, secret += 8) {
        low = LaneAvx2(low, in, secret);
        high = LaneAvx2(high, in + 32, secret + 32);
    }
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(acc), low);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(acc) + 1, high);
}

// Asked once; the processor's features are read first, as this may run before any constructor.
bool HasAvx2() {
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return has;
}
#endif

// Each lane takes the product of its key-mixed halves and its neighbour's plain input.
void AccumulateStripes(uint64_t* acc, const unsigned char* in, size_t stripes, const unsigned char* secret) {
#if defined(__x86_64__) && !defined(TALLOWBOX_HASH_SSE2_ONLY)
    if (HasAvx2())
        return AccumulateStripesAvx2(acc, in, stripes, secret);
#endif
#if defined(__SSE2__)
    __m128i lanes[4];
    for (int i = 0; i < 4; ++i)
        lanes[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(acc) + i);
    for (size_t n = 0; n < stripes; ++n, in += kStripe, secret += 8) {
        for (int i = 0; i < 4; ++i) {
            const __m128i data = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in) + i);
            const __m128i keyed =
                _mm_xor_si128(data, _mm_loadu_si128(reinterpret_cast<const __m128i*>(secret) + i));
            const __m128i product = _mm_mul_epu32(keyed, _mm_shuffle_epi32(keyed, _MM_SHUFFLE(0, 3, 0, 1)));
            const __m128i swapped = _mm_shuffle_epi32(data, _MM_SHUFFLE(1, 0, 3, 2));
            lanes[i] = _mm_add_epi64(lanes[i], _mm_add_epi64(product, swapped));
        }
    }
    for (int i = 0; i < 4; ++i)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(acc) + i, lanes[i]);
#else
    for (size_t n = 0; n < stripes; ++n, in += kStripe, secret += 8)
        for (int i = 0; i < 8; ++i) {
            const uint64_t data = Read64(in + 8 * i);
            const uint64_t keyed = data ^ Read64(secret + 8 * i);
            acc[i ^ 1] += data;
            acc[i] += (keyed & 0xFFFFFFFF) * (keyed >> 32);
        }
#endif
}

void Scramble(uint64_t* acc) {
    const unsigned char* secret = kSecret + kSecretSize - kStripe;
    for (int i = 0; i < 8; ++i) {
        uint64_t lane = acc[i];
        lane ^= lane >> 47;
        lane ^= Read64(secret + 8 * i);
        acc[i] = lane * kPrime32_1;
    }
}

// Accumulates whole stripes, each of them followed by at least one more byte of input.
void Stripes(uint64_t* acc, unsigned& inBlock, const unsigned char* in, size_t count) {
    while (count > 0) {
        const size_t run = count < kStripesPerBlock - inBlock ? count : kStripesPerBlock - inBlock;
        AccumulateStripes(acc, in, run, kSecret + 8 * inBlock);
        in += run * kStripe;
        count -= run;
        inBlock += static_cast<unsigned>(run);
        if (inBlock == kStripesPerBlock) {
            Scramble(acc);
            inBlock = 0;
        }
    }
}

uint64_t Merge(const uint64_t* acc, const unsigned char* secret, uint64_t start) {
    uint64_t result = start;
    for (int i = 0; i < 4; ++i)
        result +=
            MultiplyFold(acc[2 * i] ^ Read64(secret + 16 * i), acc[2 * i + 1] ^ Read64(secret + 16 * i + 8));
    return Avalanche3(result);
}

} // namespace

CContentHasher::CContentHasher()
    : m_acc{kPrime32_3, kPrime64_1, kPrime64_2, kPrime64_3, kPrime64_4, kPrime32_2, kPrime64_5, kPrime32_1} {}

void CContentHasher::Add(const void* data, size_t size) {
    const auto* in = static_cast<const unsigned char*>(data);
    m_total += size;
    if (m_buffered + size <= kBufferSize) {
        if (size > 0)
            std::memcpy(m_buffer + m_buffered, in, size);
        m_buffered += size;
        return;
    }
    // More comes after whatever is held: a full buffer's stripes can all be taken now.
    if (m_buffered > 0) {
        const size_t fill = kBufferSize - m_buffered;
        std::memcpy(m_buffer + m_buffered, in, fill);
        in += fill;
        size -= fill;
        Stripes(m_acc, m_stripesInBlock, m_buffer, kBufferSize / kStripe);
        std::memcpy(m_lastStripe, m_buffer + kBufferSize - kStripe, kStripe);
        m_buffered = 0;
    }
    if (size > kBufferSize) {
        const size_t stripes = (size - 1) / kStripe; // the last byte always waits for Finish
        Stripes(m_acc, m_stripesInBlock, in, stripes);
        std::memcpy(m_lastStripe, in + (stripes - 1) * kStripe, kStripe);
        in += stripes * kStripe;
        size -= stripes * kStripe;
    }
    std::memcpy(m_buffer, in, size);
    m_buffered = size;
}

ContentHash CContentHasher::Finish() const {
    if (m_total <= kLongestShort)
        return Short(m_buffer, static_cast<size_t>(m_total));
    uint64_t acc[8];
    std::memcpy(acc, m_acc, sizeof acc);
    unsigned inBlock = m_stripesInBlock;
    Stripes(acc, inBlock, m_buffer, (m_buffered - 1) / kStripe);
    // The last stripe is the input's last 64 bytes, partly from before the buffer when it holds fewer.
    unsigned char last[kStripe];
    if (m_buffered >= kStripe) {
        std::memcpy(last, m_buffer + m_buffered - kStripe, kStripe);
    } else {
        std::memcpy(last, m_lastStripe + m_buffered, kStripe - m_buffered);
        std::memcpy(last + kStripe - m_buffered, m_buffer, m_buffered);
    }
    AccumulateStripes(acc, last, 1, kSecret + kSecretSize - kStripe - 7);
    const uint64_t low = Merge(acc, kSecret + 11, m_total * kPrime64_1);
    const uint64_t high = Merge(acc, kSecret + kSecretSize - 64 - 11, ~(m_total * kPrime64_2));
    return {high, low};
}

ContentHash HashOfBytes(const void* data, size_t size) {
    CContentHasher hasher;
    hasher.Add(data, size);
    return hasher.Finish();
}

std::string HashText(const ContentHash& hash) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text(kHashTextLength, '0');
    for (size_t i = 0; i < 16; ++i) {
        text[15 - i] = kDigits[(hash.high >> (4 * i)) & 0xF];
        text[31 - i] = kDigits[(hash.low >> (4 * i)) & 0xF];
    }
    return text;
}

bool ParseHashText(const char* text, size_t length, ContentHash* hash) {
    if (length != kHashTextLength)
        return false;
    ContentHash parsed;
    for (size_t i = 0; i < kHashTextLength; ++i) {
        const char c = text[i];
        const int digit = c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                 : -1;
        if (digit < 0)
            return false;
        uint64_t& half = i < 16 ? parsed.high : parsed.low;
        half = (half << 4) | static_cast<uint64_t>(digit);
    }
    *hash = parsed;
    return true;
}
