#pragma once

#include <QFrame>

#include <vector>

class QCheckBox;
class QLabel;
class QVBoxLayout;
class ServerModel;

// The log options popover: autoscroll, timestamps, raw frames and bus traffic, each bound both
// ways to the model's option of the same name.
class LogOptionsView : public QFrame {
    Q_OBJECT

public:
    explicit LogOptionsView(ServerModel& model, QWidget* parent = nullptr);

protected:
    void changeEvent(QEvent* event) override;

private:
    void addToggle(const char* objectName, const QString& text, bool (ServerModel::*get)() const,
                   void (ServerModel::*set)(bool), void (ServerModel::*changed)());
    void addHint(const QString& text);
    void applyHintColour();

    ServerModel& model_;
    QVBoxLayout* layout_;
    std::vector<QLabel*> hints_;
};
