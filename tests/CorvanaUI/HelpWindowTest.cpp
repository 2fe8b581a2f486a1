#include "tests/CorvanaUI/UiTestSupport.h"

#include "Corvana/ui/help/HelpRendering.h"
#include "Corvana/ui/help/HelpWindow.h"

#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QTextBrowser>

#include <string>
#include <vector>

namespace {

class HelpWindowTest : public UiTest {
protected:
    QLineEdit* searchField() { return window.findChild<QLineEdit*>(QStringLiteral("helpSearch")); }
    QListWidget* topicList() {
        return window.findChild<QListWidget*>(QStringLiteral("helpTopics"));
    }
    QTextBrowser* detail() { return window.findChild<QTextBrowser*>(QStringLiteral("helpDetail")); }

    std::vector<std::string> listedIds() {
        std::vector<std::string> ids;
        for (int row = 0; row < topicList()->count(); ++row) {
            const QVariant id = topicList()->item(row)->data(HelpWindow::topicIdRole);
            if (id.isValid()) {
                ids.push_back(id.toString().toStdString());
            }
        }
        return ids;
    }

    HelpWindow window;
};

TEST_F(HelpWindowTest, SearchListsTheMatchingTopicsLive) {
    struct Case {
        const char* search;
        std::vector<std::string> ids;
    };
    const std::vector<Case> cases = {
        {"crc", {"units", "faults", "log", "master", "network"}},
        {"   ",
         {"start", "units", "faults", "datapoints", "simulation", "csv", "log", "master", "network",
          "troubleshooting", "scripts", "shortcuts"}},
        {"8N2", {"troubleshooting"}},
        {"",
         {"start", "units", "faults", "datapoints", "simulation", "csv", "log", "master", "network",
          "troubleshooting", "scripts", "shortcuts"}},
    };
    for (const auto& c : cases) {
        searchField()->setText(QString::fromUtf8(c.search));
        EXPECT_EQ(listedIds(), c.ids) << c.search;
    }
}

TEST_F(HelpWindowTest, AWordFoundNowhereShowsAnUnselectableNotice) {
    searchField()->setText(QStringLiteral("zyxwv"));
    ASSERT_EQ(topicList()->count(), 1);
    const QListWidgetItem* notice = topicList()->item(0);
    EXPECT_EQ(notice->text(), QStringLiteral("No topics found"));
    EXPECT_FALSE(notice->flags() & Qt::ItemIsSelectable);
    EXPECT_FALSE(notice->flags() & Qt::ItemIsEnabled);
    EXPECT_TRUE(listedIds().empty());
}

TEST_F(HelpWindowTest, SelectionFollowsTheUserAndTheFilter) {
    EXPECT_EQ(window.viewState().selection, "start");
    EXPECT_TRUE(detail()->toPlainText().startsWith(QStringLiteral("Getting started")));

    topicList()->setCurrentRow(6); // log
    EXPECT_EQ(window.viewState().selection, "log");
    EXPECT_TRUE(detail()->toPlainText().startsWith(QStringLiteral("Log")));

    // Still listed: the selection stays; no longer listed: the first listed topic.
    searchField()->setText(QStringLiteral("crc"));
    EXPECT_EQ(window.viewState().selection, "log");
    EXPECT_EQ(topicList()->currentItem()->data(HelpWindow::topicIdRole).toString(), "log");
    searchField()->setText(QStringLiteral("8N2"));
    EXPECT_EQ(window.viewState().selection, "troubleshooting");
    EXPECT_TRUE(detail()->toPlainText().startsWith(QStringLiteral("Troubleshooting")));
}

TEST_F(HelpWindowTest, WindowUsesTheTextsOfTheLanguage) {
    EXPECT_EQ(window.objectName(), QStringLiteral("help"));
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Corvana Help"));
    EXPECT_EQ(searchField()->placeholderText(), QStringLiteral("Search help"));

    const L10n::ScopedLanguage german(Language::de);
    const HelpWindow germanWindow;
    EXPECT_EQ(germanWindow.windowTitle().toStdString(),
              HelpTexts::forLanguage(Language::de).windowTitle);
    EXPECT_NE(germanWindow.windowTitle(), window.windowTitle());
}

TEST(HelpRenderingTest, MarkupIsAppliedAfterEscaping) {
    struct Case {
        const char* text;
        const char* contains;
        const char* absent;
    };
    const std::vector<Case> cases = {
        {"a **bold** word", "a <b>bold</b> word", "**"},
        {"try `8E1` first", ">8E1</span> first", "`"},
        {"**`8N1`** too", "<b><span", "`"},
        {"<b>not bold</b> & more", "&lt;b&gt;not bold&lt;/b&gt; &amp; more", "<b>"},
        {"2 ** 3 and a ` alone", "2 ** 3 and a ` alone", "<b>"},
    };
    const QPalette palette = QApplication::palette();
    for (const auto& c : cases) {
        const QString html = HelpRendering::inlineHtml(c.text, palette);
        EXPECT_TRUE(html.contains(QString::fromUtf8(c.contains)))
            << c.text << " → " << html.toStdString();
        EXPECT_FALSE(html.contains(QString::fromUtf8(c.absent)))
            << c.text << " → " << html.toStdString();
    }
}

TEST(HelpRenderingTest, AMissingScreenshotLeavesItsCaption) {
    const auto block = HelpBlock::screenshot("no-such-image", "Caption **here**");
    const HelpTopic topic{"t", "Title", "cpu", {block}};
    const QString html = HelpRendering::topicHtml(topic, "Tip", QApplication::palette(), 600);
    EXPECT_TRUE(html.contains(QStringLiteral("Caption <b>here</b>")));
    EXPECT_FALSE(html.contains(QStringLiteral("<img")));
}

} // namespace
