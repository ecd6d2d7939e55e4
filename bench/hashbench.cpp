// The content hash against its candidates, on 256 MiB in memory (fed in 1 MiB pieces, as the copy
// feeds it): the program's XXH3-128, BLAKE2b-256 (written here, the fastest cryptographic hash
// without SIMD), SHA-256 through the system's bcrypt.dll. Then what a flush costs a file under
// this Wine: files written as the copy writes them, with and without FlushFileBuffers.
//   hashbench [--rounds N] [--xxh3-only 1] [--flush-folder <folder>]
#include <windows.h>
#include <bcrypt.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "BenchClock.h"
#include "engine/hash/ContentHash.h"

namespace {

constexpr size_t kBytes = 256u << 20;
constexpr size_t kPiece = 1u << 20;

// BLAKE2b (RFC 7693) with a 32-byte digest, unkeyed: enough of it to time its compression.
class CBlake2b {
public:
    CBlake2b() {
        std::memcpy(m_h, kIv, sizeof m_h);
        m_h[0] ^= 0x01010000u ^ 32u;
    }
    void Add(const unsigned char* in, size_t size) {
        while (size > 0) {
            if (m_used == 128) { // more follows: the block is not the last
                m_counter += 128;
                Compress(false);
                m_used = 0;
            }
            const size_t take = std::min(size, 128 - m_used);
            std::memcpy(m_block + m_used, in, take);
            m_used += take;
            in += take;
            size -= take;
        }
    }
    uint64_t Finish() {
        m_counter += m_used;
        std::memset(m_block + m_used, 0, 128 - m_used);
        Compress(true);
        return m_h[0];
    }

private:
    static uint64_t Rotr(uint64_t x, int n) { return (x >> n) | (x << (64 - n)); }
    void Compress(bool last) {
        static const unsigned char kSigma[12][16] = {{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15},
                                                     {14, 10, 4, 8, 9, 15, 13, 6, 1, 12, 0, 2, 11, 7, 5, 3},
                                                     {11, 8, 12, 0, 5, 2, 15, 13, 10, 14, 3, 6, 7, 1, 9, 4},
                                                     {7, 9, 3, 1, 13, 12, 11, 14, 2, 6, 5, 10, 4, 0, 15, 8},
                                                     {9, 0, 5, 7, 2, 4, 10, 15, 14, 1, 11, 12, 6, 8, 3, 13},
                                                     {2, 12, 6, 10, 0, 11, 8, 3, 4, 13, 7, 5, 15, 14, 1, 9},
                                                     {12, 5, 1, 15, 14, 13, 4, 10, 0, 7, 6, 3, 9, 2, 8, 11},
                                                     {13, 11, 7, 14, 12, 1, 3, 9, 5, 0, 15, 4, 8, 6, 2, 10},
                                                     {6, 15, 14, 9, 11, 3, 0, 8, 12, 2, 13, 7, 1, 4, 10, 5},
                                                     {10, 2, 8, 4, 7, 6, 1, 5, 15, 11, 9, 14, 3, 12, 13, 0},
                                                     {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15},
                                                     {14, 10, 4, 8, 9, 15, 13, 6, 1, 12, 0, 2, 11, 7, 5, 3}};
        uint64_t m[16], v[16];
        std::memcpy(m, m_block, sizeof m);
        std::memcpy(v, m_h, sizeof m_h);
        std::memcpy(v + 8, kIv, sizeof kIv);
        v[12] ^= m_counter;
        if (last)
            v[14] = ~v[14];
        const auto g = [&](int a, int b, int c, int d, uint64_t x, uint64_t y) {
            v[a] += v[b] + x;
            v[d] = Rotr(v[d] ^ v[a], 32);
            v[c] += v[d];
            v[b] = Rotr(v[b] ^ v[c], 24);
            v[a] += v[b] + y;
            v[d] = Rotr(v[d] ^ v[a], 16);
            v[c] += v[d];
            v[b] = Rotr(v[b] ^ v[c], 63);
        };
        for (const auto& s : kSigma) {
            g(0, 4, 8, 12, m[s[0]], m[s[1]]);
            g(1, 5, 9, 13, m[s[2]], m[s[3]]);
            g(2, 6, 10, 14, m[s[4]], m[s[5]]);
            g(3, 7, 11, 15, m[s[6]], m[s[7]]);
            g(0, 5, 10, 15, m[s[8]], m[s[9]]);
            g(1, 6, 11, 12, m[s[10]], m[s[11]]);
            g(2, 7, 8, 13, m[s[12]], m[s[13]]);
            g(3, 4, 9, 14, m[s[14]], m[s[15]]);
        }
        for (int i = 0; i < 8; ++i)
            m_h[i] ^= v[i] ^ v[i + 8];
    }

    static constexpr uint64_t kIv[8] = {0x6a09e667f3bcc908, 0xbb67ae8584caa73b, 0x3c6ef372fe94f82b,
                                        0xa54ff53a5f1d36f1, 0x510e527fade682d1, 0x9b05688c2b3e6c1f,
                                        0x1f83d9abfb41bd6b, 0x5be0cd19137e2179};
    uint64_t m_h[8];
    uint64_t m_counter = 0; // inputs here stay far below 2^64 bytes
    unsigned char m_block[128] = {};
    size_t m_used = 0;
};

// One pass over the bytes in pieces; the digest's first word, so the work cannot be dropped.
uint64_t Xxh3(const std::vector<unsigned char>& bytes) {
    CContentHasher hasher;
    for (size_t at = 0; at < bytes.size(); at += kPiece)
        hasher.Add(bytes.data() + at, kPiece);
    return hasher.Finish().low;
}

uint64_t Blake2b(const std::vector<unsigned char>& bytes) {
    CBlake2b hasher;
    for (size_t at = 0; at < bytes.size(); at += kPiece)
        hasher.Add(bytes.data() + at, kPiece);
    return hasher.Finish();
}

uint64_t Sha256(const std::vector<unsigned char>& bytes) {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    unsigned char digest[32] = {};
    if (BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0 ||
        BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) != 0)
        return 0;
    for (size_t at = 0; at < bytes.size(); at += kPiece)
        BCryptHashData(hash, const_cast<unsigned char*>(bytes.data() + at), kPiece, 0);
    BCryptFinishHash(hash, digest, sizeof digest, 0);
    BCryptDestroyHash(hash);
    BCryptCloseAlgorithmProvider(algorithm, 0);
    uint64_t first;
    std::memcpy(&first, digest, sizeof first);
    return first;
}

// The best of rounds, in MB/s (10^6 bytes), as "hash-<name> <MB/s> <ms>".
void TimeHash(const char* name, uint64_t (*hash)(const std::vector<unsigned char>&),
              const std::vector<unsigned char>& bytes, int rounds) {
    double best = 1e300;
    uint64_t sink = 0;
    for (int round = 0; round < rounds; ++round) {
        const double start = NowMs();
        sink ^= hash(bytes);
        best = std::min(best, NowMs() - start);
    }
    std::printf("hash-%s %.0f %.1f (%llx)\n", name, static_cast<double>(bytes.size()) / 1000.0 / best, best,
                static_cast<unsigned long long>(sink));
}

// Writes count files of size bytes into folder as the copy does (one write, then the time), with a
// flush before closing or not; the ms per file, as "flush-<with|without> <count> <size> <ms/file>".
void TimeFlush(const std::wstring& folder, bool flush, unsigned count, DWORD size) {
    std::vector<char> bytes(size, 'x');
    const double start = NowMs();
    for (unsigned i = 0; i < count; ++i) {
        const std::wstring path = folder + L"\\f" + std::to_wstring(i) + (flush ? L"f" : L"n") + L".bin";
        HANDLE file =
            CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD written = 0;
        WriteFile(file, bytes.data(), size, &written, nullptr);
        if (flush)
            FlushFileBuffers(file);
        CloseHandle(file);
    }
    std::printf("flush-%s %u %lu %.3f\n", flush ? "with" : "without", count, size, (NowMs() - start) / count);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    int rounds = 3;
    bool xxh3Only = false;
    std::wstring flushFolder;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::wstring(argv[i]) == L"--rounds")
            rounds = std::max(1, _wtoi(argv[i + 1]));
        else if (std::wstring(argv[i]) == L"--xxh3-only")
            xxh3Only = true;
        else if (std::wstring(argv[i]) == L"--flush-folder")
            flushFolder = argv[i + 1];
    }
    std::vector<unsigned char> bytes(kBytes);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<unsigned char>((i * 2654435761u) >> 13);
    TimeHash("xxh3-128", Xxh3, bytes, rounds);
    if (xxh3Only)
        return 0;
    TimeHash("blake2b-256", Blake2b, bytes, rounds);
    TimeHash("sha256-bcrypt", Sha256, bytes, rounds);
    if (!flushFolder.empty())
        for (DWORD size : {4096ul, 1048576ul}) {
            TimeFlush(flushFolder, false, size > 4096 ? 50 : 500, size);
            TimeFlush(flushFolder, true, size > 4096 ? 50 : 500, size);
        }
    return 0;
}
