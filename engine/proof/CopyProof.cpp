#include "engine/proof/CopyProof.h"

bool CReadOnce::Key::operator==(const Key& other) const {
    return volume == other.volume && index == other.index;
}

size_t CReadOnce::KeyHash::operator()(const Key& key) const {
    return std::hash<uint64_t>()(key.index * 1000003u ^ key.volume);
}

void CReadOnce::Forget() {
    m_hashes.clear();
}
