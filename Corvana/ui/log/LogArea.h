#pragma once

#include <QWidget>

class FindBar;
class LogoBackdrop;
class ServerModel;
class LogTextView;

// The log text over the faint logo, with the find bar.
class LogArea : public QWidget {
    Q_OBJECT

public:
    explicit LogArea(ServerModel& model, QWidget* parent = nullptr);

    LogTextView* textView() const { return textView_; }
    FindBar* findBar() const { return findBar_; }
    LogoBackdrop* backdrop() const { return backdrop_; }
    // Shows the find bar and puts the focus in its field.
    void showFindBar();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    LogTextView* textView_ = nullptr;
    FindBar* findBar_ = nullptr;
    LogoBackdrop* backdrop_ = nullptr;
};
