#pragma once

#include "Localization/L10n.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QLocale>
#include <QSettings>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <thread>

// Keeps a test away from the user's real settings and data: preferences and XDG folders point
// into a fresh temporary folder, texts are English and numbers use a decimal point. Create it
// before anything reads QSettings; it restores the previous state when it ends.
class TestEnvironment {
public:
    TestEnvironment()
        : english_(Language::en)
        , previousLocale_(QLocale()) {
        EXPECT_TRUE(dir_.isValid());
        remember("XDG_CONFIG_HOME", previousConfig_);
        remember("XDG_DATA_HOME", previousData_);
        remember("XDG_RUNTIME_DIR", previousRuntime_);
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(path("config")));
        qputenv("XDG_DATA_HOME", QFile::encodeName(path("data")));
        // The virtual port's link; the folder is made on first use.
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(dir_.path()));
        for (const auto format : {QSettings::NativeFormat, QSettings::IniFormat}) {
            QSettings::setPath(format, QSettings::UserScope, path("config"));
        }
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }

    ~TestEnvironment() {
        QLocale::setDefault(previousLocale_);
        restore("XDG_CONFIG_HOME", previousConfig_);
        restore("XDG_DATA_HOME", previousData_);
        restore("XDG_RUNTIME_DIR", previousRuntime_);
    }

    TestEnvironment(const TestEnvironment&) = delete;
    TestEnvironment& operator=(const TestEnvironment&) = delete;

    QString path(const QString& name) const { return dir_.filePath(name); }

private:
    static void remember(const char* name, std::optional<QByteArray>& value) {
        if (qEnvironmentVariableIsSet(name)) {
            value = qgetenv(name);
        }
    }
    static void restore(const char* name, const std::optional<QByteArray>& value) {
        if (value) {
            qputenv(name, *value);
        } else {
            qunsetenv(name);
        }
    }

    QTemporaryDir dir_;
    L10n::ScopedLanguage english_;
    QLocale previousLocale_;
    std::optional<QByteArray> previousConfig_;
    std::optional<QByteArray> previousData_;
    std::optional<QByteArray> previousRuntime_;
};

// Writes `bytes` to a new file at path.
inline void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
}

// Runs the event loop until done() holds or the patience runs out; answers done().
template <class Predicate>
bool processEventsUntil(Predicate done,
                        std::chrono::milliseconds patience = std::chrono::seconds(5)) {
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}
