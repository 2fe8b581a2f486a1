#pragma once

#include <QString>

#include <array>
#include <cstddef>

// The per-user preferences the model keeps: the port chosen last, the log options and whether
// scripts may control the application. Keys, types
// and defaults live in one table (Preferences.cpp). Reading never writes; a change is written at
// once unless the owner is not persistent (the headless server).
class Preferences {
public:
    enum class Flag : std::size_t { timestamps, rawFrames, busTraffic, autoscroll, allowControl };

    // Every value at its default.
    Preferences();

    // Reads every key; an absent or mistyped value gives its default.
    void read();
    void setPersistent(bool persistent) { persistent_ = persistent; }

    const QString& port() const { return port_; }
    bool flag(Flag flag) const { return flags_[static_cast<std::size_t>(flag)]; }
    void setPort(const QString& path);
    void setFlag(Flag flag, bool on);

private:
    static constexpr std::size_t flagCount = 5;

    QString port_; // empty when none was chosen
    std::array<bool, flagCount> flags_;
    bool persistent_ = true;
};
