#include "Corvana/ui/common/UiSupport.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QIconEngine>
#include <QKeySequence>
#include <QPainter>
#include <QPixmap>

#include <algorithm>
#include <array>
#include <optional>
#include <utility>

namespace Ui {

QString shortcutText(std::string_view portableShortcut) {
    return QKeySequence(text(portableShortcut), QKeySequence::PortableText)
        .toString(QKeySequence::NativeText);
}

bool isDark(const QPalette& palette) {
    return palette.color(QPalette::WindowText).lightness() >
           palette.color(QPalette::Window).lightness();
}

namespace Colour {
namespace {

QColor pick(const QPalette& palette, QColor light, QColor dark) {
    return isDark(palette) ? dark : light;
}

} // namespace

QColor accent(const QPalette& palette) {
    return pick(palette, QColor::fromRgbF(0.0f, 0.5058824f, 0.5176471f), QColor(64, 200, 204));
}
QColor blue(const QPalette& palette) {
    return pick(palette, QColor(0, 112, 224), QColor(64, 156, 255));
}
QColor orange(const QPalette& palette) {
    return pick(palette, QColor(214, 110, 0), QColor(255, 159, 10));
}
QColor red(const QPalette& palette) {
    return pick(palette, QColor(214, 40, 40), QColor(255, 92, 82));
}
QColor green(const QPalette& palette) {
    return pick(palette, QColor(40, 167, 69), QColor(48, 209, 88));
}
QColor yellow(const QPalette& palette) {
    return pick(palette, QColor(230, 180, 0), QColor(255, 214, 10));
}
QColor grey(const QPalette& palette) {
    return pick(palette, QColor(142, 142, 147), QColor(152, 152, 157));
}
QColor purple(const QPalette& palette) {
    return pick(palette, QColor(137, 68, 171), QColor(191, 90, 242));
}
QColor teal(const QPalette& palette) {
    return pick(palette, QColor(0, 130, 140), QColor(90, 200, 210));
}
QColor secondaryText(const QPalette& palette) {
    QColor c = palette.color(QPalette::WindowText);
    c.setAlphaF(0.62f);
    return c;
}
QColor tertiaryText(const QPalette& palette) {
    QColor c = palette.color(QPalette::WindowText);
    c.setAlphaF(0.42f);
    return c;
}

QColor logSegment(LogSegment::Kind kind, const QPalette& palette) {
    switch (kind) {
    case LogSegment::Kind::timestamp:
        return secondaryText(palette);
    case LogSegment::Kind::meta:
        return tertiaryText(palette);
    case LogSegment::Kind::request:
        return blue(palette);
    case LogSegment::Kind::warning:
        return orange(palette);
    case LogSegment::Kind::error:
        return red(palette);
    case LogSegment::Kind::system:
        return teal(palette);
    case LogSegment::Kind::fault:
        return purple(palette);
    case LogSegment::Kind::text:
    case LogSegment::Kind::response:
        break;
    }
    return palette.color(QPalette::Text);
}

} // namespace Colour

QFont scaledFont(QFont font, qreal factor) {
    if (font.pointSizeF() > 0) {
        font.setPointSizeF(font.pointSizeF() * factor);
    } else if (font.pixelSize() > 0) {
        font.setPixelSize(std::max(1, qRound(font.pixelSize() * factor)));
    }
    return font;
}

QString logMarks() {
    return QStringLiteral("→←✕✎·…⚠");
}

QFont logFont(qreal pointSize) {
    auto holdsMarks = [](const QFont& font) {
        const QFontMetrics metrics(font);
        for (const QChar mark : logMarks()) {
            if (!metrics.inFontUcs4(mark.unicode())) {
                return false;
            }
        }
        return true;
    };
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSizeF(pointSize);
    if (holdsMarks(font)) {
        return font;
    }
    QFont dejaVu(QStringLiteral("DejaVu Sans Mono"));
    dejaVu.setStyleHint(QFont::Monospace);
    dejaVu.setPointSizeF(pointSize);
    return dejaVu;
}

QString freedesktopIconName(std::string_view symbolName) {
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 41> names = {{
        {"play.fill", "media-playback-start"},
        {"play.circle", "media-playback-start"},
        {"stop.fill", "media-playback-stop"},
        {"pause.circle", "media-playback-pause"},
        {"slider.horizontal.3", "emblem-system"},
        {"text.alignleft", "format-justify-left"},
        {"ellipsis.circle", "view-more"},
        {"options", "view-more"},
        {"cable.connector.slash", "network-wired-disconnected"},
        {"exclamationmark.triangle", "dialog-warning"},
        {"exclamationmark.triangle.fill", "dialog-warning"},
        {"exclamationmark.circle", "dialog-error"},
        {"xmark", "window-close"},
        {"cpu", "application-x-firmware"},
        {"speaker.slash", "audio-volume-muted"},
        {"waveform.path.badge.minus", "network-error"},
        {"waveform.path", "emblem-synchronizing"},
        {"plus", "list-add"},
        {"minus", "list-remove"},
        {"doc", "document-open"},
        {"doc.text", "text-x-generic"},
        {"tablecells", "view-grid"},
        {"number", "accessories-calculator"},
        {"chart.line.uptrend.xyaxis", "go-up"},
        {"waveform", "emblem-synchronizing"},
        {"dice", "media-playlist-shuffle"},
        {"switch.2", "media-playlist-repeat"},
        {"wrench.and.screwdriver", "applications-engineering"},
        {"keyboard", "input-keyboard"},
        {"magnifyingglass", "edit-find"},
        {"chevron.up", "go-up"},
        {"chevron.down", "go-down"},
        {"questionmark.circle", "help-browser"},
        {"square.and.arrow.down", "document-save"},
        {"trash", "edit-delete"},
        {"plus.square.on.square", "edit-copy"},
        {"doc.on.doc", "edit-copy"},
        {"terminal", "utilities-terminal"},
        {"network", "network-wired"},
        {"document.new", "document-new"},
        {"folder", "document-open"},
    }};
    for (const auto& [symbol, name] : names) {
        if (symbol == symbolName) {
            return text(name);
        }
    }
    return {};
}

namespace {

// Symbolic theme icons are drawn in one dark colour; this paints them in the text colour of the
// current palette instead, so they stay visible in a dark theme and on selected rows.
class SymbolIconEngine : public QIconEngine {
public:
    SymbolIconEngine(QIcon base, std::optional<QColor> colour)
        : base_(std::move(base))
        , colour_(colour) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
               QIcon::State state) override {
        const qreal ratio =
            painter->device() != nullptr ? painter->device()->devicePixelRatioF() : 1;
        QPixmap tinted = scaledPixmap(rect.size(), mode, state, ratio);
        painter->drawPixmap(rect, tinted);
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return scaledPixmap(size, mode, state, 1);
    }

    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state,
                         qreal scale) override {
        QPixmap pixmap = base_.pixmap(size, scale, QIcon::Normal, state);
        if (pixmap.isNull()) {
            return pixmap;
        }
        const QPalette palette = QGuiApplication::palette();
        QColor colour = colour_.value_or(palette.color(QPalette::Active, QPalette::WindowText));
        if (mode == QIcon::Disabled) {
            colour = palette.color(QPalette::Disabled, QPalette::WindowText);
        } else if (mode == QIcon::Selected && !colour_) {
            colour = palette.color(QPalette::Active, QPalette::HighlightedText);
        }
        QPainter painter(&pixmap);
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(pixmap.rect(), colour);
        return pixmap;
    }

    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return base_.actualSize(size, mode, state);
    }

    QIconEngine* clone() const override { return new SymbolIconEngine(base_, colour_); }
    QString iconName() override { return base_.name(); }
    QString key() const override { return QStringLiteral("CorvanaSymbol"); }
    bool isNull() override { return base_.isNull(); }

private:
    QIcon base_;
    std::optional<QColor> colour_; // else the palette's text colour
};

} // namespace

QIcon symbol(std::string_view symbolName, std::optional<QColor> colour) {
    const QString name = freedesktopIconName(symbolName);
    if (name.isEmpty()) {
        return {};
    }
    // The symbolic variant first: one-colour glyphs like the symbols the texts name, and many
    // current themes ship some icons only that way.
    const QIcon symbolic = QIcon::fromTheme(name + QStringLiteral("-symbolic"));
    if (!symbolic.isNull()) {
        return QIcon(new SymbolIconEngine(symbolic, colour));
    }
    return QIcon::fromTheme(name);
}

void installIconThemeFallback() {
    const QString theme = QIcon::themeName();
    if (!theme.isEmpty() && theme != QStringLiteral("hicolor")) {
        return;
    }
    QStringList paths = QIcon::themeSearchPaths();
    if (!paths.contains(QStringLiteral("/usr/share/icons"))) {
        paths.append(QStringLiteral("/usr/share/icons"));
        QIcon::setThemeSearchPaths(paths);
    }
    QIcon::setThemeName(QStringLiteral("Adwaita"));
}

} // namespace Ui
