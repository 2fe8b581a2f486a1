#include "Corvana/cli/CommandLine.h"
#include "Corvana/ui/window/DesktopApplication.h"

// Without arguments the window opens; with any, the command line decides (--help, serve, …).
int main(int argc, char** argv) {
    if (argc <= 1) {
        return DesktopApplication::run(argc, argv);
    }
    return CommandLine::run(argc, argv);
}
