// Zips written by the tests' own code (zlib's deflate, or stored), with the ways a zip can lie
// about itself: a declared size, a flag, a method, a checksum.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct TestEntry {
    std::string name, data;
    bool stored = false;
    uint16_t flags = 0;
    uint16_t method = 0;       // 0: stored or deflate as above; another: written as that method
    int64_t declaredSize = -1; // the unpacked size the records give; -1: the true one
    bool wrongChecksum = false;
};

std::string MakeZip(const std::vector<TestEntry>& entries);
// The unpacked data of a package part: a relationship of the given type (its last segment).
struct TestLink {
    std::string id, type, target;
};
std::string Relationships(const std::vector<TestLink>& links);
