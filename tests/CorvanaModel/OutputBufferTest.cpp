#include "Corvana/model/OutputBuffer.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using Kind = LogSegment::Kind;
using Span = OutputBuffer::Span;

void PrintTo(const Span& span, std::ostream* os) {
    *os << "{" << static_cast<int>(span.kind) << ", " << span.start << ", " << span.length << "}";
}

namespace {

// Records every signal so tests can check what a mirroring view would have seen.
struct Recorder {
    explicit Recorder(OutputBuffer& buffer) {
        QObject::connect(&buffer, &OutputBuffer::appended,
                         [this](qsizetype position, const LogLine& line) {
                             appended.emplace_back(position, line);
                         });
        QObject::connect(&buffer, &OutputBuffer::trimmed,
                         [this](qsizetype removed) { trims.push_back(removed); });
        QObject::connect(&buffer, &OutputBuffer::cleared, [this] { ++clears; });
    }
    std::vector<std::pair<qsizetype, LogLine>> appended;
    std::vector<qsizetype> trims;
    int clears = 0;
};

// 100 characters with the newline: an 8-character request part naming the line, then meta.
LogLine numberedLine(int n) {
    return {{Kind::request, QStringLiteral("L%1 ").arg(n, 6, 10, QLatin1Char('0'))},
            {Kind::meta, QString(91, QLatin1Char('.'))}};
}
constexpr qsizetype numberedLineLength = 100;

TEST(OutputBuffer, AppendsLinesWithSpans) {
    OutputBuffer buffer;
    Recorder recorder(buffer);
    const LogLine first{{Kind::timestamp, QStringLiteral("09:30:05.007  ")},
                        {Kind::request, QStringLiteral("→ ")},
                        {Kind::request, QStringLiteral("Unit 1")},
                        {Kind::meta, QString()},
                        {Kind::warning, QStringLiteral("😀")}};
    const LogLine second{{Kind::system, QStringLiteral("--- Server stopped ---")}};
    buffer.append(first);
    buffer.append(second);

    EXPECT_EQ(buffer.plainText(),
              QStringLiteral("09:30:05.007  → Unit 1😀\n--- Server stopped ---\n"));
    // Lengths in UTF-16 code units: the emoji takes two.
    EXPECT_EQ(buffer.length(), 14 + 2 + 6 + 2 + 1 + 22 + 1);
    const std::deque<Span> expected{{Kind::timestamp, 0, 14},
                                    {Kind::request, 14, 8},
                                    {Kind::warning, 22, 2},
                                    {Kind::system, 25, 22}};
    EXPECT_EQ(buffer.spans(), expected);
    ASSERT_EQ(recorder.appended.size(), 2u);
    EXPECT_EQ(recorder.appended[0], std::make_pair(qsizetype{0}, first));
    EXPECT_EQ(recorder.appended[1], std::make_pair(qsizetype{25}, second));
    EXPECT_TRUE(recorder.trims.empty());
}

TEST(OutputBuffer, EmptyLineIsJustANewline) {
    OutputBuffer buffer;
    buffer.append({});
    EXPECT_EQ(buffer.plainText(), QStringLiteral("\n"));
    EXPECT_TRUE(buffer.spans().empty());
}

TEST(OutputBuffer, TrimsWholeLinesFromTheStart) {
    OutputBuffer buffer;
    Recorder recorder(buffer);
    const int linesToLimit = static_cast<int>(OutputBuffer::maxCharacters / numberedLineLength);
    for (int n = 0; n < linesToLimit; ++n) {
        buffer.append(numberedLine(n));
    }
    ASSERT_EQ(buffer.length(), OutputBuffer::maxCharacters); // at the limit, not above it
    EXPECT_TRUE(recorder.trims.empty());

    buffer.append(numberedLine(linesToLimit));
    // 2,000,100 long; the cut 500,100 falls at the start of line 5001, so the first newline at or
    // after it ends that line and line 5002 becomes the first.
    ASSERT_EQ(recorder.trims, std::vector<qsizetype>{500'200});
    EXPECT_EQ(buffer.length(), 1'499'900);
    EXPECT_TRUE(buffer.plainText().startsWith(QStringLiteral("L005002 ")));
    EXPECT_TRUE(buffer.plainText().endsWith(QStringLiteral("\n")));
    // The appended signal still counts in the text before the trim.
    EXPECT_EQ(recorder.appended.back().first, OutputBuffer::maxCharacters);

    const std::deque<Span>& spans = buffer.spans();
    ASSERT_EQ(spans.size(), 2u * static_cast<std::size_t>(buffer.length() / numberedLineLength));
    EXPECT_EQ(spans.front(), (Span{Kind::request, 0, 8}));
    EXPECT_EQ(spans[1], (Span{Kind::meta, 8, 91}));
    EXPECT_EQ(spans.back(), (Span{Kind::meta, buffer.length() - 92, 91}));
}

TEST(OutputBuffer, StaysBoundedAndSignalsOncePerTrim) {
    OutputBuffer buffer;
    Recorder recorder(buffer);
    qsizetype expectedLength = 0;
    qsizetype longest = 0;
    for (int n = 0; n < 65'000; ++n) {
        buffer.append(numberedLine(n));
        expectedLength += numberedLineLength;
        if (recorder.trims.size() > 0 && expectedLength > OutputBuffer::maxCharacters) {
            expectedLength -= recorder.trims.back();
        }
        longest = std::max(longest, buffer.length());
    }
    // The first trim comes with line 20,001, then one every 5,003 lines (500,300 characters).
    EXPECT_EQ(recorder.trims.size(), 9u);
    EXPECT_EQ(recorder.appended.size(), 65'000u);
    EXPECT_LE(longest, OutputBuffer::maxCharacters);
    EXPECT_EQ(buffer.length(), expectedLength);
    for (const qsizetype removed : recorder.trims) {
        EXPECT_EQ(removed % numberedLineLength, 0) << "cut inside a line";
    }
    // Spans still point at their own text after several shifts.
    const QString text = buffer.plainText();
    for (const Span& span : buffer.spans()) {
        ASSERT_LE(span.start + span.length, text.size());
        const QChar first = text.at(span.start);
        EXPECT_EQ(first == QLatin1Char('L'), span.kind == Kind::request);
    }
}

TEST(OutputBuffer, OverlongLineIsDroppedWhole) {
    // No newline after the cut but the line's own: the whole text goes, never half a line.
    OutputBuffer buffer;
    Recorder recorder(buffer);
    buffer.append({{Kind::text, QStringLiteral("first")}});
    buffer.append({{Kind::error, QString(OutputBuffer::maxCharacters, QLatin1Char('x'))}});
    EXPECT_EQ(recorder.trims, std::vector<qsizetype>{OutputBuffer::maxCharacters + 7});
    EXPECT_EQ(buffer.length(), 0);
    EXPECT_TRUE(buffer.spans().empty());
}

TEST(OutputBuffer, ClearEmptiesTextAndSpans) {
    OutputBuffer buffer;
    Recorder recorder(buffer);
    buffer.append(numberedLine(1));
    buffer.clear();
    EXPECT_EQ(recorder.clears, 1);
    EXPECT_TRUE(buffer.isEmpty());
    EXPECT_TRUE(buffer.spans().empty());
    buffer.append(numberedLine(2));
    EXPECT_EQ(recorder.appended.back().first, 0);
    EXPECT_EQ(buffer.spans().front(), (Span{Kind::request, 0, 8}));
}

TEST(OutputBuffer, AutoscrollSignalsChangesOnly) {
    OutputBuffer buffer;
    std::vector<bool> changes;
    QObject::connect(&buffer, &OutputBuffer::autoscrollChanged,
                     [&](bool on) { changes.push_back(on); });
    EXPECT_TRUE(buffer.autoscroll());
    buffer.setAutoscroll(true);
    buffer.setAutoscroll(false);
    buffer.setAutoscroll(false);
    EXPECT_FALSE(buffer.autoscroll());
    EXPECT_EQ(changes, std::vector<bool>{false});
}

TEST(OutputBuffer, ProposedLogFileName) {
    EXPECT_EQ(OutputBuffer::proposedLogFileName(QDateTime(QDate(2025, 3, 14), QTime(9, 30, 5))),
              QStringLiteral("corvana-log-2025-03-14T093005.txt"));
    EXPECT_EQ(
        OutputBuffer::proposedLogFileName(QDateTime(QDate(1999, 12, 31), QTime(23, 59, 59, 999))),
        QStringLiteral("corvana-log-1999-12-31T235959.txt"));
}

TEST(OutputBuffer, WritesPlainTextAsUTF8) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("log.txt"));
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("an older and much longer content that must disappear entirely\n");
    }
    OutputBuffer buffer;
    buffer.append({{Kind::timestamp, QStringLiteral("09:30:05.007  ")},
                   {Kind::request, QStringLiteral("→ Unit 1 · FC 03")}});
    buffer.append({{Kind::response, QStringLiteral("✎ Unit 3 · Setpoint = 21,5 °C")}});

    QString error = QStringLiteral("untouched");
    ASSERT_TRUE(buffer.writeTo(path, &error));
    EXPECT_EQ(error, QStringLiteral("untouched"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(),
              QByteArray("09:30:05.007  → Unit 1 · FC 03\n✎ Unit 3 · Setpoint = 21,5 °C\n"));
}

TEST(OutputBuffer, FailedWriteReportsAndLeavesNothing) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    OutputBuffer buffer;
    buffer.append({{Kind::text, QStringLiteral("line")}});

    const QString missingFolder = dir.filePath(QStringLiteral("missing/log.txt"));
    QString error;
    EXPECT_FALSE(buffer.writeTo(missingFolder, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(QFile::exists(missingFolder));

    // A folder cannot be replaced by a file; no error text wanted here.
    EXPECT_FALSE(buffer.writeTo(dir.path(), nullptr));
    EXPECT_TRUE(QDir(dir.path()).exists());
    EXPECT_EQ(buffer.plainText(), QStringLiteral("line\n"));
}

} // namespace
