#pragma once

#include <QWidget>

class EmptyLogView;
class LogHeader;
class NoticeBanner;
class LogArea;
class MasterReportView;
class QStackedWidget;
class ServerModel;
class ShowLogPreference;

// The lower part of the main window: the notice banners, the log header with its toggle, options
// and counters, and the log text or the empty-log placeholder.
class LogPane : public QWidget {
    Q_OBJECT

public:
    LogPane(ServerModel& model, ShowLogPreference& showLog, QWidget* parent = nullptr);

    LogArea* logArea() const { return logArea_; }
    MasterReportView* masterView() const { return masterView_; }
    LogHeader* header() const { return header_; }
    // Shows the log (turning the preference on) and its find bar.
    void showFindBar();
    // The height of the banners and the header at this width: all the pane needs while the log
    // itself is hidden (the notices' texts wrap).
    int collapsedHeight(int width) const;

signals:
    // A banner came or went.
    void bannersChanged();

private:
    void updateBanners();
    void updateBody();

    ServerModel& model_;
    ShowLogPreference& showLog_;
    NoticeBanner* serialLostBanner_;
    NoticeBanner* noiseBanner_;
    LogHeader* header_;
    QStackedWidget* body_;
    LogArea* logArea_ = nullptr;
    EmptyLogView* emptyLogView_;
    MasterReportView* masterView_;
};
