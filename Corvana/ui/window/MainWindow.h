#pragma once

#include <QMainWindow>
#include <QPointer>

class HelpWindow;
class LogPane;
class QAction;
class QMessageBox;
class QSplitter;
class ServerModel;
class ShowLogPreference;

// The "server" window: serial bar and project button in the toolbar, the units on the left, the
// selected unit over the log, the File, Server and Help menus, and the error alert. Every
// command calls one model operation; the title and the toggles follow the model's state.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(ServerModel& model, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The project file's name with the modified mark ("[*]"), the port label and the enabled
    // listeners, and the server state, as the title shows them.
    QString titleText() const;
    ShowLogPreference& showLogPreference() const { return *showLog_; }
    LogPane* logPane() const { return logPane_; }
    // The alert showing the model's errorMessage; nullptr while there is none.
    QMessageBox* errorAlert() const;
    // The help window once it was asked for.
    HelpWindow* helpWindow() const;
    void showHelp();

private:
    void buildToolBar();
    void buildCentre();
    void buildMenus();
    void updateTitle();
    void updateStartStop();
    void updateErrorAlert();
    void fitLogPane(bool logShown);

    ServerModel& model_;
    ShowLogPreference* showLog_;
    QSplitter* detailAndLog_ = nullptr;
    LogPane* logPane_ = nullptr;
    QAction* startStop_ = nullptr;
    QAction* undo_ = nullptr;
    QAction* redo_ = nullptr;
    QPointer<QMessageBox> errorAlert_;
    // A window of its own that may outlive closing this one, so not a child widget.
    QPointer<HelpWindow> helpWindow_;
};
