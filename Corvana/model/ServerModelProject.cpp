// The project side of ServerModel: autosave, the project commands and the CSV exchange.

#include "Corvana/model/ModelEditing.h"
#include "Corvana/model/ProjectFile.h"
#include "Corvana/model/ServerModel.h"

#include "Localization/L10n.h"
#include "ModbusCore/DatapointCSV.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QUtf8StringView>

#include <algorithm>
#include <set>

namespace {

constexpr const char* proposedCSVName = "modbus-datapoints.csv";
constexpr std::size_t maxListedIssues = 5;

std::string fileName(const QString& path) {
    return QFileInfo(path).fileName().toStdString();
}

} // namespace

// MARK: - Autosave

void ServerModel::setPersistent(bool persistent) {
    persistent_ = persistent;
    if (!persistent) {
        autosaveTimer_->stop();
    }
}

void ServerModel::writePreference(const char* key, const QVariant& value) const {
    if (persistent_) {
        QSettings().setValue(key, value);
    }
}

void ServerModel::saveAutosave() {
    // Held back after an unreadable autosave, so the example never replaces the user's work
    // unasked.
    if (persistent_ && !autosaveHeld_ && !autosaveBlocked_) {
        // A failed write keeps the previous file; the next change or the exit tries again.
        ProjectFile::writeAutosave(currentProject());
    }
}

void ServerModel::scheduleAutosave() {
    autosaveHeld_ = false; // a change by the user: from now on it is their project
    if (persistent_ && !autosaveBlocked_) {
        autosaveTimer_->start(); // restarting drops the pending write
    }
}

void ServerModel::applicationWillEnd() {
    stop();
    autosaveTimer_->stop();
    saveAutosave();
}

// MARK: - Projects

ServerProject ServerModel::currentProject() const {
    return ServerProject{1, serial_, units_, datapoints_};
}

void ServerModel::applyProject(const ServerProject& project) {
    if (state_ != ServerState::stopped) {
        stop();
    }
    serial_ = project.serial;
    emit serialChanged();
    refresh();
    std::vector<ServerUnit> units = project.units;
    UnitEditing::sortByAddress(units);
    setUnits(std::move(units));
    setDatapoints(project.datapoints);
    setSelectedUnitID(firstUnitID());
    store_->configure(units_, datapoints_, true);
    setLiveValues({});
}

void ServerModel::newProject() {
    if (!confirmReplace()) {
        return;
    }
    ServerUnit unit;
    unit.unitID = 1;
    applyProject(ServerProject{1, serial_, {unit}, {}});
}

void ServerModel::openProject() {
    if (!confirmReplace()) {
        return;
    }
    if (const auto path = dialogs_.chooseOpenLocation(ModelDialogs::FileKind::project)) {
        openProjectFile(*path);
    }
}

bool ServerModel::openProjectFile(const QString& path) {
    const auto project = ProjectFile::read(path);
    if (!project) {
        setError(L10n::Errors::cannotRead(fileName(path)));
        return false;
    }
    applyProject(*project);
    return true;
}

bool ServerModel::saveProjectAs() {
    const auto path = dialogs_.chooseSaveLocation(ModelDialogs::FileKind::project,
                                                  QString::fromUtf8(ProjectFile::proposedFileName));
    if (!path) {
        return false;
    }
    QString reason;
    if (!ProjectFile::writeAtomically(*path, ProjectFile::encode(currentProject()), &reason)) {
        setError(L10n::Errors::savingFailed(reason.toStdString()));
        return false;
    }
    return true;
}

bool ServerModel::confirmReplace() {
    if (datapoints_.empty()) {
        return true;
    }
    switch (dialogs_.askSaveCurrentProject()) {
    case ModelDialogs::SaveChoice::save:
        return saveProjectAs();
    case ModelDialogs::SaveChoice::dontSave:
        return true;
    case ModelDialogs::SaveChoice::cancel:
        break;
    }
    return false;
}

// MARK: - CSV exchange

std::optional<std::string> ServerModel::readTextFile(const QString& path) {
    // Bounded like project files, and regular files only: a FIFO would block for good.
    const auto bytes = ProjectFile::readRegularFile(path, ProjectFile::maxFileBytes);
    if (!bytes) {
        return std::nullopt;
    }
    // UTF-8 is taken as it is, without a copy in between.
    if (QUtf8StringView(*bytes).isValidUtf8()) {
        return bytes->toStdString();
    }
    // Every byte sequence is ISO Latin-1, the usual encoding of older spreadsheet exports.
    return QString::fromLatin1(*bytes).toStdString();
}

void ServerModel::importDatapoints() {
    const auto path = dialogs_.chooseOpenLocation(ModelDialogs::FileKind::csvImport);
    if (!path) {
        return;
    }
    auto read = readDatapointsFile(*path);
    if (const auto* message = std::get_if<std::string>(&read)) {
        setError(*message);
        return;
    }
    auto& result = std::get<DatapointCSV::ImportResult>(read);

    std::string informative = L10n::Import::addOrReplace();
    if (!result.issues.empty()) {
        informative += "\n\n" + L10n::Import::skipped(static_cast<int>(result.issues.size()));
        const std::size_t listed = std::min(result.issues.size(), maxListedIssues);
        for (std::size_t index = 0; index < listed; ++index) {
            informative += "\n" + result.issues[index].description();
        }
    }
    const auto choice = dialogs_.askImport(
        QString::fromStdString(L10n::Import::found(static_cast<int>(result.datapoints.size()))),
        QString::fromStdString(informative));
    if (choice == ModelDialogs::ImportChoice::cancel) {
        return;
    }
    mergeImportedDatapoints(std::move(result.datapoints),
                            choice == ModelDialogs::ImportChoice::replace);
}

std::variant<DatapointCSV::ImportResult, std::string>
ServerModel::readDatapointsFile(const QString& path) {
    const auto text = readTextFile(path);
    if (!text) {
        return L10n::Errors::cannotRead(fileName(path));
    }
    DatapointCSV::ImportResult result = DatapointCSV::parse(*text);
    if (result.tooLarge) {
        return L10n::Errors::tooManyDatapoints(fileName(path), maxDatapoints);
    }
    if (result.datapoints.empty()) {
        return L10n::Errors::noDatapointsInFile(
            result.issues.empty() ? std::string() : result.issues.front().description());
    }
    return result;
}

void ServerModel::mergeImportedDatapoints(std::vector<Datapoint> imported, bool replace) {
    if (replace) {
        setDatapoints({});
    }
    if (imported.empty()) {
        return;
    }

    std::set<std::uint8_t> known;
    for (const ServerUnit& unit : units_) {
        known.insert(unit.unitID);
    }
    std::vector<ServerUnit> units = units_;
    for (const Datapoint& datapoint : imported) {
        if (known.insert(datapoint.unitID).second) {
            ServerUnit unit;
            unit.unitID = datapoint.unitID;
            units.push_back(unit);
        }
    }
    if (units.size() != units_.size()) {
        UnitEditing::sortByAddress(units);
        setUnits(std::move(units));
    }

    const std::uint8_t firstUnit = imported.front().unitID;
    std::vector<Datapoint> datapoints = datapoints_;
    datapoints.insert(datapoints.end(), std::make_move_iterator(imported.begin()),
                      std::make_move_iterator(imported.end()));
    setDatapoints(std::move(datapoints));

    const bool selectionExists =
        selectedUnitID_ && std::any_of(units_.begin(), units_.end(), [&](const ServerUnit& unit) {
            return unit.unitID == *selectedUnitID_;
        });
    if (!selectionExists) {
        setSelectedUnitID(firstUnit);
    }
}

void ServerModel::exportDatapoints() {
    const auto path = dialogs_.chooseSaveLocation(ModelDialogs::FileKind::csv,
                                                  QString::fromUtf8(proposedCSVName));
    if (!path) {
        return;
    }
    std::vector<Datapoint> exported = datapoints_;
    for (Datapoint& datapoint : exported) {
        datapoint.value = displayValue(datapoint);
    }
    const auto dialect = DatapointCSV::Dialect::current(localeDecimalSeparator());
    const std::string text = DatapointCSV::exportText(exported, dialect);
    QString reason;
    if (!ProjectFile::writeAtomically(*path, QByteArray::fromStdString(text), &reason)) {
        setError(L10n::Errors::savingFailed(reason.toStdString()));
    }
}
