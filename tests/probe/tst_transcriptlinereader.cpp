#include "probe/InternetDateTime.h"
#include "probe/TranscriptLineReader.h"

#include <QtTest>

#include <optional>

using Kind = TranscriptLineReader::Kind;
Q_DECLARE_METATYPE(TranscriptLineReader::Kind)
Q_DECLARE_METATYPE(std::optional<double>)

namespace {

// 2025-01-31T09:15:00Z
constexpr double sampleDate = 1738314900.0;

TranscriptLineReader::Line readLine(TranscriptLineReader &reader, const QByteArray &line)
{
    // The reader may look past the line's end; give it the padding a file buffer would have,
    // filled with something that is not whitespace so a reader that overran would notice.
    QByteArray buffer = line + QByteArray(simdjson::SIMDJSON_PADDING, '}');
    return reader.read(buffer.constData(), static_cast<size_t>(line.size()),
                       static_cast<size_t>(buffer.size()));
}

} // namespace

class TestTranscriptLineReader : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void internetDateTime_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<std::optional<double>>("seconds");
        const std::optional<double> none;
        QTest::newRow("utc designator") << QByteArray("2025-01-31T09:15:00Z") << std::optional(sampleDate);
        QTest::newRow("positive offset")
            << QByteArray("2025-01-31T11:15:00+02:00") << std::optional(sampleDate);
        QTest::newRow("negative offset")
            << QByteArray("2025-01-31T04:15:00-05:00") << std::optional(sampleDate);
        QTest::newRow("epoch") << QByteArray("1970-01-01T00:00:00Z") << std::optional(0.0);
        QTest::newRow("new year 2020") << QByteArray("2020-01-01T00:00:00Z") << std::optional(1577836800.0);
        QTest::newRow("leap day") << QByteArray("2024-02-29T00:00:00Z") << std::optional(1709164800.0);
        QTest::newRow("offset crosses the day")
            << QByteArray("2025-01-01T00:30:00+01:00") << std::optional(1735687800.0);
        QTest::newRow("milliseconds") << QByteArray("2025-01-31T09:15:00.123Z") << none;
        QTest::newRow("microseconds") << QByteArray("2025-01-31T09:15:00.123456Z") << none;
        QTest::newRow("no zone designator") << QByteArray("2025-01-31T09:15:00") << none;
        QTest::newRow("space separator") << QByteArray("2025-01-31 09:15:00Z") << none;
        QTest::newRow("lower-case designator") << QByteArray("2025-01-31T09:15:00z") << none;
        QTest::newRow("offset without colon") << QByteArray("2025-01-31T11:15:00+0200") << none;
        QTest::newRow("date only") << QByteArray("2025-01-31") << none;
        QTest::newRow("month 13") << QByteArray("2025-13-01T00:00:00Z") << none;
        QTest::newRow("29 February outside a leap year") << QByteArray("2025-02-29T00:00:00Z") << none;
        QTest::newRow("hour 24") << QByteArray("2025-01-31T24:00:00Z") << none;
        QTest::newRow("second 60") << QByteArray("2025-01-31T09:15:60Z") << none;
        QTest::newRow("trailing space") << QByteArray("2025-01-31T09:15:00Z ") << none;
        QTest::newRow("sign in the year") << QByteArray("+025-01-31T09:15:00Z") << none;
        QTest::newRow("empty") << QByteArray() << none;
    }

    void internetDateTime()
    {
        QFETCH(QByteArray, text);
        QFETCH(std::optional<double>, seconds);
        QCOMPARE(parseInternetDateTime(std::string_view(text.constData(), text.size())), seconds);
    }

    void lines_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<std::optional<double>>("date");
        const std::optional<double> none;
        const auto user = Kind::userMessage;
        const auto other = Kind::other;

        QTest::newRow("user, whole-second date")
            << QByteArray("{\"type\":\"user\",\"timestamp\":\"2025-01-31T09:15:00Z\"}") << user
            << std::optional(sampleDate);
        QTest::newRow("user, date before type")
            << QByteArray("{\"timestamp\":\"2025-01-31T09:15:00Z\",\"type\":\"user\"}") << user
            << std::optional(sampleDate);
        QTest::newRow("user, fractional seconds have no date")
            << QByteArray("{\"type\":\"user\",\"timestamp\":\"2025-01-31T09:15:00.293Z\"}") << user << none;
        QTest::newRow("user, numeric seconds") << QByteArray("{\"type\":\"user\",\"timestamp\":1738314900}")
                                               << user << std::optional(sampleDate);
        QTest::newRow("user, numeric with fraction")
            << QByteArray("{\"type\":\"user\",\"timestamp\":1738314900.5}") << user
            << std::optional(sampleDate + 0.5);
        QTest::newRow("user, no timestamp")
            << QByteArray("{\"type\":\"user\",\"message\":{\"content\":\"hi\"}}") << user << none;
        QTest::newRow("user, null timestamp")
            << QByteArray("{\"type\":\"user\",\"timestamp\":null}") << user << none;
        QTest::newRow("user, boolean timestamp")
            << QByteArray("{\"type\":\"user\",\"timestamp\":true}") << user << none;
        QTest::newRow("user, object timestamp")
            << QByteArray("{\"type\":\"user\",\"timestamp\":{\"s\":1}}") << user << none;
        QTest::newRow("user, escaped type value") << QByteArray("{\"type\":\"\\u0075ser\"}") << user << none;
        QTest::newRow("user, escaped key") << QByteArray("{\"typ\\u0065\":\"user\"}") << user << none;
        QTest::newRow("user, carriage return kept at the end")
            << QByteArray("{\"type\":\"user\"}\r") << user << none;
        QTest::newRow("user, surrounding spaces") << QByteArray("  {\"type\":\"user\"}  ") << user << none;
        QTest::newRow("user, nested content of every kind")
            << QByteArray("{\"message\":{\"content\":[{\"type\":\"text\",\"n\":-1.5e3,\"b\":false,\"z\":null,"
                          "\"s\":\"\\\"\\n\\u00e9\"}]},\"type\":\"user\"}")
            << user << none;
        QTest::newRow("user, later duplicate type wins")
            << QByteArray("{\"type\":\"assistant\",\"type\":\"user\"}") << user << none;
        QTest::newRow("user, later duplicate timestamp wins")
            << QByteArray("{\"type\":\"user\",\"timestamp\":1,\"timestamp\":\"2025-01-31T09:15:00Z\"}")
            << user << std::optional(sampleDate);

        QTest::newRow("assistant") << QByteArray(
                                          "{\"type\":\"assistant\",\"timestamp\":\"2025-01-31T09:15:00Z\"}")
                                   << other << none;
        QTest::newRow("no type") << QByteArray("{\"timestamp\":\"2025-01-31T09:15:00Z\"}") << other << none;
        QTest::newRow("type of another case") << QByteArray("{\"type\":\"User\"}") << other << none;
        QTest::newRow("type not a string") << QByteArray("{\"type\":1}") << other << none;
        QTest::newRow("type user only in a nested object")
            << QByteArray("{\"type\":\"assistant\",\"message\":{\"type\":\"user\"}}") << other << none;
        QTest::newRow("earlier duplicate type loses")
            << QByteArray("{\"type\":\"user\",\"type\":\"summary\"}") << other << none;
        QTest::newRow("array root") << QByteArray("[{\"type\":\"user\"}]") << other << none;
        QTest::newRow("string root") << QByteArray("\"user\"") << other << none;
        QTest::newRow("only spaces") << QByteArray("   ") << other << none;
        QTest::newRow("only a carriage return") << QByteArray("\r") << other << none;
        QTest::newRow("not JSON") << QByteArray("type: user") << other << none;
        QTest::newRow("unclosed object")
            << QByteArray("{\"type\":\"user\",\"timestamp\":\"2025-01-31T09:15:00Z\"") << other << none;
        QTest::newRow("text after the object") << QByteArray("{\"type\":\"user\"} x") << other << none;
        QTest::newRow("two objects on one line")
            << QByteArray("{\"type\":\"user\"}{\"type\":\"user\"}") << other << none;
        QTest::newRow("trailing comma in a nested array")
            << QByteArray("{\"type\":\"user\",\"message\":{\"content\":[1,2,]}}") << other << none;
        QTest::newRow("trailing comma in the object") << QByteArray("{\"type\":\"user\",}") << other << none;
        QTest::newRow("missing colon in a nested object")
            << QByteArray("{\"type\":\"user\",\"m\":{\"a\" 1}}") << other << none;
        QTest::newRow("bad escape in a nested string")
            << QByteArray("{\"type\":\"user\",\"m\":\"\\x\"}") << other << none;
        QTest::newRow("misspelt literal") << QByteArray("{\"type\":\"user\",\"m\":tru}") << other << none;
        QTest::newRow("bad number") << QByteArray("{\"type\":\"user\",\"m\":01}") << other << none;
        QTest::newRow("raw tab inside a string")
            << QByteArray("{\"type\":\"user\",\"m\":\"a\tb\"}") << other << none;
        QTest::newRow("unquoted key") << QByteArray("{type:\"user\"}") << other << none;
        QTest::newRow("nesting too deep")
            << (QByteArray("{\"type\":\"user\",\"m\":") + QByteArray(600, '[') + QByteArray(600, ']') + "}")
            << other << none;

        QTest::newRow("invalid UTF-8 in a user line")
            << QByteArray("{\"type\":\"user\",\"m\":\"\xff\"}") << Kind::invalidText << none;
        QTest::newRow("invalid UTF-8 in a line that is not JSON")
            << QByteArray("{\"type\": \"\xc3") << Kind::invalidText << none;
        QTest::newRow("invalid UTF-8 beside a raw control character")
            << QByteArray("{\"m\":\"\x01\xed\xa0\x80\"}") << Kind::invalidText << none;
    }

    void lines()
    {
        QFETCH(QByteArray, line);
        QFETCH(Kind, kind);
        QFETCH(std::optional<double>, date);
        TranscriptLineReader reader;
        const TranscriptLineReader::Line read = readLine(reader, line);
        QCOMPARE(read.kind, kind);
        QCOMPARE(read.date, date);
    }

    // One parser serves every line of a file; a rejected line must not spoil the next one.
    void readerRecoversAfterABadLine()
    {
        TranscriptLineReader reader;
        const QByteArray malformed = "{\"type\":\"user\",\"m\":[1,}\"";
        const QByteArray notText = "{\"m\":\"\xff\"}";
        const QByteArray good = "{\"type\":\"user\",\"timestamp\":\"2025-01-31T09:15:00Z\"}";
        QCOMPARE(readLine(reader, malformed).kind, Kind::other);
        QCOMPARE(readLine(reader, notText).kind, Kind::invalidText);
        const auto read = readLine(reader, good);
        QCOMPARE(read.kind, Kind::userMessage);
        QCOMPARE(read.date, std::optional(sampleDate));
    }
};

QTEST_GUILESS_MAIN(TestTranscriptLineReader)
#include "tst_transcriptlinereader.moc"
