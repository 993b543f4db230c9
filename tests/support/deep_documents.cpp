#include "support/deep_documents.h"

#include <cstdint>

namespace testing_support {
namespace {

const std::string kXmlHead =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
    "<plist version=\"1.0\">\n";

std::string repeated(const std::string& piece, size_t times) {
    std::string out;
    out.reserve(piece.size() * times);
    for (size_t k = 0; k < times; ++k) out += piece;
    return out;
}

void appendBigEndian(std::string& out, uint64_t value, size_t width) {
    for (size_t k = width; k-- > 0;) out += char((value >> (8 * k)) & 0xFF);
}

}  // namespace

std::string deepXmlArrays(size_t depth) {
    return kXmlHead + repeated("<array>", depth) + repeated("</array>", depth) + "\n</plist>\n";
}

std::string deepXmlDicts(size_t depth) {
    return kXmlHead + repeated("<dict><key>k</key>", depth) + "<string>x</string>" + repeated("</dict>", depth) +
           "\n</plist>\n";
}

std::string deepBinaryArrays(size_t depth) {
    std::string out = "bplist00";
    std::string table;
    for (size_t k = 0; k < depth; ++k) {
        appendBigEndian(table, out.size(), 4);
        if (k + 1 < depth) {
            out += char(0xA1);
            appendBigEndian(out, k + 1, 4);
        } else {
            out += char(0xA0);
        }
    }
    const uint64_t tableAt = out.size();
    out += table;
    out += std::string(6, '\0');
    out += char(4);  // offset width
    out += char(4);  // reference width
    appendBigEndian(out, depth, 8);
    appendBigEndian(out, 0, 8);
    appendBigEndian(out, tableAt, 8);
    return out;
}

std::string deepJson(size_t depth, const std::string& name) {
    return "{\"name\": \"" + name + "\", \"deep\": " + repeated("[", depth) + repeated("]", depth) + "}";
}

}  // namespace testing_support
