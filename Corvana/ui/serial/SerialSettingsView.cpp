#include "Corvana/ui/serial/SerialSettingsView.h"

#include "Corvana/model/ServerModel.h"
#include "Corvana/ui/common/UiSupport.h"

#include "Localization/L10n.h"

#include <QComboBox>
#include <QEvent>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <initializer_list>
#include <string>
#include <utility>

namespace {

constexpr int formWidth = 360;

// Selects the entry holding value, or none when the settings hold a value the picker does not
// offer (a hand-edited project file).
void select(QComboBox* picker, int value) {
    const QSignalBlocker blocker(picker);
    picker->setCurrentIndex(picker->findData(value));
}

QComboBox* picker(const char* name) {
    auto* combo = new QComboBox;
    combo->setObjectName(QLatin1String(name));
    return combo;
}

} // namespace

SerialSettingsView::SerialSettingsView(ServerModel& model, QWidget* parent)
    : QWidget(parent)
    , model_(model)
    , dataBitsPicker_(picker("dataBitsPicker"))
    , parityPicker_(picker("parityPicker"))
    , stopBitsPicker_(picker("stopBitsPicker"))
    , modbusDefaultButton_(new QPushButton(Ui::text(L10n::Settings::modbusDefault())))
    , footer_(new QLabel)
    , virtualNote_(new QLabel(Ui::text(L10n::VirtualPort::baudNote()))) {
    setFixedWidth(formWidth);

    for (const int bits : {8, 7}) {
        dataBitsPicker_->addItem(QString::number(bits), bits);
    }
    const std::pair<Parity, std::string> parities[] = {{Parity::none, L10n::Settings::parityNone()},
                                                       {Parity::even, L10n::Settings::parityEven()},
                                                       {Parity::odd, L10n::Settings::parityOdd()}};
    for (const auto& [parity, name] : parities) {
        parityPicker_->addItem(Ui::text(name), int(parity.value));
    }
    for (const int bits : {1, 2}) {
        stopBitsPicker_->addItem(QString::number(bits), bits);
    }
    modbusDefaultButton_->setObjectName(QStringLiteral("modbusDefaultButton"));
    footer_->setObjectName(QStringLiteral("frameFooter"));
    footer_->setWordWrap(true);
    QFont small = footer_->font();
    small = Ui::scaledFont(small, 0.85);
    footer_->setFont(small);
    virtualNote_->setObjectName(QStringLiteral("virtualBaudNote"));
    virtualNote_->setWordWrap(true);
    virtualNote_->setFont(small);
    updateFooterColour();

    auto* section = new QGroupBox(Ui::text(L10n::Settings::frame()));
    auto* form = new QFormLayout(section);
    form->addRow(Ui::text(L10n::Settings::dataBits()), dataBitsPicker_);
    form->addRow(Ui::text(L10n::Settings::parity()), parityPicker_);
    form->addRow(Ui::text(L10n::Settings::stopBits()), stopBitsPicker_);
    form->addRow(modbusDefaultButton_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(section);
    layout->addWidget(footer_);
    layout->addWidget(virtualNote_);

    connect(dataBitsPicker_, &QComboBox::currentIndexChanged, this, [this] {
        change(
            [&](SerialConfiguration& s) { s.dataBits = dataBitsPicker_->currentData().toInt(); });
    });
    connect(parityPicker_, &QComboBox::currentIndexChanged, this, [this] {
        change([&](SerialConfiguration& s) {
            s.parity = Parity::Value(parityPicker_->currentData().toInt());
        });
    });
    connect(stopBitsPicker_, &QComboBox::currentIndexChanged, this, [this] {
        change(
            [&](SerialConfiguration& s) { s.stopBits = stopBitsPicker_->currentData().toInt(); });
    });
    connect(modbusDefaultButton_, &QPushButton::clicked, this, [this] {
        change([](SerialConfiguration& s) {
            // The baud rate belongs to the bus, not to the Modbus default.
            s.dataBits = 8;
            s.parity = Parity::even;
            s.stopBits = 1;
        });
    });
    connect(&model_, &ServerModel::serialChanged, this, &SerialSettingsView::updateSelection);
    connect(&model_, &ServerModel::stateChanged, this, &SerialSettingsView::updateState);
    connect(&model_, &ServerModel::selectedPathChanged, this,
            &SerialSettingsView::updateVirtualNote);
    updateSelection();
    updateState();
    updateVirtualNote();
}

template <class Change>
void SerialSettingsView::change(Change change) {
    SerialConfiguration serial = model_.serial();
    change(serial);
    model_.setSerial(serial);
}

void SerialSettingsView::updateSelection() {
    const SerialConfiguration& serial = model_.serial();
    select(dataBitsPicker_, serial.dataBits);
    select(parityPicker_, int(serial.parity.value));
    select(stopBitsPicker_, serial.stopBits);
}

void SerialSettingsView::updateState() {
    const bool stopped = model_.state() == ServerState::stopped;
    for (QWidget* control : std::initializer_list<QWidget*>{
             dataBitsPicker_, parityPicker_, stopBitsPicker_, modbusDefaultButton_}) {
        control->setEnabled(stopped);
    }
    footer_->setText(
        Ui::text(stopped ? L10n::Settings::modbusDefaultHint() : L10n::Help::stopToChange()));
}

void SerialSettingsView::updateVirtualNote() {
    virtualNote_->setVisible(model_.isVirtualSelected());
}

void SerialSettingsView::updateFooterColour() {
    QPalette palette = footer_->palette();
    palette.setColor(QPalette::WindowText, Ui::Colour::secondaryText(this->palette()));
    footer_->setPalette(palette);
    virtualNote_->setPalette(palette);
}

void SerialSettingsView::changeEvent(QEvent* event) {
    // The secondary colour is derived from the palette, so a switch to dark mode recomputes it.
    if (event->type() == QEvent::PaletteChange) {
        updateFooterColour();
    }
    QWidget::changeEvent(event);
}
