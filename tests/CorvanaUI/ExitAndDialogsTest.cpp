#include "tests/CorvanaUI/UiTestSupport.h"

#include "Corvana/model/ProjectFile.h"
#include "Corvana/ui/units/UnitSidebar.h"
#include "Corvana/ui/window/DesktopApplication.h"
#include "Corvana/ui/window/WidgetDialogs.h"

#include <QAbstractButton>
#include <QFile>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

namespace {

// Answers the next message box, once it is up, by clicking the button with `text`, or by
// pressing Escape when `text` is empty. Records the box's texts for the test to check.
class MessageBoxAnswer {
public:
    explicit MessageBoxAnswer(QString text)
        : text_(std::move(text)) {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this] { answer(); });
        timer_.start();
    }

    bool answered() const { return answered_; }
    const QStringList& buttons() const { return buttons_; }
    const QString& boxText() const { return boxText_; }

private:
    void answer() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible()) {
            return;
        }
        timer_.stop();
        answered_ = true;
        boxText_ = box->text();
        for (QAbstractButton* button : box->buttons()) {
            buttons_ << button->text();
        }
        if (text_.isEmpty()) {
            QTest::keyClick(box, Qt::Key_Escape);
            return;
        }
        for (QAbstractButton* button : box->buttons()) {
            if (button->text() == text_) {
                button->click();
                return;
            }
        }
        box->reject(); // no such button: the test sees cancel and fails on the button list
    }

    QString text_;
    QTimer timer_;
    bool answered_ = false;
    QStringList buttons_;
    QString boxText_;
};

TEST(DialogAnswers, SaveQuestionMapsEachButtonToItsChoice) {
    const TestEnvironment environment;
    using Choice = ModelDialogs::SaveChoice;
    const std::pair<QString, Choice> cases[] = {
        {"Save…", Choice::save},
        {"Don't Save", Choice::dontSave},
        {"Cancel", Choice::cancel},
        {"", Choice::cancel}, // Escape
    };
    for (const auto& [button, expected] : cases) {
        WidgetDialogs dialogs;
        const MessageBoxAnswer answer(button);
        EXPECT_EQ(dialogs.askSaveCurrentProject(), expected) << button.toStdString();
        EXPECT_TRUE(answer.answered());
        EXPECT_EQ(answer.buttons().size(), 3);
    }
}

TEST(DialogAnswers, ImportQuestionMapsEachButtonToItsChoice) {
    const TestEnvironment environment;
    using Choice = ModelDialogs::ImportChoice;
    const std::pair<QString, Choice> cases[] = {
        {"Add", Choice::add},
        {"Replace", Choice::replace},
        {"Cancel", Choice::cancel},
        {"", Choice::cancel},
    };
    for (const auto& [button, expected] : cases) {
        WidgetDialogs dialogs;
        const MessageBoxAnswer answer(button);
        EXPECT_EQ(dialogs.askImport("3 datapoints found", "Line 2: <b>"), expected)
            << button.toStdString();
        EXPECT_EQ(answer.boxText(), "3 datapoints found");
        EXPECT_EQ(answer.buttons().size(), 3);
    }
}

TEST_F(UiTest, UnitRemovalQuestionNamesTheUnitAndOnlyRemoveConfirms) {
    UnitSidebar sidebar(*model);
    const std::pair<QString, bool> cases[] = {
        {"Remove Unit", true},
        {"Cancel", false},
        {"", false},
    };
    for (const auto& [button, expected] : cases) {
        const MessageBoxAnswer answer(button);
        EXPECT_EQ(sidebar.confirmRemoval(7), expected) << button.toStdString();
        EXPECT_TRUE(answer.boxText().contains('7')) << answer.boxText().toStdString();
        EXPECT_EQ(answer.buttons().size(), 2);
    }
}

TEST_F(UiTest, EndingTheEventLoopWritesThePendingAutosave) {
    DesktopApplication::saveOnExit(*model);
    SerialConfiguration serial = model->serial();
    serial.baudRate = 4800; // schedules an autosave a second later
    model->setSerial(serial);
    const auto path = ProjectFile::autosavePath();
    ASSERT_TRUE(path);
    EXPECT_FALSE(QFile::exists(*path));

    QTimer::singleShot(0, [] { QCoreApplication::quit(); });
    QCoreApplication::exec();

    const auto project = ProjectFile::read(*path);
    ASSERT_TRUE(project);
    EXPECT_EQ(project->serial.baudRate, 4800);
}

} // namespace
