#include "Corvana/model/ServerModel.h"

#include "Corvana/model/LogLines.h"
#include "Corvana/model/Overlaps.h"
#include "Corvana/model/PortSelection.h"
#include "Corvana/model/ProjectFile.h"

#include "Localization/L10n.h"
#include "ModbusSerial/SerialLinkError.h"

#include <QLocale>
#include <QPointer>
#include <QTime>

#include <algorithm>

using namespace std::chrono_literals;

namespace {

constexpr auto simulationInterval = 200ms;
constexpr auto autosaveDelay = 1000ms;
constexpr auto reopenDelay = 700ms;
constexpr int noiseHintThreshold = 3;

} // namespace

ServerModel::ServerModel(std::unique_ptr<PortScanner> scanner, ModelDialogs& dialogs,
                         QObject* parent)
    : QObject(parent)
    , scanner_(std::move(scanner))
    , commands_(*this, dialogs)
    , context_(new QObject(this))
    , simulationTimer_(new QTimer(context_))
    , autosaveTimer_(new QTimer(context_))
    , session_(
          context_, store_, [this](const ServerEvent& event) { handleEvent(event); },
          [this](const EventQueue::Dropped& dropped) { handleDropped(dropped); }) {
    simulationStart_ = clock_();
    simulationTimer_->setInterval(simulationInterval);
    connect(simulationTimer_, &QTimer::timeout, context_, [this] { simulationTick(); });
    autosaveTimer_->setSingleShot(true);
    autosaveTimer_->setInterval(autosaveDelay);
    connect(autosaveTimer_, &QTimer::timeout, context_, [this] { saveAutosave(); });
}

ServerModel::~ServerModel() {
    session_.stop();
    if (scanner_) {
        scanner_->onChange = nullptr;
        scanner_->onFailure = nullptr;
    }
    // Takes queued events, the pending reopen and the timer with it before any member goes.
    delete context_;
}

void ServerModel::init() {
    preferences_.read();
    ServerProject project = loadProject();
    serial_ = project.serial;
    network_ = project.network;
    units_ = std::move(project.units);
    datapoints_ = std::move(project.datapoints);
    selectedUnitID_ = firstUnitID();
    logBuffer_.setAutoscroll(autoscroll());

    emit selectedPathChanged();
    emit showTimestampsChanged();
    emit showRawFramesChanged();
    emit showBusTrafficChanged();
    emit autoscrollChanged();
    emit allowControlChanged();
    emit serialChanged();
    emit networkChanged();
    emit unitsChanged();
    emit datapointsChanged();
    emit selectedUnitIDChanged();

    setConflicts(Overlaps::compute(datapoints_));
    store_->configure(units_, datapoints_, true);
    updateSimulated();
    history_.reset(documentState());

    if (scanner_) {
        scanner_->onChange = [model =
                                  QPointer<ServerModel>(this)](std::vector<SerialPortInfo> list) {
            if (model) {
                model->portsChanged(list);
            }
        };
        scanner_->onFailure = [model = QPointer<ServerModel>(this)] {
            if (model) {
                model->appendLog(LogLines::portsUnavailable());
            }
        };
        scanner_->start();
    }
    if (offersVirtualPort_ && isVirtualSelected()) {
        openVirtualPort(false);
    }
}

ServerProject ServerModel::loadProject() {
    ProjectFile::LoadedAutosave loaded = ProjectFile::loadAutosaveOrExample();
    if (loaded.unreadable) {
        autosaveHeld_ = true;
        autosaveBlocked_ = !loaded.movedAside;
        reportError(L10n::Errors::autosaveUnreadable(loaded.unreadable->toStdString()));
    }
    return std::move(loaded.project);
}

std::string ServerModel::localeDecimalSeparator() {
    return QLocale().decimalPoint().toStdString();
}

std::optional<std::uint8_t> ServerModel::firstUnitID() const {
    return units_.empty() ? std::nullopt : std::optional<std::uint8_t>(units_.front().unitID);
}

void ServerModel::setErrorMessage(std::optional<QString> message) {
    if (message != errorMessage_) {
        errorMessage_ = std::move(message);
        emit errorMessageChanged();
    }
}

void ServerModel::reportError(const std::string& message) {
    errorMessage_ = QString::fromStdString(message);
    emit errorMessageChanged();
}

void ServerModel::setSelectedPath(const QString& path) {
    if (path == preferences_.port()) {
        return;
    }
    preferences_.setPort(path);
    emit selectedPathChanged();
    if (offersVirtualPort_ && isVirtualSelected()) {
        openVirtualPort(false);
    }
}

void ServerModel::setFlag(Preferences::Flag flag, bool on, void (ServerModel::*changed)()) {
    if (on != preferences_.flag(flag)) {
        preferences_.setFlag(flag, on);
        emit(this->*changed)();
    }
}

void ServerModel::setShowTimestamps(bool on) {
    setFlag(Preferences::Flag::timestamps, on, &ServerModel::showTimestampsChanged);
}

void ServerModel::setShowRawFrames(bool on) {
    setFlag(Preferences::Flag::rawFrames, on, &ServerModel::showRawFramesChanged);
}

void ServerModel::setShowBusTraffic(bool on) {
    setFlag(Preferences::Flag::busTraffic, on, &ServerModel::showBusTrafficChanged);
}

void ServerModel::setAutoscroll(bool on) {
    if (on != autoscroll()) {
        logBuffer_.setAutoscroll(on);
    }
    setFlag(Preferences::Flag::autoscroll, on, &ServerModel::autoscrollChanged);
}

void ServerModel::setAllowControl(bool on) {
    setFlag(Preferences::Flag::allowControl, on, &ServerModel::allowControlChanged);
}

void ServerModel::setState(ServerState state) {
    if (state != state_) {
        state_ = state;
        emit stateChanged();
    }
}

void ServerModel::setStatistics(const ServerStatistics& statistics) {
    if (!(statistics == statistics_)) {
        statistics_ = statistics;
        emit statisticsChanged();
    }
}

void ServerModel::setShowNoiseHint(bool on) {
    if (on != showNoiseHint_) {
        showNoiseHint_ = on;
        emit showNoiseHintChanged();
    }
}

void ServerModel::setLogIsEmpty(bool empty) {
    if (empty != logIsEmpty_) {
        logIsEmpty_ = empty;
        emit logIsEmptyChanged();
    }
}

void ServerModel::stop() {
    if (!isServing()) {
        return;
    }
    session_.stop();
    setState(ServerState::stopped);
    if (clients_ != decltype(clients_){}) {
        clients_ = {};
        emit clientsChanged();
    }
    setShowNoiseHint(false);
    stopSimulation();
    appendLog(LogLines::serverStopped());
}

void ServerModel::clearLog() {
    logBuffer_.clear();
    setLogIsEmpty(true);
    resetTraffic();
}

void ServerModel::dismissNoiseHint() {
    noiseHintDismissed_ = true;
    setShowNoiseHint(false);
}

QString ServerModel::portLabel() const {
    if (const SerialPortInfo* port = PortSelection::find(ports_, selectedPath().toStdString())) {
        return QString::fromStdString(port->shortName());
    }
    if (selectedPath().isEmpty()) {
        return QStringLiteral("Corvana");
    }
    if (isVirtualSelected()) {
        return QString::fromStdString(L10n::VirtualPort::name());
    }
    if (selectedPath().startsWith(QStringLiteral("/dev/serial/"))) {
        return selectedPath().section(QLatin1Char('/'), -1); // the link's own name
    }
    return selectedPath().mid(5); // without "/dev/"
}

std::string ServerModel::nodeToOpen() const {
    if (isVirtualSelected()) {
        return virtualPort_.serverPath();
    }
    const std::string selected = selectedPath().toStdString();
    const SerialPortInfo* port = PortSelection::find(ports_, selected);
    return port ? port->path : selected;
}

void ServerModel::appendLog(const LogLine& line) {
    if (showTimestamps()) {
        LogLine stamped;
        stamped.reserve(line.size() + 1);
        stamped.append(
            LogSegment{LogSegment::Kind::timestamp, LogLines::timestampText(QTime::currentTime())});
        stamped.append(line);
        logBuffer_.append(stamped);
    } else {
        logBuffer_.append(line);
    }
    setLogIsEmpty(false);
}

void ServerModel::handleEvent(const ServerEvent& event) {
    if (statistics_.count(event)) {
        transportStatistics_[static_cast<std::size_t>(event.origin.transport)].count(event);
        emit statisticsChanged();
    }
    if (const auto* wrote = event.as<ServerEvent::Wrote>()) {
        handleWrites(wrote->writes);
        return;
    }
    if (event.is<ServerEvent::Garbage>()) {
        ++noiseCount_;
    } else if (event.is<ServerEvent::SerialLost>()) {
        session_.stopSerial(); // its thread has ended already; listeners keep serving
        setState(ServerState::serialLost);
    } else if (event.is<ServerEvent::Started>()) {
        setState(ServerState::running);
    } else {
        handleClientEvent(event);
    }

    const LogLines::Options options{showRawFrames(), showBusTraffic()};
    const QString port = session_.hasSerialEngine() ? portForLog() : QString();
    if (const auto line =
            LogLines::forEvent(event, options, port, serial_, units_, servedListeners())) {
        appendLog(*line);
    }
    if (event.is<ServerEvent::Garbage>() && noiseCount_ >= noiseHintThreshold &&
        !noiseHintDismissed_) {
        setShowNoiseHint(true);
    }
}

void ServerModel::handleDropped(const EventQueue::Dropped& dropped) {
    statistics_.requests += dropped.counts.requests;
    statistics_.responses += dropped.counts.responses;
    statistics_.exceptions += dropped.counts.exceptions;
    statistics_.otherUnits += dropped.counts.otherUnits;
    statistics_.errors += dropped.counts.errors;
    statistics_.faults += dropped.counts.faults;
    for (std::size_t transport = 0; transport < transportStatistics_.size(); ++transport) {
        ServerStatistics& counts = transportStatistics_[transport];
        const ServerStatistics& left = dropped.byTransport[transport];
        counts.requests += left.requests;
        counts.responses += left.responses;
        counts.exceptions += left.exceptions;
        counts.otherUnits += left.otherUnits;
        counts.errors += left.errors;
        counts.faults += left.faults;
    }
    emit statisticsChanged();
    noiseCount_ += static_cast<int>(std::min<std::uint64_t>(dropped.garbage, noiseHintThreshold));
    if (noiseCount_ >= noiseHintThreshold && !noiseHintDismissed_) {
        setShowNoiseHint(true);
    }
    if (dropped.writes) {
        rebuildLiveValues(); // the master wrote: show what the registers hold now
    }
    const std::uint64_t lines = dropped.lines + (showBusTraffic() ? dropped.busTraffic : 0);
    if (lines > 0) {
        appendLog(LogLines::linesDropped(lines));
    }
}

void ServerModel::handleWrites(const std::vector<WriteEvent>& writes) {
    const std::string separator = localeDecimalSeparator();
    LiveValues values = liveValues_;
    for (const WriteEvent& write : writes) {
        for (const Datapoint& datapoint : datapoints_) {
            if (datapoint.unitID != write.unit || datapoint.table != write.table) {
                continue;
            }
            const int first = datapoint.address;
            const int last = first + datapoint.registerSpan() - 1;
            if (write.addresses.end - 1 < first || last < write.addresses.start) {
                continue;
            }
            const auto value = store_->value(datapoint);
            if (!value) {
                continue;
            }
            values[datapoint.id] = *value;
            appendLog(LogLines::forWrite(datapoint, *value, separator));
        }
    }
    setLiveValues(std::move(values));
}

void ServerModel::portsChanged(const std::vector<SerialPortInfo>& list) {
    if (list != ports_) {
        ports_ = list;
        emit portListChanged();
    }
    auto previous = std::move(knownPaths_);
    knownPaths_.emplace();
    for (const SerialPortInfo& port : list) {
        knownPaths_->insert(port.identity());
    }

    const std::string path = selectedPath().toStdString();
    if (state_ == ServerState::serialLost) {
        // The adapter may come back under another node; another adapter at the old node is not
        // it.
        if (const SerialPortInfo* back = PortSelection::find(list, servedIdentity_)) {
            const std::string node = back->path;
            QTimer::singleShot(reopenDelay, context_, [this, node] { reopen(node); });
        }
        return;
    }
    if (isServing()) {
        return; // the selected port is served already
    }
    if (const auto choice = PortSelection::choose(list, path, previous, offersVirtualPort_)) {
        setSelectedPath(QString::fromStdString(*choice));
    }
}

void ServerModel::reopen(const std::string& node) {
    if (state_ != ServerState::serialLost || session_.hasSerialEngine()) {
        return;
    }
    try {
        session_.restartSerial(node, serial_);
    } catch (const std::exception&) {
        return; // the next port list with the path tries again
    }
    appendLog(node == servedNode_ ? LogLines::portBack()
                                  : LogLines::portBackAt(servedIdentity_, node));
    servedNode_ = node;
}

void ServerModel::startSimulation() {
    simulationStart_ = clock_();
    simulationRunning_ = true;
    updateSimulated();
    simulationTick();
}

void ServerModel::stopSimulation() {
    simulationRunning_ = false;
    simulationTimer_->stop();
}

void ServerModel::updateSimulated() {
    simulated_.clear();
    for (std::size_t index = 0; index < datapoints_.size(); ++index) {
        if (datapoints_[index].simulation.kind != Simulation::Kind::none) {
            simulated_.push_back(index);
        }
    }
    // No timer without a simulated datapoint: an idle server costs nothing, however large.
    const bool wanted = simulationRunning_ && !simulated_.empty();
    if (wanted && !simulationTimer_->isActive()) {
        simulationTimer_->start();
    } else if (!wanted) {
        simulationTimer_->stop();
    }
}

void ServerModel::simulationTick() {
    const double elapsed = std::chrono::duration<double>(clock_() - simulationStart_).count();
    bool changed = false;
    for (const std::size_t index : simulated_) {
        const Datapoint& datapoint = datapoints_[index];
        const auto value = datapoint.simulation.valueAt(elapsed);
        if (!value) {
            continue;
        }
        store_->setValue(datapoint, *value);
        const double live = store_->value(datapoint).value_or(*value);
        const auto [entry, added] = liveValues_.try_emplace(datapoint.id, live);
        if (added || entry->second != live) {
            entry->second = live;
            changed = true;
        }
    }
    // In place: copying every live value five times a second is what made large lists costly.
    if (changed) {
        emit liveValuesChanged();
    }
}
