#pragma once

#include "Corvana/model/ServerState.h"

#include <QWidget>

// The server state as a small coloured circle; its text lives in the tooltip and the
// accessible name only.
class StatusDot : public QWidget {
    Q_OBJECT

public:
    explicit StatusDot(QWidget* parent = nullptr);

    ServerState state() const { return state_; }
    void setState(ServerState state);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void updateText();

    ServerState state_ = ServerState::stopped;
};
