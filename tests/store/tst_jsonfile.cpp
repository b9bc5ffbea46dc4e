// The untyped rewrite is the only way Quorlane changes another program's file: whatever it does
// not touch must come out with equal values, and the file must never be half-written.
#include "TestHome.h"
#include "store/JsonFile.h"
#include "store/StoreError.h"

#include <QFile>
#include <QFileInfo>
#include <QTest>

using nlohmann::json;

class TestJsonFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void rewriteKeepsEveryOtherMember()
    {
        TestHome home;
        const QByteArray original =
            TestHome::read(QStringLiteral(QUORLANE_TEST_DATA_DIR "/claude-realistic.json"));
        const QString path = home.write(QStringLiteral(".claude.json"), original);
        json expected = json::parse(original.toStdString());
        QVERIFY(expected["mcpServers"].contains("x"));
        expected["mcpServers"].erase("x");

        JsonFile::rewrite(path, [](json &root) { root["mcpServers"].erase("x"); });

        const QByteArray written = TestHome::read(path);
        QVERIFY(json::parse(written.toStdString()) == expected);
        // Pretty-printed with sorted keys: one member per line, "autoUpdates" before "mcpServers".
        QVERIFY(written.count('\n') > 100);
        QVERIFY(written.indexOf("\"autoUpdates\"") < written.indexOf("\"mcpServers\""));
    }

    void rewriteKeepsNumbersAndText_data()
    {
        QTest::addColumn<QByteArray>("member");
        QTest::newRow("float with many digits") << QByteArray("0.1234567890123456789");
        QTest::newRow("tiny float") << QByteArray("5e-324");
        QTest::newRow("large integer") << QByteArray("9007199254740993");
        QTest::newRow("negative") << QByteArray("-42");
        QTest::newRow("unicode and slash") << QByteArray("\"caf\\u00e9 / \\ud83d\\ude00 \\\"q\\\"\"");
        QTest::newRow("control characters") << QByteArray("\"a\\u0001b\\nc\\td\"");
        QTest::newRow("nested empty") << QByteArray("{\"a\":[],\"b\":{},\"c\":null}");
    }
    void rewriteKeepsNumbersAndText()
    {
        QFETCH(QByteArray, member);
        TestHome home;
        const QByteArray text = "{\"keep\":" + member + ",\"mcpServers\":{\"a\":{}}}";
        const QString path = home.write(QStringLiteral("f.json"), text);
        JsonFile::rewrite(path, [](json &root) { root["mcpServers"].erase("a"); });
        const json after = json::parse(TestHome::read(path).toStdString());
        QVERIFY(after["keep"] == json::parse(text.toStdString())["keep"]);
    }

    void rewriteRefusesWhatIsNotAnObject_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("array") << QByteArray("[1]");
        QTest::newRow("truncated") << QByteArray("{\"a\":");
        QTest::newRow("not UTF-8") << QByteArray("{\"a\":\"\xc3\x28\"}");
    }
    void rewriteRefusesWhatIsNotAnObject()
    {
        QFETCH(QByteArray, content);
        TestHome home;
        const QString path = home.write(QStringLiteral("f.json"), content);
        QVERIFY_THROWS_EXCEPTION(FileSystemError, JsonFile::rewrite(path, [](json &) {}));
        QCOMPARE(TestHome::read(path), content);
    }

    // ~/.claude.json is private to its owner; a replacement must not widen that.
    void atomicWriteKeepsPermissions()
    {
        TestHome home;
        const QString path = home.write(QStringLiteral(".claude.json"), "{}");
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner));
        JsonFile::writeAtomically(path, "{\"a\":1}");
        const auto others = QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther;
        QCOMPARE(QFileInfo(path).permissions() & others, QFileDevice::Permissions());
        QCOMPARE(TestHome::read(path), QByteArray("{\"a\":1}"));
    }

    // People keep dotfiles in a repository and link them: the link must stay a link.
    void atomicWriteFollowsSymlinks()
    {
        TestHome home;
        const QString target = home.write(QStringLiteral("dotfiles/claude.json"), "{}");
        const QString link = home.path() + QStringLiteral("/.claude.json");
        QVERIFY(QFile::link(target, link));
        JsonFile::writeAtomically(link, "{\"b\":2}");
        QVERIFY(QFileInfo(link).isSymLink());
        QCOMPARE(TestHome::read(target), QByteArray("{\"b\":2}"));
    }

    void atomicWriteReportsTheFile()
    {
        TestHome home;
        const QString blocker = home.write(QStringLiteral("file"), "x");
        try {
            JsonFile::writeAtomically(blocker + QStringLiteral("/inside.json"), "{}");
            QFAIL("writing below a regular file succeeded");
        } catch (const FileSystemError &error) {
            QVERIFY(error.description().contains(QStringLiteral("inside.json")));
        }
    }
};

QTEST_GUILESS_MAIN(TestJsonFile)
#include "tst_jsonfile.moc"
