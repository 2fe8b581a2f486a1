#include "Corvana/ui/log/MasterReportView.h"

#include "Corvana/model/ServerModel.h"
#include "Corvana/ui/common/UiSupport.h"

#include "Localization/ReportTexts.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <map>

namespace {

QTableWidget* makeTable(const std::vector<std::string>& headers, const QString& name,
                        QWidget* parent) {
    auto* table = new QTableWidget(0, static_cast<int>(headers.size()), parent);
    table->setObjectName(name);
    QStringList labels;
    for (const std::string& header : headers) {
        labels << Ui::text(header);
    }
    table->setHorizontalHeaderLabels(labels);
    table->verticalHeader()->setVisible(false);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table->horizontalHeader()->setStretchLastSection(true);
    return table;
}

// Sets the row's cells, reusing their items, so the selection and the scroll position stay.
void setRow(QTableWidget* table, int row, const QStringList& cells) {
    for (int column = 0; column < cells.size(); ++column) {
        QTableWidgetItem* item = table->item(row, column);
        if (!item) {
            item = new QTableWidgetItem;
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            table->setItem(row, column, item);
        }
        if (item->text() != cells[column]) {
            item->setText(cells[column]);
        }
    }
}

QString count(std::uint64_t value) {
    return QLocale().toString(static_cast<qulonglong>(value));
}

// A figure in milliseconds with its tenth; empty when nothing was measured.
QString figure(const MasterReport::Figures& figures, double value) {
    return figures.count > 0 ? QLocale().toString(value, 'f', 1) : QString();
}

QString code(int value) {
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

QString optional(const std::optional<int>& value) {
    return value ? QString::number(*value) : QString();
}

// "02 ×3, 06 ×1" for exception codes; "2 ×1" for retry counts.
QString counts(const std::map<int, std::uint64_t>& counts, bool codes) {
    QStringList parts;
    for (const auto& [key, value] : counts) {
        parts << (codes ? code(key) : QString::number(key)) + QStringLiteral(" ×") + count(value);
    }
    return parts.join(QStringLiteral(", "));
}

} // namespace

MasterReportView::MasterReportView(ServerModel& model, QWidget* parent)
    : QWidget(parent)
    , model_(model)
    , line_(new QLabel(this))
    , leftOut_(new QLabel(this))
    , exportButton_(new QPushButton(Ui::text(L10n::Report::exportCSV()), this))
    , tabs_(new QTabWidget(this))
    , timer_(new QTimer(this)) {
    using namespace L10n::Report;
    functions_ = makeTable({unit(), function(), requests(), answers(), exceptions(), suppressed(),
                            damaged(), delayed()},
                           QStringLiteral("masterFunctions"), tabs_);
    pollItems_ = makeTable({unit(), function(), address(), quantity(), requests(), minimum(),
                            mean(), median(), percentile95(), maximum()},
                           QStringLiteral("masterPollItems"), tabs_);
    retries_ = makeTable({unit(), turnaroundMinimum(), turnaroundMedian(), retries(), retryDelay(),
                          succeeded(), gaveUp(), untilSucceeded(), untilGaveUp()},
                         QStringLiteral("masterRetries"), tabs_);
    tabs_->addTab(functions_, Ui::text(functionsTab()));
    tabs_->addTab(pollItems_, Ui::text(pollItemsTab()));
    tabs_->addTab(retries_, Ui::text(retriesTab()));

    line_->setObjectName(QStringLiteral("masterLine"));
    line_->setTextFormat(Qt::PlainText);
    line_->setWordWrap(true);
    line_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    leftOut_->setObjectName(QStringLiteral("masterLeftOut"));
    leftOut_->setTextFormat(Qt::PlainText);
    exportButton_->setObjectName(QStringLiteral("exportMasterReportButton"));
    exportButton_->setToolTip(Ui::text(exportHint()));
    connect(exportButton_, &QPushButton::clicked, &model_, &ServerModel::exportMasterReport);

    auto* top = new QHBoxLayout;
    top->addWidget(line_, 1);
    top->addWidget(exportButton_, 0, Qt::AlignTop);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 0, 8, 4);
    layout->addLayout(top);
    layout->addWidget(tabs_, 1);
    layout->addWidget(leftOut_);

    timer_->setInterval(refreshMilliseconds);
    connect(timer_, &QTimer::timeout, this, &MasterReportView::refresh);
    connect(&model_, &ServerModel::stateChanged, this, [this] {
        if (isVisible()) {
            refresh();
        }
    });
    refresh();
}

void MasterReportView::refresh() {
    const MasterReport::Summary summary = model_.masterReportSummary();
    const auto& line = summary.line;
    QString text =
        Ui::text(L10n::Report::lineSummary(line.requests, line.broadcasts, line.earlyRequests,
                                           line.characterGaps, line.crcErrors, line.garbageBytes));
    if (line.turnaround.count > 0) {
        text += QStringLiteral(" · ") +
                Ui::text(L10n::Report::turnaroundSummary(
                    figure(line.turnaround, line.turnaround.min).toStdString(),
                    figure(line.turnaround, line.turnaround.median).toStdString()));
    }
    line_->setText(text);
    leftOut_->setVisible(summary.pollItemsLeftOut > 0);
    if (summary.pollItemsLeftOut > 0) {
        leftOut_->setText(Ui::text(
            L10n::Report::pollItemsLeftOut(summary.pollItemsLeftOut, MasterReport::maxPollItems)));
    }

    functions_->setRowCount(static_cast<int>(summary.functions.size()));
    int row = 0;
    for (const auto& f : summary.functions) {
        setRow(functions_, row++,
               {QString::number(f.unit), code(f.function), count(f.requests), count(f.answers),
                counts(f.exceptions, true), count(f.suppressed), count(f.damaged),
                count(f.delayed)});
    }
    pollItems_->setRowCount(static_cast<int>(summary.pollItems.size()));
    row = 0;
    for (const auto& p : summary.pollItems) {
        const auto& i = p.interval;
        setRow(pollItems_, row++,
               {QString::number(p.unit), code(p.function), optional(p.address),
                optional(p.quantity), count(p.requests), figure(i, i.min), figure(i, i.mean),
                figure(i, i.median), figure(i, i.p95), figure(i, i.max)});
    }
    retries_->setRowCount(static_cast<int>(summary.units.size()));
    row = 0;
    for (const auto& u : summary.units) {
        setRow(retries_, row++,
               {QString::number(u.unit), figure(u.turnaround, u.turnaround.min),
                figure(u.turnaround, u.turnaround.median), count(u.retries),
                figure(u.retryDelay, u.retryDelay.median), count(u.succeeded), count(u.gaveUp),
                counts(u.retriesUntilSucceeded, false), counts(u.retriesUntilGaveUp, false)});
    }
}

void MasterReportView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    refresh();
    timer_->start();
}

void MasterReportView::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    timer_->stop();
}
