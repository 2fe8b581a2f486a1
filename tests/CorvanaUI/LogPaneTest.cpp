#include "tests/CorvanaUI/UiTestSupport.h"

#include "Corvana/ui/common/NoticeBanner.h"
#include "Corvana/ui/log/EmptyLogView.h"
#include "Corvana/ui/log/LogArea.h"
#include "Corvana/ui/log/LogOptionsView.h"
#include "Corvana/ui/log/LogPane.h"
#include "Corvana/ui/log/ShowLogPreference.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {

class LogPaneTest : public UiTest {
protected:
    template <class T = QWidget>
    T* child(const char* name) {
        auto* found = pane.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    bool shown(const char* name) { return child(name)->isVisibleTo(&pane); }

    ShowLogPreference showLog;
    LogPane pane{*model, showLog};
};

TEST_F(LogPaneTest, CountersAndSaveFollowTheLog) {
    auto* save = child<QPushButton>("saveLogButton");
    model->handleEvent(ServerEvent::request(1, {3, 0, 0, 0, 1}, {1, 3, 0, 0, 0, 1, 0x84, 0x0A}));
    EXPECT_EQ(child<QLabel>("counters")->text(),
              "Requests 1 · Responses 0 · Exceptions 0 · Other units 0 · Invalid 0");
    EXPECT_TRUE(save->isEnabled());

    child<QPushButton>("clearLogButton")->click();
    EXPECT_EQ(child<QLabel>("counters")->text(),
              "Requests 0 · Responses 0 · Exceptions 0 · Other units 0 · Invalid 0");
    EXPECT_FALSE(save->isEnabled());
    model->appendLog({LogSegment{LogSegment::Kind::text, "line"}});
    EXPECT_TRUE(save->isEnabled());
}

TEST_F(LogPaneTest, BannersFollowTheModelAndTheNoiseHintCanBeDismissed) {
    EXPECT_FALSE(shown("serialLostBanner"));
    EXPECT_FALSE(shown("noiseBanner"));
    for (int i = 0; i < 3; ++i) {
        model->handleEvent(ServerEvent::garbage({0x01, 0x02}));
    }
    ASSERT_TRUE(shown("noiseBanner")); // with the log hidden too
    ASSERT_FALSE(showLog.isOn());
    EXPECT_EQ(child<NoticeBanner>("serialLostBanner")->dismissButton(), nullptr);

    child<NoticeBanner>("noiseBanner")->dismissButton()->click();
    EXPECT_FALSE(shown("noiseBanner"));
    EXPECT_FALSE(model->showNoiseHint());

    model->handleEvent(ServerEvent::serialLost("/dev/ttyUSB0"));
    EXPECT_TRUE(shown("serialLostBanner"));
    model->stop();
    EXPECT_FALSE(shown("serialLostBanner"));
}

TEST_F(LogPaneTest, EmptyLogNamesTheAdapterSituationAndOffersStartWhenPossible) {
    struct Case {
        std::vector<SerialPortInfo> ports;
        bool withUnits;
        QString title;
        bool startButton;
    };
    const Case cases[] = {
        {{}, true, "No USB adapter found", false},
        {{builtInPort("/dev/ttyS0")}, true, "Ready to start", false}, // a port, just no adapter
        {{builtInPort("/dev/ttyS0"), usbPort("/dev/ttyUSB0")}, true, "Ready to start", true},
        {{usbPort("/dev/ttyUSB0")}, false, "Ready to start", false},
    };
    showLog.setOn(true);
    const auto units = model->units();
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        model->setUnits(c.withUnits ? units : std::vector<ServerUnit>{});
        setPorts(c.ports);
        auto* body = child<QStackedWidget>("logBody");
        EXPECT_EQ(body->currentWidget(), child<EmptyLogView>("emptyLogView"));
        EXPECT_EQ(child<QLabel>("emptyLogTitle")->text(), c.title);
        EXPECT_EQ(shown("startServerButton"), c.startButton);
    }
    model->appendLog({LogSegment{LogSegment::Kind::text, "line"}});
    EXPECT_EQ(child<QStackedWidget>("logBody")->currentWidget(), pane.logArea());
}

TEST_F(LogPaneTest, LogToggleAndPreferenceShowAndHideTheBody) {
    auto* toggle = child<QToolButton>("logToggle");
    EXPECT_FALSE(shown("logBody"));
    toggle->click();
    EXPECT_TRUE(showLog.isOn());
    EXPECT_TRUE(shown("logBody"));
    showLog.setOn(false);
    EXPECT_FALSE(toggle->isChecked());
    EXPECT_FALSE(shown("logBody"));
    pane.showFindBar();
    EXPECT_TRUE(toggle->isChecked());
    EXPECT_TRUE(shown("logBody"));
}

TEST_F(LogPaneTest, OptionTogglesAreBoundToTheModelBothWays) {
    struct Case {
        const char* name;
        bool (ServerModel::*get)() const;
        void (ServerModel::*set)(bool);
    };
    const Case cases[] = {
        {"autoscrollToggle", &ServerModel::autoscroll, &ServerModel::setAutoscroll},
        {"timestampsToggle", &ServerModel::showTimestamps, &ServerModel::setShowTimestamps},
        {"rawFramesToggle", &ServerModel::showRawFrames, &ServerModel::setShowRawFrames},
        {"busTrafficToggle", &ServerModel::showBusTraffic, &ServerModel::setShowBusTraffic},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto* toggle = child<QCheckBox>(c.name);
        const bool before = (*model.*c.get)();
        EXPECT_EQ(toggle->isChecked(), before);
        toggle->click();
        EXPECT_EQ((*model.*c.get)(), !before);
        (*model.*c.set)(before);
        EXPECT_EQ(toggle->isChecked(), before);
    }
}

} // namespace
