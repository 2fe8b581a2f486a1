#pragma once

#include "Corvana/model/LogSegment.h"

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QPalette>
#include <QString>

#include <optional>
#include <string>
#include <string_view>

// Small things every window shares: catalogue texts as QString, the named colours, the log
// font and the symbol icons.
namespace Ui {

inline QString text(const std::string& s) {
    return QString::fromStdString(s);
}
inline QString text(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}
// "Stop the server (Ctrl+R)" style texts: the shortcut as the user sees it on this desktop.
QString shortcutText(std::string_view portableShortcut);

// Whether the palette is a dark one (window text lighter than the window).
bool isDark(const QPalette& palette);

// Named colours, each in a light and a dark variant.
namespace Colour {
QColor accent(const QPalette& palette); // the application's teal
QColor blue(const QPalette& palette);
QColor orange(const QPalette& palette);
QColor red(const QPalette& palette);
QColor green(const QPalette& palette);
QColor yellow(const QPalette& palette);
QColor grey(const QPalette& palette);
QColor purple(const QPalette& palette);
QColor teal(const QPalette& palette);
QColor secondaryText(const QPalette& palette);
QColor tertiaryText(const QPalette& palette);
// The colour of one log segment kind.
QColor logSegment(LogSegment::Kind kind, const QPalette& palette);
} // namespace Colour

// The font at factor times its size, whether that size is set in points or in pixels.
QFont scaledFont(QFont font, qreal factor);

// A monospaced font at pointSize that holds every mark the log uses (→ ← ✕ ✎ ·): the user's
// fixed font when it has them all, else DejaVu Sans Mono.
QFont logFont(qreal pointSize = 12);
// The marks a log font must hold.
QString logMarks();

// The icon for one of the symbol names the texts and layouts use ("play.fill", "cpu", …),
// taken from the freedesktop icon theme; a null icon when the theme has none. One-colour
// (symbolic) icons are drawn in the given colour, else in the palette's text colour.
QIcon symbol(std::string_view symbolName, std::optional<QColor> colour = std::nullopt);
// The freedesktop icon name a symbol maps to; empty for unknown symbols.
QString freedesktopIconName(std::string_view symbolName);
// When no icon theme is configured (a bare X server, a minimal desktop), use Adwaita.
void installIconThemeFallback();

} // namespace Ui
