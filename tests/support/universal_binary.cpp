#include "support/universal_binary.h"

namespace testing_support {
namespace {

void word32(std::string& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out += char((v >> shift) & 0xFF);
}
void word64(std::string& out, uint64_t v) {
    word32(out, uint32_t(v >> 32));
    word32(out, uint32_t(v));
}

}  // namespace

std::string universalBinary(const std::vector<SliceSpec>& slices, bool form64) {
    const size_t entry = form64 ? 32 : 20;
    size_t at = 8 + slices.size() * entry;
    std::vector<size_t> offsets;
    for (const auto& s : slices) {
        size_t unit = size_t(1) << s.alignment;
        at = (at + unit - 1) / unit * unit;
        offsets.push_back(at);
        at += s.bytes.size();
    }
    std::string out;
    word32(out, form64 ? 0xCAFEBABF : 0xCAFEBABE);
    word32(out, uint32_t(slices.size()));
    for (size_t i = 0; i < slices.size(); ++i) {
        word32(out, slices[i].cpuType);
        word32(out, slices[i].cpuSubtype);
        if (form64) {
            word64(out, offsets[i]);
            word64(out, slices[i].bytes.size());
            word32(out, slices[i].alignment);
            word32(out, 0);
        } else {
            word32(out, uint32_t(offsets[i]));
            word32(out, uint32_t(slices[i].bytes.size()));
            word32(out, slices[i].alignment);
        }
    }
    for (size_t i = 0; i < slices.size(); ++i) {
        out.resize(offsets[i], '\0');
        out += slices[i].bytes;
    }
    return out;
}

std::string filledBytes(size_t length, char seed) {
    std::string s(length, '\0');
    for (size_t i = 0; i < length; ++i) s[i] = char(seed + char(i % 97));
    return s;
}

}  // namespace testing_support
