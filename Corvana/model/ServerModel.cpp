#include "Corvana/model/ServerModel.h"

#include "Corvana/model/EventRelay.h"
#include "Corvana/model/LogLines.h"
#include "Corvana/model/ModelEditing.h"
#include "Corvana/model/ProjectFile.h"

#include "Localization/L10n.h"
#include "ModbusSerial/SerialLinkError.h"

#include <QLocale>
#include <QPointer>
#include <QSettings>
#include <QTime>

#include <algorithm>
#include <memory>

using namespace std::chrono_literals;

namespace {

// The per-user preferences: keys, types and defaults in one place. Reading never writes.
namespace Preference {

constexpr const char* port = "port"; // text, empty when absent

struct Flag {
    const char* key;
    bool fallback; // when absent or not a boolean
};
constexpr Flag timestamps{"timestamps", true};
constexpr Flag rawFrames{"rawFrames", false};
constexpr Flag busTraffic{"busTraffic", false};
constexpr Flag autoscroll{"autoscroll", true};

QString readText(const QSettings& settings, const char* key) {
    const QVariant value = settings.value(key);
    return value.typeId() == QMetaType::QString ? value.toString() : QString();
}

bool readFlag(const QSettings& settings, const Flag& flag) {
    const QVariant value = settings.value(flag.key);
    if (value.typeId() == QMetaType::Bool) {
        return value.toBool();
    }
    // The INI backend hands booleans back as text.
    if (value.typeId() == QMetaType::QString) {
        const QString text = value.toString();
        if (text == QLatin1String("true") || text == QLatin1String("false")) {
            return text == QLatin1String("true");
        }
    }
    return flag.fallback;
}

} // namespace Preference

constexpr auto simulationInterval = 200ms;
constexpr auto reopenDelay = 700ms;
constexpr int noiseHintThreshold = 3;

// The datapoint of a list with the given id, or the list's end.
template <class Datapoints>
auto findDatapoint(Datapoints& datapoints, const UUID& id) {
    return std::find_if(datapoints.begin(), datapoints.end(),
                        [&](const Datapoint& p) { return p.id == id; });
}

} // namespace

ServerModel::ServerModel(std::unique_ptr<PortScanner> scanner, ModelDialogs& dialogs,
                         QObject* parent)
    : QObject(parent)
    , scanner_(std::move(scanner))
    , dialogs_(dialogs)
    , context_(new QObject(this))
    , simulationTimer_(new QTimer(context_))
    , autosaveTimer_(new QTimer(context_)) {
    simulationStart_ = clock_();
    simulationTimer_->setInterval(simulationInterval);
    connect(simulationTimer_, &QTimer::timeout, context_, [this] { simulationTick(); });
    autosaveTimer_->setSingleShot(true);
    autosaveTimer_->setInterval(1000ms);
    connect(autosaveTimer_, &QTimer::timeout, context_, [this] { saveAutosave(); });
}

ServerModel::~ServerModel() {
    if (relay_) {
        relay_->detach();
    }
    engine_.reset();
    if (scanner_) {
        scanner_->onChange = nullptr;
        scanner_->onFailure = nullptr;
    }
    // Takes queued events, the pending reopen and the timer with it before any member goes.
    delete context_;
}

void ServerModel::init() {
    const QSettings settings;
    selectedPath_ = Preference::readText(settings, Preference::port);
    showTimestamps_ = Preference::readFlag(settings, Preference::timestamps);
    showRawFrames_ = Preference::readFlag(settings, Preference::rawFrames);
    showBusTraffic_ = Preference::readFlag(settings, Preference::busTraffic);
    autoscroll_ = Preference::readFlag(settings, Preference::autoscroll);

    ServerProject project = loadProject();
    serial_ = project.serial;
    units_ = std::move(project.units);
    datapoints_ = std::move(project.datapoints);
    selectedUnitID_ = firstUnitID();
    output_.setAutoscroll(autoscroll_);

    emit selectedPathChanged();
    emit showTimestampsChanged();
    emit showRawFramesChanged();
    emit showBusTrafficChanged();
    emit autoscrollChanged();
    emit serialChanged();
    emit unitsChanged();
    emit datapointsChanged();
    emit selectedUnitIDChanged();

    setConflicts(Overlaps::compute(datapoints_));
    store_->configure(units_, datapoints_, true);
    updateSimulated();

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
}

ServerProject ServerModel::loadProject() {
    ProjectFile::LoadedAutosave loaded = ProjectFile::loadAutosaveOrExample();
    if (loaded.unreadable) {
        autosaveHeld_ = true;
        autosaveBlocked_ = !loaded.movedAside;
        setError(L10n::Errors::autosaveUnreadable(loaded.unreadable->toStdString()));
    }
    return std::move(loaded.project);
}

std::string ServerModel::localeDecimalSeparator() {
    return QLocale().decimalPoint().toStdString();
}

std::optional<std::uint8_t> ServerModel::firstUnitID() const {
    return units_.empty() ? std::nullopt : std::optional<std::uint8_t>(units_.front().unitID);
}

// MARK: - Setters

void ServerModel::setErrorMessage(std::optional<QString> message) {
    if (message != errorMessage_) {
        errorMessage_ = std::move(message);
        emit errorMessageChanged();
    }
}

void ServerModel::setError(const std::string& message) {
    // Set even when equal, so the user sees a repeated failure again.
    errorMessage_ = QString::fromStdString(message);
    emit errorMessageChanged();
}

void ServerModel::setSelectedPath(const QString& path) {
    if (path == selectedPath_) {
        return;
    }
    selectedPath_ = path;
    writePreference(Preference::port, path);
    emit selectedPathChanged();
}

void ServerModel::setSerial(const SerialConfiguration& serial) {
    if (serial == serial_) {
        return;
    }
    serial_ = serial;
    emit serialChanged();
    refresh();
}

void ServerModel::setUnits(std::vector<ServerUnit> units) {
    units_ = std::move(units);
    emit unitsChanged();
    refresh();
}

void ServerModel::setDatapoints(std::vector<Datapoint> datapoints) {
    datapoints_ = std::move(datapoints);
    emit datapointsChanged();
    refresh();
}

void ServerModel::setSelectedUnitID(std::optional<std::uint8_t> unitID) {
    if (unitID != selectedUnitID_) {
        selectedUnitID_ = unitID;
        emit selectedUnitIDChanged();
    }
}

void ServerModel::setShowTimestamps(bool on) {
    if (on != showTimestamps_) {
        showTimestamps_ = on;
        writePreference(Preference::timestamps.key, on);
        emit showTimestampsChanged();
    }
}

void ServerModel::setShowRawFrames(bool on) {
    if (on != showRawFrames_) {
        showRawFrames_ = on;
        writePreference(Preference::rawFrames.key, on);
        emit showRawFramesChanged();
    }
}

void ServerModel::setShowBusTraffic(bool on) {
    if (on != showBusTraffic_) {
        showBusTraffic_ = on;
        writePreference(Preference::busTraffic.key, on);
        emit showBusTrafficChanged();
    }
}

void ServerModel::setAutoscroll(bool on) {
    if (on != autoscroll_) {
        autoscroll_ = on;
        output_.setAutoscroll(on);
        writePreference(Preference::autoscroll.key, on);
        emit autoscrollChanged();
    }
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

void ServerModel::countStatistic(std::int64_t ServerStatistics::*counter) {
    ++(statistics_.*counter);
    emit statisticsChanged();
}

void ServerModel::setShowNoiseHint(bool on) {
    if (on != showNoiseHint_) {
        showNoiseHint_ = on;
        emit showNoiseHintChanged();
    }
}

void ServerModel::setLiveValues(LiveValues values) {
    if (values != liveValues_) {
        liveValues_ = std::move(values);
        emit liveValuesChanged();
    }
}

void ServerModel::setConflicts(std::unordered_set<UUID> conflicts) {
    if (conflicts != conflicts_) {
        conflicts_ = std::move(conflicts);
        emit conflictsChanged();
    }
}

void ServerModel::setOutputIsEmpty(bool empty) {
    if (empty != outputIsEmpty_) {
        outputIsEmpty_ = empty;
        emit outputIsEmptyChanged();
    }
}

// MARK: - Server control

bool ServerModel::canStart() const {
    return !selectedPath_.isEmpty() && !units_.empty();
}

std::unique_ptr<ServerEngine> ServerModel::startEngine() {
    const std::uint64_t run = run_ + 1;
    auto relay = std::make_shared<EventRelay>(
        context_, [this, run](const EventQueue::Batch& batch) { deliver(run, batch); });
    auto engine = std::make_unique<ServerEngine>(
        selectedPath_.toStdString(), serial_, store_, false,
        [relay](ServerEvent event) { relay->post(std::move(event)); });
    engine->start(); // throws before any event is emitted
    run_ = run;
    relay_ = std::move(relay);
    return engine;
}

void ServerModel::dropEngine() {
    if (relay_) {
        relay_->detach();
        relay_.reset();
    }
    if (engine_) {
        engine_->stop();
        engine_.reset();
    }
}

void ServerModel::start() {
    // An engine that has not reported started yet counts as running.
    if (state_ != ServerState::stopped || engine_) {
        return;
    }
    if (selectedPath_.isEmpty()) {
        setError(L10n::Errors::selectPortFirst());
        return;
    }
    if (units_.empty()) {
        setError(L10n::Log::addUnitFirst());
        return;
    }
    store_->configure(units_, datapoints_, true);
    rebuildLiveValues();
    try {
        engine_ = startEngine();
    } catch (const SerialLinkError& error) {
        setError(error.message());
        return;
    } catch (const std::exception& error) {
        setError(error.what());
        return;
    }
    setStatistics({});
    noiseCount_ = 0;
    noiseHintDismissed_ = false;
    setShowNoiseHint(false);
    startSimulation();
}

void ServerModel::stop() {
    if (state_ == ServerState::stopped && !engine_) {
        return;
    }
    dropEngine();
    setState(ServerState::stopped);
    setShowNoiseHint(false);
    stopSimulation();
    appendLog(LogLines::serverStopped());
}

void ServerModel::clearLog() {
    output_.clear();
    setOutputIsEmpty(true);
    setStatistics({});
}

void ServerModel::dismissNoiseHint() {
    noiseHintDismissed_ = true;
    setShowNoiseHint(false);
}

QString ServerModel::portLabel() const {
    const std::string path = selectedPath_.toStdString();
    const auto port = std::find_if(ports_.begin(), ports_.end(),
                                   [&](const SerialPortInfo& info) { return info.path == path; });
    if (port != ports_.end()) {
        return QString::fromStdString(port->shortName());
    }
    if (selectedPath_.isEmpty()) {
        return QStringLiteral("Corvana");
    }
    return selectedPath_.mid(5); // without "/dev/"
}

void ServerModel::appendLog(const LogLine& line) {
    if (showTimestamps_) {
        LogLine stamped;
        stamped.reserve(line.size() + 1);
        stamped.append(
            LogSegment{LogSegment::Kind::timestamp, LogLines::timestampText(QTime::currentTime())});
        stamped.append(line);
        output_.append(stamped);
    } else {
        output_.append(line);
    }
    setOutputIsEmpty(false);
}

void ServerModel::saveLog() {
    const auto path = dialogs_.chooseSaveLocation(
        ModelDialogs::FileKind::logText,
        OutputBuffer::proposedLogFileName(QDateTime::currentDateTime()));
    if (!path) {
        return;
    }
    QString description;
    if (!output_.writeTo(*path, &description)) {
        setError(L10n::Errors::savingFailed(description.toStdString()));
    }
}

// MARK: - Events

void ServerModel::deliver(std::uint64_t run, const EventQueue::Batch& batch) {
    for (const ServerEvent& event : batch.events) {
        // Late events of a stopped or replaced engine must not count into the current run; a
        // loss ends the run in the middle of a batch.
        if (run != run_ || !engine_) {
            return;
        }
        handleEvent(event);
    }
    if (run == run_ && engine_ && batch.dropped.any()) {
        handleDropped(batch.dropped);
    }
}

void ServerModel::handleDropped(const EventQueue::Dropped& dropped) {
    statistics_.requests += dropped.counts.requests;
    statistics_.responses += dropped.counts.responses;
    statistics_.exceptions += dropped.counts.exceptions;
    statistics_.otherUnits += dropped.counts.otherUnits;
    statistics_.errors += dropped.counts.errors;
    emit statisticsChanged();
    noiseCount_ += static_cast<int>(std::min<std::uint64_t>(dropped.garbage, noiseHintThreshold));
    if (noiseCount_ >= noiseHintThreshold && !noiseHintDismissed_) {
        setShowNoiseHint(true);
    }
    if (dropped.writes) {
        rebuildLiveValues(); // the master wrote: show what the registers hold now
    }
    const std::uint64_t lines = dropped.lines + (showBusTraffic_ ? dropped.busTraffic : 0);
    if (lines > 0) {
        appendLog(LogLines::linesDropped(lines));
    }
}

void ServerModel::handleEvent(const ServerEvent& event) {
    if (const auto* response = event.as<ServerEvent::Response>()) {
        ++statistics_.responses;
        if (LogLines::isExceptionPDU(response->pdu)) {
            ++statistics_.exceptions;
        }
        emit statisticsChanged();
    } else if (event.is<ServerEvent::Request>() || event.is<ServerEvent::Broadcast>()) {
        countStatistic(&ServerStatistics::requests);
    } else if (event.is<ServerEvent::OtherUnit>()) {
        countStatistic(&ServerStatistics::otherUnits);
    } else if (event.is<ServerEvent::Garbage>()) {
        countStatistic(&ServerStatistics::errors);
        ++noiseCount_;
    } else if (const auto* wrote = event.as<ServerEvent::Wrote>()) {
        handleWrites(wrote->writes);
        return;
    } else if (event.is<ServerEvent::SerialLost>()) {
        dropEngine(); // its thread has ended already
        setState(ServerState::serialLost);
    } else if (event.is<ServerEvent::Started>()) {
        setState(ServerState::running);
    }

    const LogLines::Options options{showRawFrames_, showBusTraffic_};
    if (const auto line = LogLines::forEvent(event, options, selectedPath_, serial_, units_)) {
        appendLog(*line);
    }
    if (event.is<ServerEvent::Garbage>() && noiseCount_ >= noiseHintThreshold &&
        !noiseHintDismissed_) {
        setShowNoiseHint(true);
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

// MARK: - Ports

void ServerModel::portsChanged(const std::vector<SerialPortInfo>& list) {
    if (list != ports_) {
        ports_ = list;
        emit portListChanged();
    }
    const auto previous = std::move(knownPaths_);
    knownPaths_.emplace();
    for (const SerialPortInfo& port : list) {
        knownPaths_->insert(port.path);
    }

    const std::string path = selectedPath_.toStdString();
    const auto selected = std::find_if(
        list.begin(), list.end(), [&](const SerialPortInfo& info) { return info.path == path; });
    const bool missing = selected == list.end();

    if (state_ == ServerState::serialLost) {
        if (!missing) {
            QTimer::singleShot(reopenDelay, context_, [this] { reopen(); });
        }
        return;
    }
    // An engine that has not reported started yet serves the selected port already.
    if (state_ != ServerState::stopped || engine_) {
        return;
    }
    if (previous) {
        // A newly plugged adapter is almost certainly the one the user means to serve.
        const auto fresh = std::find_if(list.begin(), list.end(), [&](const SerialPortInfo& info) {
            return info.vendorID && !previous->contains(info.path);
        });
        if (fresh != list.end()) {
            if (missing || !selected->vendorID) {
                setSelectedPath(QString::fromStdString(fresh->path));
            }
            return;
        }
    }
    if (!list.empty() && missing) {
        const auto usb = std::find_if(list.begin(), list.end(),
                                      [](const SerialPortInfo& info) { return info.vendorID; });
        if (usb != list.end()) {
            setSelectedPath(QString::fromStdString(usb->path));
        }
    }
}

void ServerModel::reopen() {
    if (state_ != ServerState::serialLost || engine_) {
        return;
    }
    try {
        engine_ = startEngine();
    } catch (const std::exception&) {
        return; // the next port list with the path tries again
    }
    appendLog(LogLines::portBack());
}

// MARK: - Live values

void ServerModel::refresh() {
    updateSimulated();
    setConflicts(Overlaps::compute(datapoints_));
    store_->configure(units_, datapoints_, false);
    if (state_ != ServerState::stopped) {
        const bool complete =
            std::all_of(datapoints_.begin(), datapoints_.end(),
                        [&](const Datapoint& p) { return liveValues_.contains(p.id); });
        if (!complete) {
            LiveValues values = liveValues_;
            for (const Datapoint& datapoint : datapoints_) {
                if (!values.contains(datapoint.id)) {
                    values.emplace(datapoint.id,
                                   store_->value(datapoint).value_or(datapoint.value));
                }
            }
            setLiveValues(std::move(values));
        }
    }
    scheduleAutosave();
}

void ServerModel::rebuildLiveValues() {
    LiveValues values;
    values.reserve(datapoints_.size());
    for (const Datapoint& datapoint : datapoints_) {
        values[datapoint.id] = store_->value(datapoint).value_or(datapoint.value);
    }
    setLiveValues(std::move(values));
}

double ServerModel::displayValue(const Datapoint& datapoint) const {
    const auto live = liveValues_.find(datapoint.id);
    return live != liveValues_.end() ? live->second : datapoint.value;
}

std::vector<Datapoint> ServerModel::selectedUnitPoints() const {
    std::vector<Datapoint> points;
    if (!selectedUnitID_) {
        return points;
    }
    std::copy_if(datapoints_.begin(), datapoints_.end(), std::back_inserter(points),
                 [&](const Datapoint& p) { return p.unitID == *selectedUnitID_; });
    return points;
}

void ServerModel::setValue(const UUID& id, double value) {
    const auto found = findDatapoint(datapoints_, id);
    if (found == datapoints_.end()) {
        return;
    }
    found->value = value;
    const Datapoint datapoint = *found;
    emit datapointsChanged();
    refresh();
    // Read back so the live value shows what the registers hold after clamping and scaling.
    store_->setValue(datapoint, value);
    LiveValues values = liveValues_;
    values[id] = store_->value(datapoint).value_or(value);
    setLiveValues(std::move(values));
}

// MARK: - Simulation

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

// MARK: - Editing

std::optional<UUID> ServerModel::addDatapoint(std::optional<UUID> after) {
    const auto id = DatapointEditing::addDatapoint(datapoints_, selectedUnitID_, after);
    if (id) {
        emit datapointsChanged();
        refresh();
    }
    return id;
}

std::vector<UUID> ServerModel::duplicateDatapoints(const std::vector<UUID>& ids) {
    auto copies = DatapointEditing::duplicate(datapoints_, ids);
    if (!copies.empty()) {
        emit datapointsChanged();
        refresh();
    }
    return copies;
}

void ServerModel::deleteDatapoints(const std::unordered_set<UUID>& ids) {
    const std::size_t before = datapoints_.size();
    DatapointEditing::remove(datapoints_, ids);
    if (datapoints_.size() != before) {
        emit datapointsChanged();
    }
    refresh();
}

RegisterTable ServerModel::table(const UUID& id) const {
    const auto found = findDatapoint(datapoints_, id);
    return found != datapoints_.end() ? found->table
                                      : RegisterTable(RegisterTable::holdingRegister);
}

void ServerModel::setTable(const UUID& id, RegisterTable table) {
    const auto found = findDatapoint(datapoints_, id);
    if (found == datapoints_.end()) {
        return;
    }
    found->changeTable(table);
    emit datapointsChanged();
    refresh();
}

void ServerModel::updateDatapoint(const Datapoint& datapoint) {
    const auto found = findDatapoint(datapoints_, datapoint.id);
    if (found == datapoints_.end() || *found == datapoint) {
        return;
    }
    *found = datapoint;
    if (found->table.isBit()) {
        found->dataType = DataType::bool_; // a bit table holds nothing else
    }
    emit datapointsChanged();
    refresh();
}

void ServerModel::updateUnit(const ServerUnit& unit) {
    const auto found = std::find_if(units_.begin(), units_.end(),
                                    [&](const ServerUnit& u) { return u.unitID == unit.unitID; });
    if (found == units_.end() || *found == unit) {
        return;
    }
    *found = unit;
    emit unitsChanged();
    refresh();
}

void ServerModel::addUnit() {
    const auto address = UnitEditing::lowestFreeAddress(units_);
    if (!address) {
        return;
    }
    ServerUnit unit;
    unit.unitID = *address;
    units_.push_back(unit);
    UnitEditing::sortByAddress(units_);
    emit unitsChanged();
    refresh();
    setSelectedUnitID(address);
}

void ServerModel::deleteUnit(std::uint8_t address) {
    const auto removedPoints =
        std::erase_if(datapoints_, [&](const Datapoint& p) { return p.unitID == address; });
    const auto removedUnits =
        std::erase_if(units_, [&](const ServerUnit& u) { return u.unitID == address; });
    if (removedPoints > 0) {
        emit datapointsChanged();
    }
    if (removedUnits > 0) {
        emit unitsChanged();
    }
    refresh();
    if (selectedUnitID_ == address) {
        setSelectedUnitID(firstUnitID());
    }
}

bool ServerModel::changeUnitAddress(std::uint8_t from, std::uint8_t to) {
    if (from == to) {
        return true;
    }
    if (!UnitEditing::changeUnitAddress(units_, datapoints_, from, to)) {
        return false;
    }
    emit unitsChanged();
    emit datapointsChanged();
    refresh();
    if (selectedUnitID_ == from) {
        setSelectedUnitID(to);
    }
    return true;
}
