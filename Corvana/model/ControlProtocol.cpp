#include "Corvana/model/ControlProtocol.h"

#include "Corvana/model/RuntimeFolder.h"

#include "Localization/ControlTexts.h"
#include "ModbusCore/JSONFields.h"

#include <charconv>

namespace ControlProtocol {
namespace {

// Requests are small objects; these keep a hostile line from building a deep or huge tree.
constexpr JSONFields::ParseLimits requestLimits{.maxDepth = 32, .maxValues = 1 << 20};

// A value of `ctl key=value`: JSON where it reads as a number, a truth value, an array or an
// object, else the text itself ("0x10", "21,5" and names stay text).
nlohmann::json argumentValue(const std::string& text) {
    if (text == "true" || text == "false") {
        return text == "true";
    }
    if (!text.empty() && (text.front() == '[' || text.front() == '{')) {
        try {
            return JSONFields::parseBounded(text, requestLimits);
        } catch (const DecodingError&) {
            return text;
        }
    }
    std::int64_t whole = 0;
    const char* end = text.data() + text.size();
    if (const auto [at, error] = std::from_chars(text.data(), end, whole);
        !text.empty() && error == std::errc() && at == end) {
        return whole;
    }
    double number = 0;
    if (const auto [at, error] =
            std::from_chars(text.data(), end, number, std::chars_format::general);
        !text.empty() && error == std::errc() && at == end) {
        return number;
    }
    return text;
}

} // namespace

std::vector<LineSplitter::Line> LineSplitter::feed(std::string_view bytes) {
    std::vector<Line> lines;
    while (!bytes.empty()) {
        const std::size_t newline = bytes.find('\n');
        const std::string_view piece = bytes.substr(0, newline);
        if (!skipping_) {
            if (partial_.size() + piece.size() > maxBytes_) {
                // Reported at once: the client learns of it before sending the rest.
                lines.push_back(Line{{}, true});
                partial_.clear();
                skipping_ = true;
            } else {
                partial_.append(piece);
            }
        }
        if (newline == std::string_view::npos) {
            break;
        }
        if (!skipping_) {
            if (partial_.ends_with('\r')) {
                partial_.pop_back();
            }
            lines.push_back(Line{std::move(partial_), false});
        }
        partial_.clear();
        skipping_ = false;
        bytes.remove_prefix(newline + 1);
    }
    return lines;
}

std::variant<nlohmann::json, std::string> decodeRequest(std::string_view line) {
    nlohmann::json request;
    try {
        request = JSONFields::parseBounded(line, requestLimits);
    } catch (const DecodingError&) {
        return L10n::Control::invalidJSON();
    }
    const auto command = request.is_object() ? request.find("command") : request.end();
    if (!request.is_object() || command == request.end() || !command->is_string()) {
        return L10n::Control::notAnObject();
    }
    return request;
}

nlohmann::json okReply(nlohmann::json fields) {
    fields["ok"] = true;
    return fields;
}

nlohmann::json errorReply(const std::string& message) {
    return {{"ok", false}, {"error", message}};
}

std::string encodeLine(const nlohmann::json& object) {
    return object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + '\n';
}

std::variant<nlohmann::json, std::string>
requestFromArguments(const std::vector<std::string>& arguments) {
    if (arguments.empty() || arguments.front().empty()) {
        return L10n::Control::missingCommand();
    }
    if (arguments.size() == 1 && arguments.front().starts_with('{')) {
        auto decoded = decodeRequest(arguments.front());
        if (const auto* message = std::get_if<std::string>(&decoded)) {
            return *message;
        }
        return decoded;
    }
    nlohmann::json request = {{"command", arguments.front()}};
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& pair = arguments[i];
        const std::size_t equals = pair.find('=');
        if (equals == std::string::npos || equals == 0) {
            return L10n::Control::badPair(pair);
        }
        request[pair.substr(0, equals)] = argumentValue(pair.substr(equals + 1));
    }
    return request;
}

std::string defaultSocketPath() {
    return runtimeFolder() + "/control.sock";
}

} // namespace ControlProtocol
