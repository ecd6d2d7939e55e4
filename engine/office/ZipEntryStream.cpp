#include "engine/office/ZipEntryStream.h"

#include <algorithm>

#include "engine/office/ByteSource.h"

namespace {

constexpr size_t kPieceBytes = 64 * 1024;
constexpr size_t kLocalHeaderSize = 30;
constexpr uint16_t kEncryptedFlags = 0x0001 | 0x0040; // encrypted, strongly encrypted
constexpr uint16_t kMethodStored = 0, kMethodDeflate = 8, kMethodAes = 99;

} // namespace

CZipEntryStream::~CZipEntryStream() {
    if (m_inflating)
        inflateEnd(&m_stream);
}

OfficeOutcome CZipEntryStream::CheckLimits() const {
    if ((m_entry.flags & kEncryptedFlags) != 0 || m_entry.method == kMethodAes)
        return OfficeOutcome::Encrypted;
    if (m_entry.method != kMethodStored && m_entry.method != kMethodDeflate)
        return OfficeOutcome::Unsupported;
    if (m_entry.unpackedSize > kMaxEntryUnpacked || m_archive.UnpackedSoFar() + m_entry.unpackedSize > kMaxTotalUnpacked)
        return OfficeOutcome::TooLarge;
    if (m_entry.unpackedSize > kMaxInflateRatio * m_entry.packedSize + kInflateRatioSlack)
        return OfficeOutcome::Bomb;
    if (m_entry.method == kMethodStored && m_entry.packedSize != m_entry.unpackedSize)
        return OfficeOutcome::Damaged;
    return OfficeOutcome::Ok;
}

// The local header repeats the name and has an extra field of its own: the data starts after both.
OfficeOutcome CZipEntryStream::Start() {
    const OfficeOutcome limits = CheckLimits();
    if (limits != OfficeOutcome::Ok)
        return limits;
    CByteSource& source = m_archive.Source();
    unsigned char header[kLocalHeaderSize];
    const OfficeOutcome read = SourceOutcome(source.ReadAt(m_entry.localHeader, header, sizeof header));
    if (read != OfficeOutcome::Ok)
        return read;
    if (Le32(header) != kLocalSignature)
        return OfficeOutcome::Damaged;
    if ((Le16(header + 6) & kEncryptedFlags) != 0)
        return OfficeOutcome::Encrypted;
    m_dataAt = uint64_t{m_entry.localHeader} + kLocalHeaderSize + Le16(header + 26) + Le16(header + 28);
    if (m_dataAt + m_entry.packedSize > source.Size())
        return OfficeOutcome::Truncated;
    m_packedLeft = m_entry.packedSize;
    m_crc = crc32(0, nullptr, 0);
    m_out.resize(kPieceBytes);
    if (m_entry.method == kMethodStored)
        return OfficeOutcome::Ok;
    m_in.resize(kPieceBytes);
    if (inflateInit2(&m_stream, -MAX_WBITS) != Z_OK) // raw deflate: a zip entry has no zlib header
        return OfficeOutcome::TooLarge;
    m_inflating = true;
    return OfficeOutcome::Ok;
}

OfficeOutcome CZipEntryStream::Next(const char** data, size_t* size) {
    *data = reinterpret_cast<const char*>(m_out.data());
    *size = 0;
    if (m_finished)
        return OfficeOutcome::Ok;
    const OfficeOutcome outcome = m_entry.method == kMethodStored ? NextStored(size) : NextInflated(size);
    if (outcome != OfficeOutcome::Ok || *size > 0)
        return outcome;
    m_finished = true;
    return Finish();
}

OfficeOutcome CZipEntryStream::NextStored(size_t* size) {
    const size_t piece = static_cast<size_t>(std::min<uint64_t>(m_packedLeft, m_out.size()));
    if (piece == 0)
        return OfficeOutcome::Ok;
    const OfficeOutcome read = SourceOutcome(m_archive.Source().ReadAt(m_dataAt, m_out.data(), piece));
    if (read != OfficeOutcome::Ok)
        return read;
    m_dataAt += piece;
    m_packedLeft -= piece;
    *size = piece;
    return Count(piece);
}

OfficeOutcome CZipEntryStream::NextInflated(size_t* size) {
    while (!m_streamEnded) {
        if (m_stream.avail_in == 0 && m_packedLeft > 0) {
            const size_t piece = static_cast<size_t>(std::min<uint64_t>(m_packedLeft, m_in.size()));
            const OfficeOutcome read = SourceOutcome(m_archive.Source().ReadAt(m_dataAt, m_in.data(), piece));
            if (read != OfficeOutcome::Ok)
                return read;
            m_dataAt += piece;
            m_packedLeft -= piece;
            m_stream.next_in = m_in.data();
            m_stream.avail_in = static_cast<uInt>(piece);
        }
        m_stream.next_out = m_out.data();
        m_stream.avail_out = static_cast<uInt>(m_out.size());
        const int result = inflate(&m_stream, Z_NO_FLUSH);
        const size_t produced = m_out.size() - m_stream.avail_out;
        if (result == Z_STREAM_END)
            m_streamEnded = true;
        else if (result == Z_MEM_ERROR)
            return OfficeOutcome::TooLarge;
        else if (result != Z_OK && result != Z_BUF_ERROR)
            return OfficeOutcome::Damaged; // not deflate data, or a dictionary no zip has
        else if (produced == 0 && m_stream.avail_in == 0 && m_packedLeft == 0)
            return OfficeOutcome::Damaged; // the packed size ends before the deflate stream does
        if (produced > 0) {
            *size = produced;
            return Count(produced);
        }
    }
    return OfficeOutcome::Ok;
}

// More than declared is a lie found as it happens, so the caps checked on the declared size hold.
OfficeOutcome CZipEntryStream::Count(size_t produced) {
    m_produced += produced;
    m_archive.UnpackedSoFar() += produced;
    if (m_produced > m_entry.unpackedSize)
        return OfficeOutcome::Damaged;
    m_crc = crc32(m_crc, m_out.data(), static_cast<uInt>(produced));
    return OfficeOutcome::Ok;
}

OfficeOutcome CZipEntryStream::Finish() {
    if (m_produced != m_entry.unpackedSize || m_crc != m_entry.crc)
        return OfficeOutcome::Damaged;
    return OfficeOutcome::Ok;
}
