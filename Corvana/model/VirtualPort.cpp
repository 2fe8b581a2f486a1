#include "Corvana/model/VirtualPort.h"

#include "Corvana/model/RuntimeFolder.h"

#include "Localization/L10n.h"
#include "ModbusSerial/SerialLinkError.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace {

constexpr const char* lockSuffix = ".lock";
constexpr mode_t privateFolder = 0700;
constexpr mode_t privateFile = 0600;

std::string systemText(int code) {
    return SerialLinkError::systemText(code);
}

} // namespace

std::string VirtualPort::linkFolder() {
    return runtimeFolder();
}

std::optional<std::string> VirtualPort::claimFolder(const std::string& folder) {
    if (::mkdir(folder.c_str(), privateFolder) != 0 && errno != EEXIST) {
        return systemText(errno);
    }
    struct stat status {};
    if (::lstat(folder.c_str(), &status) != 0) {
        return systemText(errno);
    }
    if (!S_ISDIR(status.st_mode)) {
        return systemText(ENOTDIR);
    }
    // In a shared temporary folder someone else may have made it first, to plant a link.
    if (status.st_uid != ::getuid() || (status.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        return L10n::VirtualPort::folderNotPrivate();
    }
    const std::string lockPath = folder + "/" + linkName + lockSuffix;
    FileDescriptor lock(
        ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, privateFile));
    if (!lock.isOpen()) {
        return systemText(errno);
    }
    // Released by the kernel when this instance ends, however it ends.
    if (::flock(lock.get(), LOCK_EX | LOCK_NB) != 0) {
        return errno == EWOULDBLOCK ? L10n::VirtualPort::linkInUse() : systemText(errno);
    }
    lock_ = std::move(lock);
    return std::nullopt;
}

void VirtualPort::open() {
    if (pair_) {
        return;
    }
    const std::string folder = linkFolder();
    intendedLink_ = folder + "/" + linkName;
    linkProblem_.clear();
    if (auto problem = claimFolder(folder)) {
        linkProblem_ = std::move(*problem);
    } else {
        try {
            pair_ = std::make_unique<VirtualPortPair>(intendedLink_);
            intendedLink_.clear();
            return;
        } catch (const VirtualPortPairError& error) {
            if (error.step() != VirtualPortPairError::linkPathTaken &&
                error.step() != VirtualPortPairError::makingLink) {
                lock_.reset();
                throw;
            }
            linkProblem_ = systemText(error.code().value());
            lock_.reset();
        }
    }
    // The master can still use the terminal's own path.
    pair_ = std::make_unique<VirtualPortPair>();
}

void VirtualPort::close() noexcept {
    pair_.reset(); // removes the link
    lock_.reset();
}

std::string VirtualPort::masterDescription() const {
    if (!pair_) {
        return {};
    }
    return pair_->linkPath().empty() ? pair_->masterPath()
                                     : pair_->linkPath() + " → " + pair_->masterPath();
}
