#include "Corvana/ui/network/NetworkSettingsView.h"

#include "Corvana/model/ServerModel.h"
#include "Corvana/ui/common/UiSupport.h"
#include "Corvana/ui/network/NetworkListeners.h"

#include "Localization/L10n.h"
#include "Localization/NetworkViewTexts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

#include <string>
#include <utility>

namespace {

constexpr int formWidth = 680;
constexpr int highestPort = 65535;
constexpr int firstUnprivilegedPort = 1024;
constexpr int mostClients = 1000;
constexpr int longestIdleSeconds = 24 * 60 * 60;
constexpr qreal noteScale = 0.85;

QLabel* note(const char* name, const std::string& text) {
    auto* label = new QLabel(Ui::text(text));
    label->setObjectName(QLatin1String(name));
    label->setWordWrap(true);
    label->setFont(Ui::scaledFont(label->font(), noteScale));
    return label;
}

QSpinBox* spinBox(const QString& name, int minimum, int maximum) {
    auto* box = new QSpinBox;
    box->setObjectName(name);
    box->setRange(minimum, maximum);
    // A typed number counts once it is complete, not with every digit.
    box->setKeyboardTracking(false);
    return box;
}

} // namespace

NetworkSettingsView::NetworkSettingsView(ServerModel& model, QWidget* parent)
    : QWidget(parent)
    , model_(model)
    , footer_(note("networkFooter", {}))
    , privilegedNote_(note("privilegedPortNote", L10n::NetworkView::privilegedPort()))
    , openNote_(note("allNetworksNote", L10n::NetworkView::allNetworksWarning()))
    , samePortNote_(note("samePortNote", L10n::NetworkView::samePort())) {
    setFixedWidth(formWidth);

    auto* listeners = new QHBoxLayout;
    for (std::size_t index = 0; index < controls_.size(); ++index) {
        listeners->addWidget(buildListener(index), 1);
    }
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(listeners);
    layout->addWidget(privilegedNote_);
    layout->addWidget(samePortNote_);
    layout->addWidget(openNote_);
    layout->addWidget(footer_);
    updateColours();

    connect(&model_, &ServerModel::networkChanged, this, &NetworkSettingsView::updateSelection);
    connect(&model_, &ServerModel::stateChanged, this, &NetworkSettingsView::updateState);
    updateSelection();
    updateState();
}

QGroupBox* NetworkSettingsView::buildListener(std::size_t index) {
    const NetworkListeners::Listener& listener = NetworkListeners::all()[index];
    const QString prefix = QLatin1String(listener.objectPrefix);
    Controls& c = controls_[index];

    c.box = new QGroupBox(Ui::text(listener.name()));
    c.box->setObjectName(prefix + QStringLiteral("Switch"));
    c.box->setCheckable(true);
    c.port = spinBox(prefix + QStringLiteral("Port"), 1, highestPort);
    c.port->setAccessibleName(Ui::text(listener.name()) + QLatin1Char(' ') +
                              Ui::text(L10n::NetworkView::port()));
    c.bind = new QComboBox;
    c.bind->setObjectName(prefix + QStringLiteral("Bind"));
    // The address itself is in the tooltip; the names say what they mean.
    for (const auto& [name, address] :
         {std::pair{L10n::NetworkView::thisComputer(), NetworkListeners::loopback},
          std::pair{L10n::NetworkView::allNetworks(), NetworkListeners::allNetworks}}) {
        c.bind->addItem(Ui::text(name), QLatin1String(address));
        c.bind->setItemData(c.bind->count() - 1, QLatin1String(address), Qt::ToolTipRole);
    }
    c.maxClients = spinBox(prefix + QStringLiteral("MaxClients"), 1, mostClients);
    c.idle = spinBox(prefix + QStringLiteral("Idle"), 0, longestIdleSeconds);
    c.idle->setSpecialValueText(Ui::text(L10n::NetworkView::never()));
    c.idle->setSuffix(Ui::text(L10n::NetworkView::secondsSuffix()));
    c.gateway = new QCheckBox(Ui::text(L10n::NetworkView::gateway()));
    c.gateway->setObjectName(prefix + QStringLiteral("Gateway"));
    c.gateway->setToolTip(Ui::text(L10n::NetworkView::gatewayHint()));

    c.hint = note("", listener.hint());
    c.hint->setObjectName(prefix + QStringLiteral("Hint"));
    // Above the form rather than in it: a wrapped row of a form gets too little height.
    auto* column = new QVBoxLayout(c.box);
    column->addWidget(c.hint);
    auto* form = new QFormLayout;
    column->addLayout(form);
    form->addRow(Ui::text(L10n::NetworkView::port()), c.port);
    form->addRow(Ui::text(L10n::NetworkView::reachableFrom()), c.bind);
    form->addRow(Ui::text(L10n::NetworkView::maxClients()), c.maxClients);
    form->addRow(Ui::text(L10n::NetworkView::idleTimeout()), c.idle);
    form->addRow(c.gateway);

    connect(c.box, &QGroupBox::toggled, this, [this, index](bool on) {
        change(index, [on](ListenerConfiguration& l) { l.enabled = on; });
    });
    connect(c.port, &QSpinBox::valueChanged, this, [this, index](int port) {
        change(index, [port](ListenerConfiguration& l) { l.port = port; });
    });
    connect(c.bind, &QComboBox::currentIndexChanged, this, [this, index, &c] {
        const std::string bind = c.bind->currentData().toString().toStdString();
        change(index, [&bind](ListenerConfiguration& l) { l.bind = bind; });
    });
    connect(c.maxClients, &QSpinBox::valueChanged, this, [this, index](int count) {
        change(index, [count](ListenerConfiguration& l) { l.maxClients = count; });
    });
    connect(c.idle, &QSpinBox::valueChanged, this, [this, index](int seconds) {
        change(index, [seconds](ListenerConfiguration& l) { l.idleSeconds = seconds; });
    });
    connect(c.gateway, &QCheckBox::toggled, this, [this, index](bool on) {
        change(index, [on](ListenerConfiguration& l) { l.gateway = on; });
    });
    return c.box;
}

template <class Change>
void NetworkSettingsView::change(std::size_t index, Change change) {
    NetworkConfiguration network = model_.network();
    change(network.*NetworkListeners::all()[index].configuration);
    if (network != model_.network()) {
        model_.setNetwork(network);
    }
}

void NetworkSettingsView::updateSelection() {
    const NetworkConfiguration& network = model_.network();
    for (std::size_t index = 0; index < controls_.size(); ++index) {
        const ListenerConfiguration& l = network.*NetworkListeners::all()[index].configuration;
        Controls& c = controls_[index];
        const QSignalBlocker blockBox(c.box);
        const QSignalBlocker blockPort(c.port);
        const QSignalBlocker blockBind(c.bind);
        const QSignalBlocker blockClients(c.maxClients);
        const QSignalBlocker blockIdle(c.idle);
        const QSignalBlocker blockGateway(c.gateway);
        c.box->setChecked(l.enabled);
        c.port->setValue(l.port);
        // An address from a project file other than the two offered is shown as it stands.
        const int fixedItems = 2;
        while (c.bind->count() > fixedItems) {
            c.bind->removeItem(c.bind->count() - 1);
        }
        const QString bind = QString::fromStdString(l.bind);
        if (c.bind->findData(bind) < 0) {
            c.bind->addItem(bind, bind);
        }
        c.bind->setCurrentIndex(c.bind->findData(bind));
        c.maxClients->setValue(l.maxClients);
        c.idle->setValue(l.idleSeconds);
        c.gateway->setChecked(l.gateway);
    }
    updateNotes();
}

void NetworkSettingsView::updateState() {
    const bool stopped = model_.state() == ServerState::stopped;
    for (const Controls& c : controls_) {
        c.box->setEnabled(stopped);
    }
    footer_->setText(Ui::text(stopped ? L10n::NetworkView::footer() : L10n::Help::stopToChange()));
}

void NetworkSettingsView::updateNotes() {
    const NetworkConfiguration& network = model_.network();
    bool privileged = false;
    bool open = false;
    for (const NetworkListeners::Listener& listener : NetworkListeners::all()) {
        const ListenerConfiguration& l = network.*listener.configuration;
        privileged = privileged || (l.enabled && l.port < firstUnprivilegedPort);
        open = open || (l.enabled && !NetworkListeners::isLocalOnly(l.bind));
    }
    privilegedNote_->setVisible(privileged);
    openNote_->setVisible(open);
    samePortNote_->setVisible(network.tcp.enabled && network.rtuOverTCP.enabled &&
                              network.tcp.port == network.rtuOverTCP.port);
    adjustSize();
}

void NetworkSettingsView::updateColours() {
    QPalette secondary = footer_->palette();
    secondary.setColor(QPalette::WindowText, Ui::Colour::secondaryText(palette()));
    footer_->setPalette(secondary);
    for (const Controls& c : controls_) {
        c.hint->setPalette(secondary);
    }
    QPalette warning = privilegedNote_->palette();
    warning.setColor(QPalette::WindowText, Ui::Colour::orange(palette()));
    for (QLabel* label : {privilegedNote_, openNote_, samePortNote_}) {
        label->setPalette(warning);
    }
}

void NetworkSettingsView::changeEvent(QEvent* event) {
    // The note colours derive from the palette, so a switch to dark mode recomputes them.
    if (event->type() == QEvent::PaletteChange) {
        updateColours();
    }
    QWidget::changeEvent(event);
}
