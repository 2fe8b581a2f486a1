#pragma once

#include "TestEnvironment.h"

#include "Corvana/model/ControlServer.h"
#include "Corvana/model/ServerModel.h"
#include "ModbusSerial/FileDescriptor.h"
#include "ModbusSerial/VirtualPortPair.h"
#include "tests/support/ModelStubs.h"
#include "tests/support/RTUMaster.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <sys/socket.h>
#include <sys/un.h>

// A script's end of the control socket. The test thread also runs the server's event loop, so
// every wait pumps events, and writes never block.
class ScriptClient {
public:
    explicit ScriptClient(const std::string& path)
        : fd_(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0)) {
        sockaddr_un address = {};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        connected_ =
            ::connect(fd_.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    }

    bool isConnected() const { return connected_; }

    void sendRaw(std::string_view bytes) {
        processEventsUntil([&] {
            const ssize_t sent = ::send(fd_.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (sent > 0) {
                bytes.remove_prefix(static_cast<std::size_t>(sent));
            }
            return bytes.empty() || (sent < 0 && errno != EAGAIN);
        });
    }

    // The next line the server sent, parsed; nullopt when none came or the connection ended.
    std::optional<nlohmann::json> nextLine() {
        std::optional<nlohmann::json> line;
        processEventsUntil([&] {
            if (const auto end = buffer_.find('\n'); end != std::string::npos) {
                line = nlohmann::json::parse(buffer_.substr(0, end));
                buffer_.erase(0, end + 1);
                return true;
            }
            return !receive();
        });
        return line;
    }

    nlohmann::json ask(const nlohmann::json& request) {
        sendRaw(request.dump() + "\n");
        return nextLine().value_or(nlohmann::json());
    }

    // Whether the server closed the connection (after everything it sent was read).
    bool waitForEnd() {
        return processEventsUntil([&] {
            buffer_.clear();
            return !receive();
        });
    }

private:
    // Reads what is there; false when the connection ended.
    bool receive() {
        char chunk[65536];
        const ssize_t count = ::recv(fd_.get(), chunk, sizeof chunk, MSG_DONTWAIT);
        if (count > 0) {
            buffer_.append(chunk, static_cast<std::size_t>(count));
        }
        return count > 0 || (count < 0 && errno == EAGAIN);
    }

    FileDescriptor fd_;
    bool connected_ = false;
    std::string buffer_;
};

inline Datapoint controlPoint(std::uint8_t unit, std::string name, RegisterTable table,
                              std::uint16_t address, DataType type = DataType::uint16,
                              double scale = 1) {
    return Datapoint(UUID::random(), std::move(name), unit, table, address, type, WordOrder::abcd,
                     scale, "", DisplayFormat::decimal, 0, "", Simulation{});
}

// A model serving units 1 and 2 on a virtual pair at 115200 8N1, its control socket open, and a
// libmodbus master on the pair's other end.
class ControlFixture : public ::testing::Test {
protected:
    void SetUp() override {
        model = std::make_unique<ServerModel>(std::make_unique<NoScanner>(), dialogs);
        model->setPersistent(false);
        model->init();
        ServerProject project;
        project.serial = {115200, 8, Parity::none, 1};
        project.units = {ServerUnit{.unitID = 1, .name = "Boiler"},
                         ServerUnit{.unitID = 2, .name = "Pump"}};
        project.datapoints = {
            controlPoint(1, "Setpoint", RegisterTable::holdingRegister, 0, DataType::int16, 0.1),
            controlPoint(1, "Mode", RegisterTable::holdingRegister, 1),
            controlPoint(1, "Energy", RegisterTable::holdingRegister, 2, DataType::uint32),
            controlPoint(1, "Burner", RegisterTable::coil, 0, DataType::bool_),
            controlPoint(2, "Speed", RegisterTable::inputRegister, 5, DataType::float32),
            controlPoint(2, "Twin", RegisterTable::holdingRegister, 0),
            controlPoint(2, "Twin", RegisterTable::holdingRegister, 1),
        };
        model->applyProject(project);
        model->setSelectedPath(QString::fromStdString(pair.serverPath()));
        model->start();
        ASSERT_FALSE(model->errorMessage());
        ASSERT_TRUE(processEventsUntil([&] { return model->state() == ServerState::running; }));
        server = std::make_unique<ControlServer>(*model);
        ASSERT_EQ(server->listen(socketPath()), std::nullopt);
    }

    void TearDown() override {
        server.reset();
        if (model) {
            model->stop();
        }
    }

    std::string socketPath() const { return environment.path("run/control.sock").toStdString(); }

    RTUMaster master(int unit) { return connectRTUMaster(pair.masterPath(), unit); }

    TestEnvironment environment;
    VirtualPortPair pair;
    NoDialogs dialogs;
    std::unique_ptr<ServerModel> model;
    std::unique_ptr<ControlServer> server;
};
