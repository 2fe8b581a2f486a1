#include "Corvana/ui/serial/StatusDot.h"

#include "UiTestSupport.h"
#include "tests/support/PseudoTerminal.h"

#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>

namespace {

TEST_F(SerialBarTest, ControlsLockWhileServingAndFollowTheState) {
    PseudoTerminal pty;
    model->setSelectedPath(QString::fromStdString(pty.path()));
    bar.showFramePopover(); // open while the server starts: it must follow
    const QString stopToChange = "Stop the server to change this";
    const struct {
        const char* phase;
        std::function<void()> act;
        ServerState state;
        bool editable;
        QString portTip, buttonText, dotText, footer;
    } phases[] = {
        {"stopped", [] {}, ServerState::stopped, true, "Serial port", "Start", "Stopped",
         "Modbus RTU defaults to 8E1. Many devices use 8N1 or 8N2; check your device's manual."},
        {"running", [&] { child<QPushButton>("startStopButton")->click(); }, ServerState::running,
         false, stopToChange, "Stop", "Running", stopToChange},
        {"lost", [&] { pty.hangUp(); }, ServerState::serialLost, false, stopToChange, "Stop",
         "Serial port lost", stopToChange},
        {"stopped again", [&] { child<QPushButton>("startStopButton")->click(); },
         ServerState::stopped, true, "Serial port", "Start", "Stopped",
         "Modbus RTU defaults to 8E1. Many devices use 8N1 or 8N2; check your device's manual."},
    };
    for (const auto& p : phases) {
        SCOPED_TRACE(p.phase);
        p.act();
        ASSERT_TRUE(processEventsUntil([&] { return model->state() == p.state; }));
        EXPECT_FALSE(model->errorMessage());
        for (const char* name : {"portPicker", "baudPicker", "dataBitsPicker", "parityPicker",
                                 "stopBitsPicker", "modbusDefaultButton"}) {
            EXPECT_EQ(child<QWidget>(name)->isEnabled(), p.editable) << name;
        }
        EXPECT_TRUE(child<QToolButton>("frameButton")->isEnabled());
        EXPECT_EQ(child<QComboBox>("portPicker")->toolTip(), p.portTip);
        EXPECT_EQ(child<QToolButton>("frameButton")->toolTip(),
                  p.editable ? "Data bits, parity and stop bits" : stopToChange);
        EXPECT_EQ(child<QPushButton>("startStopButton")->text(), p.buttonText);
        EXPECT_EQ(child<StatusDot>("statusDot")->toolTip(), p.dotText);
        EXPECT_EQ(child<QLabel>("frameFooter")->text(), p.footer);
    }
}

TEST_F(SerialBarTest, PortPickerNamesMissingChoicesAndWritesTheSelection) {
    auto* picker = child<QComboBox>("portPicker");
    const struct {
        std::vector<SerialPortInfo> ports;
        QString selected, shown;
    } cases[] = {
        {{}, "", "No ports found"},
        {{builtInPort("/dev/ttyS0")}, "", "Select a port…"},
        {{builtInPort("/dev/ttyS0")}, "/dev/ttyUSB0", "/dev/ttyUSB0 (not connected)"},
        {{}, "/dev/ttyUSB0", "/dev/ttyUSB0 (not connected)"},
        {{builtInPort("/dev/ttyS0"), usbPort("/dev/ttyUSB0")},
         "/dev/ttyUSB0",
         QString::fromStdString(usbPort("/dev/ttyUSB0").displayName())},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shown.toStdString());
        setPorts(c.ports);
        model->setSelectedPath(c.selected);
        // The ports, a separator when there are any, and the virtual port.
        EXPECT_EQ(picker->count(), int(c.ports.size()) + (c.ports.empty() ? 1 : 2));
        EXPECT_EQ(picker->itemData(picker->count() - 1), "virtual");
        EXPECT_EQ(picker->currentIndex() < 0 ? picker->placeholderText() : picker->currentText(),
                  c.shown);
    }
    picker->setCurrentIndex(0);
    EXPECT_EQ(model->selectedPath(), "/dev/ttyS0");
}

TEST_F(SerialBarTest, VirtualPortShowsTheMastersEndWithACopyButtonAndTheBaudNote) {
    model->setOffersVirtualPort(true);
    auto* picker = child<QComboBox>("portPicker");
    // A first run with only a built-in port starts on the virtual port; an adapter plugged in
    // later takes over, as it would from the built-in port.
    setPorts({builtInPort("/dev/ttyS0")});
    EXPECT_EQ(picker->currentText(), "Virtual port");
    EXPECT_TRUE(child<QPushButton>("startStopButton")->isEnabled());
    setPorts({builtInPort("/dev/ttyS0"), usbPort("/dev/ttyUSB0")});
    EXPECT_EQ(model->selectedPath(), "/dev/ttyUSB0");
    ASSERT_EQ(picker->count(), 4);
    EXPECT_TRUE(picker->itemText(2).isEmpty()); // the line between hardware and virtual port
    EXPECT_EQ(picker->itemText(3), "Virtual port");
    auto* masterEnd = child<QLabel>("masterEnd");
    auto* copy = child<QToolButton>("copyMasterPath");
    auto* note = child<QLabel>("virtualBaudNote");
    bar.show();
    EXPECT_FALSE(masterEnd->isVisible());
    EXPECT_FALSE(copy->isVisible());

    picker->setCurrentIndex(3);
    EXPECT_EQ(model->selectedPath(), "virtual");
    const VirtualPort& port = model->virtualPort();
    ASSERT_TRUE(port.isOpen());
    const QString link = environment.path("corvana/virtual-master");
    EXPECT_EQ(masterEnd->text(),
              "Master: " + link + " → " + QString::fromStdString(port.masterPath()));
    EXPECT_TRUE(masterEnd->isVisible());
    copy->click();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), link);
    bar.showFramePopover();
    EXPECT_TRUE(note->isVisible());
    EXPECT_TRUE(note->text().startsWith("A virtual port carries no real baud rate"));

    // Back on the adapter: neither the master's end nor the note; the pair stays for later.
    picker->setCurrentIndex(1);
    EXPECT_FALSE(masterEnd->isVisible());
    EXPECT_FALSE(note->isVisible());
    EXPECT_TRUE(port.isOpen());
}

TEST_F(SerialBarTest, FrameAndBaudFollowTheSettings) {
    model->setSerial({.baudRate = 9600, .dataBits = 7, .parity = Parity::odd, .stopBits = 2});
    auto* frame = child<QToolButton>("frameButton");
    EXPECT_EQ(frame->text(), "7O2");
    EXPECT_EQ(child<QComboBox>("baudPicker")->currentText(), "9600 baud");
    frame->click();
    EXPECT_TRUE(bar.framePopover()->isVisible());
    EXPECT_EQ(child<QComboBox>("parityPicker")->currentText(), "Odd");
    child<QPushButton>("modbusDefaultButton")->click();
    EXPECT_EQ(model->serial(), SerialConfiguration{});
    EXPECT_EQ(frame->text(), "8E1");
    EXPECT_EQ(child<QComboBox>("parityPicker")->currentText(), "Even");

    child<QComboBox>("stopBitsPicker")->setCurrentIndex(1);
    child<QComboBox>("baudPicker")->setCurrentIndex(0);
    EXPECT_EQ(model->serial().summary(), "1200 8E2");
    model->setSerial({.baudRate = 250000});
    EXPECT_EQ(child<QComboBox>("baudPicker")->currentIndex(), -1); // offered only from the list
}

TEST_F(SerialBarTest, StartNeedsAPortAndAUnit) {
    auto* button = child<QPushButton>("startStopButton");
    EXPECT_FALSE(button->isEnabled()); // no port chosen yet
    model->setSelectedPath("/dev/ttyUSB0");
    EXPECT_TRUE(button->isEnabled());
    model->setUnits({});
    EXPECT_FALSE(button->isEnabled());
}

} // namespace
