#pragma once

#include <QString>

#include <optional>

// The questions the model asks the user. The application answers them with real dialogs, tests
// with scripted answers; the model never sees a widget.
class ModelDialogs {
public:
    enum class FileKind { project, csv, csvImport, logText };
    enum class SaveChoice { save, dontSave, cancel };
    enum class ImportChoice { add, replace, cancel };

    virtual ~ModelDialogs() = default;

    // A location to write to, starting from proposedName; nullopt when the user cancels.
    virtual std::optional<QString> chooseSaveLocation(FileKind kind,
                                                      const QString& proposedName) = 0;
    // A file to read; nullopt when the user cancels.
    virtual std::optional<QString> chooseOpenLocation(FileKind kind) = 0;
    // Whether to save the current project before it is replaced.
    virtual SaveChoice askSaveCurrentProject() = 0;
    // Whether imported datapoints are added to or replace the unit's list.
    virtual ImportChoice askImport(const QString& title, const QString& informativeText) = 0;
};

// Where no one can be asked (the headless server, benchmarks): every choice is "cancel".
class DecliningDialogs : public ModelDialogs {
public:
    std::optional<QString> chooseSaveLocation(FileKind, const QString&) override { return {}; }
    std::optional<QString> chooseOpenLocation(FileKind) override { return {}; }
    SaveChoice askSaveCurrentProject() override { return SaveChoice::cancel; }
    ImportChoice askImport(const QString&, const QString&) override { return ImportChoice::cancel; }
};
