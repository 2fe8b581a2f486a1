#pragma once

#include "Corvana/model/ServerProject.h"

#include <QByteArray>
#include <QString>

#include <optional>

// The project's JSON file: its encoding, safe writing, and the autosave file the model keeps.
namespace ProjectFile {

// The name offered when the user saves a project somewhere.
inline constexpr const char* proposedFileName = "corvana.json";

// Files above this size are refused unread: no real project comes near it, and it keeps a
// mistaken pick (a disk image, /dev/zero) from taking the memory.
inline constexpr qint64 maxFileBytes = 64 * 1024 * 1024;

// UTF-8 JSON, four-space indented, keys of every object sorted, version 1, ending in a newline.
// Never fails: text that is not UTF-8 (none comes from the UI) is replaced by U+FFFD.
QByteArray encode(const ServerProject& project);

// All of "version" (an integer, its value ignored), "serial", "units" and "datapoints" are
// required, and every record must decode; otherwise nothing is returned and, when
// errorDescription is given, it receives a short English reason for the log or a terminal.
// Units and datapoints keep the file's order.
std::optional<ServerProject> decode(const QByteArray& bytes, QString* errorDescription = nullptr);

// Reads at most maxFileBytes of the file and decodes them.
std::optional<ServerProject> read(const QString& path, QString* errorDescription = nullptr);

enum class ParentFolders { mustExist, create };

// Writes through a temporary file renamed into place, so a crash or kill leaves either the old
// file or the whole new one. On failure returns false and stores the system's description.
bool writeAtomically(const QString& path, const QByteArray& bytes, QString* errorDescription,
                     ParentFolders parents = ParentFolders::mustExist);

// "Corvana/project.json" in the per-user data folder ($XDG_DATA_HOME, else ~/.local/share);
// none when the platform names no such folder.
std::optional<QString> autosavePath();

// The autosave project, or the example when there is no autosave file or it does not read or
// decode. Writes nothing.
ServerProject loadAutosaveOrExample();

// Encodes and writes the project to the autosave file, creating its folders; false when there
// is no autosave location or writing failed.
bool writeAutosave(const ServerProject& project);

} // namespace ProjectFile
