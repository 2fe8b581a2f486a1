#pragma once

#include "ModbusSerial/FileDescriptor.h"

#include <string>
#include <system_error>
#include <thread>

// Why a pair could not be made: the step that failed and its error number (code()), so callers
// can tell an occupied link path from a machine out of terminals.
class VirtualPortPairError : public std::system_error {
public:
    enum Step { makingTerminals, startingThread, linkPathTaken, makingLink };

    VirtualPortPairError(Step step, int code, const std::string& what)
        : std::system_error(code, std::generic_category(), what)
        , step_(step) {}

    Step step() const { return step_; }

private:
    Step step_;
};

// Two pseudo-terminals joined back to back like a null-modem cable, so that the server opens one
// end as it would a serial adapter and a Modbus master program opens the other (what users
// otherwise set up with socat). A small thread copies the bytes; each end can be opened and
// closed again by its user as often as it likes. Destroying the pair stops the thread, closes
// both terminals and removes the symlink.
class VirtualPortPair {
public:
    // Throws VirtualPortPairError when the terminals or the thread cannot be made.
    VirtualPortPair();
    // Also makes a symlink at linkPath to the master program's end. A symlink there into
    // /dev/pts/ (left by an earlier pair) is replaced; anything else there, a symlink elsewhere
    // included, is left alone and the constructor throws (linkPathTaken).
    explicit VirtualPortPair(std::string linkPath);
    ~VirtualPortPair();

    VirtualPortPair(const VirtualPortPair&) = delete;
    VirtualPortPair& operator=(const VirtualPortPair&) = delete;

    const std::string& serverPath() const { return server_.path; } // "/dev/pts/N"
    const std::string& masterPath() const { return master_.path; }
    const std::string& linkPath() const { return linkPath_; } // empty without a symlink

private:
    struct End {
        FileDescriptor controller; // the pseudo-terminal's master side, where the copying happens
        // Held open so that a user closing this end never hangs the terminal up.
        FileDescriptor device;
        std::string path;
    };

    static End makeEnd();
    void makeLink();
    void removeLink() noexcept;
    void run();

    End server_;
    End master_;
    std::string linkPath_;
    FileDescriptor stop_;
    std::thread thread_;
};
