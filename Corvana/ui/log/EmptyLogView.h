#pragma once

#include <QWidget>

class QLabel;
class QPushButton;
class QVBoxLayout;
class ServerModel;

// What the log area shows while the log is empty and the server stopped: whether an adapter is
// there, what to do next and, when the server can start, a button for it. A compact variant
// without the icon is used when the full one does not fit the height.
class EmptyLogView : public QWidget {
    Q_OBJECT

public:
    explicit EmptyLogView(ServerModel& model, QWidget* parent = nullptr);

    bool isCompact() const { return compact_; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void updateTexts();
    void updateStartButton();
    void applyColours();
    void chooseVariant();
    int cardWidth() const;
    // Height the full variant needs at the current width.
    int fullHeight() const;

    ServerModel& model_;
    QWidget* card_;
    QVBoxLayout* cardLayout_;
    QLabel* icon_;
    QLabel* title_;
    QLabel* message_;
    QPushButton* startButton_;
    bool compact_ = false;
};
