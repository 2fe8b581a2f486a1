#include "Corvana/model/ProjectFile.h"

#include "TestEnvironment.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <functional>
#include <random>

namespace {

using nlohmann::json;

// The example plus a non-default unit and awkward text, so a round trip has much to lose.
ServerProject sample() {
    ServerProject project = ServerProject::example();
    project.serial = {19200, 7, Parity::odd, 2};
    project.units.push_back({.unitID = 247, .name = "Zähler \"B\"\n", .delayMs = 250});
    project.datapoints[0].notes = "tab\there";
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

TEST(ProjectFile, AutosaveIsReplacedAtomicallyAndABrokenOneGivesTheExample) {
    TestEnvironment environment;
    const QString path = environment.path("data/Corvana/project.json");
    const auto exampleUnits = ServerProject::example().units; // the sample has two units
    EXPECT_EQ(ProjectFile::loadAutosaveOrExample().units, exampleUnits);
    EXPECT_FALSE(QFile::exists(path));
    ASSERT_TRUE(ProjectFile::writeAutosave(sample()));
    ASSERT_TRUE(ProjectFile::writeAtomically(path, "{\"version\": 1", nullptr)); // shorter
    EXPECT_EQ(QDir(environment.path("data/Corvana")).entryList(QDir::Files | QDir::Hidden).size(),
              1);
    EXPECT_EQ(ProjectFile::loadAutosaveOrExample().units, exampleUnits);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "{\"version\": 1");
}

} // namespace
