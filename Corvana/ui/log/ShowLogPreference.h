#pragma once

#include <QObject>
#include <QSettings>

// The per-user "showLog" preference: whether the log pane is visible. False until the user
// turns the log on; the log button and the menu toggle share one instance.
class ShowLogPreference : public QObject {
    Q_OBJECT

public:
    explicit ShowLogPreference(QObject* parent = nullptr)
        : QObject(parent)
        , on_(QSettings().value(key, false).toBool()) {}

    bool isOn() const { return on_; }

    void setOn(bool on) {
        if (on == on_) {
            return;
        }
        on_ = on;
        QSettings().setValue(key, on);
        emit changed(on);
    }

    static constexpr const char* key = "showLog";

signals:
    void changed(bool on);

private:
    bool on_;
};
