#pragma once

#include "Localization/HelpTopic.h"

#include <QPalette>
#include <QString>

#include <string_view>

// Turns help topics into the HTML subset QTextDocument understands. Colours come from the
// palette so the pane follows light and dark mode.
namespace HelpRendering {

// One text with its **bold** and `code` markup applied; the text itself is escaped first, so
// markup-looking characters the author wrote ("<b>", "&") show literally.
QString inlineHtml(std::string_view text, const QPalette& palette);
// Shortcuts written portably ("Ctrl+S") as this desktop writes them ("Strg+S").
QString nativeShortcuts(const QString& text);

// The resource path of a screenshot block's image.
QString screenshotPath(std::string_view name);

// The whole topic: its title as a heading, then every block. Screenshots are scaled to
// contentWidth (their natural size when it is not positive); a missing image leaves the caption.
QString topicHtml(const HelpTopic& topic, std::string_view tipLabel, const QPalette& palette,
                  int contentWidth);

} // namespace HelpRendering
