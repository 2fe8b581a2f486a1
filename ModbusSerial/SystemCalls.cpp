#include "ModbusSerial/SystemCalls.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>

namespace {

const SystemCalls standardCalls{
    [](int fd, void* buffer, std::size_t size) { return ::read(fd, buffer, size); },
    [](int fd, const void* buffer, std::size_t size) { return ::write(fd, buffer, size); },
    [](pollfd* descriptors, nfds_t count, int timeout) {
        return ::poll(descriptors, count, timeout);
    },
    [](int fd, unsigned long request, void* argument) { return ::ioctl(fd, request, argument); },
};

std::atomic<const SystemCalls*> installed{&standardCalls};

} // namespace

const SystemCalls& SystemCalls::standard() {
    return standardCalls;
}

const SystemCalls& SystemCalls::current() {
    return *installed.load(std::memory_order_acquire);
}

void SystemCalls::install(const SystemCalls* calls) {
    installed.store(calls ? calls : &standardCalls, std::memory_order_release);
}
