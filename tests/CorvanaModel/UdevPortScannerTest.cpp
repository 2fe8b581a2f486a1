#include "Corvana/model/UdevPortScanner.h"

#include "TestEnvironment.h"

#include <umockdev.h>

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include <linux/serial.h>
#include <sys/ioctl.h>

static void PrintTo(const SerialPortInfo& info, std::ostream* out) {
    *out << info.path << " " << info.productName.value_or("-") << " " << info.vendorID.value_or(-1)
         << ":" << info.productID.value_or(-1);
}

namespace {

using Ports = std::vector<SerialPortInfo>;

// Every test runs in an umockdev testbed: libudev and the scanner's opens see only the fake
// sysfs and /dev made here, never this machine's devices.
class UdevPortScannerTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The check looks into the testbed, so it comes after it.
        testbed_.reset(umockdev_testbed_new());
        ASSERT_TRUE(umockdev_in_mock_environment())
            << "run with LD_PRELOAD=libumockdev-preload.so.0 (ctest sets it)";
    }

    // Adds a device; attributes and properties are name, value, name, value, …
    std::string add(const char* subsystem, const std::string& name, const std::string& parent,
                    std::vector<const char*> attributes, std::vector<const char*> properties) {
        attributes.push_back(nullptr);
        properties.push_back(nullptr);
        gchar* path = umockdev_testbed_add_devicev(
            testbed_.get(), subsystem, name.c_str(), parent.empty() ? nullptr : parent.c_str(),
            const_cast<gchar**>(attributes.data()), const_cast<gchar**>(properties.data()));
        const std::string result = path != nullptr ? path : "";
        g_free(path);
        return result;
    }

    // A tty named /dev/<name> below parent; no node file, so nothing to open.
    std::string addTTY(const char* name, const std::string& parent) {
        const std::string node = std::string("/dev/") + name;
        return add("tty", name, parent, {"dev", "188:0"}, {"DEVNAME", node.c_str()});
    }

    struct Adapter {
        std::string usb;
        std::string tty;
    };
    // A USB adapter: the usb_device with its IDs, an interface, and the tty below that.
    Adapter addAdapter(const char* tty, const char* vendor, const char* product,
                       const char* productName) {
        const std::string usb =
            add("usb", std::string(tty) + "-usb", "",
                {"idVendor", vendor, "idProduct", product, "product", productName},
                {"DEVTYPE", "usb_device"});
        return {usb, addTTY(tty, add("usb", std::string(tty) + ":1.0", usb, {},
                                     {"DEVTYPE", "usb_interface"}))};
    }

    struct TestbedRelease {
        void operator()(UMockdevTestbed* testbed) const { g_object_unref(testbed); }
    };
    std::unique_ptr<UMockdevTestbed, TestbedRelease> testbed_;
};

TEST(UdevPortScannerOrder, naturalOrderOfPaths) {
    struct Case {
        const char* a;
        const char* b;
        bool aFirst;
    };
    const Case cases[] = {
        {"/dev/ttyUSB2", "/dev/ttyUSB10", true},
        {"/dev/ttyUSB02", "/dev/ttyUSB10", true},
        {"/dev/ttyacm0", "/dev/ttyACM1", true},
        {"/dev/ttyS9", "/dev/ttyUSB0", true},
        {"/dev/ttyUSB", "/dev/ttyUSB0", true},
        {"/dev/ttyUSB1", "/dev/ttyUSB1", false},
        {"x99999999999999999999", "x100000000000000000000", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(UdevPortScanner::naturalLess(c.a, c.b), c.aFirst) << c.a << " / " << c.b;
    }
}

TEST_F(UdevPortScannerTest, scanReadsSerialDevicesAndSortsThem) {
    addAdapter("ttyUSB10", "1a86", "7523", "  USB Serial\n");
    addAdapter("ttyACM0", "2341", "0043", "Arduino Uno");
    addAdapter("ttyUSB2", "0403", "6001", "");
    addAdapter("ttyUSB3", "zz", "12345", "FT232R"); // IDs that are no hex numbers
    addTTY("ttyAMA0", add("platform", "uart0", "", {}, {}));
    addTTY("tty1", "");                                    // a virtual console: no parent
    addTTY("console", add("platform", "con", "", {}, {})); // not a serial port's path

    const Ports expected = {
        {"/dev/ttyACM0", "Arduino Uno", 0x2341, 0x0043},
        {"/dev/ttyUSB2", std::nullopt, 0x0403, 0x6001},
        {"/dev/ttyUSB10", "USB Serial", 0x1A86, 0x7523},
        {"/dev/ttyAMA0", std::nullopt, std::nullopt, std::nullopt},
        {"/dev/ttyUSB3", "FT232R", std::nullopt, std::nullopt},
    };
    EXPECT_EQ(UdevPortScanner().scan(), expected);
}

// The 8250 driver answers TIOCGSERIAL on a port without a UART with type PORT_UNKNOWN.
gboolean reportUnknownPort(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer) {
    if (umockdev_ioctl_client_get_request(client) != TIOCGSERIAL) {
        return FALSE;
    }
    UMockdevIoctlData* data = umockdev_ioctl_data_resolve(umockdev_ioctl_client_get_arg(client), 0,
                                                          sizeof(serial_struct), nullptr);
    if (data == nullptr) {
        return FALSE;
    }
    reinterpret_cast<serial_struct*>(data->data)->type = PORT_UNKNOWN;
    umockdev_ioctl_client_complete(client, 0, 0);
    return TRUE;
}

TEST_F(UdevPortScannerTest, legacyPortWithoutUARTIsLeftOut) {
    const std::string platform = add("platform", "serial8250", "", {}, {});
    umockdev_testbed_set_attribute_link(testbed_.get(), platform.c_str(), "driver",
                                        "../../bus/platform/drivers/serial8250");
    // A node of its own (a pseudo-terminal) that the handler below answers for.
    ASSERT_TRUE(umockdev_testbed_add_from_string(
        testbed_.get(),
        "P: /devices/serial8250/tty/ttyS1\nN: ttyS1\nE: SUBSYSTEM=tty\nE: DEVNAME=/dev/ttyS1\n",
        nullptr));
    addTTY("ttyS2", platform); // no node to ask: kept
    UMockdevIoctlBase* handler = umockdev_ioctl_base_new();
    g_signal_connect(handler, "handle-ioctl", G_CALLBACK(reportUnknownPort), nullptr);
    ASSERT_TRUE(umockdev_testbed_attach_ioctl(testbed_.get(), "/dev/ttyS1", handler, nullptr));
    g_object_unref(handler);
    EXPECT_EQ(UdevPortScanner().scan(),
              (Ports{{"/dev/ttyS2", std::nullopt, std::nullopt, std::nullopt}}));
}

// Collects the lists a scanner delivers.
struct Deliveries {
    std::vector<Ports> lists;

    void watch(PortScanner& scanner) {
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
};

TEST_F(UdevPortScannerTest, addAndRemoveDeliverTwiceAndStartRegistersOnce) {
    const Adapter usb = addAdapter("ttyUSB0", "1a86", "7523", "USB Serial");
    auto scanner = std::make_unique<UdevPortScanner>();
    Deliveries deliveries;
    deliveries.watch(*scanner);
    scanner->start();
    scanner->start();
    ASSERT_EQ(deliveries.lists.size(), 1u);
    EXPECT_EQ(deliveries.lists.back().size(), 1u);

    // Neither a change nor another subsystem's device alters the list.
    umockdev_testbed_uevent(testbed_.get(), usb.tty.c_str(), "change");
    umockdev_testbed_uevent(testbed_.get(), usb.usb.c_str(), "add");
    EXPECT_EQ(deliveries.settled(), 1u);

    const std::string acm = addAdapter("ttyACM0", "2341", "0043", "Arduino Uno").tty;
    for (const auto& [action, ports] : {std::pair{"add", 2u}, std::pair{"remove", 1u}}) {
        SCOPED_TRACE(action);
        const std::size_t before = deliveries.lists.size();
        umockdev_testbed_uevent(testbed_.get(), acm.c_str(), action);
        if (action == std::string("remove")) {
            umockdev_testbed_remove_device(testbed_.get(), acm.c_str());
        }
        ASSERT_TRUE(deliveries.waitFor(before + 1));
        EXPECT_EQ(deliveries.lists.size(), before + 1); // the second pass comes later
        ASSERT_TRUE(deliveries.waitFor(before + 2));
        EXPECT_EQ(deliveries.settled(), before + 2);
        EXPECT_EQ(deliveries.lists[before].size(), ports);
        EXPECT_EQ(deliveries.lists[before + 1].size(), ports);
    }

    // A scanner gone before its second pass delivers nothing more.
    umockdev_testbed_uevent(testbed_.get(), usb.tty.c_str(), "add");
    ASSERT_TRUE(deliveries.waitFor(6));
    scanner.reset();
    EXPECT_EQ(deliveries.settled(), 6u);
}

TEST_F(UdevPortScannerTest, withoutMonitorTheFirstListStillComes) {
    struct ScannerWithoutMonitor : UdevPortScanner {
        MonitorHandle makeMonitor() override { return {}; }
    };
    ScannerWithoutMonitor scanner;
    Deliveries deliveries;
    deliveries.watch(scanner);
    scanner.start();
    scanner.start();
    umockdev_testbed_uevent(testbed_.get(), addAdapter("ttyUSB0", "0403", "6001", "").tty.c_str(),
                            "add");
    EXPECT_EQ(deliveries.settled(), 1u);
}

} // namespace
