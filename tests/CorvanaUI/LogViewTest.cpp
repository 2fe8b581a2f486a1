#include "tests/CorvanaUI/UiTestSupport.h"

#include "Corvana/ui/common/Logo.h"
#include "Corvana/ui/common/UiSupport.h"
#include "Corvana/ui/log/FindBar.h"
#include "Corvana/ui/log/LogArea.h"
#include "Corvana/ui/log/LogTextView.h"
#include "Corvana/ui/log/LogoBackdrop.h"

#include <QAccessible>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>

#include <gtest/gtest.h>

namespace {

using Kind = LogSegment::Kind;

class LogViewTest : public UiTest {
protected:
    LogViewTest() {
        area.resize(700, 240);
        area.show();
    }

    LogTextView& view() { return *area.textView(); }
    // The line number of the first line in sight, as each test line starts with it.
    std::string topLine() {
        return view().cursorForPosition(QPoint(8, 8)).block().text().toStdString();
    }
    // The view shows the log without its last newline and the "\r" of a "\r\n" as an invisible
    // zero-width space.
    std::string bufferText() {
        return model->logBuffer()
            .plainText()
            .chopped(1)
            .replace(QStringLiteral("\r\n"), QStringLiteral("\u200B\n"))
            .toStdString();
    }
    void appendNumbered(int from, int count) {
        for (int n = from; n < from + count; ++n) {
            model->appendLog(
                {{Kind::request,
                  QString::number(n) + QStringLiteral(" → 1 Read holding registers 0 ")},
                 {Kind::meta, QStringLiteral("(10)\r\nname %1 from a CSV cell").arg(n)},
                 {Kind::response, QString(300, u'x')}});
        }
    }

    LogArea area{*model};
};

TEST_F(LogViewTest, MirrorsTheBufferThroughTrimsAndClearWithoutRebuilding) {
    model->setShowTimestamps(false);
    int trims = 0;
    QObject::connect(&model->logBuffer(), &LogBuffer::trimmed, [&trims](qsizetype) { ++trims; });
    // About 370 characters a line: one trim, which keeps the line being read.
    const int lines = static_cast<int>((LogBuffer::maxCharacters + 100'000) / 370);
    appendNumbered(0, 2000);
    // Reading an older line, which survives the trim: it stays in sight.
    model->setAutoscroll(false);
    view().verticalScrollBar()->setValue(view().verticalScrollBar()->maximum() - 100);
    const std::string reading = topLine();
    appendNumbered(2000, lines - 2000);

    ASSERT_EQ(trims, 1);
    EXPECT_EQ(view().toPlainText().toStdString(), bufferText());
    EXPECT_EQ(topLine(), reading);
    EXPECT_EQ(view().rebuildCount(), 1);

    model->clearLog();
    EXPECT_TRUE(view().toPlainText().isEmpty());
    appendNumbered(0, 1);
    EXPECT_EQ(view().toPlainText().toStdString(), bufferText());
}

TEST_F(LogViewTest, AutoscrollFollowsTheEndOnlyWhenOn) {
    appendNumbered(0, 300);
    QScrollBar* scroller = view().verticalScrollBar();
    EXPECT_TRUE(processEventsUntil([&] { return scroller->value() == scroller->maximum(); }));

    model->setAutoscroll(false);
    scroller->setValue(50);
    const std::string reading = topLine();
    appendNumbered(300, 300);
    QCoreApplication::processEvents();
    EXPECT_EQ(scroller->value(), 50);
    EXPECT_EQ(topLine(), reading);

    model->setAutoscroll(true);
    EXPECT_EQ(scroller->value(), scroller->maximum());
}

TEST_F(LogViewTest, ColoursEachKindAndFollowsALightDarkSwitch) {
    model->setShowTimestamps(false);
    model->appendLog({{Kind::request, QStringLiteral("req ")},
                      {Kind::warning, QStringLiteral("warn ")},
                      {Kind::error, QStringLiteral("err ")},
                      {Kind::system, QStringLiteral("sys")}});
    const struct {
        int position;
        QColor (*colour)(const QPalette&);
        int weight;
    } cases[] = {{1, Ui::Colour::blue, QFont::Normal},
                 {5, Ui::Colour::orange, QFont::Normal},
                 {10, Ui::Colour::red, QFont::Normal},
                 {15, Ui::Colour::teal, QFont::Medium}};
    QPalette dark = view().palette();
    dark.setColor(QPalette::Window, Qt::black);
    dark.setColor(QPalette::WindowText, Qt::white);
    for (const QPalette& palette : {view().palette(), dark}) {
        view().setPalette(palette);
        for (const auto& c : cases) {
            QTextCursor cursor(view().document());
            cursor.setPosition(c.position);
            EXPECT_EQ(cursor.charFormat().foreground().color(), c.colour(palette)) << c.position;
            EXPECT_EQ(cursor.charFormat().fontWeight(), c.weight) << c.position;
        }
    }
    EXPECT_EQ(view().rebuildCount(), 2);
}

TEST_F(LogViewTest, FindBarSearchesAsTheUserTypes) {
    appendNumbered(0, 3);
    QTest::keyClick(&view(), Qt::Key_F, Qt::ControlModifier);
    FindBar& bar = *area.findBar();
    ASSERT_TRUE(bar.isVisible());

    QTest::keyClicks(bar.field(), QStringLiteral("READ"));
    EXPECT_EQ(view().textCursor().selectedText(), QStringLiteral("Read"));
    EXPECT_FALSE(bar.showsNotFound());
    const int first = view().textCursor().selectionStart();
    QTest::keyClick(bar.field(), Qt::Key_Return);
    EXPECT_GT(view().textCursor().selectionStart(), first);
    QTest::keyClick(bar.field(), Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_EQ(view().textCursor().selectionStart(), first);

    QTest::keyClicks(bar.field(), QStringLiteral("zz"));
    EXPECT_TRUE(bar.showsNotFound());
    QTest::keyClick(bar.field(), Qt::Key_Escape);
    EXPECT_FALSE(bar.isVisible());
}

TEST(LogoBackdrop, SizesTheLogoAndStaysOutOfTheWay) {
    EXPECT_EQ(LogoBackdrop::logoRect({1000, 400}), QRect(380, 80, 240, 240));
    EXPECT_EQ(LogoBackdrop::logoRect({2000, 1200}), QRect(770, 370, 460, 460));

    LogoBackdrop backdrop;
    EXPECT_TRUE(backdrop.testAttribute(Qt::WA_TransparentForMouseEvents));
    EXPECT_TRUE(QAccessible::queryAccessibleInterface(&backdrop)->state().invisible);

    const QImage logo = Logo::pixmap(16).toImage();
    EXPECT_EQ(qAlpha(logo.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(logo.pixel(8, 2)), 255);
}

} // namespace
