#include "Corvana/cli/ServeCommand.h"

#include "Corvana/cli/CommandLine.h"
#include "Corvana/cli/ServeOptions.h"
#include "Corvana/model/ControlServer.h"
#include "Corvana/model/LogBuffer.h"
#include "Corvana/model/LogLines.h"
#include "Corvana/model/ModelDialogs.h"
#include "Corvana/model/OutputPump.h"
#include "Corvana/model/ProjectFile.h"
#include "Corvana/model/ServerModel.h"
#include "Corvana/model/SignalPipe.h"
#include "Corvana/model/UdevPortScanner.h"

#include "Localization/ControlTexts.h"
#include "Localization/L10n.h"
#include "Localization/ReportTexts.h"
#include "ModbusCore/DatapointCSV.h"
#include "ModbusCore/TextForms.h"
#include "ModbusSerial/SerialLinkError.h"
#include "ModbusSerial/VirtualPortPair.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMetaObject>
#include <QSocketNotifier>

#include <atomic>
#include <chrono>
#include <csignal>
#include <iostream>
#include <ostream>
#include <variant>

#include <fcntl.h>
#include <unistd.h>

namespace ServeCommand {
namespace {

// Lines waiting for a slow reader of the output; beyond this they are left out and counted.
constexpr std::size_t maxWaitingOutputBytes = 4 * 1024 * 1024;
// How long the last lines may take to reach the reader when the server stops.
constexpr std::chrono::milliseconds outputPatience{1000};

// One log line for the terminal: control characters escaped, so nothing in it acts on the
// terminal or starts a line of its own.
std::string plainText(const LogLine& line) {
    QString text;
    for (const LogSegment& segment : line) {
        text += segment.text;
    }
    return TextForms::escapedControls(text.toStdString()) + '\n';
}

OutputPump::Sink sinkFor(std::ostream& out) {
    if (&out == &std::cout) {
        out.flush();
        return OutputPump::fileSink(STDOUT_FILENO); // past the stream, so exit never waits on it
    }
    return [&out](std::string_view text, const std::atomic<bool>&) {
        out << text << std::flush;
        return static_cast<bool>(out);
    };
}

// Fails with the "Cannot read" or "No datapoints found" message; otherwise the model holds a
// fresh project (current line and network settings) with the file's datapoints and the units they
// need.
bool loadCSV(ServerModel& model, const std::string& path, std::ostream& err) {
    auto read = ServerModel::readDatapointsFile(QString::fromStdString(path));
    if (const auto* message = std::get_if<std::string>(&read)) {
        err << *message << '\n';
        return false;
    }
    auto& result = std::get<DatapointCSV::ImportResult>(read);
    for (const DatapointCSV::ImportIssue& issue : result.issues) {
        err << issue.description() << '\n';
    }
    for (const DatapointCSV::ValueAdjustment& adjustment : result.adjustments) {
        err << adjustment.description() << '\n';
    }
    ServerProject fresh;
    fresh.serial = model.serial();
    fresh.network = model.network();
    model.applyProject(fresh);
    model.mergeImportedDatapoints(std::move(result.datapoints), true);
    return true;
}

// The command line's listeners take the place of the project's of the same transport (keeping
// its idle time and gateway setting); --max-clients applies to every listener served.
NetworkConfiguration networkFor(NetworkConfiguration network,
                                const ServeOptions::Options& options) {
    const auto take = [](ListenerConfiguration& listener,
                         const std::optional<ServeOptions::Endpoint>& endpoint) {
        if (endpoint) {
            listener.enabled = true;
            listener.bind = endpoint->host;
            listener.port = endpoint->port;
        }
    };
    take(network.tcp, options.tcp);
    take(network.rtuOverTCP, options.rtuOverTCP);
    if (options.maxClients) {
        network.tcp.maxClients = *options.maxClients;
        network.rtuOverTCP.maxClients = *options.maxClients;
    }
    return network;
}

// A night's run must not end with nowhere to put its report: the folder is checked up front.
bool canWriteReport(const std::string& path, std::ostream& err) {
    const QFileInfo folder(QFileInfo(QString::fromStdString(path)).absolutePath());
    if (folder.isDir() && folder.isWritable()) {
        return true;
    }
    err << L10n::Report::folderNotWritable(path) << '\n';
    return false;
}

// Exit status 1 when the report cannot be written; an earlier failure's status stays.
int writeReport(const ServerModel& model, const std::string& path, int status, std::ostream& err) {
    QString reason;
    if (model.writeMasterReport(QString::fromStdString(path), &reason)) {
        return status;
    }
    err << L10n::Report::writeFailed(path, reason.toStdString()) << '\n';
    return status == CommandLine::exitOk ? CommandLine::exitFailure : status;
}

} // namespace

int run(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err,
        std::unique_ptr<PortScanner> scanner) {
    const std::optional<ServeOptions::Options> options = ServeOptions::parse(arguments, err);
    if (!options) {
        return CommandLine::exitUsage;
    }
    if (options->help) {
        out << ServeOptions::helpText();
        return CommandLine::exitOk;
    }

    std::optional<QCoreApplication> application;
    if (QCoreApplication::instance() == nullptr) {
        ProjectFile::ignoreRelativeXDGFolders();
        // The same names as the desktop application, so the "port" preference is shared.
        QCoreApplication::setOrganizationName(QStringLiteral("Corvana"));
        QCoreApplication::setApplicationName(QStringLiteral("Corvana"));
        static int argc = 1;
        static char name[] = "corvana";
        static char* argv[] = {name, nullptr};
        application.emplace(argc, argv);
    }
    if (options->reportPath && !canWriteReport(*options->reportPath, err)) {
        return CommandLine::exitFailure;
    }
    const SignalPipe signalPipe;
    if (signalPipe.readEnd() < 0) {
        // Without it Ctrl+C would kill the server before it stops and removes its link.
        err << L10n::Cli::stopSignalsFailed(SerialLinkError::systemText(signalPipe.error()))
            << '\n';
        return CommandLine::exitFailure;
    }
    // A reader that goes away (corvana serve | head) must not kill the process before it has
    // stopped the server and removed its link: writing then fails instead, and the server stops.
    std::signal(SIGPIPE, SIG_IGN);
    OutputPump output(sinkFor(out), maxWaitingOutputBytes,
                      [](std::uint64_t lines) { return plainText(LogLines::linesDropped(lines)); });
    output.onFailure = [] { ::kill(::getpid(), SIGTERM); };
    std::optional<VirtualPortPair> virtualPair; // outlives the model, whose engine serves it
    DecliningDialogs dialogs;
    if (!scanner) {
        scanner = std::make_unique<UdevPortScanner>();
    }
    ServerModel model(std::move(scanner), dialogs);
    model.setPersistent(false);
    // Every line goes to standard output; keeping the log as well would only cost memory.
    model.logBuffer().setRetaining(false);
    model.init();
    if (model.errorMessage()) { // an unreadable autosave, kept aside
        err << model.errorMessage()->toStdString() << '\n';
        model.setErrorMessage(std::nullopt);
    }
    model.setShowTimestamps(options->timestamps);
    model.setShowRawFrames(options->rawFrames);
    model.setShowBusTraffic(options->busTraffic);

    if (options->projectPath) {
        if (!model.openProjectFile(QString::fromStdString(*options->projectPath))) {
            err << model.errorMessage().value_or(QString()).toStdString() << '\n';
            return CommandLine::exitFailure;
        }
    } else if (options->csvPath && !loadCSV(model, *options->csvPath, err)) {
        return CommandLine::exitFailure;
    }

    SerialConfiguration serial = model.serial();
    if (options->baudRate) {
        serial.baudRate = *options->baudRate;
    }
    if (options->frame) {
        serial.dataBits = options->frame->dataBits;
        serial.parity = options->frame->parity;
        serial.stopBits = options->frame->stopBits;
    }
    model.setSerial(serial);
    model.setNetwork(networkFor(model.network(), *options));

    if (options->virtualPort) {
        try {
            if (options->linkPath.empty()) {
                virtualPair.emplace();
            } else {
                virtualPair.emplace(options->linkPath);
            }
        } catch (const std::exception& error) {
            err << L10n::Cli::virtualFailed(error.what()) << '\n';
            return CommandLine::exitFailure;
        }
        output.write(L10n::Cli::virtualPort(virtualPair->masterPath()) + '\n');
        model.setSelectedPath(QString::fromStdString(virtualPair->serverPath()));
    } else if (options->portPath) {
        model.setSelectedPath(QString::fromStdString(*options->portPath));
    } else if (options->tcp || options->rtuOverTCP) {
        model.setSelectedPath({}); // listeners given without a port: the network only
    }
    if (model.selectedPath().isEmpty() && !model.network().any()) {
        err << L10n::Errors::selectPortFirst() << '\n';
        return CommandLine::exitFailure;
    }

    // The event loop never waits for the reader: the pump writes, or leaves lines out.
    QObject::connect(&model.logBuffer(), &LogBuffer::appended,
                     [&output](qsizetype, const LogLine& line) { output.write(plainText(line)); });
    // Scripts may connect from here on; a path held by a running server ends this one first.
    std::optional<ControlServer> control;
    if (options->controlPath) {
        control.emplace(model);
        if (const auto problem = control->listen(*options->controlPath)) {
            err << L10n::Control::socketFailed(*options->controlPath, *problem) << '\n';
            return CommandLine::exitFailure;
        }
        control->onStop = [&model] {
            model.stop();
            QCoreApplication::quit();
        };
    }
    model.setErrorMessage(std::nullopt);
    model.start();
    if (model.errorMessage()) {
        err << model.errorMessage()->toStdString() << '\n';
        return CommandLine::exitFailure;
    }

    QSocketNotifier stopRequest(signalPipe.readEnd(), QSocketNotifier::Read);
    QObject::connect(&stopRequest, &QSocketNotifier::activated, [&] {
        signalPipe.drain();
        model.stop();
        QCoreApplication::quit();
    });
    int status = CommandLine::exitOk;
    if (options->exitOnLoss) {
        QObject::connect(&model, &ServerModel::stateChanged, [&] {
            if (model.state() != ServerState::serialLost) {
                return;
            }
            // After the event that reported the loss has logged its line.
            QMetaObject::invokeMethod(
                &model,
                [&] {
                    status = exitPortLost;
                    model.stop();
                    QCoreApplication::quit();
                },
                Qt::QueuedConnection);
        });
    }
    const int loop = QCoreApplication::exec();
    output.finish(outputPatience);
    status = loop == 0 ? status : CommandLine::exitFailure;
    if (options->reportPath) {
        status = writeReport(model, *options->reportPath, status, err);
    }
    return status;
}

} // namespace ServeCommand
