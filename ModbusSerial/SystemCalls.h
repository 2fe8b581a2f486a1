#pragma once

#include <poll.h>
#include <sys/types.h>

#include <cstddef>

// The calls the serial link, its terminal controls and the virtual port pair make on an open
// device. Tests install a table of their own to make one fail with a chosen error number (EIO,
// EAGAIN, EINTR, a short write…); the application always runs on the C library's.
struct SystemCalls {
    ssize_t (*read)(int fd, void* buffer, std::size_t size);
    ssize_t (*write)(int fd, const void* buffer, std::size_t size);
    int (*poll)(pollfd* descriptors, nfds_t count, int timeoutMilliseconds);
    // The argument is the pointer, or the integer as a pointer, that ioctl takes.
    int (*ioctl)(int fd, unsigned long request, void* argument);

    // The C library's calls.
    static const SystemCalls& standard();
    // The table in use; any thread.
    static const SystemCalls& current();
    // For tests only: the table to use from now on, nullptr for the standard one. It must stay
    // alive until replaced.
    static void install(const SystemCalls* calls);
};
