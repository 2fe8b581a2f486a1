#include "Corvana/model/ProjectFile.h"

#include "Localization/L10n.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <functional>
#include <random>

namespace {

using nlohmann::json;

// Points the per-user data folder into a temporary folder for the test's lifetime.
class ProjectFileTest : public ::testing::Test {
protected:
    ProjectFileTest() { qputenv("XDG_DATA_HOME", QFile::encodeName(dir.path())); }
    ~ProjectFileTest() override {
        previous_ ? qputenv("XDG_DATA_HOME", *previous_) : qunsetenv("XDG_DATA_HOME");
    }

    // The example plus a non-default unit and awkward text, so a round trip has much to lose.
    static ServerProject sample() {
        ServerProject project = ServerProject::example();
        project.serial = {19200, 7, Parity::odd, 2};
        project.units.push_back({.unitID = 247, .name = "Zähler \"B\"\n", .delayMs = 250});
        project.datapoints[0].notes = "tab\there";
        return project;
    }

    L10n::ScopedLanguage english_{Language::en};
    std::optional<QByteArray> previous_ = qEnvironmentVariableIsSet("XDG_DATA_HOME")
                                              ? std::optional(qgetenv("XDG_DATA_HOME"))
                                              : std::nullopt;
    QTemporaryDir dir;
};

TEST_F(ProjectFileTest, RoundTripsWithSortedKeysDatapointsFirstVersionLast) {
    const ServerProject project = sample();
    const QByteArray bytes = ProjectFile::encode(project);
    EXPECT_EQ(ProjectFile::decode(bytes), project);
    const std::string text = bytes.toStdString();
    EXPECT_TRUE(text.starts_with("{\n    \"datapoints\": [")) << text.substr(0, 30);
    EXPECT_TRUE(text.ends_with("\n    \"version\": 1\n}\n"));
    // Sorted keys inside records too, one per line.
    EXPECT_NE(text.find("\"baudRate\": 19200,\n        \"dataBits\": 7,\n        \"parity\""),
              std::string::npos);
}

TEST_F(ProjectFileTest, AnyBadPartRejectsTheWholeFile) {
    const ServerProject project = sample();
    const json good = json::parse(ProjectFile::encode(project).toStdString());
    const struct {
        const char* what;
        std::function<void(json&)> change;
        bool accepted;
    } cases[] = {
        {"version 7 reads as 1", [](json& j) { j["version"] = 7; }, true},
        {"version text", [](json& j) { j["version"] = "1"; }, false},
        {"version 1.5", [](json& j) { j["version"] = 1.5; }, false},
        {"no version", [](json& j) { j.erase("version"); }, false},
        {"no serial", [](json& j) { j.erase("serial"); }, false},
        {"no units", [](json& j) { j.erase("units"); }, false},
        {"no datapoints", [](json& j) { j.erase("datapoints"); }, false},
        {"units an object", [](json& j) { j["units"] = json::object(); }, false},
        {"bad table", [](json& j) { j["datapoints"][6]["table"] = "register"; }, false},
        {"bad unit", [](json& j) { j["units"][1] = "unit"; }, false},
        {"bad parity", [](json& j) { j["serial"]["parity"] = "mark"; }, false},
        {"not an object", [](json& j) { j = json::array({j}); }, false},
    };
    for (const auto& c : cases) {
        json changed = good;
        c.change(changed);
        QString error;
        const auto decoded = ProjectFile::decode(QByteArray::fromStdString(changed.dump()), &error);
        EXPECT_EQ(decoded, c.accepted ? std::optional(project) : std::nullopt) << c.what;
        EXPECT_EQ(error.isEmpty(), c.accepted) << c.what;
    }
}

TEST_F(ProjectFileTest, GarbageIsRejectedWithoutHarm) {
    std::mt19937 random(7);
    QByteArray binary(1 << 20, '\0');
    for (auto& byte : binary) {
        byte = static_cast<char>(random());
    }
    QByteArray notUTF8 = ProjectFile::encode(sample()).replace("Zähler", "Z\xff");
    for (const QByteArray& bytes :
         {QByteArray("{"), binary, notUTF8, QByteArray(100'000, '[') + QByteArray(100'000, ']')}) {
        EXPECT_FALSE(ProjectFile::decode(bytes)) << bytes.left(20).toStdString();
    }
    QFile huge(dir.filePath("huge.json"));
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly) && huge.resize(ProjectFile::maxFileBytes + 1));
    QString error;
    EXPECT_FALSE(ProjectFile::read(huge.fileName(), &error));
    EXPECT_FALSE(error.isEmpty());
}

TEST_F(ProjectFileTest, WritesAtomicallyAndReportsFailures) {
    const QString path = dir.filePath("a/b/project.json");
    constexpr auto create = ProjectFile::ParentFolders::create;
    QString error;
    EXPECT_FALSE(ProjectFile::writeAtomically(path, "x", &error)); // folders must exist
    EXPECT_FALSE(error.isEmpty());
    for (const QByteArray& bytes : {QByteArray("a much longer first content"), QByteArray("new")}) {
        ASSERT_TRUE(ProjectFile::writeAtomically(path, bytes, &error, create))
            << error.toStdString();
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), bytes);
    }
    EXPECT_EQ(QDir(dir.filePath("a/b")).entryList(QDir::Files | QDir::Hidden).size(), 1);
    error.clear();
    EXPECT_FALSE(ProjectFile::writeAtomically(path + "/below.json", "x", &error, create));
    EXPECT_FALSE(error.isEmpty()); // a file in the way of a folder
}

TEST_F(ProjectFileTest, AutosaveLivesInDataHomeAndFallsBackToTheExample) {
    const QString path = dir.filePath("Corvana/project.json");
    EXPECT_EQ(ProjectFile::autosavePath(), path);
    const auto exampleUnits = ServerProject::example().units; // the sample has two units
    EXPECT_EQ(ProjectFile::loadAutosaveOrExample().units, exampleUnits);
    EXPECT_FALSE(QFile::exists(path));

    ASSERT_TRUE(ProjectFile::writeAutosave(sample()));
    EXPECT_EQ(ProjectFile::loadAutosaveOrExample().units, sample().units);

    ASSERT_TRUE(ProjectFile::writeAtomically(path, "{\"version\": 1", nullptr));
    EXPECT_EQ(ProjectFile::loadAutosaveOrExample().units, exampleUnits);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "{\"version\": 1");
}

} // namespace
