#include "Corvana/ui/window/WidgetDialogs.h"

#include "Corvana/ui/common/UiSupport.h"

#include "Localization/L10n.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>

namespace {

QString filter(const std::string& name, const char* patterns) {
    return Ui::text(name) + QStringLiteral(" (") + QLatin1String(patterns) + QLatin1Char(')');
}

// Menu texts end in "…", dialog titles do not.
QString dialogTitle(const std::string& menuText) {
    QString title = Ui::text(menuText);
    if (title.endsWith(QChar(0x2026))) {
        title.chop(1);
    }
    return title.trimmed();
}

QString saveTitle(ModelDialogs::FileKind kind) {
    switch (kind) {
    case ModelDialogs::FileKind::project:
        return dialogTitle(L10n::Menu::saveProjectAs());
    case ModelDialogs::FileKind::csv:
    case ModelDialogs::FileKind::csvImport:
        return dialogTitle(L10n::Menu::exportDatapoints());
    case ModelDialogs::FileKind::logText:
        return dialogTitle(L10n::Menu::saveLog());
    }
    return {};
}

// The folder a dialog starts in. A missing one (no Documents folder, or one removed since) would
// make the dialog take its name for a file name.
QString existingFolder(const QString& folder) {
    for (const QString& candidate :
         {folder, QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)}) {
        if (!candidate.isEmpty() && QFileInfo(candidate).isDir()) {
            return candidate;
        }
    }
    return QDir::homePath();
}

QString openTitle(ModelDialogs::FileKind kind) {
    return kind == ModelDialogs::FileKind::project ? dialogTitle(L10n::Menu::openProject())
                                                   : dialogTitle(L10n::Menu::importDatapoints());
}

} // namespace

WidgetDialogs::WidgetDialogs(QWidget* window)
    : window_(window) {}

QStringList WidgetDialogs::nameFilters(FileKind kind) {
    switch (kind) {
    case FileKind::project:
        return {filter(L10n::Menu::projectFiles(), "*.json")};
    case FileKind::csv:
        return {filter(L10n::Menu::csvFiles(), "*.csv")};
    case FileKind::csvImport:
        return {filter(L10n::Menu::datapointLists(), "*.csv *.tsv *.tab *.txt"),
                filter(L10n::Menu::csvFiles(), "*.csv"),
                filter(L10n::Menu::tabSeparatedFiles(), "*.tsv *.tab"),
                filter(L10n::Menu::plainTextFiles(), "*.txt")};
    case FileKind::logText:
        return {filter(L10n::Menu::plainTextFiles(), "*.txt")};
    }
    return {};
}

QString WidgetDialogs::defaultSuffix(FileKind kind) {
    switch (kind) {
    case FileKind::project:
        return QStringLiteral("json");
    case FileKind::csv:
    case FileKind::csvImport:
        return QStringLiteral("csv");
    case FileKind::logText:
        return QStringLiteral("txt");
    }
    return {};
}

QWidget* WidgetDialogs::parentWindow() const {
    return window_ ? window_.data() : QApplication::activeWindow();
}

std::optional<QString> WidgetDialogs::chooseSaveLocation(FileKind kind,
                                                         const QString& proposedName) {
    lastFolder_ = existingFolder(lastFolder_);
    // Folder creation and the overwrite question are QFileDialog's defaults for saving.
    QFileDialog dialog(parentWindow(), saveTitle(kind), lastFolder_);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(nameFilters(kind));
    dialog.setDefaultSuffix(defaultSuffix(kind));
    dialog.selectFile(proposedName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    const QString path = dialog.selectedFiles().constFirst();
    lastFolder_ = QFileInfo(path).absolutePath();
    return path;
}

std::optional<QString> WidgetDialogs::chooseOpenLocation(FileKind kind) {
    lastFolder_ = existingFolder(lastFolder_);
    QFileDialog dialog(parentWindow(), openTitle(kind), lastFolder_);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters(nameFilters(kind));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    const QString path = dialog.selectedFiles().constFirst();
    lastFolder_ = QFileInfo(path).absolutePath();
    return path;
}

ModelDialogs::SaveChoice WidgetDialogs::askSaveCurrentProject() {
    QMessageBox box(QMessageBox::Warning, QString(), Ui::text(L10n::Project::saveCurrentTitle()),
                    QMessageBox::NoButton, parentWindow());
    box.setInformativeText(Ui::text(L10n::Project::saveCurrentMessage()));
    QPushButton* save = box.addButton(Ui::text(L10n::Project::save()), QMessageBox::AcceptRole);
    QPushButton* dontSave =
        box.addButton(Ui::text(L10n::Project::dontSave()), QMessageBox::DestructiveRole);
    QPushButton* cancel = box.addButton(Ui::text(L10n::Import::cancel()), QMessageBox::RejectRole);
    box.setDefaultButton(save);
    box.setEscapeButton(cancel);
    box.exec();
    if (box.clickedButton() == save) {
        return SaveChoice::save;
    }
    if (box.clickedButton() == dontSave) {
        return SaveChoice::dontSave;
    }
    return SaveChoice::cancel;
}

ModelDialogs::ImportChoice WidgetDialogs::askImport(const QString& title,
                                                    const QString& informativeText) {
    QMessageBox box(QMessageBox::Question, QString(), title, QMessageBox::NoButton, parentWindow());
    box.setTextFormat(Qt::PlainText);
    box.setInformativeText(informativeText);
    // The informative text quotes skipped CSV lines, which are not markup; QMessageBox offers no
    // format setting for that label.
    for (QLabel* label : box.findChildren<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"))) {
        label->setTextFormat(Qt::PlainText);
    }
    QPushButton* add = box.addButton(Ui::text(L10n::Import::add()), QMessageBox::AcceptRole);
    QPushButton* replace =
        box.addButton(Ui::text(L10n::Import::replace()), QMessageBox::DestructiveRole);
    QPushButton* cancel = box.addButton(Ui::text(L10n::Import::cancel()), QMessageBox::RejectRole);
    box.setDefaultButton(add);
    box.setEscapeButton(cancel);
    box.exec();
    if (box.clickedButton() == add) {
        return ImportChoice::add;
    }
    if (box.clickedButton() == replace) {
        return ImportChoice::replace;
    }
    return ImportChoice::cancel;
}
