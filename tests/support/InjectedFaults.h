#pragma once

#include "ModbusSerial/SystemCalls.h"

#include <atomic>
#include <cerrno>
#include <cstddef>

// One kind of call made to fail.
struct InjectedFault {
    std::atomic<int> error{0}; // 0: disarmed
    std::atomic<int> after{0};

    void arm(int code, int goodCallsFirst = 0) {
        after = goodCallsFirst;
        error = code;
    }
    // The error number to fail this call with, or 0.
    int take() {
        if (error == 0) {
            return 0;
        }
        if (after > 0) {
            --after;
            return 0;
        }
        return error.exchange(0);
    }
};

// While alive, makes chosen system calls of the serial code fail: each armed fault hits the next
// call of its kind once (after `after` good calls of that kind), with its error number; every
// other call goes to the C library. One at a time per process.
class InjectedFaults {
public:
    using Fault = InjectedFault;

    InjectedFaults() { SystemCalls::install(&table); }
    ~InjectedFaults() { SystemCalls::install(nullptr); }
    InjectedFaults(const InjectedFaults&) = delete;
    InjectedFaults& operator=(const InjectedFaults&) = delete;

    static inline Fault read, write, poll, ioctl;
    // The next write sends at most this many bytes (0: no limit), once.
    static inline std::atomic<std::size_t> shortWrite{0};
    // The next poll reports nothing ready without waiting, once.
    static inline std::atomic<bool> pollTimesOut{false};
    static inline std::atomic<int> writes{0}; // write calls made, failed ones too

private:
    static int fail(int code) {
        errno = code;
        return -1;
    }

    static inline const SystemCalls table{
        [](int fd, void* buffer, std::size_t size) -> ssize_t {
            if (int code = read.take()) {
                return fail(code);
            }
            return SystemCalls::standard().read(fd, buffer, size);
        },
        [](int fd, const void* buffer, std::size_t size) -> ssize_t {
            ++writes;
            if (int code = write.take()) {
                return fail(code);
            }
            if (std::size_t limit = shortWrite.exchange(0); limit > 0 && limit < size) {
                size = limit;
            }
            return SystemCalls::standard().write(fd, buffer, size);
        },
        [](pollfd* descriptors, nfds_t count, int timeout) -> int {
            if (pollTimesOut.exchange(false)) {
                return 0;
            }
            if (int code = poll.take()) {
                return fail(code);
            }
            return SystemCalls::standard().poll(descriptors, count, timeout);
        },
        [](int fd, unsigned long request, void* argument) -> int {
            if (int code = ioctl.take()) {
                return fail(code);
            }
            return SystemCalls::standard().ioctl(fd, request, argument);
        },
    };

public:
    // Disarms everything left over from a test.
    static void reset() {
        for (Fault* fault : {&read, &write, &poll, &ioctl}) {
            fault->error = 0;
            fault->after = 0;
        }
        shortWrite = 0;
        pollTimesOut = false;
        writes = 0;
    }
};
