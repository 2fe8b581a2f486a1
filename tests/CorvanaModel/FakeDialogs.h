#pragma once

#include "Corvana/model/ModelDialogs.h"

#include <optional>

// Scripted answers to the model's questions; every question is counted.
class FakeDialogs : public ModelDialogs {
public:
    std::optional<QString> chooseSaveLocation(FileKind, const QString&) override {
        ++questions;
        return saveLocation;
    }
    std::optional<QString> chooseOpenLocation(FileKind) override {
        ++questions;
        return openLocation;
    }
    SaveChoice askSaveCurrentProject() override {
        ++questions;
        return saveChoice;
    }
    ImportChoice askImport(const QString&, const QString&) override {
        ++questions;
        return importChoice;
    }

    std::optional<QString> saveLocation;
    std::optional<QString> openLocation;
    SaveChoice saveChoice = SaveChoice::dontSave;
    ImportChoice importChoice = ImportChoice::add;
    int questions = 0;
};
