#pragma once

#include "ModbusSerial/FileDescriptor.h"
#include "ModbusSerial/VirtualPortPair.h"

#include <memory>
#include <optional>
#include <string>

// The window's virtual serial port: one pseudo-terminal pair, made on first use and kept until the
// application ends, so that a master holding its end open lives through Stop and Start. The
// master's end gets a stable link in a per-user folder; a lock beside the link keeps a second
// instance from taking it over while this one serves it.
class VirtualPort {
public:
    static constexpr const char* linkName = "virtual-master";

    // $XDG_RUNTIME_DIR/corvana, else corvana-<uid> in the temporary folder (made 0700).
    static std::string linkFolder();

    // Makes the pair unless it exists; throws VirtualPortPairError when none can be made. A link
    // that cannot be made is no failure: the pair serves without one and linkProblem says why.
    void open();
    // Ends the pair and removes the link; for the application's end.
    void close() noexcept;

    bool isOpen() const { return pair_ != nullptr; }
    // Empty while not open.
    std::string serverPath() const { return pair_ ? pair_->serverPath() : std::string(); }
    std::string masterPath() const { return pair_ ? pair_->masterPath() : std::string(); }
    std::string linkPath() const { return pair_ ? pair_->linkPath() : std::string(); }
    // Where the link was meant to be and why it is missing; empty when the pair has its link.
    const std::string& intendedLink() const { return intendedLink_; }
    const std::string& linkProblem() const { return linkProblem_; }
    // "link → /dev/pts/N", or the bare path without a link.
    std::string masterDescription() const;

private:
    // Takes the folder's lock for this instance; the reason when that is not possible.
    std::optional<std::string> claimFolder(const std::string& folder);

    std::unique_ptr<VirtualPortPair> pair_;
    FileDescriptor lock_;
    std::string intendedLink_;
    std::string linkProblem_;
};
