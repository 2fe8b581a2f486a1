#pragma once

#include "Corvana/model/ModelDialogs.h"

#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

// The model's questions answered with Qt's file dialogs and message boxes, modal over the main
// window. The dialogs exist before the window, so the window is handed over once it is made.
class WidgetDialogs : public ModelDialogs {
public:
    explicit WidgetDialogs(QWidget* window = nullptr);

    void setWindow(QWidget* window) { window_ = window; }

    std::optional<QString> chooseSaveLocation(FileKind kind, const QString& proposedName) override;
    std::optional<QString> chooseOpenLocation(FileKind kind) override;
    SaveChoice askSaveCurrentProject() override;
    ImportChoice askImport(const QString& title, const QString& informativeText) override;

    // The name filters the dialogs offer for a kind, the first one preselected.
    static QStringList nameFilters(FileKind kind);
    // The suffix a save dialog adds when the user types a name without one.
    static QString defaultSuffix(FileKind kind);

private:
    QWidget* parentWindow() const;

    QPointer<QWidget> window_;
    QString lastFolder_; // where the previous dialog ended, for this run only
};
