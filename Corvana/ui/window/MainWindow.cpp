#include "Corvana/ui/window/MainWindow.h"

#include "Corvana/model/ServerModel.h"
#include "Corvana/ui/common/UiSupport.h"
#include "Corvana/ui/help/HelpWindow.h"
#include "Corvana/ui/log/LogPane.h"
#include "Corvana/ui/log/ShowLogPreference.h"
#include "Corvana/ui/network/NetworkListeners.h"
#include "Corvana/ui/serial/SerialBar.h"
#include "Corvana/ui/units/UnitDetail.h"
#include "Corvana/ui/units/UnitSidebar.h"
#include "Corvana/ui/window/ProjectButton.h"

#include "Localization/ControlTexts.h"
#include "Localization/HelpContent.h"
#include "Localization/HelpTopic.h"
#include "Localization/L10n.h"

#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSplitter>
#include <QToolBar>

#include <string_view>

namespace {

constexpr int defaultWidth = 1180;
constexpr int defaultHeight = 760;
constexpr int sidebarWidth = 220;

QKeySequence keys(std::string_view portable) {
    return QKeySequence(Ui::text(portable), QKeySequence::PortableText);
}

// The given keys plus the platform's standard ones for the same command, without doubles.
QList<QKeySequence> withStandardKeys(std::string_view portable, QKeySequence::StandardKey key) {
    QList<QKeySequence> list{keys(portable)};
    for (const QKeySequence& sequence : QKeySequence::keyBindings(key)) {
        if (!list.contains(sequence)) {
            list.append(sequence);
        }
    }
    return list;
}

} // namespace

MainWindow::MainWindow(ServerModel& model, QWidget* parent)
    : QMainWindow(parent)
    , model_(model)
    , showLog_(new ShowLogPreference(this)) {
    setObjectName(QStringLiteral("server"));
    resize(defaultWidth, defaultHeight);
    // The toolbar is part of the window's layout, not something to hide from a context menu.
    setContextMenuPolicy(Qt::NoContextMenu);

    buildToolBar();
    buildCentre();
    buildMenus();

    connect(&model_, &ServerModel::stateChanged, this, &MainWindow::updateTitle);
    connect(&model_, &ServerModel::serialChanged, this, &MainWindow::updateTitle);
    connect(&model_, &ServerModel::networkChanged, this, &MainWindow::updateTitle);
    connect(&model_, &ServerModel::selectedPathChanged, this, &MainWindow::updateTitle);
    connect(&model_, &ServerModel::portListChanged, this, &MainWindow::updateTitle);
    connect(&model_, &ServerModel::projectFileChanged, this, &MainWindow::updateTitle);
    connect(&model_, &ServerModel::stateChanged, this, &MainWindow::updateStartStop);
    connect(&model_, &ServerModel::errorMessageChanged, this, &MainWindow::updateErrorAlert);
    updateTitle();
    updateStartStop();
    updateErrorAlert();
}

MainWindow::~MainWindow() {
    delete helpWindow_.data();
}

QMessageBox* MainWindow::errorAlert() const {
    return errorAlert_;
}

HelpWindow* MainWindow::helpWindow() const {
    return helpWindow_;
}

void MainWindow::buildToolBar() {
    QToolBar* toolBar = addToolBar(QString());
    toolBar->setObjectName(QStringLiteral("toolbar"));
    toolBar->setMovable(false);
    toolBar->setFloatable(false);
    toolBar->addWidget(new SerialBar(model_, toolBar));
    auto* stretch = new QWidget(toolBar);
    stretch->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    toolBar->addWidget(stretch);
    toolBar->addWidget(new ProjectButton(model_, toolBar));
}

void MainWindow::buildCentre() {
    auto* sidebarAndDetail = new QSplitter(Qt::Horizontal, this);
    sidebarAndDetail->setObjectName(QStringLiteral("sidebarSplitter"));
    sidebarAndDetail->setChildrenCollapsible(false);
    auto* sidebar = new UnitSidebar(model_, sidebarAndDetail);
    sidebar->setMinimumWidth(170);
    sidebarAndDetail->addWidget(sidebar);

    detailAndLog_ = new QSplitter(Qt::Vertical, sidebarAndDetail);
    detailAndLog_->setObjectName(QStringLiteral("logSplitter"));
    detailAndLog_->setChildrenCollapsible(false);
    detailAndLog_->addWidget(new UnitDetail(model_, detailAndLog_));
    logPane_ = new LogPane(model_, *showLog_, detailAndLog_);
    detailAndLog_->addWidget(logPane_);
    detailAndLog_->setStretchFactor(0, 1);

    sidebarAndDetail->addWidget(detailAndLog_);
    sidebarAndDetail->setStretchFactor(0, 0);
    sidebarAndDetail->setStretchFactor(1, 1);
    sidebarAndDetail->setSizes({sidebarWidth, defaultWidth - sidebarWidth});
    setCentralWidget(sidebarAndDetail);

    fitLogPane(showLog_->isOn());
    connect(showLog_, &ShowLogPreference::changed, this, &MainWindow::fitLogPane);
    // A notice that comes or goes while the log is hidden resizes the pane to fit it.
    // Queued: after the pane's own layout pass, which would otherwise undo a shrink.
    connect(
        logPane_, &LogPane::bannersChanged, this,
        [this] {
            if (!showLog_->isOn()) {
                fitLogPane(false);
            }
        },
        Qt::QueuedConnection);
}

void MainWindow::buildMenus() {
    QMenu* file = menuBar()->addMenu(Ui::text(L10n::Menu::file()));
    file->setObjectName(QStringLiteral("fileMenu"));
    const auto addCommand = [this](QMenu* menu, const std::string& text, const char* name,
                                   std::string_view shortcut, auto operation) {
        QAction* action = menu->addAction(Ui::text(text));
        action->setObjectName(QLatin1String(name));
        if (!shortcut.empty()) {
            action->setShortcut(keys(shortcut));
        }
        connect(action, &QAction::triggered, this, operation);
        return action;
    };
    addCommand(file, L10n::Menu::newProject(), "newProjectAction", L10n::Shortcut::newProject,
               [this] { model_.newProject(); });
    addCommand(file, L10n::Menu::openProject(), "openProjectAction", L10n::Shortcut::openProject,
               [this] { model_.openProject(); });
    addCommand(file, L10n::Menu::saveProject(), "saveProjectAction", L10n::Shortcut::saveProject,
               [this] { model_.saveProject(); });
    addCommand(file, L10n::Menu::saveProjectAs(), "saveProjectAsAction",
               L10n::Shortcut::saveProjectAs, [this] { model_.saveProjectAs(); });
    addCommand(file, L10n::Menu::saveLog(), "saveLogAction", L10n::Shortcut::saveLog,
               [this] { model_.saveLog(); });
    file->addSeparator();
    addCommand(file, L10n::Menu::importDatapoints(), "importDatapointsAction",
               L10n::Shortcut::importDatapoints, [this] { model_.importDatapoints(); });
    addCommand(file, L10n::Menu::exportDatapoints(), "exportDatapointsAction",
               L10n::Shortcut::exportDatapoints, [this] { model_.exportDatapoints(); });
    file->addSeparator();
    QAction* quit =
        addCommand(file, L10n::Menu::quit(), "quitAction", {}, [] { QCoreApplication::quit(); });
    quit->setShortcuts(withStandardKeys("Ctrl+Q", QKeySequence::Quit));
    quit->setMenuRole(QAction::QuitRole);

    // Undo and redo of the units and datapoints; a text field with the focus undoes its own
    // typing first, as every field does.
    QMenu* edit = menuBar()->addMenu(Ui::text(L10n::Menu::edit()));
    edit->setObjectName(QStringLiteral("editMenu"));
    undo_ = addCommand(edit, L10n::Menu::undo(), "undoAction", {}, [this] { model_.undo(); });
    undo_->setShortcuts(withStandardKeys(L10n::Shortcut::undo, QKeySequence::Undo));
    redo_ = addCommand(edit, L10n::Menu::redo(), "redoAction", {}, [this] { model_.redo(); });
    redo_->setShortcuts(withStandardKeys(L10n::Shortcut::redo, QKeySequence::Redo));
    const auto updateHistory = [this] {
        undo_->setEnabled(model_.canUndo());
        redo_->setEnabled(model_.canRedo());
    };
    connect(&model_, &ServerModel::historyChanged, this, updateHistory);
    updateHistory();

    QMenu* server = menuBar()->addMenu(Ui::text(L10n::Menu::server()));
    server->setObjectName(QStringLiteral("serverMenu"));
    // Always enabled: starting without a port explains in the alert what is missing.
    startStop_ = addCommand(server, L10n::Header::start(), "startStopAction",
                            L10n::Shortcut::startStop, [this] {
                                if (model_.state() == ServerState::stopped) {
                                    model_.start();
                                } else {
                                    model_.stop();
                                }
                            });
    server->addSeparator();
    addCommand(server, L10n::Units::addUnit(), "addUnitAction", {}, [this] { model_.addUnit(); });
    addCommand(server, L10n::Menu::addDatapoint(), "addDatapointAction",
               L10n::Shortcut::addDatapoint, [this] { model_.addDatapoint(); });
    server->addSeparator();

    // Toggles follow their source both ways; setChecked with an unchanged value emits nothing,
    // so a change coming back from the model ends there.
    const auto addToggle = [this, server](const std::string& text, const char* name, auto read,
                                          auto write, auto* source, auto changed) {
        QAction* action = server->addAction(Ui::text(text));
        action->setObjectName(QLatin1String(name));
        action->setCheckable(true);
        action->setChecked(read());
        connect(action, &QAction::toggled, this, write);
        connect(source, changed, action, [action, read] { action->setChecked(read()); });
        return action;
    };
    addToggle(
        L10n::Log::showLog(), "showLogAction", [this] { return showLog_->isOn(); },
        [this](bool on) { showLog_->setOn(on); }, showLog_, &ShowLogPreference::changed);
    addCommand(server, L10n::Menu::clearLog(), "clearLogAction", L10n::Shortcut::clearLog,
               [this] { model_.clearLog(); });
    addToggle(
        L10n::Footer::autoscroll(), "autoscrollAction", [this] { return model_.autoscroll(); },
        [this](bool on) { model_.setAutoscroll(on); }, &model_, &ServerModel::autoscrollChanged);
    addToggle(
        L10n::Footer::timestamps(), "timestampsAction", [this] { return model_.showTimestamps(); },
        [this](bool on) { model_.setShowTimestamps(on); }, &model_,
        &ServerModel::showTimestampsChanged);
    addToggle(
        L10n::Footer::showRawFrames(), "rawFramesAction", [this] { return model_.showRawFrames(); },
        [this](bool on) { model_.setShowRawFrames(on); }, &model_,
        &ServerModel::showRawFramesChanged);
    addToggle(
        L10n::Log::showOtherUnits(), "busTrafficAction", [this] { return model_.showBusTraffic(); },
        [this](bool on) { model_.setShowBusTraffic(on); }, &model_,
        &ServerModel::showBusTrafficChanged);
    server->addSeparator();
    QAction* allowControl = addToggle(
        L10n::Control::allowScripts(), "allowControlAction",
        [this] { return model_.allowControl(); }, [this](bool on) { model_.setAllowControl(on); },
        &model_, &ServerModel::allowControlChanged);
    allowControl->setStatusTip(Ui::text(L10n::Control::allowScriptsHint()));
    allowControl->setToolTip(allowControl->statusTip());

    QMenu* help = menuBar()->addMenu(Ui::text(L10n::Menu::help()));
    help->setObjectName(QStringLiteral("helpMenu"));
    QAction* helpAction = addCommand(help, HelpTexts::current().windowTitle, "helpAction", {},
                                     [this] { showHelp(); });
    helpAction->setShortcuts(withStandardKeys(L10n::Shortcut::help, QKeySequence::HelpContents));

    // Searching the log has no menu of its own; the window takes its shortcut.
    auto* find = new QAction(this);
    find->setObjectName(QStringLiteral("findAction"));
    find->setShortcut(keys(L10n::Shortcut::find));
    connect(find, &QAction::triggered, this, [this] { logPane_->showFindBar(); });
    addAction(find);
}

QString MainWindow::titleText() const {
    // A chosen port is served along with any listener; without one only the listeners are.
    const bool servesSerial = !model_.selectedPath().isEmpty();
    QString subtitle;
    switch (model_.state()) {
    case ServerState::stopped:
        subtitle = Ui::text(L10n::State::stopped());
        break;
    case ServerState::running:
        subtitle = Ui::text(L10n::State::running());
        if (servesSerial) {
            subtitle.prepend(Ui::text(model_.serial().summary()) + QStringLiteral(" \u00B7 "));
        }
        break;
    case ServerState::serialLost:
        subtitle = Ui::text(L10n::State::serialLost());
        break;
    }
    QStringList served = NetworkListeners::enabledNames(model_.network());
    if (servesSerial) {
        served.prepend(model_.portLabel());
    }
    // Without a port or listener the label would be the application's name, which the desktop
    // already puts at the end of the title.
    QString title = served.isEmpty()
                        ? subtitle
                        : served.join(QStringLiteral(", ")) + QStringLiteral(" \u2014 ") + subtitle;
    const QString& path = model_.projectPath();
    if (!path.isEmpty()) {
        // "[*]" is where Qt shows the modified mark.
        title.prepend(QFileInfo(path).fileName() + QStringLiteral("[*] \u2014 "));
    }
    return title;
}

void MainWindow::updateTitle() {
    // The desktop adds the application's name at the end.
    setWindowTitle(titleText());
    setWindowModified(model_.isModified());
}

void MainWindow::updateStartStop() {
    const bool stopped = model_.state() == ServerState::stopped;
    startStop_->setText(Ui::text(stopped ? L10n::Header::start() : L10n::Header::stop()));
}

void MainWindow::updateErrorAlert() {
    const std::optional<QString>& message = model_.errorMessage();
    if (!message) {
        // Cleared elsewhere: the alert has nothing left to say.
        if (QMessageBox* box = errorAlert_) {
            errorAlert_ = nullptr;
            box->reject();
        }
        return;
    }
    if (errorAlert_) {
        errorAlert_->setText(*message);
        return;
    }
    auto* box = new QMessageBox(QMessageBox::Warning, Ui::text(L10n::Errors::somethingWentWrong()),
                                *message, QMessageBox::NoButton, this);
    box->setObjectName(QStringLiteral("errorAlert"));
    // Messages quote file names and CSV cells; none of that is markup.
    box->setTextFormat(Qt::PlainText);
    box->setDefaultButton(box->addButton(Ui::text(L10n::Errors::ok()), QMessageBox::AcceptRole));
    box->setEscapeButton(box->defaultButton());
    connect(box, &QDialog::finished, this, [this, box] {
        box->deleteLater();
        if (errorAlert_ == box) {
            errorAlert_ = nullptr;
            model_.setErrorMessage(std::nullopt);
        }
    });
    errorAlert_ = box;
    // Window-modal and without a nested event loop: the server and the log keep running.
    box->open();
}

void MainWindow::fitLogPane(bool logShown) {
    // Before the window is shown the sizes only set proportions.
    const int total = detailAndLog_->isVisible() ? detailAndLog_->height() : defaultHeight;
    const int logHeight =
        logShown ? total * 2 / 5 : logPane_->collapsedHeight(detailAndLog_->width());
    detailAndLog_->setSizes({total - logHeight, logHeight});
}

void MainWindow::showHelp() {
    if (!helpWindow_) {
        helpWindow_ = new HelpWindow();
        // Reopened, the help starts again at the first topic with an empty search.
        helpWindow_->setAttribute(Qt::WA_DeleteOnClose);
        helpWindow_->setWindowTitle(Ui::text(HelpTexts::current().windowTitle));
    }
    helpWindow_->show();
    helpWindow_->raise();
    helpWindow_->activateWindow();
}
