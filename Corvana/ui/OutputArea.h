#pragma once

#include <QWidget>

class ServerModel;
class OutputTextView;

// The log text over the faint logo, with the find bar.
class OutputArea : public QWidget {
    Q_OBJECT

public:
    explicit OutputArea(ServerModel& model, QWidget* parent = nullptr);

    OutputTextView* textView() const { return textView_; }
    // Shows the find bar and puts the focus in its field.
    void showFindBar();

private:
    OutputTextView* textView_ = nullptr;
};
