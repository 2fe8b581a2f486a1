#pragma once

#include <QByteArray>
#include <QSettings>
#include <QTemporaryDir>
#include <QtGlobal>

#include <benchmark/benchmark.h>

#include <type_traits>

class QApplication;

// Google Benchmark's main for benchmarks that need a Qt application object (App is
// QCoreApplication or QApplication). Widgets draw on the offscreen platform unless one is chosen;
// preferences go to a throwaway folder, so a run never touches the user's settings.
template <class App>
int runQtBenchmarks(int argc, char** argv, const char* name) {
    if (std::is_same_v<App, QApplication> && !qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    App::setOrganizationName("CorvanaBench");
    App::setApplicationName(name);
    App app(argc, argv);
    QTemporaryDir settingsDir;
    for (const auto format : {QSettings::NativeFormat, QSettings::IniFormat}) {
        QSettings::setPath(format, QSettings::UserScope, settingsDir.path());
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
