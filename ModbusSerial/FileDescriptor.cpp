#include "ModbusSerial/FileDescriptor.h"

#include <unistd.h>

void FileDescriptor::reset(int fd) noexcept {
    if (fd_ >= 0) {
        ::close(fd_);
    }
    fd_ = fd;
}
