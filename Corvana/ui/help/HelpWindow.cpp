#include "Corvana/ui/help/HelpWindow.h"

#include "Corvana/ui/common/UiSupport.h"
#include "Corvana/ui/help/HelpRendering.h"

#include <QAction>
#include <QEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QScrollBar>
#include <QSplitter>
#include <QStyle>
#include <QTextBrowser>
#include <QVBoxLayout>

#include <algorithm>

// The UI resources live in a static library; without a reference the linker would drop them
// and the screenshots with them. Outside any namespace, as Q_INIT_RESOURCE requires.
static void registerResources() {
    static const bool registered = [] {
        Q_INIT_RESOURCE(ui);
        return true;
    }();
    (void)registered;
}

namespace {

bool hasScreenshot(const HelpTopic& topic) {
    return std::any_of(topic.blocks.begin(), topic.blocks.end(), [](const HelpBlock& block) {
        return block.kind == HelpBlock::Kind::screenshot;
    });
}

} // namespace

HelpWindow::HelpWindow(QWidget* parent)
    : QWidget(parent, Qt::Window)
    , topics_(HelpTopic::all())
    , texts_(HelpTexts::current())
    , state_(topics_) {
    registerResources();
    setObjectName(QStringLiteral("help"));
    setWindowTitle(Ui::text(texts_.windowTitle));
    resize(900, 640);

    // Closes like any secondary window: Escape and Ctrl+W, plus the desktop's own Close keys.
    auto* close = new QAction(this);
    close->setObjectName(QStringLiteral("closeHelpAction"));
    QList<QKeySequence> closeKeys{
        QKeySequence(Qt::Key_Escape),
        QKeySequence(QStringLiteral("Ctrl+W"), QKeySequence::PortableText)};
    for (const QKeySequence& keys : QKeySequence::keyBindings(QKeySequence::Close)) {
        if (!closeKeys.contains(keys)) {
            closeKeys.append(keys);
        }
    }
    close->setShortcuts(closeKeys);
    close->setShortcutContext(Qt::WindowShortcut);
    connect(close, &QAction::triggered, this, &QWidget::close);
    addAction(close);

    search_ = new QLineEdit;
    search_->setObjectName(QStringLiteral("helpSearch"));
    search_->setPlaceholderText(Ui::text(texts_.searchPrompt));
    search_->setClearButtonEnabled(true);
    search_->addAction(Ui::symbol("magnifyingglass"), QLineEdit::LeadingPosition);

    list_ = new QListWidget;
    list_->setObjectName(QStringLiteral("helpTopics"));
    list_->setIconSize(QSize(18, 18));
    list_->setSpacing(2);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);

    auto* sidebar = new QWidget;
    auto* sidebarLayout = new QVBoxLayout(sidebar);
    sidebarLayout->setContentsMargins(8, 8, 0, 8);
    sidebarLayout->addWidget(search_);
    sidebarLayout->addWidget(list_);

    detail_ = new QTextBrowser;
    detail_->setObjectName(QStringLiteral("helpDetail"));
    detail_->setOpenLinks(false);
    detail_->setOpenExternalLinks(false);
    detail_->document()->setDocumentMargin(16);
    detail_->installEventFilter(this);

    auto* splitter = new QSplitter(Qt::Horizontal);
    splitter->setChildrenCollapsible(false);
    splitter->addWidget(sidebar);
    splitter->addWidget(detail_);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({240, 660});

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(splitter);

    connect(search_, &QLineEdit::textChanged, this, &HelpWindow::search);
    connect(list_, &QListWidget::currentItemChanged, this, [this](QListWidgetItem* item) {
        if (item != nullptr && item->data(topicIdRole).isValid()) {
            select(item->data(topicIdRole).toString().toStdString());
        }
    });

    fillList(topics_);
    renderDetail();
}

void HelpWindow::search(const QString& text) {
    state_.searchText = text.toStdString();
    const auto visible = state_.visibleTopics(topics_);
    const bool stillListed = std::any_of(
        visible.begin(), visible.end(), [this](const auto& t) { return t.id == state_.selection; });
    // With nothing listed the pane keeps the last topic rather than going blank mid-typing.
    const bool moved = !stillListed && !visible.empty();
    if (moved) {
        state_.selection = visible.front().id;
    }
    fillList(visible);
    if (moved) {
        renderDetail();
    }
}

void HelpWindow::select(const std::string& id) {
    if (id == state_.selection) {
        return;
    }
    state_.selection = id;
    renderDetail();
}

void HelpWindow::fillList(const std::vector<HelpTopic>& visible) {
    const QSignalBlocker blocker(list_);
    list_->clear();
    if (visible.empty()) {
        auto* none = new QListWidgetItem(Ui::text(texts_.noTopicsFound), list_);
        none->setFlags(Qt::NoItemFlags);
        none->setTextAlignment(Qt::AlignCenter);
        return;
    }
    for (const auto& topic : visible) {
        auto* item = new QListWidgetItem(Ui::symbol(topic.symbol), Ui::text(topic.title), list_);
        item->setData(topicIdRole, Ui::text(topic.id));
        if (topic.id == state_.selection) {
            list_->setCurrentItem(item);
        }
    }
}

const HelpTopic* HelpWindow::selectedTopic() const {
    const auto found = std::find_if(topics_.begin(), topics_.end(), [this](const auto& topic) {
        return topic.id == state_.selection;
    });
    return found != topics_.end() ? &*found : nullptr;
}

int HelpWindow::imageWidth() const {
    // Leave room for the scroll bar whether or not it shows, so its appearing cannot change
    // the width and start a resize loop.
    const int scrollBar = detail_->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    const int margins = 2 * static_cast<int>(detail_->document()->documentMargin()) + 4;
    return std::max(1, detail_->contentsRect().width() - scrollBar - margins);
}

void HelpWindow::renderDetail() {
    const HelpTopic* topic = selectedTopic();
    if (topic == nullptr) {
        detail_->clear();
        return;
    }
    renderedImageWidth_ = imageWidth();
    detail_->setHtml(
        HelpRendering::topicHtml(*topic, texts_.tipLabel, palette(), renderedImageWidth_));
}

void HelpWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && detail_ != nullptr) {
        const int scrolled = detail_->verticalScrollBar()->value();
        renderDetail();
        detail_->verticalScrollBar()->setValue(scrolled);
    }
}

bool HelpWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == detail_ && event->type() == QEvent::Resize) {
        const HelpTopic* topic = selectedTopic();
        if (topic != nullptr && hasScreenshot(*topic) && imageWidth() != renderedImageWidth_) {
            const int scrolled = detail_->verticalScrollBar()->value();
            renderDetail();
            detail_->verticalScrollBar()->setValue(scrolled);
        }
    }
    return QWidget::eventFilter(watched, event);
}
