// Bytes a script sends to the control socket: cut into lines at the places the first byte
// chooses, each line decoded as a request. Nothing may crash, no line may pass the limit, and
// every reply built from what was read is one line.

#include "fuzz/FuzzCheck.h"

#include "Corvana/model/ControlProtocol.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    // A small limit, so that over-long lines are common.
    constexpr std::size_t limit = 64;
    ControlProtocol::LineSplitter splitter(limit);
    const std::size_t piece = 1 + data[0] % 16;
    std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    while (!bytes.empty()) {
        const std::string_view chunk = bytes.substr(0, piece);
        bytes.remove_prefix(chunk.size());
        for (const auto& line : splitter.feed(chunk)) {
            FUZZ_CHECK(line.text.size() <= limit);
            FUZZ_CHECK(line.text.find('\n') == std::string::npos);
            const auto request = ControlProtocol::decodeRequest(line.text);
            const nlohmann::json reply =
                std::holds_alternative<nlohmann::json>(request)
                    ? ControlProtocol::okReply({{"echo", std::get<nlohmann::json>(request)}})
                    : ControlProtocol::errorReply(std::get<std::string>(request));
            const std::string encoded = ControlProtocol::encodeLine(reply);
            FUZZ_CHECK(encoded.find('\n') == encoded.size() - 1);
        }
    }
    return 0;
}
