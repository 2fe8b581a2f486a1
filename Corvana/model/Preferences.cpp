#include "Corvana/model/Preferences.h"

#include <QSettings>
#include <QVariant>

namespace {

constexpr const char* portKey = "port"; // text

struct FlagEntry {
    const char* key;
    bool fallback; // when absent or not a boolean
};
// In the order of Preferences::Flag.
constexpr std::array<FlagEntry, 5> flagTable{{
    {"timestamps", true},
    {"rawFrames", false},
    {"busTraffic", false},
    {"autoscroll", true},
    {"allowControl", false}, // the control socket opens only when the user asked for it
}};

QString readText(const QSettings& settings, const char* key) {
    const QVariant value = settings.value(key);
    return value.typeId() == QMetaType::QString ? value.toString() : QString();
}

bool readFlag(const QSettings& settings, const FlagEntry& entry) {
    const QVariant value = settings.value(entry.key);
    if (value.typeId() == QMetaType::Bool) {
        return value.toBool();
    }
    // The INI backend hands booleans back as text.
    if (value.typeId() == QMetaType::QString) {
        const QString text = value.toString();
        if (text == QLatin1String("true") || text == QLatin1String("false")) {
            return text == QLatin1String("true");
        }
    }
    return entry.fallback;
}

} // namespace

Preferences::Preferences() {
    static_assert(flagTable.size() == flagCount);
    for (std::size_t index = 0; index < flagCount; ++index) {
        flags_[index] = flagTable[index].fallback;
    }
}

void Preferences::read() {
    const QSettings settings;
    port_ = readText(settings, portKey);
    for (std::size_t index = 0; index < flagCount; ++index) {
        flags_[index] = readFlag(settings, flagTable[index]);
    }
}

void Preferences::setPort(const QString& path) {
    port_ = path;
    if (persistent_) {
        QSettings().setValue(portKey, path);
    }
}

void Preferences::setFlag(Flag flag, bool on) {
    const auto index = static_cast<std::size_t>(flag);
    flags_[index] = on;
    if (persistent_) {
        QSettings().setValue(flagTable[index].key, on);
    }
}
