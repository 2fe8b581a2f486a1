#pragma once

#include "Corvana/model/ModelDialogs.h"
#include "Corvana/model/PortScanner.h"

// A scanner that finds no ports, so that tests see only the ports they make.
class NoScanner : public PortScanner {
public:
    void start() override {}
    std::vector<SerialPortInfo> scan() override { return {}; }
};

// Every question a test did not expect is answered with cancel.
class NoDialogs : public ModelDialogs {
public:
    std::optional<QString> chooseSaveLocation(FileKind, const QString&) override {
        return std::nullopt;
    }
    std::optional<QString> chooseOpenLocation(FileKind) override { return std::nullopt; }
    SaveChoice askSaveCurrentProject() override { return SaveChoice::cancel; }
    ImportChoice askImport(const QString&, const QString&) override { return ImportChoice::cancel; }
};
