#include "Corvana/model/ProjectFile.h"

#include "ModbusCore/JSONFields.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <nlohmann/json.hpp>

#include <cstdint>
#include <exception>
#include <filesystem>
#include <limits>
#include <string>
#include <system_error>

namespace ProjectFile {

namespace {

using nlohmann::json;

// A project nests four levels deep (datapoints, a datapoint, its simulation, a value).
constexpr int maxDepth = 16;
// A saved project spends far more than 16 bytes of text on each value (its key, indentation);
// only garbage like [0,0,0,…] comes close, and would cost 16 bytes of tree per 2 of text.
constexpr std::int64_t maxValues = maxFileBytes / 16;

void store(QString* errorDescription, const QString& text) {
    if (errorDescription != nullptr) {
        *errorDescription = text;
    }
}

// Parses with limits on nesting and size, so hostile input costs bounded memory and time.
json parseBounded(const QByteArray& bytes) {
    std::int64_t values = 0;
    const json::parser_callback_t guard = [&values](int depth, json::parse_event_t event, json&) {
        if (depth > maxDepth) {
            throw DecodingError("nested too deeply");
        }
        if (event != json::parse_event_t::key && ++values > maxValues) {
            throw DecodingError("too many values");
        }
        return true;
    };
    return json::parse(bytes.constData(), bytes.constData() + bytes.size(), guard);
}

const json& requiredMember(const json& root, const char* key) {
    auto it = root.find(key);
    if (it == root.end() || it->is_null()) {
        throw DecodingError(std::string("missing \"") + key + "\"");
    }
    return *it;
}

template <class Record>
std::vector<Record> decodeList(const json& root, const char* key, const char* what) {
    const json& list = requiredMember(root, key);
    if (!list.is_array()) {
        throw DecodingError(std::string("\"") + key + "\" must be an array");
    }
    std::vector<Record> records;
    records.reserve(list.size());
    for (std::size_t i = 0; i < list.size(); ++i) {
        try {
            records.push_back(Record::fromJSON(list[i]));
        } catch (const DecodingError& error) {
            throw DecodingError(std::string(what) + " " + std::to_string(i + 1) + ": " +
                                error.what());
        }
    }
    return records;
}

} // namespace

QByteArray encode(const ServerProject& project) {
    // nlohmann's object keeps its keys sorted, which gives the sorted file.
    json root = json::object();
    root["version"] = 1;
    root["serial"] = project.serial.toJSON();
    root["units"] = json::array();
    for (const auto& unit : project.units) {
        root["units"].push_back(unit.toJSON());
    }
    root["datapoints"] = json::array();
    for (const auto& datapoint : project.datapoints) {
        root["datapoints"].push_back(datapoint.toJSON());
    }
    const std::string text = root.dump(4, ' ', false, json::error_handler_t::replace) + "\n";
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

std::optional<ServerProject> decode(const QByteArray& bytes, QString* errorDescription) {
    if (bytes.size() > maxFileBytes) {
        store(errorDescription, QStringLiteral("file too large"));
        return std::nullopt;
    }
    try {
        const json root = parseBounded(bytes);
        JSONFields::requireObject(root, "project");
        ServerProject project;
        // Every version reads as 1; only its presence and type are checked.
        JSONFields::requiredInteger(root, "version", std::numeric_limits<std::int64_t>::min(),
                                    std::numeric_limits<std::int64_t>::max());
        project.serial = SerialConfiguration::fromJSON(requiredMember(root, "serial"));
        project.units = decodeList<ServerUnit>(root, "units", "unit");
        project.datapoints = decodeList<Datapoint>(root, "datapoints", "datapoint");
        return project;
    } catch (const std::exception& error) {
        // Parse errors, DecodingError and anything else: the whole file is refused.
        store(errorDescription, QString::fromUtf8(error.what()));
        return std::nullopt;
    }
}

std::optional<ServerProject> read(const QString& path, QString* errorDescription) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        store(errorDescription, file.errorString());
        return std::nullopt;
    }
    // One byte more than allowed tells a too-large file apart, also where size() cannot
    // (pipes, devices).
    const QByteArray bytes = file.read(maxFileBytes + 1);
    if (file.error() != QFileDevice::NoError) {
        store(errorDescription, file.errorString());
        return std::nullopt;
    }
    return decode(bytes, errorDescription);
}

bool writeAtomically(const QString& path, const QByteArray& bytes, QString* errorDescription,
                     ParentFolders parents) {
    if (parents == ParentFolders::create) {
        std::error_code error;
        std::filesystem::create_directories(
            QFile::encodeName(QFileInfo(path).absolutePath()).toStdString(), error);
        if (error) {
            store(errorDescription, QString::fromLocal8Bit(error.message()));
            return false;
        }
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        store(errorDescription, file.errorString());
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        store(errorDescription, file.errorString());
        return false;
    }
    return true;
}

std::optional<QString> autosavePath() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (folder.isEmpty()) {
        return std::nullopt;
    }
    return folder + QStringLiteral("/Corvana/project.json");
}

ServerProject loadAutosaveOrExample() {
    if (const auto path = autosavePath()) {
        if (auto project = read(*path)) {
            return std::move(*project);
        }
    }
    return ServerProject::example();
}

bool writeAutosave(const ServerProject& project) {
    const auto path = autosavePath();
    return path && writeAtomically(*path, encode(project), nullptr, ParentFolders::create);
}

} // namespace ProjectFile
