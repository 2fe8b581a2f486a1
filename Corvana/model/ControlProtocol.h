#pragma once

#include <nlohmann/json.hpp>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

// The control socket's wire format: JSON lines, one request object per line and one reply object
// per line. Pure functions and a line splitter, so the parts that read outside bytes are tested
// and fuzzed without a socket. Messages are in the user's language.
namespace ControlProtocol {

// A request line longer than this is answered with an error and skipped up to its newline.
inline constexpr std::size_t maxLineBytes = 1024 * 1024;

// Cuts a byte stream into lines without their "\n" (and a "\r" before it). Memory stays bounded:
// an over-long line is reported once, as soon as it passes the limit, and its rest is dropped.
class LineSplitter {
public:
    struct Line {
        std::string text; // empty for an over-long line
        bool overlong = false;
    };

    explicit LineSplitter(std::size_t maxBytes = maxLineBytes)
        : maxBytes_(maxBytes) {}

    // The lines completed by `bytes`, in order.
    std::vector<Line> feed(std::string_view bytes);

private:
    std::size_t maxBytes_;
    std::string partial_;
    bool skipping_ = false; // inside an over-long line, until its newline
};

// One request object with a text "command", or the message why the line is none.
std::variant<nlohmann::json, std::string> decodeRequest(std::string_view line);

// {"ok": true} with the given fields; fields must be an object.
nlohmann::json okReply(nlohmann::json fields = nlohmann::json::object());
// {"ok": false, "error": message}.
nlohmann::json errorReply(const std::string& message);
// The object as one line with its "\n"; text that is not UTF-8 is replaced, never thrown on.
std::string encodeLine(const nlohmann::json& object);

// The arguments of `corvana ctl` after the options: COMMAND followed by key=value pairs, or one
// whole JSON object. Values that read as JSON numbers, true, false, or a JSON array or object
// are taken as such; every other value is text. The message why they are no request otherwise.
std::variant<nlohmann::json, std::string>
requestFromArguments(const std::vector<std::string>& arguments);

// $XDG_RUNTIME_DIR/corvana/control.sock; without an absolute XDG_RUNTIME_DIR a folder of the
// user's own in the temporary folder: /tmp/corvana-UID/control.sock.
std::string defaultSocketPath();

} // namespace ControlProtocol
