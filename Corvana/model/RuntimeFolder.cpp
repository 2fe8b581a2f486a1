#include "Corvana/model/RuntimeFolder.h"

#include <unistd.h>

#include <cstdlib>

namespace {

std::string absoluteVariable(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] == '/' ? std::string(value) : std::string();
}

} // namespace

std::string runtimeFolder() {
    if (const std::string runtime = absoluteVariable("XDG_RUNTIME_DIR"); !runtime.empty()) {
        return runtime + "/corvana";
    }
    std::string temporary = absoluteVariable("TMPDIR");
    while (temporary.size() > 1 && temporary.back() == '/') {
        temporary.pop_back();
    }
    return (temporary.empty() ? std::string("/tmp") : temporary) + "/corvana-" +
           std::to_string(::getuid());
}
