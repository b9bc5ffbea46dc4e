// A home as today's Claude Code leaves it: its folder moved with CLAUDE_CONFIG_DIR and written
// by the real CLI, transcripts in folders named its way with millisecond timestamps, and a
// project where Claude Code itself has a server switched off. 'quorlane savings' and 'list'
// must find it all; the figures come from the generator, computed independently.
#include "TestHome.h"
#include "cli/CliCommand.h"
#include "store/QuorlaneProjectConfig.h"

#include <QDir>
#include <QJsonDocument>
#include <QTest>

#include <nlohmann/json.hpp>

class TestSavingsCommand : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void todaysClaudeCodeHome()
    {
        TestHome home;
        const QString moved = home.path() + QStringLiteral("/moved claude");
        qputenv("CLAUDE_CONFIG_DIR", moved.toUtf8());
        const auto restore = qScopeGuard([] { qunsetenv("CLAUDE_CONFIG_DIR"); });
        const QString project = home.path() + QStringLiteral("/my_app.v2");
        QVERIFY(QDir().mkpath(project));
        const auto claude = [&](const QStringList &arguments) {
            const TestHome::Run run = home.run(QStringLiteral("claude"), arguments, project, 120000);
            QVERIFY2(run.exitCode == 0, run.err.constData());
        };
        claude({"mcp", "add", "-s", "user", "glob", "--", "echo", "g"});
        claude({"mcp", "add", "-s", "local", "a", "--", "echo", "a"});
        claude({"mcp", "add", "-s", "local", "b", "--", "echo", "b"});
        QVERIFY(QFileInfo::exists(moved + QStringLiteral("/.claude.json")));
        QVERIFY(!QFileInfo::exists(home.claudeJson()));
        // What Claude Code's /mcp writes when the user switches "glob" off in this project.
        auto root = nlohmann::json::parse(TestHome::read(moved + "/.claude.json").toStdString());
        root["projects"][project.toStdString()]["disabledMcpServers"] = nlohmann::json::array({"glob"});
        home.write(moved + "/.claude.json", QByteArray::fromStdString(root.dump(2)));

        // Switched off through Quorlane, from inside the project, with the path typed as ".".
        for (const char *name : {"a", "b"}) {
            const TestHome::Run off = home.run(QStringLiteral(QUORLANE_BINARY),
                                               {QStringLiteral("disable"), QString::fromLatin1(name),
                                                QStringLiteral("--project"), QStringLiteral(".")},
                                               project);
            QVERIFY2(off.exitCode == 0, off.err.constData());
        }
        home.write(home.configDir() + QStringLiteral("/Quorlane/mcp_probe_cache_v2.json"),
                   R"([{"mcpName":"a","definition":"0","tokensPerMessage":2000,"timestamp":0}])");

        const TestHome::Run generated =
            home.run(QStringLiteral("python3"),
                     {QStringLiteral(QUORLANE_SOURCE_DIR "/bench/gen_transcripts.py"),
                      QStringLiteral("--home"), home.path(), QStringLiteral("--config-dir"), moved,
                      QStringLiteral("--size"), QStringLiteral("1M"), QStringLiteral("--now"),
                      QDateTime::currentDateTimeUtc().toString(Qt::ISODate), QStringLiteral("--quiet")},
                     {}, 120000);
        QCOMPARE(generated.exitCode, 0);
        const qint64 expected =
            QJsonDocument::fromJson(generated.out)[QStringLiteral("user_lines_counted")].toInteger(-1);
        QVERIFY(expected > 0);

        const TestHome::Run savings = home.runQuorlane({QStringLiteral("savings"), QStringLiteral("--json")});
        QCOMPARE(savings.exitCode, 0);
        const QJsonDocument figures = QJsonDocument::fromJson(savings.out);
        QCOMPARE(figures[QStringLiteral("sessionsAnalyzed")].toInteger(), expected);
        QCOMPARE(figures[QStringLiteral("totalTokensSaved")].toInteger(), expected * 3500);

        const TestHome::Run list = home.runQuorlane({QStringLiteral("list"), QStringLiteral("--json")});
        QCOMPARE(list.exitCode, 0);
        const auto listed = nlohmann::json::parse(list.out.toStdString());
        QVERIFY2(listed["global"][0]["name"] == "glob" && listed["projects"].size() == 1 &&
                     listed["projects"][0]["path"] == project.toStdString() &&
                     listed["projects"][0]["offInClaudeCode"] == nlohmann::json::array({"glob"}),
                 list.out.constData());
        const TestHome::Run text = home.runQuorlane({QStringLiteral("list")});
        QVERIFY2(text.out.contains("\n  off in Claude Code: glob\n"), text.out.constData());
    }

    // The help names the command as it is typed, not the path of the running executable.
    void everyCommandsHelpStartsWithItsUsage()
    {
        TestHome home;
        for (const CliCommand &command : cliCommands()) {
            const TestHome::Run run = home.runQuorlane({command.name, QStringLiteral("--help")});
            QVERIFY2(run.exitCode == 0 &&
                         run.out.startsWith("Usage: quorlane " + command.name.toUtf8() + ' '),
                     run.out.constData());
        }
    }

    void nothingSwitchedOffSavesNothing()
    {
        TestHome home;
        home.write(QStringLiteral(".claude/projects/-w-p/s.jsonl"), "{\"type\":\"user\"}\n");
        const TestHome::Run run = home.runQuorlane({QStringLiteral("savings")});
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.out.contains("Tokens saved (30 days): 0\n"), run.out.constData());
        QVERIFY(run.out.contains("$0.0000"));
    }
};

QTEST_GUILESS_MAIN(TestSavingsCommand)
#include "tst_savingscommand.moc"
