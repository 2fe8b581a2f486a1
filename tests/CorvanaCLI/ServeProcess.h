#pragma once

#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

#include <csignal>

// The environment of a child process that speaks English.
inline QProcessEnvironment englishEnvironment() {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("LANGUAGE", "en");
    environment.insert("LC_ALL", "C.UTF-8");
    return environment;
}

// `corvana serve` as a child process: its own XDG folders (those of the TestEnvironment), English
// texts, stdout and stderr collected.
class Serve {
public:
    explicit Serve(const QStringList& arguments) {
        process_.setProcessEnvironment(englishEnvironment());
        process_.start(QStringLiteral(CORVANA_EXECUTABLE), QStringList{"serve"} + arguments);
        EXPECT_TRUE(process_.waitForStarted());
    }

    // Whether stdout shows `text` within the patience of a loaded machine.
    bool waitForOutput(const QString& text) {
        QElapsedTimer timer;
        timer.start();
        while (!out_.contains(text) && timer.elapsed() < 10'000) {
            process_.waitForReadyRead(100);
            out_ += QString::fromUtf8(process_.readAllStandardOutput());
        }
        return out_.contains(text);
    }

    // The exit code once it ended by itself or after `signal`; -1 when it did not end normally.
    int finish(int signal = 0) {
        if (signal != 0) {
            ::kill(static_cast<pid_t>(process_.processId()), signal);
        }
        if (!process_.waitForFinished(10'000)) {
            return -1;
        }
        out_ += QString::fromUtf8(process_.readAllStandardOutput());
        err_ = QString::fromUtf8(process_.readAllStandardError());
        return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
    }

    const QString& out() const { return out_; }
    const QString& err() const { return err_; }

private:
    QProcess process_;
    QString out_, err_;
};

struct Result {
    int status = -1;
    QString out, err;
};

// One `corvana ctl` run to its end.
inline Result ctl(const QString& socket, const QStringList& arguments) {
    QProcess process;
    process.setProcessEnvironment(englishEnvironment());
    process.start(QStringLiteral(CORVANA_EXECUTABLE),
                  QStringList{"ctl", "--socket", socket} + arguments);
    Result result;
    if (process.waitForFinished(10'000) && process.exitStatus() == QProcess::NormalExit) {
        result.status = process.exitCode();
    }
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}
