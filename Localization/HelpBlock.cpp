#include "Localization/HelpBlock.h"

#include "Localization/EnumCases.h"

#include <utility>

std::optional<HelpBlock::Kind> HelpBlock::Kind::fromRaw(std::string_view raw) {
    return caseWithRaw(allCases(), raw);
}

const std::array<HelpBlock::Kind, 6>& HelpBlock::Kind::allCases() {
    static constexpr std::array<Kind, 6> cases{paragraph, heading, bullets, table, tip, screenshot};
    return cases;
}

std::string_view HelpBlock::Kind::rawValue() const {
    switch (value) {
    case paragraph:
        return "paragraph";
    case heading:
        return "heading";
    case bullets:
        return "bullets";
    case table:
        return "table";
    case tip:
        return "tip";
    case screenshot:
        return "screenshot";
    }
    return "paragraph";
}

namespace {

// Paragraphs, headings and tips carry nothing but their text.
HelpBlock textBlock(HelpBlock::Kind kind, std::string text) {
    HelpBlock block;
    block.kind = kind;
    block.text = std::move(text);
    return block;
}

} // namespace

HelpBlock HelpBlock::paragraph(std::string text) {
    return textBlock(Kind::paragraph, std::move(text));
}

HelpBlock HelpBlock::heading(std::string text) {
    return textBlock(Kind::heading, std::move(text));
}

HelpBlock HelpBlock::bullets(std::vector<std::string> items) {
    HelpBlock block;
    block.kind = Kind::bullets;
    block.items = std::move(items);
    return block;
}

HelpBlock HelpBlock::table(std::vector<HelpRow> rows) {
    HelpBlock block;
    block.kind = Kind::table;
    block.rows = std::move(rows);
    return block;
}

HelpBlock HelpBlock::tip(std::string text) {
    return textBlock(Kind::tip, std::move(text));
}

HelpBlock HelpBlock::screenshot(std::string name, std::string caption) {
    HelpBlock block;
    block.kind = Kind::screenshot;
    block.name = std::move(name);
    block.text = std::move(caption);
    return block;
}

std::vector<std::string_view> HelpBlock::texts() const {
    switch (kind) {
    case Kind::bullets:
        return {items.begin(), items.end()};
    case Kind::table: {
        std::vector<std::string_view> texts;
        texts.reserve(rows.size() * 2);
        for (const auto& row : rows) {
            texts.push_back(row.key);
            texts.push_back(row.value);
        }
        return texts;
    }
    case Kind::paragraph:
    case Kind::heading:
    case Kind::tip:
    case Kind::screenshot:
        break;
    }
    return {text};
}

std::size_t std::hash<HelpRow>::operator()(const HelpRow& row) const noexcept {
    std::size_t seed = std::hash<std::string>{}(row.key);
    HelpHash::combine(seed, std::hash<std::string>{}(row.value));
    return seed;
}

std::size_t std::hash<HelpBlock>::operator()(const HelpBlock& block) const noexcept {
    std::size_t seed = block.kind;
    HelpHash::combine(seed, std::hash<std::string>{}(block.text));
    for (const auto& item : block.items) {
        HelpHash::combine(seed, std::hash<std::string>{}(item));
    }
    for (const auto& row : block.rows) {
        HelpHash::combine(seed, std::hash<HelpRow>{}(row));
    }
    HelpHash::combine(seed, std::hash<std::string>{}(block.name));
    return seed;
}
