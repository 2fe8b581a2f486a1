#include "Corvana/ui/window/DesktopApplication.h"

#include "Corvana/model/ControlProtocol.h"
#include "Corvana/model/ControlServer.h"
#include "Corvana/model/ProjectFile.h"
#include "Corvana/model/ServerModel.h"
#include "Corvana/model/SignalPipe.h"
#include "Corvana/model/UdevPortScanner.h"
#include "Corvana/ui/common/Logo.h"
#include "Corvana/ui/common/UiSupport.h"
#include "Corvana/ui/window/MainWindow.h"
#include "Corvana/ui/window/WidgetDialogs.h"

#include "Localization/L10n.h"
#include "Localization/Language.h"

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QSocketNotifier>
#include <QTranslator>

#include <memory>

namespace DesktopApplication {
namespace {

QIcon windowIcon() {
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        icon.addPixmap(Logo::pixmap(size));
    }
    return icon;
}

} // namespace

void installLanguage(QTranslator& qtTexts) {
    const QString language =
        QString::fromLatin1(Language::current().rawValue().data(),
                            static_cast<qsizetype>(Language::current().rawValue().size()));
    if (qtTexts.load(QStringLiteral("qtbase_") + language,
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QApplication::installTranslator(&qtTexts);
    }
    L10n::setShortcutFormatter(
        [](std::string_view portable) { return Ui::shortcutText(portable).toStdString(); });
}

void saveOnExit(ServerModel& model) {
    QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, &model,
                     [&model] { model.applicationWillEnd(); });
}

int run(int argc, char** argv) {
    ProjectFile::ignoreRelativeXDGFolders();
    // The same names as `corvana serve`, so both share the preferences and the autosave file.
    QApplication::setOrganizationName(QStringLiteral("Corvana"));
    QApplication::setApplicationName(QStringLiteral("Corvana"));
    QApplication application(argc, argv);
    // Matches corvana.desktop, so the desktop shows the installed icon and groups the windows.
    QGuiApplication::setDesktopFileName(QStringLiteral("corvana"));
    QApplication::setQuitOnLastWindowClosed(true);

    QTranslator qtTexts;
    installLanguage(qtTexts);

    Ui::installIconThemeFallback();
    QApplication::setWindowIcon(windowIcon());

    WidgetDialogs dialogs;
    ServerModel model(std::make_unique<UdevPortScanner>(), dialogs);
    model.setOffersVirtualPort(true);
    model.init();
    saveOnExit(model);
    // Scripts reach the window only while the user allows it (Server menu).
    ControlServer control(model);
    control.followPreference(ControlProtocol::defaultSocketPath());

    // A logout or `kill` ends the application the regular way, so the autosave is written.
    const SignalPipe signalPipe;
    std::unique_ptr<QSocketNotifier> stopRequest;
    if (signalPipe.readEnd() >= 0) {
        stopRequest =
            std::make_unique<QSocketNotifier>(signalPipe.readEnd(), QSocketNotifier::Read);
        QObject::connect(stopRequest.get(), &QSocketNotifier::activated, &application,
                         [&signalPipe] {
                             signalPipe.drain();
                             QApplication::quit();
                         });
    }

    MainWindow window(model);
    dialogs.setWindow(&window);
    window.show();
    return QApplication::exec();
}

} // namespace DesktopApplication
