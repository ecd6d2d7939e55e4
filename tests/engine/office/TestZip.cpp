#include "TestZip.h"

#include <zlib.h>

namespace {

void Put16(std::string* out, uint32_t value) {
    *out += static_cast<char>(value & 0xFF);
    *out += static_cast<char>((value >> 8) & 0xFF);
}

void Put32(std::string* out, uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

std::string RawDeflate(const std::string& data) {
    z_stream stream = {};
    deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string packed(deflateBound(&stream, static_cast<uLong>(data.size())), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(&packed[0]);
    stream.avail_out = static_cast<uInt>(packed.size());
    deflate(&stream, Z_FINISH);
    packed.resize(stream.total_out);
    deflateEnd(&stream);
    return packed;
}

} // namespace

std::string MakeZip(const std::vector<TestEntry>& entries) {
    std::string zip, directory;
    for (const TestEntry& entry : entries) {
        const std::string packed = entry.stored ? entry.data : RawDeflate(entry.data);
        uint32_t crc = static_cast<uint32_t>(
            crc32(0, reinterpret_cast<const Bytef*>(entry.data.data()), static_cast<uInt>(entry.data.size())));
        crc ^= entry.wrongChecksum ? 1 : 0;
        const uint32_t size = static_cast<uint32_t>(entry.declaredSize >= 0 ? entry.declaredSize : entry.data.size());
        const uint16_t method = entry.method != 0 ? entry.method : entry.stored ? 0 : 8;
        const uint32_t offset = static_cast<uint32_t>(zip.size());
        std::string fields; // from the version needed to the name's length, in both records
        Put16(&fields, 20);
        Put16(&fields, entry.flags);
        Put16(&fields, method);
        Put32(&fields, 0); // time and date
        Put32(&fields, crc);
        Put32(&fields, static_cast<uint32_t>(packed.size()));
        Put32(&fields, size);
        Put16(&fields, static_cast<uint32_t>(entry.name.size()));
        Put32(&zip, 0x04034b50);
        zip += fields;
        Put16(&zip, 0); // extra
        zip += entry.name + packed;
        Put32(&directory, 0x02014b50);
        Put16(&directory, 20); // made by
        directory += fields;
        Put16(&directory, 0); // extra
        Put16(&directory, 0); // comment
        Put32(&directory, 0); // disk, internal attributes
        Put32(&directory, 0); // external attributes
        Put32(&directory, offset);
        directory += entry.name;
    }
    const uint32_t directoryAt = static_cast<uint32_t>(zip.size());
    zip += directory;
    Put32(&zip, 0x06054b50);
    Put32(&zip, 0); // disks
    Put16(&zip, static_cast<uint32_t>(entries.size()));
    Put16(&zip, static_cast<uint32_t>(entries.size()));
    Put32(&zip, static_cast<uint32_t>(directory.size()));
    Put32(&zip, directoryAt);
    Put16(&zip, 0);
    return zip;
}

std::string Relationships(const std::vector<TestLink>& links) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
                      "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
    for (const TestLink& link : links)
        xml += "<Relationship Id=\"" + link.id +
               "\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/" + link.type +
               "\" Target=\"" + link.target + "\"/>";
    return xml + "</Relationships>";
}
