// Claude Code finds a project's transcripts in a folder named after the project's path; a
// resume id must come from the folder Claude Code itself uses, and must never be something the
// CLI would read as an option.
#include "TestHome.h"
#include "platform/TranscriptFolders.h"
#include "sessions/SessionDiscovery.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QtTest>

namespace {

// Claude Code's own naming, run by node on the same paths: the figures the C++ must match.
const char *const nodeNaming = R"(
function hash(e){let t=0;for(let n=0;n<e.length;n++)t=(t<<5)-t+e.charCodeAt(n)|0;return t}
function name(e){let t=e.replace(/[^a-zA-Z0-9]/g,"-");
  return t.length<=200?t:`${t.slice(0,200)}-${Math.abs(hash(e)).toString(36)}`}
console.log(JSON.stringify(process.argv.slice(1).map(name)));)";

const QString longPath = QStringLiteral("/home/dev/") + QStringLiteral("nested_folder.d/").repeated(13) +
                         QStringLiteral("Übung 🚀");

QString id(char digit)
{
    return QString(8, QLatin1Char(digit)) + QStringLiteral("-0000-4000-8000-") +
           QString(12, QLatin1Char(digit));
}

} // namespace

class TestTranscriptFolders : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void namesMatchClaudeCode()
    {
        const QStringList paths{QStringLiteral("/home/a/my_app.v2"), QStringLiteral("/Users/a/Übung 3/🚀"),
                                longPath, longPath + QLatin1Char('x'), QString(201, QLatin1Char('/'))};
        TestHome home;
        const TestHome::Run node = home.run(
            QStringLiteral("node"), QStringList{QStringLiteral("-e"), QString::fromUtf8(nodeNaming)} + paths);
        QCOMPARE(node.exitCode, 0);
        const QJsonArray expected = QJsonDocument::fromJson(node.out).array();
        QCOMPARE(expected.size(), paths.size());
        for (qsizetype i = 0; i < paths.size(); ++i)
            QCOMPARE(TranscriptFolders::claudeCodeName(paths.at(i)), expected.at(i).toString());
        QCOMPARE(TranscriptFolders::claudeCodeName(paths.first()), QStringLiteral("-home-a-my-app-v2"));
    }

    // The newest transcript with a session-id name, in Claude Code's folder before the older
    // "/"-only name; a newer file named like an option is never a resume id.
    void latestTranscriptID_data()
    {
        QTest::addColumn<QString>("project");
        QTest::addColumn<bool>("moved");
        QTest::newRow("dot and underscore") << QStringLiteral("/home/a/my_app.v2") << false;
        QTest::newRow("longer than 200, CLAUDE_CONFIG_DIR") << longPath << true;
    }
    void latestTranscriptID()
    {
        QFETCH(QString, project);
        QFETCH(bool, moved);
        TestHome home;
        const QString claudeDir =
            home.path() + (moved ? QStringLiteral("/moved") : QStringLiteral("/.claude"));
        if (moved)
            qputenv("CLAUDE_CONFIG_DIR", claudeDir.toUtf8());
        const auto restore = qScopeGuard([] { qunsetenv("CLAUDE_CONFIG_DIR"); });
        const QString root = claudeDir + QStringLiteral("/projects/");
        const QDateTime now = QDateTime::currentDateTime();
        const auto transcript = [&](const QString &folder, const QString &name, int age) {
            QFile file(
                home.write(root + folder + QLatin1Char('/') + name + QStringLiteral(".jsonl"), "{}\n"));
            QVERIFY(file.open(QIODevice::ReadWrite) &&
                    file.setFileTime(now.addSecs(-age), QFileDevice::FileModificationTime));
        };
        const QString own = TranscriptFolders::claudeCodeName(project);
        const QString old = TranscriptFolders::slashOnlyName(project);
        transcript(old, id('1'), 0);
        transcript(own, id('2'), 50);
        transcript(own, id('3'), 20);
        transcript(own, QStringLiteral("--dangerously-skip-permissions"), 0);
        transcript(own, id('4') + QStringLiteral(" x"), 0);
        const SessionDiscovery discovery(ProcessSource::forThisSystem(), home.path(), 0);
        QCOMPARE(discovery.latestTranscriptID(project), id('3'));

        QVERIFY(QDir(root + own).removeRecursively());
        if (own.size() > 200) {
            // An older release hashed differently: Claude Code also looks at the same prefix.
            transcript(own.left(201) + QStringLiteral("zz9"), id('5'), 30);
            QCOMPARE(discovery.latestTranscriptID(project), id('5'));
            QVERIFY(QDir(root + own.left(201) + QStringLiteral("zz9")).removeRecursively());
        }
        QCOMPARE(discovery.latestTranscriptID(project), id('1'));
    }
};

QTEST_GUILESS_MAIN(TestTranscriptFolders)
#include "tst_transcriptfolders.moc"
