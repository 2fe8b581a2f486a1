#include "Corvana/ui/serial/SerialBar.h"

#include "Corvana/model/PortSelection.h"
#include "Corvana/model/ServerModel.h"
#include "Corvana/ui/common/Popover.h"
#include "Corvana/ui/common/UiSupport.h"
#include "Corvana/ui/network/NetworkButton.h"
#include "Corvana/ui/network/NetworkClientsLabel.h"
#include "Corvana/ui/serial/SerialSettingsView.h"
#include "Corvana/ui/serial/StatusDot.h"

#include "Localization/L10n.h"

#include <QClipboard>
#include <QComboBox>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

constexpr int portPickerMinWidth = 150;
constexpr int portPickerMaxWidth = 380;
constexpr int baudPickerWidth = 124;
constexpr int startStopMinWidth = 80;

QString baudText(int rate) {
    return QString::number(rate) + Ui::text(L10n::Header::baudSuffix());
}

} // namespace

SerialBar::SerialBar(ServerModel& model, QWidget* parent)
    : QWidget(parent)
    , model_(model)
    , portPicker_(new QComboBox)
    , baudPicker_(new QComboBox)
    , frameButton_(new QToolButton)
    , networkButton_(new NetworkButton(model))
    , startStopButton_(new QPushButton)
    , statusDot_(new StatusDot)
    , clients_(new NetworkClientsLabel(model))
    , masterEnd_(new QLabel)
    , copyMasterPath_(new QToolButton)
    , popover_(new QFrame(this, Qt::Popup))
    , settingsView_(new SerialSettingsView(model, popover_)) {
    portPicker_->setObjectName(QStringLiteral("portPicker"));
    portPicker_->setMinimumWidth(portPickerMinWidth);
    portPicker_->setMaximumWidth(portPickerMaxWidth);
    portPicker_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    portPicker_->setAccessibleName(Ui::text(L10n::Header::serialPort()));

    baudPicker_->setObjectName(QStringLiteral("baudPicker"));
    baudPicker_->setFixedWidth(baudPickerWidth);
    baudPicker_->setAccessibleName(Ui::text(L10n::Header::baudRate()));
    for (const int rate : SerialConfiguration::standardBaudRates) {
        baudPicker_->addItem(baudText(rate), rate);
    }

    frameButton_->setObjectName(QStringLiteral("frameButton"));
    frameButton_->setIcon(Ui::symbol("slider.horizontal.3"));
    frameButton_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    frameButton_->setAutoRaise(false);

    startStopButton_->setObjectName(QStringLiteral("startStopButton"));
    startStopButton_->setMinimumWidth(startStopMinWidth);
    // No shortcut here: the window's Server menu owns it, and two would be ambiguous.
    startStopButton_->setDefault(true);

    statusDot_->setObjectName(QStringLiteral("statusDot"));

    masterEnd_->setObjectName(QStringLiteral("masterEnd"));
    masterEnd_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // A long path is cut off rather than widening the window; the copy button has it whole.
    masterEnd_->setMinimumWidth(1);
    masterEnd_->setToolTip(Ui::text(L10n::VirtualPort::masterEndHint()));
    copyMasterPath_->setObjectName(QStringLiteral("copyMasterPath"));
    copyMasterPath_->setIcon(Ui::symbol("doc.on.doc"));
    copyMasterPath_->setAutoRaise(true);
    copyMasterPath_->setToolTip(Ui::text(L10n::VirtualPort::copyPath()));
    copyMasterPath_->setAccessibleName(Ui::text(L10n::VirtualPort::copyPath()));

    popover_->setObjectName(QStringLiteral("framePopover"));
    popover_->setFrameShape(QFrame::StyledPanel);
    auto* popoverLayout = new QVBoxLayout(popover_);
    popoverLayout->setContentsMargins(4, 4, 4, 4);
    popoverLayout->addWidget(settingsView_);
    popover_->installEventFilter(this);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(portPicker_);
    layout->addWidget(baudPicker_);
    layout->addWidget(frameButton_);
    layout->addWidget(networkButton_);
    layout->addWidget(startStopButton_);
    layout->addWidget(statusDot_);
    layout->addWidget(clients_);
    layout->addSpacing(6);
    layout->addWidget(masterEnd_);
    layout->addWidget(copyMasterPath_);

    connect(portPicker_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0) {
            model_.setSelectedPath(portPicker_->itemData(index).toString());
        }
    });
    connect(baudPicker_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0) {
            SerialConfiguration serial = model_.serial();
            serial.baudRate = baudPicker_->itemData(index).toInt();
            model_.setSerial(serial);
        }
    });
    connect(frameButton_, &QToolButton::clicked, this, &SerialBar::showFramePopover);
    connect(copyMasterPath_, &QToolButton::clicked, this, [this] {
        // The link outlives the terminal's number, so it is what a master should keep.
        const VirtualPort& port = model_.virtualPort();
        const std::string path = port.linkPath().empty() ? port.masterPath() : port.linkPath();
        QGuiApplication::clipboard()->setText(QString::fromStdString(path));
    });
    connect(startStopButton_, &QPushButton::clicked, this, [this] {
        if (model_.state() == ServerState::stopped) {
            model_.start();
        } else {
            model_.stop();
        }
    });

    connect(&model_, &ServerModel::portListChanged, this, &SerialBar::updatePortPicker);
    connect(&model_, &ServerModel::selectedPathChanged, this, [this] {
        updatePortPicker();
        updateMasterEnd();
        updateStartStop();
    });
    connect(&model_, &ServerModel::virtualPortChanged, this, &SerialBar::updateMasterEnd);
    connect(&model_, &ServerModel::serialChanged, this, &SerialBar::updateSerial);
    connect(&model_, &ServerModel::stateChanged, this, &SerialBar::updateState);
    connect(&model_, &ServerModel::unitsChanged, this, &SerialBar::updateStartStop);
    // A listener alone is enough to start.
    connect(&model_, &ServerModel::networkChanged, this, &SerialBar::updateStartStop);

    updatePortPicker();
    updateMasterEnd();
    updateSerial();
    updateState();
}

void SerialBar::showFramePopover() {
    // The virtual port's note may have appeared or gone while the popover was hidden.
    settingsView_->adjustSize();
    Popover::showBelow(popover_, frameButton_);
}

bool SerialBar::eventFilter(QObject* watched, QEvent* event) {
    if (watched == popover_) {
        Popover::suppressReopen(popover_, event, frameButton_);
    }
    return QWidget::eventFilter(watched, event);
}

void SerialBar::updatePortPicker() {
    const QSignalBlocker blocker(portPicker_);
    const auto& ports = model_.ports();
    const std::vector<PortSelection::Entry> entries = PortSelection::entries(ports);
    // The virtual port sits below a line, apart from the hardware.
    const int separatorIndex = ports.empty() ? -1 : int(ports.size());
    const int itemCount = int(entries.size()) + (separatorIndex >= 0 ? 1 : 0);
    // Rebuilding only when the list differs keeps an open drop-down intact, and keeps the picker
    // whole while it is still reporting the user's own choice.
    bool same = portPicker_->count() == itemCount;
    for (int i = 0, entry = 0; same && i < itemCount; ++i) {
        if (i == separatorIndex) {
            continue;
        }
        const PortSelection::Entry& expected = entries[std::size_t(entry++)];
        same = portPicker_->itemData(i).toString().toStdString() == expected.identity &&
               portPicker_->itemText(i) == Ui::text(expected.displayName);
    }
    if (!same) {
        portPicker_->clear();
        for (const PortSelection::Entry& entry : entries) {
            if (entry.isVirtual && separatorIndex >= 0) {
                portPicker_->insertSeparator(portPicker_->count());
            }
            // A port's item stands for the adapter, wherever it is plugged in.
            portPicker_->addItem(entry.isVirtual ? Ui::symbol("terminal") : QIcon(),
                                 Ui::text(entry.displayName),
                                 QString::fromStdString(entry.identity));
        }
    }
    const QString selected = model_.selectedPath();
    int index = -1;
    if (model_.isVirtualSelected()) {
        index = portPicker_->findData(selected);
    } else if (const SerialPortInfo* port = PortSelection::find(ports, selected.toStdString())) {
        index = portPicker_->findData(QString::fromStdString(port->identity()));
    }
    if (index < 0) {
        // A remembered adapter that is unplugged still names itself, even with no port left.
        if (!selected.isEmpty()) {
            portPicker_->setPlaceholderText(selected + Ui::text(L10n::Header::notConnected()));
        } else if (ports.empty()) {
            portPicker_->setPlaceholderText(Ui::text(L10n::Header::noPortsFound()));
        } else {
            portPicker_->setPlaceholderText(Ui::text(L10n::Header::selectPort()));
        }
    }
    portPicker_->setCurrentIndex(index);
}

void SerialBar::updateMasterEnd() {
    const VirtualPort& port = model_.virtualPort();
    const bool shown = model_.isVirtualSelected() && port.isOpen();
    if (shown) {
        masterEnd_->setText(Ui::text(L10n::VirtualPort::masterEnd(port.masterDescription())));
    }
    masterEnd_->setVisible(shown);
    copyMasterPath_->setVisible(shown);
}

void SerialBar::updateSerial() {
    const SerialConfiguration& serial = model_.serial();
    {
        const QSignalBlocker blocker(baudPicker_);
        const int index = baudPicker_->findData(serial.baudRate);
        // A rate from a project file that the list does not offer is shown, not offered.
        baudPicker_->setPlaceholderText(index < 0 ? baudText(serial.baudRate) : QString());
        baudPicker_->setCurrentIndex(index);
    }
    frameButton_->setText(Ui::text(serial.frameText()));
}

void SerialBar::updateState() {
    const bool stopped = model_.state() == ServerState::stopped;
    portPicker_->setEnabled(stopped);
    baudPicker_->setEnabled(stopped);
    const QString stopToChange = Ui::text(L10n::Help::stopToChange());
    portPicker_->setToolTip(stopped ? Ui::text(L10n::Header::serialPort()) : stopToChange);
    baudPicker_->setToolTip(stopped ? Ui::text(L10n::Header::baudRate()) : stopToChange);
    frameButton_->setToolTip(stopped ? Ui::text(L10n::Help::serialSettings()) : stopToChange);
    statusDot_->setState(model_.state());
    updateStartStop();
}

void SerialBar::updateStartStop() {
    const bool stopped = model_.state() == ServerState::stopped;
    startStopButton_->setText(Ui::text(stopped ? L10n::Header::start() : L10n::Header::stop()));

    startStopButton_->setToolTip(Ui::text(stopped ? L10n::Help::start() : L10n::Help::stop()));
    startStopButton_->setEnabled(!stopped || model_.canStart());
    QPalette palette; // the inherited one
    if (!stopped) {
        palette = startStopButton_->palette();
        palette.setColor(QPalette::Button, Ui::Colour::orange(palette));
        // The dark theme's orange is bright; white would hardly show on it.
        palette.setColor(QPalette::ButtonText,
                         Ui::isDark(palette) ? QColor(Qt::black) : QColor(Qt::white));
    }
    startStopButton_->setPalette(palette);
    startStopButton_->setIcon(stopped
                                  ? Ui::symbol("play.fill")
                                  : Ui::symbol("stop.fill", palette.color(QPalette::ButtonText)));
}
