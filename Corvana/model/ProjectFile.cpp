#include "Corvana/model/ProjectFile.h"

#include "ModbusCore/JSONFields.h"

#include "ModbusSerial/FileDescriptor.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <limits>
#include <string>
#include <system_error>

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ProjectFile {

namespace {

using nlohmann::json;

// A project nests four levels deep (datapoints, a datapoint, its simulation, a value). A saved
// project spends far more than 16 bytes of text on each value (its key, indentation); only
// garbage like [0,0,0,…] comes close, and would cost 16 bytes of tree per 2 of text.
constexpr JSONFields::ParseLimits parseLimits{.maxDepth = 16, .maxValues = maxFileBytes / 16};

// Kept files of the same second get "-2", "-3", …; beyond that something else is wrong.
constexpr int maxAsideAttempts = 10;

void store(QString* errorDescription, const QString& text) {
    if (errorDescription != nullptr) {
        *errorDescription = text;
    }
}

const json& requiredMember(const json& root, const char* key) {
    auto it = root.find(key);
    if (it == root.end() || it->is_null()) {
        throw DecodingError(std::string("missing \"") + key + "\"");
    }
    return *it;
}

template <class Record>
std::vector<Record> decodeList(const json& root, const char* key, const char* what,
                               std::size_t maxCount) {
    const json& list = requiredMember(root, key);
    if (!list.is_array()) {
        throw DecodingError(std::string("\"") + key + "\" must be an array");
    }
    if (list.size() > maxCount) {
        throw DecodingError(std::string("more than ") + std::to_string(maxCount) + " in \"" + key +
                            "\"");
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
    if (project.seed) {
        root["seed"] = *project.seed;
    }
    // Only when changed, so projects that never served the network keep their bytes.
    if (project.network != NetworkConfiguration{}) {
        root["network"] = project.network.toJSON();
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
        const json root = JSONFields::parseBounded(
            std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())),
            parseLimits);
        JSONFields::requireObject(root, "project");
        ServerProject project;
        // Every version reads as 1; only its presence and type are checked.
        JSONFields::requiredInteger(root, "version", std::numeric_limits<std::int64_t>::min(),
                                    std::numeric_limits<std::int64_t>::max());
        project.serial = SerialConfiguration::fromJSON(requiredMember(root, "serial"));
        project.units = decodeList<ServerUnit>(root, "units", "unit", maxDatapoints);
        project.datapoints = decodeList<Datapoint>(root, "datapoints", "datapoint", maxDatapoints);
        project.seed =
            JSONFields::optionalInteger(root, "seed", std::numeric_limits<std::int64_t>::min(),
                                        std::numeric_limits<std::int64_t>::max());
        if (const auto network = root.find("network");
            network != root.end() && !network->is_null()) {
            project.network = NetworkConfiguration::fromJSON(*network);
        }
        return project;
    } catch (const std::exception& error) {
        // Parse errors, DecodingError and anything else: the whole file is refused.
        store(errorDescription, QString::fromUtf8(error.what()));
        return std::nullopt;
    }
}

std::optional<QByteArray> readRegularFile(const QString& path, qint64 maxBytes,
                                          QString* errorDescription) {
    const QByteArray name = QFile::encodeName(path);
    const auto fail = [&](int code) {
        store(errorDescription, QString::fromLocal8Bit(std::strerror(code)));
        return std::nullopt;
    };
    // Checked before opening: opening a FIFO for reading waits for a writer, and opening a
    // device can act on it. The descriptor is checked again in case the file was swapped.
    struct stat status {};
    if (::stat(name.constData(), &status) != 0) {
        return fail(errno);
    }
    if (!S_ISREG(status.st_mode)) {
        store(errorDescription, QStringLiteral("not a regular file"));
        return std::nullopt;
    }
    const FileDescriptor fd(::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd.isOpen()) {
        return fail(errno);
    }
    if (::fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode)) {
        store(errorDescription, QStringLiteral("not a regular file"));
        return std::nullopt;
    }
    // One byte more than allowed tells a too-large file apart, also one still growing.
    QByteArray bytes;
    bytes.resize(std::min<qint64>(status.st_size, maxBytes) + 1);
    qint64 length = 0;
    for (;;) {
        if (length == bytes.size()) {
            if (length > maxBytes) {
                store(errorDescription, QStringLiteral("file too large"));
                return std::nullopt;
            }
            bytes.resize(std::min<qint64>(length * 2, maxBytes + 1));
        }
        const ssize_t count = ::read(fd.get(), bytes.data() + length,
                                     static_cast<std::size_t>(bytes.size() - length));
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            return fail(errno);
        }
        if (count == 0) {
            break;
        }
        length += count;
    }
    bytes.truncate(length);
    return bytes;
}

std::optional<ServerProject> read(const QString& path, QString* errorDescription) {
    const auto bytes = readRegularFile(path, maxFileBytes, errorDescription);
    if (!bytes) {
        return std::nullopt;
    }
    return decode(*bytes, errorDescription);
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

void ignoreRelativeXDGFolders() {
    for (const char* name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && value[0] != '/') {
            ::unsetenv(name);
        }
    }
}

std::optional<QString> autosavePath() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (folder.isEmpty()) {
        return std::nullopt;
    }
    return folder + QStringLiteral("/Corvana/project.json");
}

LoadedAutosave loadAutosaveOrExample() {
    LoadedAutosave loaded{ServerProject::example(), std::nullopt, false};
    const auto path = autosavePath();
    if (!path) {
        return loaded;
    }
    struct stat status {};
    if (::lstat(QFile::encodeName(*path).constData(), &status) != 0) {
        return loaded; // no autosave yet
    }
    if (auto project = read(*path)) {
        loaded.project = std::move(*project);
        return loaded;
    }
    // Perhaps written by a newer version, perhaps damaged: either way the user's work, which the
    // next autosave must not replace.
    const QString stamp =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddTHHmmss"));
    const QString aside = *path + QStringLiteral(".unreadable-") + stamp;
    for (int attempt = 1; attempt <= maxAsideAttempts; ++attempt) {
        const QString candidate =
            attempt == 1 ? aside : aside + QStringLiteral("-") + QString::number(attempt);
        // RENAME_NOREPLACE: never over an earlier kept file.
        if (::renameat2(AT_FDCWD, QFile::encodeName(*path).constData(), AT_FDCWD,
                        QFile::encodeName(candidate).constData(), RENAME_NOREPLACE) == 0) {
            loaded.unreadable = candidate;
            loaded.movedAside = true;
            return loaded;
        }
        if (errno != EEXIST) {
            break;
        }
    }
    loaded.unreadable = *path;
    return loaded;
}

bool writeAutosave(const ServerProject& project) {
    const auto path = autosavePath();
    if (!path) {
        return false;
    }
    const QByteArray bytes = encode(project);
    const QString folder = QFileInfo(*path).absolutePath();
    std::error_code error;
    std::filesystem::create_directories(QFile::encodeName(folder).toStdString(), error);
    if (error) {
        return false;
    }
    // Our own temporary file in the same folder, renamed over the path: rename replaces a
    // symlink itself, where QSaveFile would write to the file it points to.
    QByteArray temporary = QFile::encodeName(*path) + ".XXXXXX";
    FileDescriptor fd(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!fd.isOpen()) {
        return false;
    }
    qint64 written = 0;
    while (written < bytes.size()) {
        const ssize_t count = ::write(fd.get(), bytes.constData() + written,
                                      static_cast<std::size_t>(bytes.size() - written));
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            break;
        }
        written += count;
    }
    const bool complete = written == bytes.size() && ::fsync(fd.get()) == 0;
    fd.reset();
    if (!complete || ::rename(temporary.constData(), QFile::encodeName(*path).constData()) != 0) {
        ::unlink(temporary.constData());
        return false;
    }
    return true;
}

} // namespace ProjectFile
