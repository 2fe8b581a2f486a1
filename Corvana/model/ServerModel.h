#pragma once

#include "Corvana/model/EditHistory.h"
#include "Corvana/model/LogBuffer.h"
#include "Corvana/model/LogSegment.h"
#include "Corvana/model/ModelDialogs.h"
#include "Corvana/model/PortScanner.h"
#include "Corvana/model/Preferences.h"
#include "Corvana/model/ProjectCommands.h"
#include "Corvana/model/SerialPortInfo.h"
#include "Corvana/model/ServerProject.h"
#include "Corvana/model/ServerSession.h"
#include "Corvana/model/ServerState.h"
#include "Corvana/model/ServerStatistics.h"
#include "Corvana/model/VirtualPort.h"

#include "ModbusCore/Datapoint.h"
#include "ModbusCore/DatapointCSV.h"
#include "ModbusCore/UUID.h"
#include "ModbusSerial/SerialConfiguration.h"
#include "ServerCore/FaultRule.h"
#include "ServerCore/MasterReport.h"
#include "ServerCore/RegisterStore.h"
#include "ServerCore/ServerEvent.h"
#include "ServerCore/ServerUnit.h"
#include "ServerCore/Transport.h"

#include <nlohmann/json_fwd.hpp>

#include <array>

#include <QObject>
#include <QString>
#include <QTimer>
#include <QVariant>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <unordered_map>
#include <unordered_set>
#include <variant>
#include <vector>

// The one application object behind every window, confined to the main thread, and the one owner
// of the document (serial settings, units, datapoints) with the register store, the live values,
// the port list and the log. The user interface reads the published state (each field with its
// change signal) and calls the operations; the model never throws to it, failures land in
// errorMessage. The concerns live in classes of their own: Preferences, PortSelection,
// ServerSession (the engines and their EventRelay), ServerStatistics, ProjectCommands (files); the
// editing rules in DatapointEditing, UnitEditing, FaultRuleEditing and Overlaps. ServerModel.cpp
// holds the server side, ServerModelNetwork.cpp starting it with the listeners,
// ServerModelEditing.cpp the document side, ServerModelFaultRules.cpp the fault rules.
class ServerModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool logIsEmpty READ logIsEmpty NOTIFY logIsEmptyChanged)
    Q_PROPERTY(bool showNoiseHint READ showNoiseHint NOTIFY showNoiseHintChanged)
    Q_PROPERTY(
        QString selectedPath READ selectedPath WRITE setSelectedPath NOTIFY selectedPathChanged)
    Q_PROPERTY(bool showTimestamps READ showTimestamps WRITE setShowTimestamps NOTIFY
                   showTimestampsChanged)
    Q_PROPERTY(
        bool showRawFrames READ showRawFrames WRITE setShowRawFrames NOTIFY showRawFramesChanged)
    Q_PROPERTY(bool showBusTraffic READ showBusTraffic WRITE setShowBusTraffic NOTIFY
                   showBusTrafficChanged)
    Q_PROPERTY(bool autoscroll READ autoscroll WRITE setAutoscroll NOTIFY autoscrollChanged)

public:
    using LiveValues = std::unordered_map<UUID, double>;
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    // The scanner is started by init; dialogs must outlive the model.
    ServerModel(std::unique_ptr<PortScanner> scanner, ModelDialogs& dialogs,
                QObject* parent = nullptr);
    ~ServerModel() override;

    // Start-up: preferences, project, selection, overlaps, store, then the port scanner. Writes
    // no log line and does not start the server.
    void init();

    // Published state.
    const std::vector<SerialPortInfo>& ports() const { return ports_; }
    ServerState state() const { return state_; }
    // Traffic of all transports together, and of one.
    const ServerStatistics& statistics() const { return statistics_; }
    const ServerStatistics& statistics(Transport transport) const {
        return transportStatistics_[static_cast<std::size_t>(transport)];
    }
    bool logIsEmpty() const { return logIsEmpty_; }
    bool showNoiseHint() const { return showNoiseHint_; }
    const LiveValues& liveValues() const { return liveValues_; }
    const std::unordered_set<UUID>& conflicts() const { return conflicts_; }
    const std::optional<QString>& errorMessage() const { return errorMessage_; }
    QString selectedPath() const { return preferences_.port(); }
    const SerialConfiguration& serial() const { return serial_; }
    const NetworkConfiguration& network() const { return network_; }
    // Clients connected to the transport's listener now; 0 while stopped (ServerModelNetwork.cpp).
    std::size_t clientCount(Transport transport) const;
    // The listeners serving now, with their bound addresses; empty while stopped.
    std::vector<ServerSession::Listener> listeners() const { return session_.listeners(); }
    // "Modbus TCP 127.0.0.1:1502" for each listener serving now, as the started line names them.
    std::vector<std::string> servedListeners() const;
    const std::vector<ServerUnit>& units() const { return units_; }
    const std::vector<Datapoint>& datapoints() const { return datapoints_; }
    std::optional<std::uint8_t> selectedUnitID() const { return selectedUnitID_; }
    // A unit's diagnostic counters and listen-only mode while the server runs; they change with
    // every request (statisticsChanged).
    std::optional<UnitDiagnostics> unitDiagnostics(std::uint8_t unit) const {
        return state_ == ServerState::running ? store_->diagnostics(unit) : std::nullopt;
    }
    bool isListeningOnly(std::uint8_t unit) const {
        return state_ == ServerState::running && store_->isListeningOnly(unit);
    }
    bool showTimestamps() const { return preferences_.flag(Preferences::Flag::timestamps); }
    bool showRawFrames() const { return preferences_.flag(Preferences::Flag::rawFrames); }
    bool showBusTraffic() const { return preferences_.flag(Preferences::Flag::busTraffic); }
    bool autoscroll() const { return preferences_.flag(Preferences::Flag::autoscroll); }
    // Whether the window opens the control socket for scripts; off unless the user turns it on.
    bool allowControl() const { return preferences_.flag(Preferences::Flag::allowControl); }

    // Setters the user interface binds to. Those of serial, units and datapoints refresh; the
    // port and the log options write their preference.
    void setErrorMessage(std::optional<QString> message);
    // Sets the error even when it is the same, so the user sees a repeated failure again.
    void reportError(const std::string& message);
    void setSelectedPath(const QString& path);
    void setSerial(const SerialConfiguration& serial);
    void setNetwork(const NetworkConfiguration& network);
    void setUnits(std::vector<ServerUnit> units);
    void setDatapoints(std::vector<Datapoint> datapoints);
    void setSelectedUnitID(std::optional<std::uint8_t> unitID);
    void setShowTimestamps(bool on);
    void setShowRawFrames(bool on);
    void setShowBusTraffic(bool on);
    void setAutoscroll(bool on);
    void setAllowControl(bool on);

    LogBuffer& logBuffer() { return logBuffer_; }
    const LogBuffer& logBuffer() const { return logBuffer_; }

    // Server control (ServerModelNetwork.cpp): the selected port and the enabled listeners.
    bool canStart() const;
    void start();
    void stop();
    void clearLog();
    void dismissNoiseHint();
    QString portLabel() const;
    void appendLog(const LogLine& line);
    void saveLog() { commands_.saveLog(); }

    // The virtual port (ServerModelVirtualPort.cpp). The window offers it: it is then made as
    // soon as it is chosen, so the master's end can be shown before the first Start, and it is
    // chosen when there is neither a choice nor a USB adapter.
    void setOffersVirtualPort(bool on) { offersVirtualPort_ = on; }
    bool isVirtualSelected() const;
    const VirtualPort& virtualPort() const { return virtualPort_; }

    // How the master behaves since the server was started or the report last reset; kept after
    // a stop until the next start. The JSON is the report file's form (keys in the README): the
    // serial line's report, with "network" holding the report of each listener that served.
    nlohmann::json masterReport() const;
    MasterReport::Summary masterReportSummary() const { return store_->masterReport().summary(); }
    // Every transport's.
    void resetMasterReport();
    void exportMasterReport() { commands_.exportMasterReport(); }
    // Writes masterReport() to path atomically; false with the system's reason when it cannot.
    bool writeMasterReport(const QString& path, QString* reason) const;

    // One event of the current engine, already on the main thread. Events of an engine that is
    // no longer the model's are dropped before they get here.
    void handleEvent(const ServerEvent& event);
    // The port scanner's callback.
    void portsChanged(const std::vector<SerialPortInfo>& list);

    // Live values, overlaps and editing.
    void refresh();
    void rebuildLiveValues();
    double displayValue(const Datapoint& datapoint) const;
    bool isConflict(const UUID& id) const { return conflicts_.contains(id); }
    std::vector<Datapoint> selectedUnitPoints() const;
    void setValue(const UUID& id, double value);
    std::optional<UUID> addDatapoint(std::optional<UUID> after = std::nullopt);
    std::vector<UUID> duplicateDatapoints(const std::vector<UUID>& ids);
    void deleteDatapoints(const std::unordered_set<UUID>& ids);
    // holdingRegister for an unknown id.
    RegisterTable table(const UUID& id) const;
    void setTable(const UUID& id, RegisterTable table);
    // Replaces the datapoint with the same id; unknown ids change nothing.
    void updateDatapoint(const Datapoint& datapoint);
    // Replaces the unit with the same address; renumbering goes through changeUnitAddress.
    void updateUnit(const ServerUnit& unit);
    void addUnit();
    void deleteUnit(std::uint8_t address);
    bool changeUnitAddress(std::uint8_t from, std::uint8_t to);

    // A unit's fault rules, each change one step of undo that a running server applies from the
    // next request on. Unknown units and indices change nothing; the new index where one moved.
    std::optional<std::size_t> insertFaultRule(std::uint8_t unit, FaultRule rule,
                                               std::optional<std::size_t> after = std::nullopt);
    std::optional<std::size_t> duplicateFaultRule(std::uint8_t unit, std::size_t index);
    void removeFaultRule(std::uint8_t unit, std::size_t index);
    // offset −1 moves up, +1 down.
    std::optional<std::size_t> moveFaultRule(std::uint8_t unit, std::size_t index, int offset);
    void replaceFaultRule(std::uint8_t unit, std::size_t index, const FaultRule& rule);
    void setFaultRuleEnabled(std::uint8_t unit, std::size_t index, bool enabled);
    // Replaces all of the unit's rules at once (a script's list); false for an unknown unit.
    bool setFaultRules(std::uint8_t unit, std::vector<FaultRule> rules);
    // How often each of the unit's rules matched and fired while the server runs, in rule order;
    // empty while stopped. They change with every request (statisticsChanged).
    std::vector<FaultRule::Counts> faultCounts(std::uint8_t unit) const {
        return state_ == ServerState::running ? store_->faultCounts(unit)
                                              : std::vector<FaultRule::Counts>();
    }

    // Off: the model writes neither the autosave file nor the preferences (the headless server).
    void setPersistent(bool persistent);
    bool isPersistent() const { return persistent_; }
    // Writes the current project to the autosave file at once; failures stay silent.
    void saveAutosave();
    // Debounced saveAutosave: a burst of changes writes once, a second after the last.
    void scheduleAutosave();
    // Stops the server, then saves whatever is pending. The application calls it on exit.
    void applicationWillEnd();

    // Version 1 with the current serial settings, units and datapoints.
    ServerProject currentProject() const;
    // Stops a running server, then takes the project's content; schedules one autosave.
    void applyProject(const ServerProject& project);
    // Adds units missing for the imported datapoints, appends the datapoints (after emptying the
    // list when replace) and fixes up the selection.
    void mergeImportedDatapoints(std::vector<Datapoint> imported, bool replace);

    // Undo and redo of units and datapoints. A project opened or created starts a new history.
    bool canUndo() const { return history_.canUndo(); }
    bool canRedo() const { return history_.canRedo(); }
    void undo();
    void redo();

    // The project file the work was opened from or saved to last; empty when there is none.
    const QString& projectPath() const { return projectPath_; }
    // Whether the work differs from that file; false without one.
    bool isModified() const { return modified_; }
    // The work was just read from or written to path (empty: no file), with this content.
    void setProjectFile(const QString& path, const ServerProject& content);

    // The file commands (ProjectCommands).
    void newProject() { commands_.newProject(); }
    void openProject() { commands_.openProject(); }
    bool openProjectFile(const QString& path) { return commands_.openProjectFile(path); }
    bool saveProjectAs() { return commands_.saveProjectAs(); }
    // To the project file; without one, as saveProjectAs.
    bool saveProject() { return commands_.saveProject(); }
    bool confirmReplace() { return commands_.confirmReplace(); }
    void importDatapoints() { commands_.importDatapoints(); }
    void exportDatapoints() { commands_.exportDatapoints(); }
    static std::optional<std::string> readTextFile(const QString& path) {
        return ProjectCommands::readTextFile(path);
    }
    static std::variant<DatapointCSV::ImportResult, std::string>
    readDatapointsFile(const QString& path) {
        return ProjectCommands::readDatapointsFile(path);
    }

    // The user's decimal separator, which value texts and CSV numbers follow.
    static std::string localeDecimalSeparator();

    // Tests replace the clock that drives the simulation.
    void setClock(Clock clock) { clock_ = std::move(clock); }
    // Whether the simulation timer runs: only while serving datapoints that have a simulation.
    bool isSimulating() const { return simulationTimer_->isActive(); }

signals:
    void portListChanged();
    void stateChanged();
    void statisticsChanged();
    void logIsEmptyChanged();
    void showNoiseHintChanged();
    void liveValuesChanged();
    void conflictsChanged();
    void errorMessageChanged();
    void selectedPathChanged();
    void serialChanged();
    void networkChanged();
    void clientsChanged(); // a client count
    void unitsChanged();
    void datapointsChanged();
    void selectedUnitIDChanged();
    void showTimestampsChanged();
    void showRawFramesChanged();
    void showBusTrafficChanged();
    void autoscrollChanged();
    void allowControlChanged();
    void historyChanged();
    void projectFileChanged(); // the path or the modified mark
    void virtualPortChanged(); // made, or gone at the end

private:
    // The autosave or the example; an unreadable autosave is kept aside, reported once in
    // errorMessage and holds autosaving back until the user changes something.
    ServerProject loadProject();
    // The selection a fresh unit list starts with: its first unit, if any.
    std::optional<std::uint8_t> firstUnitID() const;
    void setState(ServerState state);
    void setStatistics(const ServerStatistics& statistics);
    // Forgets the counts of every transport, and the clients.
    void resetTraffic();
    // What the session is to serve: the enabled listeners.
    std::vector<NetworkSettings> listenerSettings() const;
    // Counts a listener's client events; true when it was one.
    bool handleClientEvent(const ServerEvent& event);
    void setShowNoiseHint(bool on);
    void setLiveValues(LiveValues values);
    void setConflicts(std::unordered_set<UUID> conflicts);
    void setLogIsEmpty(bool empty);
    void setFlag(Preferences::Flag flag, bool on, void (ServerModel::*changed)());
    DocumentState documentState() const;
    // After an edit of units or datapoints: one step of undo (see EditHistory::record).
    void recordEdit(const std::string& mergeKey = {});
    void restoreDocument(const DocumentState& state);
    // Applies `edit` to the unit's rules; when it reports a change, publishes, refreshes and
    // records it.
    bool editFaultRules(std::uint8_t unit,
                        const std::function<bool(std::vector<FaultRule>&)>& edit);
    void updateModified();

    // Whether the server runs or is about to: an engine that has not reported started yet
    // counts as running.
    bool isServing() const { return state_ != ServerState::stopped || session_.hasEngine(); }
    // Counts and notes events the relay's queue left out under a flood.
    void handleDropped(const EventQueue::Dropped& dropped);
    void reopen(const std::string& node);
    // Makes the virtual port unless it exists; a failure goes to errorMessage when asked to.
    bool openVirtualPort(bool reportFailure);
    // The port as the started line names it.
    QString portForLog() const;
    // The device node to open for the selection: a listed port's node, else the name itself.
    std::string nodeToOpen() const;
    void handleWrites(const std::vector<WriteEvent>& writes);

    void startSimulation();
    void stopSimulation();
    // Finds the simulated datapoints again and starts or stops the timer to match.
    void updateSimulated();
    void simulationTick();

    // Published state.
    std::vector<SerialPortInfo> ports_;
    ServerState state_ = ServerState::stopped;
    ServerStatistics statistics_;
    bool logIsEmpty_ = true;
    bool showNoiseHint_ = false;
    LiveValues liveValues_;
    std::unordered_set<UUID> conflicts_;
    std::optional<QString> errorMessage_;
    SerialConfiguration serial_;
    NetworkConfiguration network_;
    std::vector<ServerUnit> units_;
    std::vector<Datapoint> datapoints_;
    std::optional<std::int64_t> faultSeed_; // the project's, kept for saving
    std::optional<std::uint8_t> selectedUnitID_;
    Preferences preferences_;              // the port and the log options
    std::array<std::size_t, 3> clients_{}; // by transport, from the listeners' events
    std::array<ServerStatistics, 3> transportStatistics_;
    std::vector<Transport> reportedTransports_; // the listeners of the last start

    // Private state.
    LogBuffer logBuffer_;
    const std::shared_ptr<RegisterStore> store_ = std::make_shared<RegisterStore>();
    std::unique_ptr<PortScanner> scanner_;
    ProjectCommands commands_;
    std::optional<std::set<std::string>> knownPaths_; // identities of the previous list
    // What the running server was started on, and the node a lost port is reopened on.
    std::string servedIdentity_;
    std::string servedNode_;
    int noiseCount_ = 0;
    bool noiseHintDismissed_ = false;
    Clock clock_ = [] { return std::chrono::steady_clock::now(); };
    std::chrono::steady_clock::time_point simulationStart_;
    std::vector<std::size_t> simulated_; // indices into datapoints_ of those with a simulation
    bool simulationRunning_ = false;     // between startSimulation and stopSimulation
    bool persistent_ = true;
    bool autosaveHeld_ = false;    // until the next change, after an unreadable autosave
    bool autosaveBlocked_ = false; // for the whole run: the unreadable file is still in place
    EditHistory history_;
    QString projectPath_;
    ServerProject savedProject_;
    bool modified_ = false;

    // Receiver of queued engine events, reopen and timer callbacks; dies with the model, so
    // nothing queued runs after it.
    QObject* context_;
    QTimer* simulationTimer_;
    QTimer* autosaveTimer_; // single shot
    ServerSession session_;
    // The destructor and applicationWillEnd stop the session first, so the engine lets go of the
    // terminal before the pair ends.
    VirtualPort virtualPort_;
    bool offersVirtualPort_ = false;
};
