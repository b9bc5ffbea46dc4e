// The lossless reader and sorted pretty writer against the generic tree's writer they replace:
// the same bytes wherever the old writer kept every value, the value itself where it did not.

#include "ClaudeJsonGenerator.h"
#include "store/Fingerprint.h"
#include "store/JsonFile.h"
#include "store/ToggleTestSupport.h"
#include "json/JsonDocument.h"
#include "json/JsonPrettyWriter.h"

#include <QTemporaryDir>
#include <QTest>

#include <nlohmann/json.hpp>

namespace {

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

std::optional<QByteArray> ours(const QByteArray &input, const JsonEdits &edits = {})
{
    const auto document = JsonDocument::parse(input);
    if (!document)
        return std::nullopt;
    return JsonPrettyWriter::write(*document, edits, JsonPrettyWriter::defaultLimit(input.size()));
}

// Equality with a short report: the files are megabytes long.
bool sameBytes(const QByteArray &actual, const QByteArray &expected)
{
    if (actual == expected)
        return true;
    qsizetype at = 0;
    while (at < actual.size() && at < expected.size() && actual[at] == expected[at])
        ++at;
    qWarning("first difference at byte %lld of %lld/%lld:\n ours: %s\n old:  %s", qlonglong(at),
             qlonglong(actual.size()), qlonglong(expected.size()),
             actual.mid(std::max<qsizetype>(0, at - 80), 160).constData(),
             expected.mid(std::max<qsizetype>(0, at - 80), 160).constData());
    return false;
}

} // namespace

class TestJsonDocument : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_large = m_dir.filePath(QStringLiteral("large.json"));
        QVERIFY(ClaudeJsonGenerator::write(m_large, 52 << 20));
    }

    // Untouched and edited, over real-sized files: byte for byte what nlohmann's dump(2) of
    // the sorted tree wrote.
    void writesWhatTheGenericTreeWrote_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("realistic fixture") << QStringLiteral(QUORLANE_TEST_DATA_DIR "/claude-realistic.json");
        QTest::newRow("generated 52 MB") << QString(); // m_large
    }

    void writesWhatTheGenericTreeWrote()
    {
        QFETCH(QString, file);
        const QByteArray input = readFile(file.isEmpty() ? m_large : file);
        QVERIFY(input.size() > 1000);
        auto tree = JsonFile::parseObject(input);
        QVERIFY(tree);
        auto plain = ours(input);
        QVERIFY(plain);
        QVERIFY(sameBytes(*plain, JsonFile::serializePretty(*tree)));

        // The edits the switches make: one server out, one in, one into a project that had no
        // servers member, and one below a member that is not an object.
        const nlohmann::json definition = {
            {"command", "npx"}, {"args", {"-y", "caf\u00e9"}}, {"n", 1.5}, {"big", 1e300}};
        JsonEdits edits;
        edits.remove({"mcpServers", "x"});
        edits.set({"mcpServers", "added"}, RawJSON::fromText(definition));
        edits.set({"projects", "/nowhere/new", "mcpServers", "p"}, RawJSON::fromText(definition));
        edits.set({"numStartups", "inner"}, RawJSON::fromText(definition));
        edits.remove({"missing", "deeper", "gone"});
        (*tree)["mcpServers"].erase("x");
        (*tree)["mcpServers"]["added"] = definition;
        (*tree)["projects"]["/nowhere/new"]["mcpServers"]["p"] = definition;
        (*tree)["numStartups"] = nlohmann::json::object({{"inner", definition}});
        auto edited = ours(input, edits);
        QVERIFY(edited);
        QVERIFY(sameBytes(*edited, JsonFile::serializePretty(*tree)));
    }

    // What JSON.parse accepts and the generic tree changed or refused: the value survives.
    void keepsWhatTheGenericTreeLost_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("integer beyond 64 bits")
            << QByteArray(R"({"n":123456789012345678901234567890})")
            << QByteArray("{\n  \"n\": 123456789012345678901234567890\n}");
        QTest::newRow("lone surrogates")
            << QByteArray(R"({"\ud83d":"cut \ud83d","b":"\uDE00x\ud83d\ude00"})")
            << QByteArray("{\n  \"b\": \"\\ude00x\xF0\x9F\x98\x80\",\n  \"\\ud83d\": \"cut \\ud83d\"\n}");
        QTest::newRow("beyond a double, negative zero")
            << QByteArray(R"([1e400,-1E+400,1e-400,-0,-0.0])")
            << QByteArray("[\n  1e400,\n  -1E+400,\n  1e-400,\n  -0,\n  -0.0\n]");
        QTest::newRow("last duplicate wins, escaped or not")
            << QByteArray(R"({"a":{"x":1},"b":2,"\u0061":{"y":2},"b":[]})")
            << QByteArray("{\n  \"a\": {\n    \"y\": 2\n  },\n  \"b\": []\n}");
    }

    void keepsWhatTheGenericTreeLost()
    {
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, expected);
        auto written = ours(input);
        QVERIFY(written);
        QCOMPARE(*written, expected);
        QCOMPARE(ours(*written), written); // and it reads back as itself
    }

    void refusesWhatIsNotJson_data()
    {
        QTest::addColumn<QByteArray>("input");
        for (const char *text :
             {"", " ", "{", "{\"a\":1,}", "[1,]", "{\"a\" 1}", "[01]", "[1.]", "[.5]", "[1e]", "\"\\x\"",
              "\"tab\there\"", "[1] [2]", "{\"a\":1}}", "[\"\xC3\x28\"]", "[\"\xED\xA0\xBD\"]", "NaN"})
            QTest::newRow(text) << QByteArray(text);
    }

    void refusesWhatIsNotJson()
    {
        QFETCH(QByteArray, input);
        QVERIFY(!JsonDocument::parse(input));
        QVERIFY(!JsonFile::parse(input)); // the old reader refused it too
    }

    // The digest verification and rollback compare instead of a second copy of the text: any
    // split of the text gives the same one, a changed or added byte anywhere another.
    void digestOfStreamedText()
    {
        const QByteArray text = readFile(m_large).left(100003);
        Fingerprint pieces;
        for (qsizetype at = 0; at < text.size(); at += 7)
            pieces.add(text.constData() + at, std::size_t(std::min<qsizetype>(7, text.size() - at)));
        const Fingerprint::Digest digest = Fingerprint::of(text);
        QVERIFY(pieces.digest() == digest);
        for (qsizetype at : {qsizetype(0), qsizetype(31), qsizetype(32), qsizetype(50000), text.size() - 1}) {
            QByteArray changed = text;
            changed[at] = char(changed[at] ^ 1);
            QVERIFY(!(Fingerprint::of(changed) == digest));
        }
        QVERIFY(!(Fingerprint::of(text + '\0') == digest));
    }

    // Unterminated far deeper than any stack allows: refused, without recursion.
    void deepUnterminatedIsRefused()
    {
        const QByteArray input = "[" + QByteArray(200000, '{').replace("{", "{\"a\":[") + "1";
        QVERIFY(!JsonDocument::parse(input));
    }

    // Files Claude Code reads without complaint: switching a global server off and on works, and
    // what it does not touch keeps its text.
    void switchesFilesClaudeCodeReads_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("kept");
        const QByteArray servers = R"("mcpServers":{"x":{"command":"npx","n":123456789012345678901234567890,)"
                                   R"("z":-0,"far":1e400,"s":"cut \ud83d","f":1.0,)"
                                   R"("deep":[{"\u0041":[-12345678901234567890123]}]}})";
        QTest::newRow("lone surrogate")
            << "{\"lastPrompt\":\"cut \\ud83d\"," + servers + "}" << QByteArray(R"("cut \ud83d")");
        QTest::newRow("duplicated mcpServers: the last one counts")
            << R"({"mcpServers":{"gone":{"command":"a"}},)" + servers + "}" << QByteArray("\"x\"");
        // A decoded key must outlive the writing of its siblings' subtrees, however deep.
        QTest::newRow("escaped key after escaped keys deeper")
            << "{" + servers + R"(,"kc\t ":659,"deep":[{"<\u0041":1}]})" << QByteArray(R"("kc\t ": 659)");
        QTest::newRow("deep member elsewhere")
            << "{\"d\":" + QByteArray(1500, '[') + QByteArray(1500, ']') + "," + servers + "}"
            << QByteArray("\"d\": [\n    [\n      [");
    }

    void switchesFilesClaudeCodeReads()
    {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, kept);
        TestHome home;
        home.write(home.claudeJson(), file);
        MCPConfigService service;
        QCoro::waitFor(service.reload());
        QCOMPARE(service.globalServers().size(), 1);
        QVERIFY(ToggleTestSupport::setServer(service, "x", MCPSource::global, false).ok);
        QVERIFY(!TestHome::read(home.claudeJson()).contains("\"x\""));
        QVERIFY(TestHome::read(home.stash()).contains(R"("f":1.0)")); // a float, even when whole
        const auto on = ToggleTestSupport::setServer(service, "x", MCPSource::global, true);
        QVERIFY2(on.ok, qPrintable(on.description));
        const QByteArray after = TestHome::read(home.claudeJson());
        QVERIFY(after.contains("\"x\": {"));
        // The definition came back through the stash with every value as written.
        for (const char *value : {R"("n": 123456789012345678901234567890)", R"("z": -0)", R"("far": 1e400)",
                                  R"("s": "cut \ud83d")", R"("A": [)", "-12345678901234567890123"})
            QVERIFY2(after.contains(value), value);
        QVERIFY(!after.contains("gone"));
        QVERIFY2(after.contains(kept), after.left(300).constData());
    }

private:
    QTemporaryDir m_dir;
    QString m_large;
};

QTEST_GUILESS_MAIN(TestJsonDocument)
#include "tst_jsondocument.moc"
