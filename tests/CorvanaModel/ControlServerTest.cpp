#include "ControlTestSupport.h"

#include "Corvana/model/ControlProtocol.h"
#include "Localization/ControlTexts.h"

#include <QFile>

#include <filesystem>
#include <vector>

#include <sys/stat.h>

using nlohmann::json;

namespace {

using ControlServerTest = ControlFixture;

TEST_F(ControlServerTest, TheSocketIsPrivateAndGoesAwayWhenClosed) {
    struct stat status = {};
    ASSERT_EQ(::stat(socketPath().c_str(), &status), 0);
    EXPECT_TRUE(S_ISSOCK(status.st_mode));
    EXPECT_EQ(status.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat(environment.path("run").toStdString().c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0700u);
    EXPECT_TRUE(model->logBuffer().plainText().contains(
        QString::fromStdString("--- Control socket open at " + socketPath() + " ---")));

    // A second server on the same path is refused while the first answers.
    ControlServer second(*model);
    EXPECT_EQ(second.listen(socketPath()), L10n::Control::pathInUse());
    server->close();
    EXPECT_FALSE(std::filesystem::exists(socketPath()));
}

TEST_F(ControlServerTest, AStaleSocketIsReplacedAndAnyOtherFileLeftAlone) {
    server->close();
    // A socket file nobody listens on, as a killed server leaves it.
    {
        const FileDescriptor stale(::socket(AF_UNIX, SOCK_STREAM, 0));
        sockaddr_un address = {};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, socketPath().c_str(), sizeof address.sun_path - 1);
        ASSERT_EQ(::bind(stale.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address),
                  0);
    }
    ASSERT_TRUE(std::filesystem::exists(socketPath()));
    EXPECT_EQ(server->listen(socketPath()), std::nullopt);
    EXPECT_TRUE(ScriptClient(socketPath()).isConnected());
    server->close();

    const QString plain = environment.path("plain");
    QFile file(plain);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("keep");
    file.close();
    EXPECT_EQ(server->listen(plain.toStdString()), L10n::Control::notASocket());
    EXPECT_EQ(std::filesystem::file_size(plain.toStdString()), 4u);
    EXPECT_EQ(server->listen("/tmp/" + std::string(120, 'x')), L10n::Control::pathTooLong());
}

TEST_F(ControlServerTest, GarbageAndOverLongLinesAreAnsweredAndTheConnectionKept) {
    ScriptClient script(socketPath());
    script.sendRaw("{not json\n");
    EXPECT_EQ(script.nextLine(), ControlProtocol::errorReply(L10n::Control::invalidJSON()));
    script.sendRaw("[1,2]\n\n   \n");
    EXPECT_EQ(script.nextLine(), ControlProtocol::errorReply(L10n::Control::notAnObject()));
    script.sendRaw(std::string(ControlProtocol::maxLineBytes + 10, 'x'));
    EXPECT_EQ(script.nextLine(), ControlProtocol::errorReply(L10n::Control::lineTooLong()));
    script.sendRaw(std::string(1000, 'y') + "\n");
    script.sendRaw("\xFF\xFE\n");
    EXPECT_EQ(script.nextLine(), ControlProtocol::errorReply(L10n::Control::invalidJSON()));
    // Two requests in one write, each with its reply in order.
    script.sendRaw(R"({"command":"get","unit":1,"name":"Mode","id":"a"})"
                   "\n"
                   R"({"command":"status","id":"b"})"
                   "\n");
    EXPECT_EQ(script.nextLine().value_or(json())["id"], "a");
    EXPECT_EQ(script.nextLine().value_or(json())["id"], "b");
    EXPECT_EQ(server->clientCount(), 1u);
}

TEST_F(ControlServerTest, TwoClientsAreServedAtOnce) {
    ScriptClient first(socketPath());
    ScriptClient second(socketPath());
    // The first's request arrives in halves, the second's in between.
    first.sendRaw(R"({"command":"set","unit":1,"name":"Mode",)");
    const json status = second.ask({{"command", "status"}});
    EXPECT_EQ(status["ok"], true);
    first.sendRaw(R"("value":12})"
                  "\n");
    EXPECT_EQ(first.nextLine().value_or(json())["registers"], json::array({12}));
    EXPECT_EQ(second.ask({{"command", "get"}, {"unit", 1}, {"name", "Mode"}})["value"], 12);
}

TEST_F(ControlServerTest, ASubscriberThatStopsReadingIsDroppedWhileOthersAreServed) {
    ScriptClient reader(socketPath());
    ScriptClient stalled(socketPath());
    ScriptClient other(socketPath());
    EXPECT_EQ(reader.ask({{"command", "log"}}), json({{"ok", true}}));
    EXPECT_EQ(stalled.ask({{"command", "log"}}), json({{"ok", true}}));

    model->appendLog({LogSegment{LogSegment::Kind::warning, "first line"}});
    const auto event = reader.nextLine();
    ASSERT_TRUE(event);
    EXPECT_EQ(*event, json({{"event", "log"}, {"kind", "warning"}, {"text", "first line"}}));

    // Far more than the stalled client's share, in lines the reader keeps taking.
    const QString block(64 * 1024, QLatin1Char('z'));
    std::size_t sent = 0;
    while (sent < ControlServer::maxPendingBytes * 2 && server->clientCount() == 3) {
        model->appendLog({LogSegment{LogSegment::Kind::text, block}});
        sent += static_cast<std::size_t>(block.size());
        ASSERT_TRUE(reader.nextLine());
    }
    EXPECT_TRUE(processEventsUntil([&] { return server->clientCount() == 2; }));
    EXPECT_TRUE(stalled.waitForEnd());
    EXPECT_TRUE(processEventsUntil([&] {
        return model->logBuffer().plainText().contains(
            "--- A script that did not read its replies was disconnected ---");
    }));
    EXPECT_EQ(other.ask({{"command", "status"}})["ok"], true);
}

TEST_F(ControlServerTest, MoreClientsThanAllowedAreRefused) {
    std::vector<std::unique_ptr<ScriptClient>> clients;
    for (std::size_t i = 0; i < ControlServer::maxClients; ++i) {
        clients.push_back(std::make_unique<ScriptClient>(socketPath()));
    }
    ASSERT_TRUE(
        processEventsUntil([&] { return server->clientCount() == ControlServer::maxClients; }));
    ScriptClient extra(socketPath());
    EXPECT_EQ(extra.nextLine(), ControlProtocol::errorReply(L10n::Control::tooManyClients()));
    EXPECT_TRUE(extra.waitForEnd());
    clients.pop_back();
    ASSERT_TRUE(
        processEventsUntil([&] { return server->clientCount() == ControlServer::maxClients - 1; }));
    ScriptClient late(socketPath());
    EXPECT_EQ(late.ask({{"command", "status"}})["ok"], true);
}

TEST_F(ControlServerTest, AThousandConnectionsLeaveNothingBehind) {
    for (int i = 0; i < 1000; ++i) {
        ScriptClient passing(socketPath());
        ASSERT_TRUE(passing.isConnected());
        if (i % 100 == 0) {
            passing.sendRaw("{\"command\":");
        }
        QCoreApplication::processEvents();
    }
    ScriptClient last(socketPath());
    EXPECT_EQ(last.ask({{"command", "status"}})["ok"], true);
    EXPECT_TRUE(processEventsUntil([&] { return server->clientCount() == 1; }));
}

TEST_F(ControlServerTest, StopAnswersThenStops) {
    ScriptClient script(socketPath());
    // Without a hook the server stops, as the window's Stop does.
    EXPECT_EQ(script.ask({{"command", "stop"}}), json({{"ok", true}}));
    EXPECT_TRUE(processEventsUntil([&] { return model->state() == ServerState::stopped; }));

    bool stopped = false;
    server->onStop = [&] { stopped = true; };
    EXPECT_EQ(script.ask({{"command", "stop"}}), json({{"ok", true}}));
    EXPECT_TRUE(processEventsUntil([&] { return stopped; }));
}

TEST_F(ControlServerTest, ThePreferenceOpensAndClosesTheSocket) {
    server.reset();
    ControlServer window(*model);
    window.followPreference(socketPath());
    EXPECT_FALSE(window.isListening());
    model->setAllowControl(true);
    EXPECT_TRUE(window.isListening());
    EXPECT_TRUE(ScriptClient(socketPath()).isConnected());
    model->setAllowControl(false);
    EXPECT_FALSE(window.isListening());
    EXPECT_FALSE(std::filesystem::exists(socketPath()));

    // A path taken by a live server is reported in the log, not in an alert.
    ControlServer serve(*model);
    ASSERT_EQ(serve.listen(socketPath()), std::nullopt);
    model->setAllowControl(true);
    EXPECT_FALSE(window.isListening());
    EXPECT_FALSE(model->errorMessage());
    EXPECT_TRUE(model->logBuffer().plainText().contains(
        QString::fromStdString("--- Control socket " + socketPath() +
                               " cannot be opened: another Corvana already listens there ---")));
}

} // namespace
