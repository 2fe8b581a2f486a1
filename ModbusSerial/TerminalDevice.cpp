#include "ModbusSerial/Termios2.h"

#include "ModbusSerial/SystemCalls.h"

#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <type_traits>

static_assert(sizeof(termios2) <= sizeof(TerminalAttributes::bytes));

namespace {

int control(int fd, unsigned long request, auto argument) {
    void* passed = nullptr;
    if constexpr (std::is_pointer_v<decltype(argument)> ||
                  std::is_null_pointer_v<decltype(argument)>) {
        passed = argument;
    } else {
        passed = reinterpret_cast<void*>(static_cast<std::uintptr_t>(argument));
    }
    return SystemCalls::current().ioctl(fd, request, passed) == 0 ? 0 : errno;
}

} // namespace

termios2 Termios2::fromAttributes(const TerminalAttributes& attributes) {
    termios2 result;
    std::memcpy(&result, attributes.bytes.data(), sizeof result);
    return result;
}

TerminalAttributes Termios2::toAttributes(const termios2& attributes) {
    TerminalAttributes result;
    std::memcpy(result.bytes.data(), &attributes, sizeof attributes);
    return result;
}

termios2 Termios2::raw(termios2 t, const SerialConfiguration& configuration) {
    // What cfmakeraw does: no echo, no canonical input, no signals, no output processing, no
    // input translation.
    t.c_iflag &= ~tcflag_t(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON);
    t.c_oflag &= ~tcflag_t(OPOST);
    t.c_lflag &= ~tcflag_t(ECHO | ECHONL | ICANON | ISIG | IEXTEN);

    // HUPCL stays as the device had it. CMSPAR would turn even/odd into mark/space parity.
    t.c_cflag &= ~tcflag_t(CSIZE | CSTOPB | CREAD | PARENB | PARODD | CMSPAR | CLOCAL | CRTSCTS);
    t.c_cflag |= configuration.dataBits == 7 ? CS7 : CS8;
    t.c_cflag |= CREAD | CLOCAL;
    if (configuration.parity == Parity::even) {
        t.c_cflag |= PARENB;
    } else if (configuration.parity == Parity::odd) {
        t.c_cflag |= PARENB | PARODD;
    }
    if (configuration.stopBits == 2) {
        t.c_cflag |= CSTOPB;
    }

    t.c_iflag &= ~tcflag_t(INPCK | ISTRIP | IXON | IXOFF | IXANY);
    if (configuration.parity != Parity::none) {
        t.c_iflag |= INPCK;
    }

    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;

    // The configured rate follows in a second step, so a refused rate can be told apart from
    // refused attributes.
    t.c_cflag &= ~tcflag_t(CBAUD | CIBAUD);
    t.c_cflag |= B9600;
    t.c_ispeed = 9600;
    t.c_ospeed = 9600;
    return t;
}

termios2 Termios2::withBaudRate(termios2 t, int rate) {
    // CIBAUD zero makes the input speed follow the output speed.
    t.c_cflag &= ~tcflag_t(CBAUD | CIBAUD);
    t.c_cflag |= BOTHER;
    t.c_ispeed = static_cast<speed_t>(rate);
    t.c_ospeed = static_cast<speed_t>(rate);
    return t;
}

int TerminalDevice::getAttributes(int fd, TerminalAttributes& attributes) {
    termios2 t{};
    if (int error = control(fd, TCGETS2, &t)) {
        return error;
    }
    attributes = Termios2::toAttributes(t);
    return 0;
}

int TerminalDevice::setAttributes(int fd, const TerminalAttributes& attributes) {
    termios2 t = Termios2::fromAttributes(attributes);
    return control(fd, TCSETS2, &t);
}

TerminalAttributes TerminalDevice::rawAttributes(const TerminalAttributes& saved,
                                                 const SerialConfiguration& configuration) {
    return Termios2::toAttributes(Termios2::raw(Termios2::fromAttributes(saved), configuration));
}

int TerminalDevice::setBaudRate(int fd, int rate) {
    // Rate 0 would mean hang up.
    if (rate < 1) {
        return EINVAL;
    }
    termios2 t{};
    if (int error = control(fd, TCGETS2, &t)) {
        return error;
    }
    t = Termios2::withBaudRate(t, rate);
    return control(fd, TCSETS2, &t);
}

int TerminalDevice::takeExclusiveUse(int fd) {
    return control(fd, TIOCEXCL, nullptr);
}

int TerminalDevice::releaseExclusiveUse(int fd) {
    return control(fd, TIOCNXCL, nullptr);
}

int TerminalDevice::flushInput(int fd) {
    return control(fd, TCFLSH, TCIFLUSH);
}

int TerminalDevice::flushInputAndOutput(int fd) {
    return control(fd, TCFLSH, TCIOFLUSH);
}

int TerminalDevice::drain(int fd) {
    // TCSBRK with a non-zero argument is tcdrain: no break, just wait for the output.
    int error = 0;
    do {
        error = control(fd, TCSBRK, 1);
    } while (error == EINTR);
    return error;
}

bool TerminalDevice::isPseudoTerminal(int fd) {
    // Linux numbers Unix98 pseudo-terminal slaves as character devices with majors 136 to 143
    // (UNIX98_PTY_SLAVE_MAJOR and the seven after it; Documentation/admin-guide/devices.txt).
    // No serial adapter uses these.
    constexpr unsigned firstSlaveMajor = 136;
    constexpr unsigned lastSlaveMajor = 143;
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISCHR(status.st_mode)) {
        return false;
    }
    unsigned deviceMajor = major(status.st_rdev);
    return deviceMajor >= firstSlaveMajor && deviceMajor <= lastSlaveMajor;
}
