#pragma once

#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// A command's options as a table: each row names an option, its value and its help line, and
// stores what it reads into the command's Options. Adding an option is adding a row.
template <class Options>
struct OptionRow {
    std::string_view name;      // "--baud"
    std::string_view shortName; // "-h", or empty
    // "N", "FILE": a value is required, attached ("--baud=9600") or as the next argument;
    // "[LINK]": the value may be left out, so only a next argument that is no option is taken
    // ("[HOST:]PORT", bracketed only in part, is required);
    // empty: a switch, which takes no value.
    std::string_view valueName;
    std::string (*description)();
    // Stores the value (empty for a switch); answers the message for a bad one.
    std::optional<std::string> (*apply)(Options& options, const std::string& value);
    bool last = false; // the arguments after it are not read (--version)
};

// The apply of a switch that sets a flag of Options.
template <class Options, bool Options::*flag, bool on = true>
std::optional<std::string> setFlag(Options& options, const std::string&) {
    options.*flag = on;
    return std::nullopt;
}

// The apply of an option whose value is kept as it stands.
template <class Options, std::optional<std::string> Options::*field>
std::optional<std::string> storeText(Options& options, const std::string& value) {
    options.*field = value;
    return std::nullopt;
}

// A message for an option that is not in the table or got a value it takes none of.
using UnknownOption = std::string (*)(std::string_view argument);
// A message for an option that needs a value and got none.
using MissingValue = std::string (*)(std::string_view name);

template <class Options>
struct ParsedOptions {
    Options options;
    std::set<std::string_view> given; // names of the rows that were used
};

// Reads the arguments in order; the first bad one ends the reading with its message.
template <class Options>
std::pair<std::optional<ParsedOptions<Options>>, std::string>
parseOptions(std::span<const OptionRow<Options>> rows, const std::vector<std::string>& arguments,
             UnknownOption unknownOption, MissingValue missingValue) {
    ParsedOptions<Options> parsed;
    const auto fail = [](std::string message) {
        return std::pair<std::optional<ParsedOptions<Options>>, std::string>{std::nullopt,
                                                                             std::move(message)};
    };
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        std::string_view name = argument;
        std::optional<std::string> attached;
        if (const auto equals = argument.find('=');
            argument.starts_with("--") && equals != std::string::npos) {
            name = std::string_view(argument).substr(0, equals);
            attached = argument.substr(equals + 1);
        }
        const OptionRow<Options>* row = nullptr;
        for (const auto& candidate : rows) {
            if (candidate.name == name ||
                (!candidate.shortName.empty() && candidate.shortName == name)) {
                row = &candidate;
                break;
            }
        }
        if (row == nullptr || (row->valueName.empty() && attached)) {
            return fail(unknownOption(argument));
        }
        std::string value;
        if (row->valueName.starts_with('[') && row->valueName.ends_with(']')) {
            if (attached) {
                value = *attached;
            } else if (i + 1 < arguments.size() && !arguments[i + 1].starts_with('-')) {
                value = arguments[++i];
            }
        } else if (!row->valueName.empty()) {
            if (attached) {
                value = *attached;
            } else if (i + 1 < arguments.size()) {
                value = arguments[++i];
            } else {
                return fail(missingValue(row->name));
            }
        }
        if (auto message = row->apply(parsed.options, value)) {
            return fail(std::move(*message));
        }
        parsed.given.insert(row->name);
        if (row->last) {
            break;
        }
    }
    return {std::move(parsed), std::string()};
}

// One help line per row: "  -h, --help" or "      --baud N", the description from `column`.
template <class Options>
std::string optionHelp(std::span<const OptionRow<Options>> rows, std::size_t column) {
    std::string text;
    for (const auto& row : rows) {
        std::string option = row.shortName.empty() ? "    " : std::string(row.shortName) + ", ";
        option += row.name;
        if (!row.valueName.empty()) {
            option += ' ';
            option += row.valueName;
        }
        text += "  " + option;
        text.append(option.size() < column ? column - option.size() : 1, ' ');
        text += row.description() + "\n";
    }
    return text;
}
