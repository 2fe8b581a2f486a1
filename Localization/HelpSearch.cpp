#include "Localization/HelpSearch.h"

#include <cstdint>

namespace HelpSearch {

namespace {

// The code point starting at text[i] and its length in bytes; length 0 for a byte that does not
// start a well-formed sequence.
struct Decoded {
    char32_t codePoint;
    std::size_t length;
};

Decoded decode(std::string_view text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<std::uint8_t>(text[i + k]); };
    const auto lead = byte(0);
    std::size_t length = 0;
    char32_t codePoint = 0;
    if (lead < 0x80) {
        return {lead, 1};
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2;
        codePoint = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        codePoint = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        codePoint = lead & 0x07;
    } else {
        return {0, 0};
    }
    if (i + length > text.size()) {
        return {0, 0};
    }
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(k) & 0xC0) != 0x80) {
            return {0, 0};
        }
        codePoint = (codePoint << 6) | (byte(k) & 0x3F);
    }
    // Overlong forms would let two spellings of one letter fold differently.
    static constexpr char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (codePoint < smallest[length] || codePoint > 0x10FFFF) {
        return {0, 0};
    }
    return {codePoint, length};
}

void append(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Simple lower-case mapping; the multi-letter folds are handled by the caller.
char32_t lower(char32_t c) {
    if (c >= U'A' && c <= U'Z') {
        return c + 0x20;
    }
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) { // À–Þ without ×
        return c + 0x20;
    }
    if (c == 0x130) { // İ
        return U'i';
    }
    if (c == 0x178) { // Ÿ
        return 0xFF;
    }
    // Latin Extended-A pairs an upper-case letter with the next code point, but the pairing
    // starts on an even code point in three stretches and on an odd one in the other two.
    const bool evenPairs = (c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177);
    const bool oddPairs = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if ((evenPairs && c % 2 == 0) || (oddPairs && c % 2 == 1)) {
        return c + 1;
    }
    return c;
}

} // namespace

std::string foldCase(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto [c, length] = decode(text, i);
        if (length == 0) {
            out += text[i];
            ++i;
            continue;
        }
        i += length;
        if (c == 0xDF || c == 0x1E9E) { // ß, ẞ
            out += "ss";
        } else if (c == 0x17F) { // ſ
            out += 's';
        } else {
            append(out, lower(c));
        }
    }
    return out;
}

bool contains(std::string_view text, std::string_view searchText) {
    return foldCase(text).find(foldCase(searchText)) != std::string::npos;
}

} // namespace HelpSearch
