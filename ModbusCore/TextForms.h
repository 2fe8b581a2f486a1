#pragma once

#include "Localization/TextTrim.h"

#include <initializer_list>
#include <string>
#include <string_view>

// Shared by the readers of text typed by people: value cells, enumeration names, CSV cells.
namespace TextForms {

// ASCII capitals and the UTF-8 Latin-1 capitals U+00C0…U+00DE (except U+00D7 "×") lowered,
// enough for every accented word the readers accept ("SÍ", "UNITÉ").
std::string lowercased(std::string_view text);

// Control characters shown as escapes, so that a name from a file cannot move the cursor,
// retitle or clear a terminal, or start a line of its own: "\n", "\r", "\t", the other C0 controls
// and DEL as "\xHH", the C1 controls U+0080…U+009F as "\u0080"…. Everything else, invalid UTF-8
// included, is kept as it is.
std::string escapedControls(std::string_view text);

bool isOneOf(std::string_view word, std::initializer_list<std::string_view> words);

} // namespace TextForms
