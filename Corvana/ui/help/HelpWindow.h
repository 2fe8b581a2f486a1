#pragma once

#include "Localization/HelpContent.h"
#include "Localization/HelpTopic.h"
#include "Localization/HelpViewState.h"

#include <QWidget>

#include <vector>

class QLineEdit;
class QListWidget;
class QTextBrowser;

// The help topics with their search field and detail pane, in a window of its own.
class HelpWindow : public QWidget {
    Q_OBJECT

public:
    explicit HelpWindow(QWidget* parent = nullptr);

    // The item data role of the topic list that holds a topic's id.
    static constexpr int topicIdRole = Qt::UserRole;

    const HelpViewState& viewState() const { return state_; }

protected:
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void search(const QString& text);
    void select(const std::string& id);
    void fillList(const std::vector<HelpTopic>& visible);
    void renderDetail();
    const HelpTopic* selectedTopic() const;
    int imageWidth() const;

    std::vector<HelpTopic> topics_;
    HelpTexts texts_;
    HelpViewState state_;
    int renderedImageWidth_ = -1;

    QLineEdit* search_ = nullptr;
    QListWidget* list_ = nullptr;
    QTextBrowser* detail_ = nullptr;
};
