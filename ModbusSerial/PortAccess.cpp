#include "ModbusSerial/PortAccess.h"

#include <dirent.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <memory>
#include <vector>

namespace {

// getgrgid_r's buffer: large enough for any group entry, grown when it is not.
constexpr std::size_t initialGroupBuffer = 1024;
constexpr std::size_t maxGroupBuffer = 1 << 20;

struct DirectoryClose {
    void operator()(DIR* directory) const { ::closedir(directory); }
};

bool isProcessID(std::string_view name) {
    return !name.empty() && name.find_first_not_of("0123456789") == std::string_view::npos;
}

} // namespace

std::optional<std::string> PortAccess::owningGroup(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        return std::nullopt;
    }
    std::vector<char> buffer(initialGroupBuffer);
    for (;;) {
        group entry{};
        group* found = nullptr;
        const int error = ::getgrgid_r(status.st_gid, &entry, buffer.data(), buffer.size(), &found);
        if (error == ERANGE && buffer.size() < maxGroupBuffer) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (error != 0 || found == nullptr || found->gr_name == nullptr) {
            return std::nullopt;
        }
        return std::string(found->gr_name);
    }
}

bool PortAccess::isRunning(std::string_view name, const std::string& processFolder) {
    const std::unique_ptr<DIR, DirectoryClose> directory(::opendir(processFolder.c_str()));
    if (!directory) {
        return false;
    }
    while (const dirent* entry = ::readdir(directory.get())) {
        if (!isProcessID(entry->d_name)) {
            continue;
        }
        std::ifstream comm(processFolder + "/" + entry->d_name + "/comm");
        std::string command;
        if (std::getline(comm, command) && command == name) {
            return true;
        }
    }
    return false;
}

bool PortAccess::modemManagerRunning() {
    return isRunning("ModemManager");
}
