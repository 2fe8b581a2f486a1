#include "Corvana/ui/help/HelpRendering.h"

#include "Corvana/ui/common/UiSupport.h"

#include "Localization/L10n.h"

#include <QFile>
#include <QFontDatabase>
#include <QImageReader>
#include <QRegularExpression>
#include <QSize>

namespace HelpRendering {
namespace {

// QTextDocument ignores the alpha of CSS colours, so tints are mixed onto the base here.
QColor mix(const QColor& tint, const QColor& base, qreal amount) {
    auto channel = [amount](qreal t, qreal b) { return b + (t - b) * amount; };
    return QColor::fromRgbF(static_cast<float>(channel(tint.redF(), base.redF())),
                            static_cast<float>(channel(tint.greenF(), base.greenF())),
                            static_cast<float>(channel(tint.blueF(), base.blueF())));
}

QColor opaque(const QColor& colour, const QPalette& palette) {
    return mix(colour, palette.color(QPalette::Base), colour.alphaF());
}

QString css(const QColor& colour) {
    return colour.name(QColor::HexRgb);
}

QString codeSpan(QStringView escapedCode, const QPalette& palette) {
    const QString family = QFontDatabase::systemFont(QFontDatabase::FixedFont).family();
    const QColor background = mix(palette.color(QPalette::Text), palette.color(QPalette::Base),
                                  Ui::isDark(palette) ? 0.16 : 0.08);
    return QStringLiteral("<span style=\"font-family:'%1',monospace; background-color:%2;\">%3"
                          "</span>")
        .arg(family.toHtmlEscaped(), css(background), escapedCode);
}

// Works on text that is already escaped: neither marker is touched by escaping. A marker
// without its closing partner stays as written.
QString applyMarkup(QStringView text, const QPalette& palette) {
    static const QString boldMarker = QStringLiteral("**");
    QString html;
    qsizetype i = 0;
    while (i < text.size()) {
        if (text[i] == u'`') {
            const qsizetype end = text.indexOf(u'`', i + 1);
            if (end > i + 1) {
                html += codeSpan(text.sliced(i + 1, end - i - 1), palette);
                i = end + 1;
                continue;
            }
        } else if (text.sliced(i).startsWith(boldMarker)) {
            const qsizetype end = text.indexOf(boldMarker, i + 2);
            if (end > i + 2) {
                html += QStringLiteral("<b>") +
                        applyMarkup(text.sliced(i + 2, end - i - 2), palette) +
                        QStringLiteral("</b>");
                i = end + 2;
                continue;
            }
        }
        html += text[i];
        ++i;
    }
    return html;
}

QString tableHtml(const std::vector<HelpRow>& rows, const QPalette& palette) {
    const QColor stripe = mix(palette.color(QPalette::Text), palette.color(QPalette::Base),
                              Ui::isDark(palette) ? 0.07 : 0.04);
    QString html = QStringLiteral("<table width=\"100%\" cellspacing=\"0\" cellpadding=\"5\" "
                                  "style=\"margin-top:8px; margin-bottom:8px;\">");
    for (std::size_t index = 0; index < rows.size(); ++index) {
        const QString background =
            index % 2 == 0 ? QStringLiteral(" bgcolor=\"%1\"").arg(css(stripe)) : QString();
        html += QStringLiteral("<tr%1><td width=\"32%\" valign=\"top\"><span "
                               "style=\"font-weight:600;\">%2</span></td>"
                               "<td valign=\"top\">%3</td></tr>")
                    .arg(background, inlineHtml(rows[index].key, palette),
                         inlineHtml(rows[index].value, palette));
    }
    return html + QStringLiteral("</table>");
}

QString tipHtml(std::string_view text, std::string_view label, const QPalette& palette) {
    const QColor accent = Ui::Colour::accent(palette);
    const QColor background =
        mix(accent, palette.color(QPalette::Base), Ui::isDark(palette) ? 0.22 : 0.12);
    return QStringLiteral("<table width=\"100%\" cellspacing=\"0\" cellpadding=\"10\" "
                          "style=\"margin-top:8px; margin-bottom:8px;\" "
                          "bgcolor=\"%1\"><tr><td><p><span style=\"color:%2; "
                          "font-weight:700;\">%3</span><br>%4</p></td></tr></table>")
        .arg(css(background), css(accent), Ui::text(label).toHtmlEscaped(),
             inlineHtml(text, palette));
}

QString screenshotHtml(const HelpBlock& block, const QPalette& palette, int contentWidth) {
    QString html;
    const QString path = screenshotPath(block.name);
    const QSize natural = QImageReader(path).size();
    if (natural.isValid() && !natural.isEmpty()) {
        QSize shown = natural;
        if (contentWidth > 0) {
            shown = QSize(contentWidth, qMax(1, natural.height() * contentWidth / natural.width()));
        }
        html += QStringLiteral("<p align=\"center\"><img src=\"qrc%1\" width=\"%2\" "
                               "height=\"%3\"></p>")
                    .arg(path.toHtmlEscaped(), QString::number(shown.width()),
                         QString::number(shown.height()));
    }
    const QColor caption = opaque(Ui::Colour::secondaryText(palette), palette);
    html += QStringLiteral("<p align=\"center\" style=\"color:%1; font-size:small;\">%2</p>")
                .arg(css(caption), inlineHtml(block.text, palette));
    return html;
}

QString blockHtml(const HelpBlock& block, std::string_view tipLabel, const QPalette& palette,
                  int contentWidth) {
    switch (block.kind) {
    case HelpBlock::Kind::paragraph:
        return QStringLiteral("<p>%1</p>").arg(inlineHtml(block.text, palette));
    case HelpBlock::Kind::heading:
        return QStringLiteral("<h3>%1</h3>").arg(inlineHtml(block.text, palette));
    case HelpBlock::Kind::bullets: {
        QString html = QStringLiteral("<ul>");
        for (const auto& item : block.items) {
            html += QStringLiteral("<li>%1</li>").arg(inlineHtml(item, palette));
        }
        return html + QStringLiteral("</ul>");
    }
    case HelpBlock::Kind::table:
        return tableHtml(block.rows, palette);
    case HelpBlock::Kind::tip:
        return tipHtml(block.text, tipLabel, palette);
    case HelpBlock::Kind::screenshot:
        return screenshotHtml(block, palette, contentWidth);
    }
    return {};
}

} // namespace

QString nativeShortcuts(const QString& text) {
    // "Ctrl+Shift+S", "Ctrl+Backspace": modifiers, then one key.
    static const QRegularExpression shortcut(
        QStringLiteral("\\b(?:(?:Ctrl|Shift|Alt|Meta)\\+)+(?:F\\d{1,2}|Backspace|Delete|Tab|Enter|"
                       "Esc|Space|[A-Z0-9])\\b"));
    QString result;
    qsizetype position = 0;
    for (auto match = shortcut.globalMatch(text); match.hasNext();) {
        const QRegularExpressionMatch found = match.next();
        result += QStringView(text).mid(position, found.capturedStart() - position);
        result += Ui::shortcutText(found.captured().toStdString());
        position = found.capturedEnd();
    }
    result += QStringView(text).mid(position);
    return result;
}

QString inlineHtml(std::string_view text, const QPalette& palette) {
    return applyMarkup(nativeShortcuts(Ui::text(text)).toHtmlEscaped(), palette);
}

QString screenshotPath(std::string_view name) {
    // The picture in the reader's language, else the English one.
    const QString base = QStringLiteral(":/corvana/") + Ui::text(name) + QStringLiteral("-");
    const QString localised = base + Ui::text(L10n::language().rawValue()) + QStringLiteral(".png");
    return QFile::exists(localised) ? localised : base + QStringLiteral("en.png");
}

QString topicHtml(const HelpTopic& topic, std::string_view tipLabel, const QPalette& palette,
                  int contentWidth) {
    QString html = QStringLiteral("<h1>%1</h1>").arg(inlineHtml(topic.title, palette));
    for (const auto& block : topic.blocks) {
        html += blockHtml(block, tipLabel, palette, contentWidth);
    }
    return html;
}

} // namespace HelpRendering
