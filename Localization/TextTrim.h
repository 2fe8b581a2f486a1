#pragma once

#include <string_view>

namespace Text {

// Without spaces and tabs at both ends: how typed text counts (search fields, value cells, CSV
// cells), whatever was typed around it.
inline std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

} // namespace Text
