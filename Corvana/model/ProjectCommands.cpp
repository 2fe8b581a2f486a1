#include "Corvana/model/ProjectCommands.h"

#include "Corvana/model/ProjectFile.h"
#include "Corvana/model/ServerModel.h"

#include "Localization/L10n.h"
#include "ServerCore/MasterReportCSV.h"

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QUtf8StringView>

#include <algorithm>

namespace {

constexpr const char* proposedCSVName = "modbus-datapoints.csv";
constexpr const char* proposedReportName = "corvana-master-report.csv";
constexpr std::size_t maxListedIssues = 5;

std::string fileName(const QString& path) {
    return QFileInfo(path).fileName().toStdString();
}

// A heading and the first few lines, then how many more there are.
template <class Items>
void appendListed(std::string& text, const std::string& heading, const Items& items) {
    if (items.empty()) {
        return;
    }
    text += "\n\n" + heading;
    const std::size_t listed = std::min(items.size(), maxListedIssues);
    for (std::size_t index = 0; index < listed; ++index) {
        text += "\n" + items[index].description();
    }
    if (items.size() > listed) {
        text += "\n" + L10n::Import::more(static_cast<int>(items.size() - listed));
    }
}

} // namespace

ProjectCommands::ProjectCommands(ServerModel& model, ModelDialogs& dialogs)
    : model_(model)
    , dialogs_(dialogs) {}

void ProjectCommands::newProject() {
    if (!confirmReplace()) {
        return;
    }
    ServerUnit unit;
    unit.unitID = 1;
    // The connection settings carry over, as they belong to the bench rather than the device.
    model_.applyProject(ServerProject{1, model_.serial(), {unit}, {}, {}, model_.network()});
    model_.setProjectFile({}, {});
}

void ProjectCommands::openProject() {
    if (!confirmReplace()) {
        return;
    }
    if (const auto path = dialogs_.chooseOpenLocation(ModelDialogs::FileKind::project)) {
        openProjectFile(*path);
    }
}

bool ProjectCommands::openProjectFile(const QString& path) {
    const auto project = ProjectFile::read(path);
    if (!project) {
        model_.reportError(L10n::Errors::cannotRead(fileName(path)));
        return false;
    }
    model_.applyProject(*project);
    // As applied (units sorted), so the work starts out equal to its file.
    model_.setProjectFile(path, model_.currentProject());
    return true;
}

bool ProjectCommands::saveProjectAs() {
    const auto path = dialogs_.chooseSaveLocation(ModelDialogs::FileKind::project,
                                                  QString::fromUtf8(ProjectFile::proposedFileName));
    return path && writeProject(*path);
}

bool ProjectCommands::saveProject() {
    const QString path = model_.projectPath();
    return path.isEmpty() ? saveProjectAs() : writeProject(path);
}

bool ProjectCommands::writeProject(const QString& path) {
    const ServerProject project = model_.currentProject();
    QString reason;
    if (!ProjectFile::writeAtomically(path, ProjectFile::encode(project), &reason)) {
        model_.reportError(L10n::Errors::savingFailed(reason.toStdString()));
        return false;
    }
    model_.setProjectFile(path, project);
    return true;
}

bool ProjectCommands::confirmReplace() {
    // Work that is all in its file loses nothing.
    const bool savedInFile = !model_.projectPath().isEmpty() && !model_.isModified();
    if (model_.datapoints().empty() || savedInFile) {
        return true;
    }
    switch (dialogs_.askSaveCurrentProject()) {
    case ModelDialogs::SaveChoice::save:
        return saveProject();
    case ModelDialogs::SaveChoice::dontSave:
        return true;
    case ModelDialogs::SaveChoice::cancel:
        break;
    }
    return false;
}

void ProjectCommands::importDatapoints() {
    const auto path = dialogs_.chooseOpenLocation(ModelDialogs::FileKind::csvImport);
    if (!path) {
        return;
    }
    auto read = readDatapointsFile(*path);
    if (const auto* message = std::get_if<std::string>(&read)) {
        model_.reportError(*message);
        return;
    }
    auto& result = std::get<DatapointCSV::ImportResult>(read);

    const std::string informative = importSummary(result);
    const auto choice = dialogs_.askImport(
        QString::fromStdString(L10n::Import::found(static_cast<int>(result.datapoints.size()))),
        QString::fromStdString(informative));
    if (choice == ModelDialogs::ImportChoice::cancel) {
        return;
    }
    model_.mergeImportedDatapoints(std::move(result.datapoints),
                                   choice == ModelDialogs::ImportChoice::replace);
}

void ProjectCommands::exportDatapoints() {
    const auto path = dialogs_.chooseSaveLocation(ModelDialogs::FileKind::csv,
                                                  QString::fromUtf8(proposedCSVName));
    if (!path) {
        return;
    }
    std::vector<Datapoint> exported = model_.datapoints();
    for (Datapoint& datapoint : exported) {
        datapoint.value = model_.displayValue(datapoint);
    }
    const auto dialect = DatapointCSV::Dialect::current(ServerModel::localeDecimalSeparator());
    const std::string text = DatapointCSV::exportText(exported, dialect);
    QString reason;
    if (!ProjectFile::writeAtomically(*path, QByteArray::fromStdString(text), &reason)) {
        model_.reportError(L10n::Errors::savingFailed(reason.toStdString()));
    }
}
std::string ProjectCommands::importSummary(const DatapointCSV::ImportResult& result) {
    std::string text = L10n::Import::addOrReplace();
    appendListed(text, L10n::Import::skipped(static_cast<int>(result.issues.size())),
                 result.issues);
    appendListed(text, L10n::Import::adjusted(static_cast<int>(result.adjustments.size())),
                 result.adjustments);
    return text;
}

std::optional<std::string> ProjectCommands::readTextFile(const QString& path) {
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

std::variant<DatapointCSV::ImportResult, std::string>
ProjectCommands::readDatapointsFile(const QString& path) {
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

void ProjectCommands::saveLog() {
    const auto path =
        dialogs_.chooseSaveLocation(ModelDialogs::FileKind::logText,
                                    LogBuffer::proposedLogFileName(QDateTime::currentDateTime()));
    if (!path) {
        return;
    }
    QString description;
    if (!model_.logBuffer().writeTo(*path, &description)) {
        model_.reportError(L10n::Errors::savingFailed(description.toStdString()));
    }
}

void ProjectCommands::exportMasterReport() {
    const auto path = dialogs_.chooseSaveLocation(ModelDialogs::FileKind::csv,
                                                  QString::fromUtf8(proposedReportName));
    if (!path) {
        return;
    }
    const auto dialect = DatapointCSV::Dialect::current(ServerModel::localeDecimalSeparator());
    const std::string text = MasterReportCSV::text(model_.masterReportSummary(), dialect);
    QString reason;
    if (!ProjectFile::writeAtomically(*path, QByteArray::fromStdString(text), &reason)) {
        model_.reportError(L10n::Errors::savingFailed(reason.toStdString()));
    }
}
