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

// Records every signal, as a view mirroring the buffer would see them.
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

// 100 characters with the newline: "L000042 " as request, then meta.
LogLine numberedLine(int n) {
    return {{Kind::request, QStringLiteral("L%1 ").arg(n, 6, 10, QLatin1Char('0'))},
            {Kind::meta, QString(91, QLatin1Char('.'))}};
}

TEST(OutputBuffer, AppendsAndClearsWithSpansAndSignals) {
    OutputBuffer buffer;
    Recorder recorder(buffer);
    const LogLine first{{Kind::timestamp, QStringLiteral("09:30:05.007  ")},
                        {Kind::request, QStringLiteral("→ ")},
                        {Kind::request, QStringLiteral("Unit 1")},
                        {Kind::meta, QString()},
                        {Kind::warning, QStringLiteral("😀")}};
    const LogLine second{{Kind::system, QStringLiteral("--- Server stopped ---")}};
    buffer.append(first);
    buffer.append({});
    buffer.append(second);

    // UTF-16 code units: the emoji takes two.
    EXPECT_EQ(buffer.plainText(),
              QStringLiteral("09:30:05.007  → Unit 1😀\n\n--- Server stopped ---\n"));
    EXPECT_EQ(buffer.length(), 14 + 8 + 2 + 1 + 1 + 22 + 1);
    const std::deque<Span> expected{{Kind::timestamp, 0, 14},
                                    {Kind::request, 14, 8},
                                    {Kind::warning, 22, 2},
                                    {Kind::system, 26, 22}};
    EXPECT_EQ(buffer.spans(), expected);
    const std::vector<std::pair<qsizetype, LogLine>> signalled{{0, first}, {25, {}}, {26, second}};
    EXPECT_EQ(recorder.appended, signalled);
    EXPECT_TRUE(recorder.trims.empty());

    buffer.clear();
    EXPECT_EQ(recorder.clears, 1);
    EXPECT_TRUE(buffer.isEmpty());
    EXPECT_TRUE(buffer.spans().empty());
    buffer.append(second);
    EXPECT_EQ(recorder.appended.back().first, 0);
    EXPECT_EQ(buffer.spans(), (std::deque<Span>{{Kind::system, 0, 22}}));
}

TEST(OutputBuffer, TrimsAtLineStarts) {
    OutputBuffer buffer;
    Recorder recorder(buffer);
    const int linesToLimit = static_cast<int>(OutputBuffer::maxCharacters / 100);
    for (int n = 0; n < linesToLimit; ++n) {
        buffer.append(numberedLine(n));
    }
    ASSERT_EQ(buffer.length(), OutputBuffer::maxCharacters); // at the limit, not above it
    EXPECT_TRUE(recorder.trims.empty());

    // 2,000,100 long: the cut 500,100 is the start of line 5001, whose own newline ends the cut.
    buffer.append(numberedLine(linesToLimit));
    ASSERT_EQ(recorder.trims, std::vector<qsizetype>{500'200});
    EXPECT_EQ(buffer.length(), 1'499'900);
    EXPECT_TRUE(buffer.plainText().startsWith(QStringLiteral("L005002 ")));
    EXPECT_EQ(recorder.appended.back().first, OutputBuffer::maxCharacters); // before the trim
    // Every span was shifted with the text: 2 per line, each on its own characters.
    const QString text = buffer.plainText();
    ASSERT_EQ(buffer.spans().size(), 2u * static_cast<std::size_t>(text.size() / 100));
    EXPECT_EQ(buffer.spans().back(), (Span{Kind::meta, text.size() - 92, 91}));
    for (const Span& span : buffer.spans()) {
        EXPECT_EQ(text.at(span.start) == QLatin1Char('L'), span.kind == Kind::request);
    }
}

TEST(OutputBuffer, TrimCutsAfterTheFirstNewlineAtOrAfterTheCut) {
    OutputBuffer buffer;
    Recorder recorder(buffer);
    // A name from a CSV cell may hold a newline; a cut behind it keeps the span's tail.
    const QString a(600'000, QLatin1Char('a'));
    buffer.append({{Kind::response, a + QLatin1Char('\n') + QString(1'400'100, QLatin1Char('b'))}});
    EXPECT_EQ(recorder.trims, std::vector<qsizetype>{600'001});
    EXPECT_EQ(buffer.spans(), (std::deque<Span>{{Kind::response, 0, 1'400'100}}));
    // With no newline after the cut but the last line's own, the whole text goes.
    buffer.append({{Kind::error, QString(OutputBuffer::maxCharacters, QLatin1Char('x'))}});
    EXPECT_EQ(recorder.trims.back(), 1'400'101 + OutputBuffer::maxCharacters + 1);
    EXPECT_EQ(buffer.length(), 0);
    EXPECT_TRUE(buffer.spans().empty());
}

TEST(OutputBuffer, SavesPlainTextAsUTF8Atomically) {
    EXPECT_EQ(
        OutputBuffer::proposedLogFileName(QDateTime(QDate(2025, 3, 14), QTime(9, 30, 5, 999))),
        QStringLiteral("corvana-log-2025-03-14T093005.txt"));

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("log.txt"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("an older and much longer content that must disappear entirely\n");
    file.close();
    OutputBuffer buffer;
    buffer.append({{Kind::timestamp, QStringLiteral("09:30:05.007  ")},
                   {Kind::request, QStringLiteral("→ Unit 1 · FC 03")}});
    buffer.append({{Kind::response, QStringLiteral("✎ Unit 3 · Setpoint = 21,5 °C")}});
    QString error = QStringLiteral("untouched");
    ASSERT_TRUE(buffer.writeTo(path, &error));
    EXPECT_EQ(error, QStringLiteral("untouched"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(),
              QByteArray("09:30:05.007  → Unit 1 · FC 03\n✎ Unit 3 · Setpoint = 21,5 °C\n"));

    // A missing folder reports why and leaves no file; a folder is never replaced.
    const QString missingFolder = dir.filePath(QStringLiteral("missing/log.txt"));
    EXPECT_FALSE(buffer.writeTo(missingFolder, &error));
    EXPECT_NE(error, QStringLiteral("untouched"));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(QFile::exists(missingFolder));
    EXPECT_FALSE(buffer.writeTo(dir.path(), nullptr));
    EXPECT_TRUE(QDir(dir.path()).exists());
}

} // namespace
