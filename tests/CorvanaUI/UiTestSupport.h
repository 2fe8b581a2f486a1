#pragma once

#include "tests/CorvanaModel/FakeDialogs.h"
#include "tests/CorvanaModel/TestEnvironment.h"

#include "Corvana/model/ServerModel.h"
#include "Corvana/ui/serial/SerialBar.h"
#include "tests/support/ModelStubs.h"

#include <QApplication>

#include <memory>
#include <string>
#include <vector>

// Port lists arrive only when a test hands them to onChange, as the udev scanner would.
using FakeScanner = NoScanner;

// A USB adapter (with a vendor id) at path.
inline SerialPortInfo usbPort(std::string path) {
    SerialPortInfo info;
    info.path = std::move(path);
    info.vendorID = 0x0403;
    info.productID = 0x6001;
    return info;
}

// A built-in port without a vendor id.
inline SerialPortInfo builtInPort(std::string path) {
    SerialPortInfo info;
    info.path = std::move(path);
    return info;
}

// A model in a private settings folder, English texts, decimal point; it starts with the
// example device (units 1 and its datapoints) and no ports.
class UiTest : public ::testing::Test {
protected:
    UiTest() {
        auto fake = std::make_unique<FakeScanner>();
        scanner = fake.get();
        model = std::make_unique<ServerModel>(std::move(fake), dialogs);
        model->init();
    }

    void setPorts(const std::vector<SerialPortInfo>& ports) { scanner->onChange(ports); }

    TestEnvironment environment;
    FakeDialogs dialogs;
    FakeScanner* scanner = nullptr;
    std::unique_ptr<ServerModel> model;
};

// The serial bar on the test's model, its widgets found by object name.
class SerialBarTest : public UiTest {
protected:
    template <class T>
    T* child(const char* name) const {
        T* found = bar.findChild<T*>(QLatin1String(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    SerialBar bar{*model};
};
