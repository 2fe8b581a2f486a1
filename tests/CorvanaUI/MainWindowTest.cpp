#include "tests/CorvanaUI/UiTestSupport.h"
#include "tests/support/PseudoTerminal.h"

#include "Corvana/ui/help/HelpWindow.h"
#include "Corvana/ui/log/LogPane.h"
#include "Corvana/ui/log/ShowLogPreference.h"
#include "Corvana/ui/window/MainWindow.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>
#include <QToolButton>

namespace {

class MainWindowTest : public UiTest {
protected:
    MainWindowTest()
        : window(std::make_unique<MainWindow>(*model)) {}

    ~MainWindowTest() override {
        model->stop();
        window.reset(); // before the model it shows
    }

    QAction* action(const char* name) const {
        auto* found = window->findChild<QAction*>(QLatin1String(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    bool runOn(const PseudoTerminal& pty) {
        model->setSelectedPath(QString::fromStdString(pty.path()));
        action("startStopAction")->trigger();
        return processEventsUntil([&] { return model->state() == ServerState::running; });
    }

    std::unique_ptr<MainWindow> window;
};

// Start/Stop follows the state, and the title names the port and the state.
TEST_F(MainWindowTest, StartStopAndTheTitleFollowTheServerState) {
    QAction* startStop = action("startStopAction");
    EXPECT_EQ(startStop->shortcut(), QKeySequence(QStringLiteral("Ctrl+R")));
    EXPECT_EQ(startStop->text(), "Start");
    // Without a port only the state; the desktop adds the application's name at the end.
    EXPECT_EQ(window->windowTitle(), "Stopped");

    PseudoTerminal pty;
    const QString label = QString::fromStdString(pty.path()).mid(5); // without "/dev/"
    ASSERT_TRUE(runOn(pty));
    EXPECT_EQ(startStop->text(), "Stop");
    EXPECT_EQ(window->windowTitle(), label + " — 9600 8E1 · Running");

    model->handleEvent(ServerEvent::serialLost(pty.path()));
    EXPECT_EQ(window->windowTitle(), label + " — Serial port lost");

    startStop->trigger();
    EXPECT_EQ(model->state(), ServerState::stopped);
    EXPECT_EQ(startStop->text(), "Start");
    setPorts({usbPort(pty.path())}); // now a known adapter with a name of its own
    EXPECT_EQ(window->windowTitle(), model->portLabel() + " — Stopped");
    EXPECT_NE(model->portLabel(), label);
}

TEST_F(MainWindowTest, ErrorAlertShowsTheMessageAndClosingItClearsIt) {
    ASSERT_TRUE(model->selectedPath().isEmpty());
    action("startStopAction")->trigger();
    QMessageBox* alert = window->errorAlert();
    ASSERT_NE(alert, nullptr);
    EXPECT_TRUE(alert->isVisible());
    EXPECT_EQ(alert->windowModality(), Qt::WindowModal);
    EXPECT_EQ(alert->windowTitle(), "Something went wrong");
    EXPECT_EQ(alert->text(), "Select a serial port first.");
    ASSERT_EQ(alert->buttons().size(), 1);
    EXPECT_EQ(alert->buttons().front()->text(), "OK");

    // A second failure while the alert is open shows in the same alert.
    model->setErrorMessage(QStringLiteral("Saving failed: disk full"));
    EXPECT_EQ(window->errorAlert(), alert);
    EXPECT_EQ(alert->text(), "Saving failed: disk full");

    alert->buttons().front()->click();
    EXPECT_EQ(model->errorMessage(), std::nullopt);
    EXPECT_EQ(window->errorAlert(), nullptr);

    // Cleared elsewhere: the alert goes away without a word.
    model->setErrorMessage(QStringLiteral("again"));
    ASSERT_NE(window->errorAlert(), nullptr);
    model->setErrorMessage(std::nullopt);
    EXPECT_EQ(window->errorAlert(), nullptr);
}

TEST_F(MainWindowTest, MenusHoldEveryCommandWithItsShortcut) {
    struct Item {
        const char* menu;
        const char* text;
        const char* shortcut;
    };
    const Item items[] = {
        {"fileMenu", "New Project", "Ctrl+N"},
        {"fileMenu", "Open Project…", "Ctrl+O"},
        {"fileMenu", "Save Project", "Ctrl+S"},
        {"fileMenu", "Save Project As…", "Ctrl+Shift+S"},
        {"fileMenu", "Save Log…", "Ctrl+Alt+S"},
        {"fileMenu", "Import Datapoints (CSV)…", "Ctrl+Shift+I"},
        {"fileMenu", "Export Datapoints (CSV)…", "Ctrl+Shift+E"},
        {"fileMenu", "Quit", "Ctrl+Q"},
        {"serverMenu", "Start", "Ctrl+R"},
        {"serverMenu", "Add Unit", ""},
        {"editMenu", "Undo", "Ctrl+Z"},
        {"editMenu", "Redo", "Ctrl+Shift+Z"},
        {"serverMenu", "Add Datapoint", "Ctrl+Shift+D"},
        {"serverMenu", "Show Log", ""},
        {"serverMenu", "Clear Log", "Ctrl+K"},
        {"serverMenu", "Autoscroll", ""},
        {"serverMenu", "Timestamps", ""},
        {"serverMenu", "Show raw RTU frames", ""},
        {"serverMenu", "Show bus traffic of other units", ""},
        {"helpMenu", "Corvana Help", "F1"},
    };
    for (const Item& item : items) {
        auto* menu = window->menuBar()->findChild<QMenu*>(QLatin1String(item.menu));
        ASSERT_NE(menu, nullptr) << item.menu;
        const QList<QAction*> actions = menu->actions();
        const auto found = std::find_if(actions.begin(), actions.end(),
                                        [&](QAction* a) { return a->text() == item.text; });
        ASSERT_NE(found, actions.end()) << item.text;
        EXPECT_EQ((*found)->shortcut(), QKeySequence(QString::fromUtf8(item.shortcut)))
            << item.text;
    }
    EXPECT_EQ(action("findAction")->shortcut(), QKeySequence(QStringLiteral("Ctrl+F")));

    // A key sequence taken twice in one window triggers neither command.
    QMap<QString, QString> owners;
    const auto take = [&](const QKeySequence& keys, const QString& owner) {
        if (!keys.isEmpty()) {
            EXPECT_FALSE(owners.contains(keys.toString()))
                << keys.toString().toStdString() << ": "
                << owners.value(keys.toString()).toStdString() << " and " << owner.toStdString();
            owners.insert(keys.toString(), owner);
        }
    };
    for (const QAction* a : window->findChildren<QAction*>()) {
        for (const QKeySequence& keys : a->shortcuts()) {
            take(keys, a->objectName() + " " + a->text());
        }
    }
    for (const QAbstractButton* b : window->findChildren<QAbstractButton*>()) {
        const auto* tool = qobject_cast<const QToolButton*>(b);
        if (tool == nullptr || tool->defaultAction() == nullptr) { // else counted as its action
            take(b->shortcut(), b->objectName() + " " + b->text());
        }
    }
    for (const QShortcut* s : window->findChildren<QShortcut*>()) {
        take(s->key(), s->objectName());
    }

    // Help opens one window, again and again.
    action("helpAction")->trigger();
    HelpWindow* help = window->helpWindow();
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible());
    EXPECT_EQ(help->windowTitle(), "Corvana Help");
    help->close();
    action("helpAction")->trigger();
    EXPECT_EQ(window->helpWindow(), help);
    EXPECT_TRUE(help->isVisible());
}

TEST_F(MainWindowTest, TogglesAndTheirSettingsFollowEachOther) {
    ShowLogPreference& showLog = window->showLogPreference();
    QAction* showLogAction = action("showLogAction");
    EXPECT_FALSE(showLogAction->isChecked());                // the first launch shows no log
    EXPECT_FALSE(action("allowControlAction")->isChecked()); // nor lets scripts in
    showLogAction->trigger();
    EXPECT_TRUE(showLog.isOn());
    EXPECT_TRUE(QSettings().value(ShowLogPreference::key).toBool());
    showLog.setOn(false);
    EXPECT_FALSE(showLogAction->isChecked());

    struct Toggle {
        const char* action;
        bool (ServerModel::*read)() const;
        void (ServerModel::*write)(bool);
    };
    for (const Toggle& t :
         {Toggle{"autoscrollAction", &ServerModel::autoscroll, &ServerModel::setAutoscroll},
          Toggle{"timestampsAction", &ServerModel::showTimestamps, &ServerModel::setShowTimestamps},
          Toggle{"rawFramesAction", &ServerModel::showRawFrames, &ServerModel::setShowRawFrames},
          Toggle{"busTrafficAction", &ServerModel::showBusTraffic, &ServerModel::setShowBusTraffic},
          Toggle{"allowControlAction", &ServerModel::allowControl,
                 &ServerModel::setAllowControl}}) {
        QAction* toggle = action(t.action);
        const bool before = ((*model).*t.read)();
        EXPECT_EQ(toggle->isChecked(), before) << t.action;
        toggle->trigger();
        EXPECT_EQ(((*model).*t.read)(), !before) << t.action;
        ((*model).*t.write)(before);
        EXPECT_EQ(toggle->isChecked(), before) << t.action;
    }
}

} // namespace

TEST(MainWindowLayoutTest, ANoticeGetsRoomWhileTheLogIsHidden) {
    TestEnvironment environment;
    FakeDialogs dialogs;
    ServerModel model(std::make_unique<FakeScanner>(), dialogs);
    model.init();
    MainWindow window(model);
    window.show();
    auto* pane = window.findChild<LogPane*>();
    ASSERT_NE(pane, nullptr);
    const int before = pane->height();

    for (int i = 0; i < 3; ++i) {
        model.handleEvent(ServerEvent::garbage({0x01, 0x02}));
    }
    ASSERT_TRUE(model.showNoiseHint());
    QApplication::processEvents();
    EXPECT_GE(pane->height(), pane->collapsedHeight(pane->width()));
    EXPECT_GT(pane->height(), before);

    model.dismissNoiseHint();
    QApplication::processEvents();
    EXPECT_EQ(pane->height(), before);
}
