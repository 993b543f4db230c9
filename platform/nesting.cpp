#include "platform/nesting.h"

#include <cstdint>
#include <limits>
#include <vector>

namespace Nesting {
namespace {

// Past this many values, once every shared object is counted each time it is
// referred to, a binary list would build a tree larger than memory should hold.
constexpr uint64_t kMaxExpandedValues = 4'000'000;

uint64_t bigEndian(std::string_view bytes, size_t at, size_t width) {
    uint64_t v = 0;
    for (size_t k = 0; k < width; ++k) v = (v << 8) | static_cast<unsigned char>(bytes[at + k]);
    return v;
}

// A binary property list: a header, objects, a table of their offsets and a
// 32-byte trailer saying how wide offsets and object references are.
class Binary {
public:
    explicit Binary(std::string_view bytes) : b_(bytes) {}

    bool within(size_t maxDepth) {
        if (maxDepth > 60000) maxDepth = 60000;  // heights are kept in 16 bits
        if (b_.size() < 8 + 32) return false;
        const size_t t = b_.size() - 32;
        offsetWidth_ = static_cast<unsigned char>(b_[t + 6]);
        refWidth_ = static_cast<unsigned char>(b_[t + 7]);
        const uint64_t count = bigEndian(b_, t + 8, 8);
        const uint64_t top = bigEndian(b_, t + 16, 8);
        tableAt_ = bigEndian(b_, t + 24, 8);
        if (offsetWidth_ < 1 || offsetWidth_ > 8 || refWidth_ < 1 || refWidth_ > 8) return false;
        if (count == 0 || top >= count || tableAt_ < 8 || tableAt_ > t) return false;
        if (count > (t - tableAt_) / offsetWidth_) return false;
        // Every object of a real list is used at least once, so more objects
        // than the expansion cap can only be padding for a hostile one.
        if (count > kMaxExpandedValues) return false;
        count_ = count;

        // Depth first from the top object, on a stack of our own holding the
        // containers on the way down, never more than the cap; each object is
        // measured once.
        struct Frame {
            uint64_t object;
            uint64_t refsAt;
            uint64_t refs;
            uint64_t next = 0;
            uint32_t height = 0;    // the deepest child seen so far
            uint64_t expanded = 1;  // values below and including this one
        };
        enum : uint8_t { unseen, open, done };
        std::vector<uint8_t> state(count, unseen);
        std::vector<uint16_t> height(count, 0);  // at most the cap
        std::vector<uint32_t> expanded(count, 1);  // at most kMaxExpandedValues
        std::vector<Frame> stack;

        // Starts on an object: a container is pushed, anything else is done at
        // once. False when it is malformed or would go past the cap.
        auto enter = [&](uint64_t object) -> bool {
            uint64_t refsAt = 0, refs = 0;
            bool container = false;
            if (!children(object, container, refsAt, refs)) return false;
            if (!container) {
                state[object] = done;
                return true;
            }
            if (stack.size() >= maxDepth) return false;
            state[object] = open;
            stack.push_back(Frame{object, refsAt, refs});
            return true;
        };
        // Adds a finished child's measures to the container being walked.
        auto merge = [&](uint64_t child) -> bool {
            Frame& f = stack.back();
            if (uint32_t(height[child]) + 1 > f.height) f.height = uint32_t(height[child]) + 1;
            f.expanded += expanded[child];
            return f.expanded <= kMaxExpandedValues;
        };

        if (!enter(top)) return false;
        while (!stack.empty()) {
            Frame& f = stack.back();
            if (f.next == f.refs) {
                const Frame finished = f;
                stack.pop_back();
                state[finished.object] = done;
                height[finished.object] = uint16_t(finished.height);
                expanded[finished.object] = uint32_t(finished.expanded);
                if (!stack.empty() && !merge(finished.object)) return false;
                continue;
            }
            const uint64_t child = bigEndian(b_, size_t(f.refsAt + f.next * refWidth_), refWidth_);
            ++f.next;
            if (child >= count_) return false;
            if (state[child] == open) return false;  // a cycle
            if (state[child] == done) {
                if (!merge(child)) return false;
                continue;
            }
            const size_t before = stack.size();
            if (!enter(child)) return false;
            if (stack.size() == before && !merge(child)) return false;  // a leaf
        }
        return true;
    }

private:
    // Whether the object is a container (an empty one is a level too), where
    // its references start and how many there are. False when it is malformed.
    bool children(uint64_t object, bool& container, uint64_t& refsAt, uint64_t& refs) const {
        container = false;
        refsAt = 0;
        refs = 0;
        const uint64_t at = bigEndian(b_, size_t(tableAt_ + object * offsetWidth_), offsetWidth_);
        if (at < 8 || at >= tableAt_) return false;
        const unsigned marker = static_cast<unsigned char>(b_[at]);
        const unsigned kind = marker >> 4;
        if (kind != 0xA && kind != 0xC && kind != 0xD) return true;
        container = true;
        uint64_t n = marker & 0xF;
        uint64_t p = at + 1;
        if (n == 0xF) {  // the count follows as an integer object
            if (p >= tableAt_) return false;
            const unsigned intMarker = static_cast<unsigned char>(b_[p]);
            if ((intMarker >> 4) != 0x1 || (intMarker & 0xF) > 3) return false;
            const size_t width = size_t(1) << (intMarker & 0xF);
            if (p + 1 + width > tableAt_) return false;
            n = bigEndian(b_, size_t(p + 1), width);
            p += 1 + width;
        }
        const uint64_t perEntry = kind == 0xD ? 2 : 1;
        if (n > (tableAt_ - p) / (perEntry * refWidth_)) return false;
        refsAt = p;
        refs = n * perEntry;
        return true;
    }

    std::string_view b_;
    unsigned offsetWidth_ = 0;
    unsigned refWidth_ = 0;
    uint64_t count_ = 0;
    uint64_t tableAt_ = 0;
};

bool startsWith(std::string_view s, size_t at, std::string_view prefix) {
    return s.size() - at >= prefix.size() && s.compare(at, prefix.size(), prefix) == 0;
}

// XML: every element opened and not yet closed counts; comments, CDATA,
// processing instructions and declarations are passed over whole.
bool xmlWithin(std::string_view s, size_t maxDepth) {
    std::vector<std::string_view> open;
    size_t i = 0;
    auto skipPast = [&](std::string_view end) {
        size_t k = s.find(end, i);
        i = k == std::string_view::npos ? s.size() : k + end.size();
    };
    while (i < s.size()) {
        const size_t lt = s.find('<', i);
        if (lt == std::string_view::npos) break;
        i = lt;
        if (startsWith(s, i, "<!--")) {
            i += 4;
            skipPast("-->");
        } else if (startsWith(s, i, "<![CDATA[")) {
            i += 9;
            skipPast("]]>");
        } else if (startsWith(s, i, "<?")) {
            i += 2;
            skipPast("?>");
        } else if (startsWith(s, i, "<!")) {
            // A declaration, perhaps with an internal subset in brackets.
            size_t k = i + 2;
            int brackets = 0;
            while (k < s.size() && !(s[k] == '>' && brackets == 0)) {
                if (s[k] == '[') ++brackets;
                else if (s[k] == ']' && brackets > 0) --brackets;
                ++k;
            }
            i = k + 1;
        } else {
            const bool closing = startsWith(s, i, "</");
            size_t k = i + (closing ? 2 : 1);
            const size_t nameAt = k;
            while (k < s.size() && s[k] != '>' && s[k] != '/' && s[k] != ' ' && s[k] != '\t' && s[k] != '\n' &&
                   s[k] != '\r')
                ++k;
            const std::string_view name = s.substr(nameAt, k - nameAt);
            // To the end of the tag, quoted attribute values passed over.
            char quote = 0;
            bool selfClosing = false;
            while (k < s.size()) {
                const char c = s[k];
                if (quote) {
                    if (c == quote) quote = 0;
                } else if (c == '"' || c == '\'') {
                    quote = c;
                } else if (c == '>') {
                    selfClosing = k > nameAt && s[k - 1] == '/';
                    break;
                }
                ++k;
            }
            i = k + 1;
            if (closing) {
                // A closing tag that matches nothing would let the count fall
                // while a parser goes deeper: such a file is no property list.
                if (open.empty() || open.back() != name) return false;
                open.pop_back();
            } else if (!selfClosing) {
                if (open.size() >= maxDepth + 2) return false;
                open.push_back(name);
            }
        }
    }
    return true;
}

}  // namespace

bool jsonWithin(std::string_view text, size_t maxDepth) {
    size_t depth = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            for (++i; i < text.size() && text[i] != '"'; ++i)
                if (text[i] == '\\') ++i;
        } else if (c == '/' && i + 1 < text.size() && text[i + 1] == '/') {
            while (i < text.size() && text[i] != '\n') ++i;
        } else if (c == '/' && i + 1 < text.size() && text[i + 1] == '*') {
            const size_t end = text.find("*/", i + 2);
            i = end == std::string_view::npos ? text.size() : end + 1;
        } else if (c == '[' || c == '{') {
            if (++depth > maxDepth) return false;
        } else if ((c == ']' || c == '}') && depth > 0) {
            --depth;
        }
    }
    return true;
}

bool plistWithin(std::string_view bytes, size_t maxDepth) {
    if (startsWith(bytes, 0, "bplist00")) return Binary(bytes).within(maxDepth);
    return xmlWithin(bytes, maxDepth);
}

}  // namespace Nesting
