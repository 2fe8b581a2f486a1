#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

// Catalogue lookups shared by the module's text functions: a key's text in the language of this
// thread, falling back to English and then to the key itself.
namespace L10n::Catalogue {

using Values = std::initializer_list<std::pair<std::string_view, std::string_view>>;

std::string_view lookup(std::string_view key);
std::string text(std::string_view key);
// The key's text with each "{name}" replaced by its value.
std::string fill(std::string_view key, Values values);
// "key.one" for exactly one, "key.other" otherwise, with "{count}" filled in; further values
// fill the text's other placeholders.
std::string countText(std::string_view key, int count, Values values = {});

} // namespace L10n::Catalogue
