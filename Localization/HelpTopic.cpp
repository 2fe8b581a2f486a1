#include "Localization/HelpTopic.h"

#include "Localization/HelpSearch.h"
#include "Localization/L10n.h"

#include <nlohmann/json.hpp>

#include <functional>
#include <utility>

extern const std::string_view corvanaHelpEn;
extern const std::string_view corvanaHelpNl;
extern const std::string_view corvanaHelpDe;
extern const std::string_view corvanaHelpFr;
extern const std::string_view corvanaHelpEs;

// MARK: - HelpBlock

std::optional<HelpBlock::Kind> HelpBlock::Kind::fromRaw(std::string_view raw) {
    for (Kind kind : allCases()) {
        if (kind.rawValue() == raw) {
            return kind;
        }
    }
    return std::nullopt;
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

// MARK: - HelpTopic

std::vector<HelpTopic> HelpTopic::all() {
    // The same language as the catalogue's texts on this thread.
    return all(L10n::language());
}

std::vector<HelpTopic> HelpTopic::all(Language language) {
    return HelpContent::forLanguage(language).topics;
}

std::string HelpTopic::searchableText() const {
    std::string text = title;
    for (const auto& block : blocks) {
        for (auto piece : block.texts()) {
            text += ' ';
            text += piece;
        }
    }
    return text;
}

bool HelpTopic::matches(std::string_view searchText) const {
    return HelpSearch::contains(searchableText(), HelpSearch::trimmed(searchText));
}

std::vector<HelpTopic> HelpTopic::filter(const std::vector<HelpTopic>& topics,
                                         std::string_view searchText) {
    std::vector<HelpTopic> found;
    for (const auto& topic : topics) {
        if (topic.matches(searchText)) {
            found.push_back(topic);
        }
    }
    return found;
}

// MARK: - Reading the resources

namespace {

using nlohmann::json;

std::string stringAt(const json& object, const char* key) {
    const auto it = object.find(key);
    return it != object.end() && it->is_string() ? it->get<std::string>() : std::string();
}

std::optional<HelpBlock> decodeBlock(const json& value) {
    if (!value.is_object() || value.size() != 1) {
        return std::nullopt;
    }
    const auto only = value.begin();
    const auto& payload = only.value();
    const auto kind = HelpBlock::Kind::fromRaw(only.key());
    if (!kind) {
        return std::nullopt;
    }
    switch (*kind) {
    case HelpBlock::Kind::paragraph:
    case HelpBlock::Kind::heading:
    case HelpBlock::Kind::tip: {
        if (!payload.is_string()) {
            return std::nullopt;
        }
        HelpBlock block;
        block.kind = *kind;
        block.text = payload.get<std::string>();
        return block;
    }
    case HelpBlock::Kind::bullets: {
        if (!payload.is_array()) {
            return std::nullopt;
        }
        std::vector<std::string> items;
        for (const auto& item : payload) {
            if (item.is_string()) {
                items.push_back(item.get<std::string>());
            }
        }
        return HelpBlock::bullets(std::move(items));
    }
    case HelpBlock::Kind::table: {
        if (!payload.is_array()) {
            return std::nullopt;
        }
        std::vector<HelpRow> rows;
        for (const auto& row : payload) {
            if (row.is_object()) {
                rows.push_back({stringAt(row, "key"), stringAt(row, "value")});
            }
        }
        return HelpBlock::table(std::move(rows));
    }
    case HelpBlock::Kind::screenshot:
        if (!payload.is_object()) {
            return std::nullopt;
        }
        return HelpBlock::screenshot(stringAt(payload, "name"), stringAt(payload, "caption"));
    }
    return std::nullopt;
}

std::optional<HelpTopic> decodeTopic(const json& value) {
    if (!value.is_object()) {
        return std::nullopt;
    }
    HelpTopic topic{stringAt(value, "id"), stringAt(value, "title"), stringAt(value, "symbol"), {}};
    if (topic.id.empty()) {
        return std::nullopt;
    }
    if (const auto blocks = value.find("blocks"); blocks != value.end() && blocks->is_array()) {
        for (const auto& block : *blocks) {
            if (auto decoded = decodeBlock(block)) {
                topic.blocks.push_back(std::move(*decoded));
            }
        }
    }
    return topic;
}

std::string_view resource(Language language) {
    switch (language) {
    case Language::en:
        return corvanaHelpEn;
    case Language::nl:
        return corvanaHelpNl;
    case Language::de:
        return corvanaHelpDe;
    case Language::fr:
        return corvanaHelpFr;
    case Language::es:
        return corvanaHelpEs;
    }
    return corvanaHelpEn;
}

} // namespace

HelpContent HelpContent::parse(std::string_view text) {
    const auto root = json::parse(text, nullptr, /*allow_exceptions=*/false);
    HelpContent content;
    if (!root.is_object()) {
        return content;
    }
    if (const auto texts = root.find("texts"); texts != root.end() && texts->is_object()) {
        content.texts = {stringAt(*texts, "windowTitle"), stringAt(*texts, "searchPrompt"),
                         stringAt(*texts, "noTopicsFound"), stringAt(*texts, "tip")};
    }
    if (const auto topics = root.find("topics"); topics != root.end() && topics->is_array()) {
        for (const auto& topic : *topics) {
            if (auto decoded = decodeTopic(topic)) {
                content.topics.push_back(std::move(*decoded));
            }
        }
    }
    return content;
}

const HelpContent& HelpContent::forLanguage(Language language) {
    // Parsed once per language, on first use; static initialisation is thread-safe.
    static const std::array<HelpContent, 5> contents = [] {
        std::array<HelpContent, 5> parsed;
        for (Language each : Language::allCases()) {
            parsed[each] = parse(resource(each));
        }
        return parsed;
    }();
    return contents[language];
}

// MARK: - HelpTexts and HelpViewState

const HelpTexts& HelpTexts::current() {
    return forLanguage(L10n::language());
}

const HelpTexts& HelpTexts::forLanguage(Language language) {
    return HelpContent::forLanguage(language).texts;
}

HelpViewState::HelpViewState()
    : HelpViewState(HelpTopic::all()) {}

HelpViewState::HelpViewState(const std::vector<HelpTopic>& topics)
    : selection(topics.empty() ? std::string() : topics.front().id) {}

std::vector<HelpTopic> HelpViewState::visibleTopics(const std::vector<HelpTopic>& topics) const {
    return HelpTopic::filter(topics, searchText);
}

// MARK: - Hashing

namespace {

void combine(std::size_t& seed, std::size_t hash) {
    seed ^= hash + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
}

} // namespace

std::size_t std::hash<HelpRow>::operator()(const HelpRow& row) const noexcept {
    std::size_t seed = std::hash<std::string>{}(row.key);
    combine(seed, std::hash<std::string>{}(row.value));
    return seed;
}

std::size_t std::hash<HelpBlock>::operator()(const HelpBlock& block) const noexcept {
    std::size_t seed = block.kind;
    combine(seed, std::hash<std::string>{}(block.text));
    for (const auto& item : block.items) {
        combine(seed, std::hash<std::string>{}(item));
    }
    for (const auto& row : block.rows) {
        combine(seed, std::hash<HelpRow>{}(row));
    }
    combine(seed, std::hash<std::string>{}(block.name));
    return seed;
}

std::size_t std::hash<HelpTopic>::operator()(const HelpTopic& topic) const noexcept {
    std::size_t seed = std::hash<std::string>{}(topic.id);
    combine(seed, std::hash<std::string>{}(topic.title));
    combine(seed, std::hash<std::string>{}(topic.symbol));
    for (const auto& block : topic.blocks) {
        combine(seed, std::hash<HelpBlock>{}(block));
    }
    return seed;
}
