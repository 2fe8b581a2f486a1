#pragma once

class ServerModel;

// The windowed application: one model behind the main window, from launch until the last window
// closes, when the server stops and the project is saved.
namespace DesktopApplication {

int run(int argc, char** argv);

// Stops the server and writes the autosave when the application's event loop ends, however it
// was asked to end (the last window closed, a signal, a logout).
void saveOnExit(ServerModel& model);

} // namespace DesktopApplication
