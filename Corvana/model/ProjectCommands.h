#pragma once

#include "Corvana/model/ModelDialogs.h"

#include "ModbusCore/DatapointCSV.h"

#include <QString>

#include <optional>
#include <string>
#include <variant>

class ServerModel;

// The commands that read and write the user's files: new, open and save-as of projects, the
// CSV import and export of datapoints and the saving of the log. They ask through the dialogs,
// change the document only through the model and report failures as its error message.
class ProjectCommands {
public:
    // Both must outlive the commands.
    ProjectCommands(ServerModel& model, ModelDialogs& dialogs);

    void newProject();
    void openProject();
    // Reads and applies the file; otherwise sets the error, changes nothing and answers false.
    bool openProjectFile(const QString& path);
    bool saveProjectAs();
    // To the project file the work came from or went to last; without one, saveProjectAs.
    bool saveProject();
    // Whether the current datapoints may be replaced (asks only when there are some).
    bool confirmReplace();
    void importDatapoints();
    void exportDatapoints();
    void saveLog();
    // The master report as CSV, where the user chooses.
    void exportMasterReport();

    // The whole file as UTF-8, read as UTF-8 or else as ISO Latin-1; nullopt when it cannot be
    // read or is no regular file.
    static std::optional<std::string> readTextFile(const QString& path);
    // The datapoints of a CSV file with its skipped lines; or, when the file cannot be read or
    // holds no datapoint or too many, the message to show ("Cannot read …", "No datapoints
    // found …").
    static std::variant<DatapointCSV::ImportResult, std::string>
    readDatapointsFile(const QString& path);
    // The question of an import with the skipped lines and the adjusted values, five of each
    // at most.
    static std::string importSummary(const DatapointCSV::ImportResult& result);

private:
    bool writeProject(const QString& path);

    ServerModel& model_;
    ModelDialogs& dialogs_;
};
