#pragma once

#include <QTextDocument>
#include <QWidget>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QToolButton;

// The log's find bar: searches the text as the user types, case-insensitively and wrapping
// around. Enter finds the next match, Shift+Enter the previous one, Escape closes the bar and
// gives the focus back to the text.
class FindBar : public QWidget {
    Q_OBJECT

public:
    explicit FindBar(QPlainTextEdit& text, QWidget* parent = nullptr);

    // Shows the bar with its field focused and its text selected, ready to be typed over.
    void open();
    // Hides the bar and returns the focus to the text.
    void dismiss();
    // Select the next or previous match; false (and "Not found") when there is none.
    bool findNext();
    bool findPrevious();

    QLineEdit* field() const { return field_; }
    bool showsNotFound() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // from: where the search starts; the current match itself is a candidate while typing, so a
    // longer term grows the match in place.
    bool find(QTextDocument::FindFlags flags, bool fromMatchStart);

    QPlainTextEdit& text_;
    QLineEdit* field_;
    QToolButton* previous_;
    QToolButton* next_;
    QLabel* notFound_;
    QToolButton* close_;
};
