#pragma once

// The windowed application: one model behind the main window, from launch until the last window
// closes, when the server stops and the project is saved.
namespace DesktopApplication {
int run(int argc, char** argv);
} // namespace DesktopApplication
