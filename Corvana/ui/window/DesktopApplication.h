#pragma once

class QTranslator;
class ServerModel;

// The windowed application: one model behind the main window, from launch until the last window
// closes, when the server stops and the project is saved.
namespace DesktopApplication {

int run(int argc, char** argv);

// Qt's own texts (file dialogs, standard buttons, shortcut names such as "Strg") in the
// interface language when the system has them, and shortcuts in texts written as Qt's menus
// show them. The translator must outlive the application's windows.
void installLanguage(QTranslator& qtTexts);

// Stops the server and writes the autosave when the application's event loop ends, however it
// was asked to end (the last window closed, a signal, a logout).
void saveOnExit(ServerModel& model);

} // namespace DesktopApplication
