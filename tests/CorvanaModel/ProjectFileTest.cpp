#include "Corvana/model/ProjectFile.h"

#include "TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <functional>
#include <random>

#include <sys/stat.h>

namespace {

using nlohmann::json;

// Sanitizer builds (gcc and clang spell it differently) run the big inputs smaller.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool sanitized = true;
#elif defined(__has_feature)
constexpr bool sanitized = __has_feature(address_sanitizer) || __has_feature(thread_sanitizer);
#else
constexpr bool sanitized = false;
#endif

// The example plus a non-default unit and awkward text, so a round trip has much to lose.
ServerProject sample() {
    ServerProject project = ServerProject::example();
    project.serial = {19200, 7, Parity::odd, 2};
    project.units.push_back({.unitID = 247, .name = "Zähler \"B\"\n", .delayMs = 250});
    project.datapoints[0].notes = "tab\there";
    project.units.back().functions = {3, 8, 16, 43};
    project.units.back().identity.serverID = Bytes{0xC0, 0xDE};
    project.units.back().identity.privateObjects = {{0x80, "serial 0042"}};
    return project;
}

TEST(ProjectFile, RoundTripsWithSortedKeysDatapointsFirstVersionLast) {
    const ServerProject project = sample();
    const QByteArray bytes = ProjectFile::encode(project);
    EXPECT_EQ(ProjectFile::decode(bytes), project);
    const std::string text = bytes.toStdString();
    EXPECT_TRUE(text.starts_with("{\n    \"datapoints\": [")) << text.substr(0, 30);
    EXPECT_TRUE(text.ends_with("\n    \"version\": 1\n}\n"));
    EXPECT_NE(text.find("\"baudRate\": 19200,\n        \"dataBits\": 7,\n        \"parity\""),
              std::string::npos); // sorted inside records too
}

// Function codes, identity, fault rules, the seed and the network settings are written only
// where set, so files written before read and write byte for byte as they did; with them the
// file reads back equal, and a network object naming only some keys takes the defaults.
TEST(ProjectFile, OptionalKeysOnlyWhereSetAndPartialNetworkTakesTheDefaults) {
    for (const ServerProject& project : {ServerProject::example(), sample()}) {
        const std::string plain = ProjectFile::encode(project).toStdString();
        for (const char* key : {"\"faultRules\"", "\"seed\"", "\"network\""}) {
            EXPECT_EQ(plain.find(key), std::string::npos) << key;
        }
        EXPECT_FALSE(ProjectFile::decode(QByteArray::fromStdString(plain))->seed);
    }
    const std::string plain = ProjectFile::encode(ServerProject::example()).toStdString();
    EXPECT_EQ(plain.find("\"functions\""), std::string::npos);
    EXPECT_EQ(plain.find("\"identity\""), std::string::npos);

    ServerProject project = sample();
    project.seed = -12345678901234;
    project.units[0].faultRules = {
        {"Drop 10 %",
         true,
         {},
         {.kind = FaultRule::Schedule::Kind::probability, .probability = 0.1},
         {.kind = FaultRule::Effect::Kind::noResponse}},
        {"Slow",
         false,
         {.functions = {3, 4}, .quantityFrom = 10},
         {.kind = FaultRule::Schedule::Kind::periodic, .on = 3, .period = 30},
         {.kind = FaultRule::Effect::Kind::byteDelay, .ms = 20}}};
    project.network.tcp = {.enabled = true,
                           .port = 15020,
                           .bind = "0.0.0.0",
                           .maxClients = 5,
                           .idleSeconds = 60,
                           .gateway = true};
    project.network.rtuOverTCP.bind = "::1";
    const QByteArray bytes = ProjectFile::encode(project);
    EXPECT_EQ(ProjectFile::decode(bytes), project);
    const std::string text = bytes.toStdString();
    for (const char* part :
         {"\"functions\": [\n                3,\n                8,",
          "\"identity\": {\n                \"privateObjects\": {\n                    "
          "\"128\": \"serial 0042\"\n                },\n                \"serverID\": \"C0DE\"",
          "\"seed\": -12345678901234",
          "\"rtuOverTCP\": {\n            \"bind\": \"::1\",\n            \"enabled\": false,"}) {
        EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;
    }

    json partial = json::parse(ProjectFile::encode(sample()).toStdString());
    partial["network"] = json::parse(R"({"rtuOverTCP": {"enabled": true}})");
    const auto read = ProjectFile::decode(QByteArray::fromStdString(partial.dump()));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->network.tcp, ListenerConfiguration{});
    EXPECT_EQ(read->network.rtuOverTCP, (ListenerConfiguration{.enabled = true, .port = 1503}));
    EXPECT_TRUE(read->network.any());
}

TEST(ProjectFile, AnyBadPartRejectsTheWholeFile) {
    const json good = json::parse(ProjectFile::encode(sample()).toStdString());
    ASSERT_TRUE(ProjectFile::decode(QByteArray::fromStdString(good.dump())));
    const struct {
        const char* what;
        std::function<void(json&)> change;
    } cases[] = {
        {"no version", [](json& j) { j.erase("version"); }},
        {"no serial", [](json& j) { j.erase("serial"); }},
        {"no units", [](json& j) { j.erase("units"); }},
        {"no datapoints", [](json& j) { j.erase("datapoints"); }},
        {"units an object", [](json& j) { j["units"] = json::object(); }},
        {"bad table", [](json& j) { j["datapoints"][6]["table"] = "register"; }},
        {"bad unit", [](json& j) { j["units"][1] = "unit"; }},
        {"bad parity", [](json& j) { j["serial"]["parity"] = "mark"; }},
        {"unknown function code",
         [](json& j) {
             j["units"][0]["functions"] = {3, 9};
         }},
        {"bad server ID", [](json& j) { j["units"][0]["identity"]["serverID"] = "C0D"; }},
        {"text too long for an answer",
         [](json& j) { j["units"][0]["identity"]["vendorName"] = std::string(245, 'v'); }},
        {"private object outside 128–255",
         [](json& j) { j["units"][0]["identity"]["privateObjects"]["5"] = "x"; }},
        {"seed not an integer", [](json& j) { j["seed"] = 1.5; }},
        {"fault rules an object", [](json& j) { j["units"][0]["faultRules"] = json::object(); }},
        {"fault rule with a bad probability",
         [](json& j) {
             j["units"][0]["faultRules"] = json::parse(R"([{"effect": {"kind": "badCRC"},
                 "schedule": {"kind": "probability", "probability": 2}}])");
         }},
        {"network an array", [](json& j) { j["network"] = json::array(); }},
        {"listener a number", [](json& j) { j["network"]["tcp"] = 502; }},
        {"port 0", [](json& j) { j["network"]["tcp"]["port"] = 0; }},
        {"port 65536", [](json& j) { j["network"]["rtuOverTCP"]["port"] = 65536; }},
        {"port a text", [](json& j) { j["network"]["tcp"]["port"] = "1502"; }},
        {"no clients", [](json& j) { j["network"]["tcp"]["maxClients"] = 0; }},
        {"1001 clients", [](json& j) { j["network"]["tcp"]["maxClients"] = 1001; }},
        {"negative idle time", [](json& j) { j["network"]["tcp"]["idleSeconds"] = -1; }},
        {"enabled a text", [](json& j) { j["network"]["tcp"]["enabled"] = "yes"; }},
        {"gateway a number", [](json& j) { j["network"]["tcp"]["gateway"] = 1; }},
        {"bind a host name", [](json& j) { j["network"]["tcp"]["bind"] = "localhost"; }},
        {"bind with a port", [](json& j) { j["network"]["tcp"]["bind"] = "127.0.0.1:502"; }},
    };
    for (const auto& c : cases) {
        json changed = good;
        c.change(changed);
        QString error;
        EXPECT_FALSE(ProjectFile::decode(QByteArray::fromStdString(changed.dump()), &error))
            << c.what;
        EXPECT_FALSE(error.isEmpty()) << c.what;
    }
}

TEST(ProjectFile, GarbageAndHugeFilesAreRejectedWithoutHarm) {
    TestEnvironment environment;
    std::mt19937 random(7);
    QByteArray binary(1 << 20, '\0');
    std::generate(binary.begin(), binary.end(), [&] { return static_cast<char>(random()); });
    const QByteArray deep = QByteArray(100'000, '[') + QByteArray(100'000, ']');
    for (const QByteArray& bytes : {QByteArray("{"), binary, deep}) {
        EXPECT_FALSE(ProjectFile::decode(bytes)) << bytes.left(20).toStdString();
    }
    QFile huge(environment.path("huge.json"));
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly) && huge.resize(ProjectFile::maxFileBytes + 1));
    QString error;
    EXPECT_FALSE(ProjectFile::read(huge.fileName(), &error));
    EXPECT_FALSE(error.isEmpty());
}

TEST(ProjectFile, AutosaveIsReplacedAtomicallyAndABrokenOneIsKeptAside) {
    TestEnvironment environment;
    const QString path = environment.path("data/Corvana/project.json");
    const auto exampleUnits = ServerProject::example().units; // the sample has two units
    EXPECT_EQ(ProjectFile::loadAutosaveOrExample().project.units, exampleUnits);
    EXPECT_FALSE(ProjectFile::loadAutosaveOrExample().unreadable);
    EXPECT_FALSE(QFile::exists(path));
    const ServerProject saved = sample();
    ASSERT_TRUE(ProjectFile::writeAutosave(saved));
    EXPECT_EQ(ProjectFile::loadAutosaveOrExample().project, saved);
    ASSERT_TRUE(ProjectFile::writeAtomically(path, "{\"version\": 1", nullptr)); // shorter
    EXPECT_EQ(QDir(environment.path("data/Corvana")).entryList(QDir::Files | QDir::Hidden).size(),
              1);

    // Twice, perhaps in the same second: each file kept gets a name of its own.
    QStringList kept;
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(ProjectFile::writeAtomically(path, "{\"version\": 1", nullptr));
        const auto loaded = ProjectFile::loadAutosaveOrExample();
        EXPECT_EQ(loaded.project.units, exampleUnits);
        ASSERT_TRUE(loaded.unreadable);
        EXPECT_TRUE(loaded.movedAside);
        EXPECT_TRUE(loaded.unreadable->startsWith(path + ".unreadable-20"));
        EXPECT_FALSE(kept.contains(*loaded.unreadable));
        kept << *loaded.unreadable;
        EXPECT_FALSE(QFile::exists(path));
    }
    for (const QString& name : kept) {
        QFile file(name);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), "{\"version\": 1");
    }
}

TEST(ProjectFile, AutosaveReplacesASymlinkInsteadOfWritingThroughIt) {
    TestEnvironment environment;
    ASSERT_TRUE(QDir().mkpath(environment.path("data/Corvana")));
    const QString other = environment.path("other.txt");
    QFile file(other);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write("mine") == 4);
    file.close();
    const QString path = environment.path("data/Corvana/project.json");
    ASSERT_TRUE(QFile::link(other, path));
    const ServerProject saved = sample();
    ASSERT_TRUE(ProjectFile::writeAutosave(saved));
    EXPECT_FALSE(QFileInfo(path).isSymLink());
    EXPECT_EQ(ProjectFile::read(path), saved);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "mine");
}

TEST(ProjectFile, AMillionEmptyDatapointsAreReadInOnePassAndMoreAreRefused) {
    // Linear reading is what keeps this quick; a quadratic reader never finishes it. Sanitizer
    // builds run a tenth of it.
    constexpr std::size_t count = sanitized ? maxDatapoints / 10 : maxDatapoints;
    const auto project = [](std::size_t datapoints) {
        QByteArray bytes =
            R"({"version":1,"units":[],)"
            R"("serial":{"baudRate":9600,"dataBits":8,"parity":"even","stopBits":1},)"
            R"("datapoints":[)";
        bytes.reserve(bytes.size() + static_cast<qsizetype>(datapoints * 3 + 3));
        for (std::size_t i = 0; i < datapoints; ++i) {
            bytes += i == 0 ? "{}" : ",{}";
        }
        return bytes + "]}";
    };
    const auto read = ProjectFile::decode(project(count));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->datapoints.size(), count);
    QString error;
    EXPECT_FALSE(ProjectFile::decode(project(maxDatapoints + 1), &error));
    EXPECT_TRUE(error.contains("more than 1000000")) << error.toStdString();
    // Values beyond the limit are refused before any tree is built.
    EXPECT_FALSE(ProjectFile::decode("[" + QByteArray("0,").repeated(5'000'000) + "0]", &error));
    EXPECT_EQ(error, "too many values");
}

TEST(ProjectFile, RelativeXDGFoldersAreIgnored) {
    TestEnvironment environment;
    const QString absolute = environment.path("data");
    for (const char* relative : {"relative/data", ""}) {
        qputenv("XDG_DATA_HOME", relative);
        qputenv("XDG_CONFIG_HOME", "relative/config");
        ProjectFile::ignoreRelativeXDGFolders();
        EXPECT_FALSE(qEnvironmentVariableIsSet("XDG_DATA_HOME"));
        EXPECT_FALSE(qEnvironmentVariableIsSet("XDG_CONFIG_HOME"));
        EXPECT_TRUE(ProjectFile::autosavePath().value_or("").startsWith('/'));
    }
    qputenv("XDG_DATA_HOME", QFile::encodeName(absolute));
    ProjectFile::ignoreRelativeXDGFolders();
    EXPECT_EQ(ProjectFile::autosavePath(), absolute + "/Corvana/project.json");
}

TEST(ProjectFile, OnlyRegularFilesAreRead) {
    TestEnvironment environment;
    const QByteArray fifo = QFile::encodeName(environment.path("fifo.json"));
    ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);
    const QString link = environment.path("link.json");
    ASSERT_TRUE(QFile::link(environment.path("fifo.json"), link));
    for (const QString& path :
         {QString::fromLocal8Bit(fifo), link, QStringLiteral("/dev/zero"), environment.path("")}) {
        QString error;
        EXPECT_FALSE(ProjectFile::read(path, &error)) << path.toStdString();
        EXPECT_FALSE(error.isEmpty());
    }
}

} // namespace
