#include "Corvana/model/UdevPortScanner.h"

#include "TestEnvironment.h"

#include <umockdev.h>

#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using Ports = std::vector<SerialPortInfo>;

std::string take(gchar* path) {
    const std::string result = path != nullptr ? path : "";
    g_free(path);
    return result;
}

// Every test runs in an umockdev testbed: libudev and the scanner's opens see only the fake
// sysfs and /dev made here, never this machine's devices.
class UdevPortScannerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(umockdev_in_mock_environment())
            << "run with LD_PRELOAD=libumockdev-preload.so.0 (ctest sets it)";
    }
    void TearDown() override { g_object_unref(testbed); }

    std::string addPlatform(const char* name) {
        return take(
            umockdev_testbed_add_device(testbed, "platform", name, nullptr, nullptr, nullptr));
    }
    // A tty /dev/<name> below parent (none when empty) with udev's links; no node file, so
    // nothing to open.
    std::string addTTY(const std::string& name, const std::string& parent,
                       const std::string& links = {}) {
        return take(umockdev_testbed_add_device(
            testbed, "tty", name.c_str(), parent.empty() ? nullptr : parent.c_str(), "dev", "188:0",
            nullptr, "DEVNAME", ("/dev/" + name).c_str(), links.empty() ? nullptr : "DEVLINKS",
            links.c_str(), nullptr));
    }
    // A serial-core port with its "type" attribute and no node: a scanner that opened the port
    // to ask its type would find nothing to open and keep it, so only the attribute can hide it.
    std::string addLegacyPort(const std::string& name, const std::string& parent,
                              const char* type) {
        return take(umockdev_testbed_add_device(testbed, "tty", name.c_str(), parent.c_str(), "dev",
                                                "4:64", "type", type, nullptr, "DEVNAME",
                                                ("/dev/" + name).c_str(), nullptr));
    }
    // A USB adapter: the usb_device with its IDs, an interface, and the tty below that. Each
    // adapter is a device of its own, even when it takes the node another one had.
    std::string addAdapter(const std::string& tty, const char* vendor, const char* product,
                           const char* productName, const std::string& links = {}) {
        const std::string name = "1-" + std::to_string(++adapters);
        const std::string usb = take(umockdev_testbed_add_device(
            testbed, "usb", name.c_str(), nullptr, "idVendor", vendor, "idProduct", product,
            "product", productName, nullptr, "DEVTYPE", "usb_device", nullptr));
        return addTTY(
            tty,
            take(umockdev_testbed_add_device(testbed, "usb", (name + ":1.0").c_str(), usb.c_str(),
                                             nullptr, "DEVTYPE", "usb_interface", nullptr)),
            links);
    }

    UMockdevTestbed* testbed = umockdev_testbed_new();
    int adapters = 0;
};

TEST(UdevPortScannerOrder, digitRunsCompareAsNumbersWithoutOverflow) {
    EXPECT_TRUE(UdevPortScanner::naturalLess("/dev/ttyacm0", "/dev/ttyACM1"));
    EXPECT_FALSE(UdevPortScanner::naturalLess("/dev/ttyUSB1", "/dev/ttyUSB1"));
    EXPECT_TRUE(UdevPortScanner::naturalLess("x99999999999999999999", "x100000000000000000000"));
}

TEST_F(UdevPortScannerTest, scanReadsSerialDevicesAndSortsThem) {
    addAdapter("ttyUSB10", "1a86", "7523", "  USB Serial\n");
    addAdapter("ttyACM0", "2341", "0043", "Arduino Uno");
    addAdapter("ttyUSB2", "0403", "6001", "");
    addTTY("ttyAMA0", addPlatform("uart0"));
    addTTY("tty1", "");                    // a virtual console: no parent
    addTTY("console", addPlatform("con")); // not a serial port's path
    // Legacy ports: the serial core says type 0 where no UART answers; a real one has its type.
    const std::string legacy = addPlatform("serial8250");
    addLegacyPort("ttyS0", legacy, "0");
    addLegacyPort("ttyS1", legacy, "4"); // a 16550A
    addTTY("ttyS2", legacy);             // no type attribute: kept

    const Ports expected = {
        {"/dev/ttyACM0", "Arduino Uno", 0x2341, 0x0043},
        {"/dev/ttyUSB2", std::nullopt, 0x0403, 0x6001},
        {"/dev/ttyUSB10", "USB Serial", 0x1A86, 0x7523},
        {"/dev/ttyAMA0", std::nullopt, std::nullopt, std::nullopt},
        {"/dev/ttyS1", std::nullopt, std::nullopt, std::nullopt},
        {"/dev/ttyS2", std::nullopt, std::nullopt, std::nullopt},
    };
    EXPECT_EQ(UdevPortScanner().scan(), expected);
}

// Collects the lists a scanner delivers.
struct Deliveries {
    explicit Deliveries(PortScanner& scanner) {
        scanner.onChange = [this](Ports ports) { lists.push_back(std::move(ports)); };
    }
    bool waitFor(std::size_t n) {
        return processEventsUntil([&] { return lists.size() >= n; });
    }
    // Long enough for any delayed second pass to have come.
    std::size_t settled() {
        processEventsUntil([] { return false; }, UdevPortScanner::secondPassDelay * 3 / 2);
        return lists.size();
    }
    std::vector<Ports> lists;
};

TEST_F(UdevPortScannerTest, addAndRemoveDeliverTwiceAndStartRegistersOnce) {
    const std::string tty = addAdapter("ttyUSB0", "1a86", "7523", "USB Serial");
    auto scanner = std::make_unique<UdevPortScanner>();
    Deliveries deliveries(*scanner);
    scanner->start();
    scanner->start();
    ASSERT_EQ(deliveries.lists.size(), 1u);
    EXPECT_EQ(deliveries.lists.back().size(), 1u);

    const std::string acm = addAdapter("ttyACM0", "2341", "0043", "Arduino Uno");
    for (const auto& [action, ports] : {std::pair{"add", 2u}, std::pair{"remove", 1u}}) {
        const std::size_t before = deliveries.lists.size();
        umockdev_testbed_uevent(testbed, acm.c_str(), action);
        if (action == std::string("remove")) {
            umockdev_testbed_remove_device(testbed, acm.c_str());
        }
        ASSERT_TRUE(deliveries.waitFor(before + 1)) << action;
        EXPECT_EQ(deliveries.lists.size(), before + 1); // the second pass comes later
        ASSERT_TRUE(deliveries.waitFor(before + 2));
        EXPECT_EQ(deliveries.settled(), before + 2);
        EXPECT_EQ(deliveries.lists[before].size(), ports);
        EXPECT_EQ(deliveries.lists.back().size(), ports);
    }

    // A scanner gone before its second pass delivers nothing more.
    umockdev_testbed_uevent(testbed, tty.c_str(), "add");
    ASSERT_TRUE(deliveries.waitFor(6));
    scanner.reset();
    EXPECT_EQ(deliveries.settled(), 6u);
}

constexpr const char* ftdiByID = "/dev/serial/by-id/usb-FTDI_FT232R_A10K3X9Z-if00-port0";
constexpr const char* ftdiByPath = "/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0";

// Adapters are known by udev's by-id link, else its by-path link; other links do not count.
TEST_F(UdevPortScannerTest, stableLinkIsByIDElseByPath) {
    addAdapter("ttyUSB0", "0403", "6001", "FT232R USB UART",
               std::string(ftdiByPath) + " " + ftdiByID + " /dev/plc-bus");
    addAdapter("ttyUSB1", "1a86", "7523", "", "/dev/serial/by-path/pci-0000:00:14.0-usb-0:3:1.0");
    addAdapter("ttyACM0", "2341", "0043", "", "/dev/arduino");
    addTTY("ttyS1", addPlatform("uart1"), "/dev/serial/by-path/platform-uart1");

    const Ports ports = UdevPortScanner().scan();
    ASSERT_EQ(ports.size(), 4u);
    const std::pair<std::string, std::optional<std::string>> expected[] = {
        {"/dev/ttyACM0", std::nullopt},
        {"/dev/ttyUSB0", ftdiByID},
        {"/dev/ttyUSB1", "/dev/serial/by-path/pci-0000:00:14.0-usb-0:3:1.0"},
        {"/dev/ttyS1", "/dev/serial/by-path/platform-uart1"},
    };
    for (std::size_t i = 0; i < ports.size(); ++i) {
        EXPECT_EQ(ports[i].path, expected[i].first);
        EXPECT_EQ(ports[i].stableLink, expected[i].second) << ports[i].path;
    }
    EXPECT_EQ(ports[0].identity(), "/dev/ttyACM0");
    EXPECT_EQ(ports[1].identity(), ftdiByID);
    EXPECT_EQ(ports[1].displayName(), "/dev/ttyUSB0 — USB serial (FTDI FT232R)");
}

// Unplugged and plugged into another socket while another adapter took its old node: the by-id
// link now points at the new node, and the old node belongs to an adapter of another identity.
TEST_F(UdevPortScannerTest, replugMovesTheIdentityToTheNewNode) {
    const std::string first = addAdapter("ttyUSB0", "0403", "6001", "", ftdiByID);
    auto scanner = std::make_unique<UdevPortScanner>();
    Deliveries deliveries(*scanner);
    scanner->start();
    ASSERT_EQ(deliveries.lists.size(), 1u);
    ASSERT_EQ(deliveries.lists[0].size(), 1u);
    EXPECT_EQ(deliveries.lists[0][0].identity(), ftdiByID);

    umockdev_testbed_uevent(testbed, first.c_str(), "remove");
    umockdev_testbed_remove_device(testbed, first.c_str());
    ASSERT_TRUE(deliveries.waitFor(2));
    EXPECT_TRUE(deliveries.lists.back().empty());
    addAdapter("ttyUSB0", "1a86", "7523", "", "/dev/serial/by-id/usb-1a86_USB_Serial-if00-port0");
    const std::string moved = addAdapter("ttyUSB1", "0403", "6001", "", ftdiByID);
    umockdev_testbed_uevent(testbed, moved.c_str(), "add");
    ASSERT_TRUE(processEventsUntil([&] { return deliveries.lists.back().size() == 2; }));

    const Ports& now = deliveries.lists.back();
    EXPECT_EQ(now[0].path, "/dev/ttyUSB0");
    EXPECT_NE(now[0].identity(), ftdiByID);
    EXPECT_FALSE(now[0].isNamedBy(ftdiByID));
    EXPECT_EQ(now[1].path, "/dev/ttyUSB1");
    EXPECT_TRUE(now[1].isNamedBy(ftdiByID));
}

TEST_F(UdevPortScannerTest, withoutMonitorTheFirstListStillComes) {
    struct ScannerWithoutMonitor : UdevPortScanner {
        MonitorHandle makeMonitor() override { return {}; }
    };
    ScannerWithoutMonitor scanner;
    Deliveries deliveries(scanner);
    scanner.start();
    scanner.start();
    umockdev_testbed_uevent(testbed, addAdapter("ttyUSB0", "0403", "6001", "").c_str(), "add");
    EXPECT_EQ(deliveries.settled(), 1u);
}

// A monitor whose receive fails (here: its socket replaced by a pipe with bytes waiting, which
// no receive can read) gets one full scan, and the broken monitor stops waking the scanner.
TEST_F(UdevPortScannerTest, failedReceiveRescansOnceAndStopsWatching) {
    struct ScannerWithBrokenMonitor : UdevPortScanner {
        MonitorHandle makeMonitor() override {
            MonitorHandle monitor = UdevPortScanner::makeMonitor();
            int ends[2];
            if (!monitor || ::pipe(ends) != 0) {
                return {};
            }
            const char byte = 0;
            const bool broken = ::write(ends[1], &byte, 1) == 1 &&
                                ::dup2(ends[0], udev_monitor_get_fd(monitor.get())) >= 0;
            ::close(ends[0]);
            writeEnd = ends[1];
            return broken ? std::move(monitor) : MonitorHandle{};
        }
        ~ScannerWithBrokenMonitor() override { ::close(writeEnd); }
        int writeEnd = -1;
    };
    addAdapter("ttyUSB0", "0403", "6001", "");
    ScannerWithBrokenMonitor scanner;
    Deliveries deliveries(scanner);
    scanner.start();
    ASSERT_TRUE(deliveries.waitFor(2)) << "no scan after the failed receive";
    // The first list, the rescan and its second pass; a scanner woken again and again by the
    // readable pipe would deliver many more.
    EXPECT_EQ(deliveries.settled(), 3u);
    EXPECT_EQ(deliveries.lists.back().size(), 1u);
}

// A system whose udev fails says so once, and still delivers (empty) lists.
TEST_F(UdevPortScannerTest, failingUdevIsReportedOnce) {
    struct ScannerWithoutUdev : UdevPortScanner {
        ScannerWithoutUdev()
            : UdevPortScanner(nullptr) {}
    };
    ScannerWithoutUdev scanner;
    Deliveries deliveries(scanner);
    int failures = 0;
    scanner.onFailure = [&] { ++failures; };
    scanner.start();
    EXPECT_EQ(failures, 1);
    ASSERT_EQ(deliveries.lists.size(), 1u);
    EXPECT_TRUE(deliveries.lists[0].empty());

    UdevPortScanner working;
    working.onFailure = [&] { ++failures; };
    working.start();
    EXPECT_EQ(failures, 1);
}

} // namespace
