#pragma once

#include "Corvana/model/ModelDialogs.h"

#include <optional>

// Scripted answers to the model's questions; every question is counted and remembered.
class FakeDialogs : public ModelDialogs {
public:
    std::optional<QString> chooseSaveLocation(FileKind, const QString& proposed) override {
        ++questions;
        proposedName = proposed;
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
    ImportChoice askImport(const QString& title, const QString& text) override {
        ++questions;
        asked = title + "\n" + text;
        return importChoice;
    }

    std::optional<QString> saveLocation;
    std::optional<QString> openLocation;
    SaveChoice saveChoice = SaveChoice::dontSave;
    ImportChoice importChoice = ImportChoice::add;
    QString proposedName, asked; // the last of each
    int questions = 0;
};
