// Fuzzes the reading of Word, Excel and PowerPoint files, natively. The first byte chooses: the
// rest as a whole zip read as one of the three kinds, or as one XML part fed to the XML reader in
// pieces of a size the second byte gives (so every token meets a piece's end somewhere). Nothing
// may crash, hang or read out of bounds; a document read whole stays within the text's bound;
// the XML reader's starts and ends pair up, and it says Done only when every element closed.
#include "engine/office/ByteSource.h"
#include "engine/office/XmlReader.h"
#include "engine/office/ZipEntryStream.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

class CPieces : public CChunkInput {
public:
    CPieces(const char* data, size_t size, size_t piece) : m_data(data), m_size(size), m_piece(piece) {}
    OfficeOutcome Next(const char** data, size_t* size) override {
        *data = m_data + m_at;
        *size = std::min(m_piece, m_size - m_at);
        m_at += *size;
        return OfficeOutcome::Ok;
    }

private:
    const char* m_data;
    size_t m_size, m_piece, m_at = 0;
};

void CheckXml(const char* data, size_t size, size_t piece) {
    CPieces pieces(data, size, piece);
    CXmlReader xml(pieces);
    size_t open = 0;
    for (size_t tokens = 0;; ++tokens) {
        const XmlToken token = xml.Next();
        if (token == XmlToken::Failed)
            return;
        if (token == XmlToken::Done) {
            if (open != 0)
                Fail("Done with elements open");
            return;
        }
        if (token == XmlToken::Start && ++open != xml.Depth())
            Fail("a start's depth");
        if (token == XmlToken::End && open-- != xml.Depth())
            Fail("an end's depth");
        if (tokens > 4 * size + 8)
            Fail("more tokens than the input can hold");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    const char* rest = reinterpret_cast<const char*>(data + 2);
    const size_t restSize = size - 2;
    const unsigned mode = data[0] % 4;
    if (mode == 3) {
        CheckXml(rest, restSize, 1 + data[1]);
        return 0;
    }
    CMemorySource source(rest, restSize);
    std::vector<wchar_t> units;
    const OfficeKind kinds[] = {OfficeKind::Word, OfficeKind::Excel, OfficeKind::PowerPoint};
    const OfficeOutcome outcome = ReadOfficeText(source, kinds[mode], &units);
    if (outcome != OfficeOutcome::Ok && !units.empty())
        Fail("text left after a failure");
    if (units.size() > kMaxOfficeTextUnits + kMaxOfficeTextUnits / 8)
        Fail("the text past its bound");
    return 0;
}
