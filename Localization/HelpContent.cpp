#include "Localization/HelpContent.h"

#include "Localization/L10n.h"

#include <nlohmann/json.hpp>

#include <array>
#include <utility>

extern const std::string_view corvanaHelpEn;
extern const std::string_view corvanaHelpNl;
extern const std::string_view corvanaHelpDe;
extern const std::string_view corvanaHelpFr;
extern const std::string_view corvanaHelpEs;

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

const HelpTexts& HelpTexts::current() {
    return forLanguage(L10n::language());
}

const HelpTexts& HelpTexts::forLanguage(Language language) {
    return HelpContent::forLanguage(language).texts;
}
