#include "Corvana/model/LogBuffer.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using Kind = LogSegment::Kind;
using Span = LogBuffer::Span;

namespace {

// Records every signal, as a view mirroring the buffer would see them.
struct Recorder {
    explicit Recorder(LogBuffer& buffer) {
        QObject::connect(&buffer, &LogBuffer::appended,
                         [this](qsizetype position, const LogLine& line) {
                             appended.emplace_back(position, line);
                         });
        QObject::connect(&buffer, &LogBuffer::trimmed,
                         [this](qsizetype removed) { trims.push_back(removed); });
        QObject::connect(&buffer, &LogBuffer::cleared, [this] { ++clears; });
    }
    using Appended = std::vector<std::pair<qsizetype, LogLine>>;
    Appended appended;
    std::vector<qsizetype> trims;
    int clears = 0;
};

TEST(LogBuffer, AppendsAndClearsWithSpansAndSignals) {
    LogBuffer buffer;
    Recorder recorder(buffer);
    const LogLine first{{Kind::timestamp, "09:30:05.007  "},
                        {Kind::request, "→ "},
                        {Kind::request, "Unit 1"},
                        {Kind::meta, ""},
                        {Kind::warning, "😀"}}; // two UTF-16 units
    const LogLine second{{Kind::system, "--- Server stopped ---"}};
    for (const LogLine& line : {first, LogLine{}, second}) {
        buffer.append(line);
    }
    EXPECT_EQ(buffer.plainText(), "09:30:05.007  → Unit 1😀\n\n--- Server stopped ---\n");
    const std::deque<Span> expected{{Kind::timestamp, 0, 14},
                                    {Kind::request, 14, 8},
                                    {Kind::warning, 22, 2},
                                    {Kind::system, 26, 22}};
    EXPECT_EQ(buffer.spans(), expected);
    EXPECT_EQ(recorder.appended, (Recorder::Appended{{0, first}, {25, {}}, {26, second}}));

    buffer.clear();
    EXPECT_EQ(recorder.clears, 1);
    EXPECT_TRUE(buffer.isEmpty() && buffer.spans().empty());
    buffer.append(second);
    EXPECT_EQ(recorder.appended.back().first, 0);
    EXPECT_EQ(buffer.spans(), (std::deque<Span>{{Kind::system, 0, 22}}));
}

// The headless server's buffer announces every line and keeps none.
TEST(LogBuffer, WithoutRetainingOnlyAnnounces) {
    LogBuffer buffer;
    Recorder recorder(buffer);
    const LogLine line{{Kind::system, "--- Server stopped ---"}};
    buffer.append(line);
    buffer.setRetaining(false);
    EXPECT_EQ(recorder.clears, 1);
    EXPECT_FALSE(buffer.isRetaining());
    for (int i = 0; i < 3; ++i) {
        buffer.append(line);
    }
    EXPECT_TRUE(buffer.isEmpty() && buffer.spans().empty());
    EXPECT_EQ(recorder.appended, (Recorder::Appended{{0, line}, {0, line}, {0, line}, {0, line}}));
}

TEST(LogBuffer, TrimsAtLineStarts) {
    LogBuffer buffer;
    Recorder recorder(buffer);
    // 100 characters with the newline: "L000042 " as request, then meta.
    const auto line = [](int n) {
        return LogLine{{Kind::request, QStringLiteral("L%1 ").arg(n, 6, 10, QLatin1Char('0'))},
                       {Kind::meta, QString(91, QLatin1Char('.'))}};
    };
    const int linesToLimit = static_cast<int>(LogBuffer::maxCharacters / 100);
    for (int n = 0; n < linesToLimit; ++n) {
        buffer.append(line(n));
    }
    ASSERT_TRUE(recorder.trims.empty()); // at the limit, not above it

    // 2,000,100 long: the cut 500,100 is the start of line 5001, whose own newline ends the cut.
    buffer.append(line(linesToLimit));
    ASSERT_EQ(recorder.trims, std::vector<qsizetype>{500'200});
    EXPECT_EQ(recorder.appended.back().first, LogBuffer::maxCharacters); // before the trim
    const QString text = buffer.plainText();
    EXPECT_EQ(text.size(), 1'499'900);
    ASSERT_EQ(buffer.spans().size(), 2u * static_cast<std::size_t>(text.size() / 100));
    EXPECT_EQ(buffer.spans().back(), (Span{Kind::meta, text.size() - 92, 91}));
    for (const Span& span : buffer.spans()) {
        EXPECT_EQ(text.at(span.start) == QLatin1Char('L'), span.kind == Kind::request);
    }

    // A segment may hold a newline (a name from a CSV cell): the cut follows the first one.
    LogBuffer other;
    Recorder otherRecorder(other);
    other.append({{Kind::response, QString(600'000, u'a') + u'\n' + QString(1'400'100, u'b')}});
    EXPECT_EQ(otherRecorder.trims, std::vector<qsizetype>{600'001});
    EXPECT_EQ(other.spans(), (std::deque<Span>{{Kind::response, 0, 1'400'100}}));
    // With no newline after the cut but the last line's own, the whole text goes.
    other.append({{Kind::error, QString(LogBuffer::maxCharacters, QLatin1Char('x'))}});
    EXPECT_EQ(otherRecorder.trims.back(), 1'400'101 + LogBuffer::maxCharacters + 1);
    EXPECT_TRUE(other.isEmpty() && other.spans().empty());
}

TEST(LogBuffer, SavesPlainTextAsUTF8Atomically) {
    EXPECT_EQ(LogBuffer::proposedLogFileName(QDateTime(QDate(2025, 3, 14), QTime(9, 30, 5, 999))),
              "corvana-log-2025-03-14T093005.txt");
    QTemporaryDir dir;
    QFile file(dir.filePath("log.txt"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(QByteArray(100, 'x')) == 100);
    file.close();
    LogBuffer buffer;
    buffer.append({{Kind::timestamp, "09:30:05.007  "}, {Kind::request, "→ Unit 1 · FC 03"}});
    buffer.append({{Kind::response, "✎ Unit 3 · Setpoint = 21,5 °C"}});
    ASSERT_TRUE(buffer.writeTo(file.fileName(), nullptr));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "09:30:05.007  → Unit 1 · FC 03\n✎ Unit 3 · Setpoint = 21,5 °C\n");
}

} // namespace
