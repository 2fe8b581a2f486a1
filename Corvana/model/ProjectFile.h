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
// required, "seed" and "network" optional, and every record must decode; otherwise nothing is
// returned and, when errorDescription is given, it receives a short English reason for the log or a
// terminal. Units and datapoints keep the file's order.
std::optional<ServerProject> decode(const QByteArray& bytes, QString* errorDescription = nullptr);

// The bytes of a regular file (symlinks followed) of at most maxBytes; a FIFO, a device or a
// folder is refused without being opened for reading, so nothing blocks. On failure stores the
// reason.
std::optional<QByteArray> readRegularFile(const QString& path, qint64 maxBytes,
                                          QString* errorDescription = nullptr);

// Reads at most maxFileBytes of a regular file and decodes them.
std::optional<ServerProject> read(const QString& path, QString* errorDescription = nullptr);

enum class ParentFolders { mustExist, create };

// Writes through a temporary file renamed into place, so a crash or kill leaves either the old
// file or the whole new one. On failure returns false and stores the system's description.
bool writeAtomically(const QString& path, const QByteArray& bytes, QString* errorDescription,
                     ParentFolders parents = ParentFolders::mustExist);

// Unsets XDG_DATA_HOME and XDG_CONFIG_HOME when they hold a relative path, which the XDG rules
// say to ignore (Qt would take it relative to the current folder). Call before anything reads
// the preferences or the autosave.
void ignoreRelativeXDGFolders();

// "Corvana/project.json" in the per-user data folder ($XDG_DATA_HOME, else ~/.local/share);
// none when the platform names no such folder.
std::optional<QString> autosavePath();

struct LoadedAutosave {
    ServerProject project;
    // Set when an autosave file was there but could not be read or decoded: the path it was
    // moved to ("project.json.unreadable-2026-12-07T101500"), or its own path when even the move
    // failed. Either way it must not be written over.
    std::optional<QString> unreadable;
    bool movedAside = false;
};

// The autosave project, or the example when there is no autosave file or it does not read or
// decode. An unreadable file is kept: moved aside next to itself, never deleted.
LoadedAutosave loadAutosaveOrExample();

// Encodes the project and writes it to the autosave file, creating its folders; false when there
// is no autosave location or writing failed. The file at the path is replaced, never written
// through: a symlink there is replaced by the file, its target stays untouched.
bool writeAutosave(const ServerProject& project);

} // namespace ProjectFile
