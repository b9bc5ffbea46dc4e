// What a Claude Code session loads in a folder, checked against Claude Code itself: a home written
// by the real `claude` CLI (user, local and project scopes), with approvals and a /mcp switch as
// Claude Code's own prompts write them, must load what `claude mcp list` reports there.
#include "TestHome.h"
#include "platform/QuorlaneError.h"
#include "store/ConfigLoader.h"
#include "store/JsonFile.h"
#include "store/LocalSettingsApproval.h"

#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

using ClaudeCodeRules::ServerLoad;
using ClaudeCodeRules::State;

namespace {

QString describe(const MCPServerEntry &entry)
{
    return (QStringList{entry.command} + entry.args.value_or(QStringList{})).join(QLatin1Char(' '));
}

// What `claude mcp list` would print for these loads: per name the winner's command, or
// "pending" when only a server awaiting approval has the name. It ignores /mcp switches (the
// home switches no .mcp.json server off that way: there it means rejected).
QMap<QString, QString> asClaudeListsThem(const QList<ServerLoad> &loads)
{
    QMap<QString, QString> view;
    for (const ServerLoad &load : loads) {
        const bool slashMcp =
            load.state == State::offInClaudeCode && load.scope != ClaudeCodeRules::Scope::project;
        if (!view.contains(load.entry.name) && (load.state == State::on || slashMcp))
            view.insert(load.entry.name, describe(load.entry));
    }
    for (const ServerLoad &load : loads)
        if (load.state == State::awaitingApproval && !view.contains(load.entry.name))
            view.insert(load.entry.name, QStringLiteral("pending"));
    return view;
}

QMap<QString, QString> parseClaudeList(const QByteArray &output)
{
    QMap<QString, QString> view;
    static const QRegularExpression line(QStringLiteral("^([\\w-]+): (.*) - (.*)$"),
                                         QRegularExpression::MultilineOption);
    for (auto it = line.globalMatch(QString::fromUtf8(output)); it.hasNext();) {
        const auto match = it.next();
        view.insert(match.captured(1), match.captured(3).contains(QStringLiteral("Pending approval"))
                                           ? QStringLiteral("pending")
                                           : match.captured(2).trimmed());
    }
    return view;
}

QString stateOf(const QList<ServerLoad> &loads, const QString &name, ClaudeCodeRules::Scope scope)
{
    for (const ServerLoad &load : loads)
        if (load.entry.name == name && load.scope == scope)
            return ClaudeCodeRules::toString(load.state);
    return QStringLiteral("absent");
}

} // namespace

class TestProjectLoads : public QObject
{
    Q_OBJECT

    TestHome m_home;
    LoadResult m_loaded;
    QString m_repo, m_sub, m_other;

    void claude(const QStringList &arguments, const QString &folder)
    {
        const auto run = m_home.run(QStringLiteral("claude"), arguments, folder, 120000);
        QVERIFY2(run.exitCode == 0, run.err.constData());
    }
    const MCPProject *project(const QString &path) const
    {
        for (const MCPProject &listed : m_loaded.projects)
            if (listed.path == path)
                return &listed;
        return nullptr;
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("claude")).isEmpty())
            QSKIP("the claude CLI is not installed (scripts/setup.sh installs it)");
        m_repo = m_home.path() + "/code/repo";
        m_sub = m_repo + "/sub";
        m_other = m_home.path() + "/code/other";
        QVERIFY(QDir().mkpath(m_sub) && QDir().mkpath(m_other));
        QCOMPARE(m_home.run("git", {"init", "-q", m_repo}).exitCode, 0);
        const QString home = m_home.path();
        for (const auto &[scope, name, argument, folder] :
             QList<std::tuple<QString, QString, QString, QString>>{{"user", "g1", "user", home},
                                                                   {"user", "dup", "user", home},
                                                                   {"local", "loc", "local", m_repo},
                                                                   {"project", "shared", "project", m_repo},
                                                                   {"project", "dup", "project", m_repo},
                                                                   {"project", "rej", "project", m_repo},
                                                                   {"project", "pend", "project", m_repo},
                                                                   {"local", "insub", "sub", m_sub},
                                                                   {"project", "dup", "other", m_other},
                                                                   {"local", "dup", "otherlocal", m_other}})
            claude({"mcp", "add", "-s", scope, name, "--", "echo", argument}, folder);
        // What the trust dialog, the approval prompt and /mcp write.
        auto root = nlohmann::json::parse(TestHome::read(m_home.claudeJson()).toStdString());
        {
            auto &repo = root["projects"][m_repo.toStdString()];
            repo["hasTrustDialogAccepted"] = true;
            repo["disabledMcpServers"] = {"g1"};
            // Claude Code files a subfolder of a work tree under its root (the "local" server
            // added in the subfolder went there); an entry of its own is what an older version
            // left behind.
            root["projects"][m_sub.toStdString()] = nlohmann::json::object();
        }
        m_home.write(".claude.json", QByteArray::fromStdString(root.dump(2)));
        m_home.write(m_repo + "/.claude/settings.local.json",
                     R"({"enabledMcpjsonServers":["shared","dup","rej"],"disabledMcpjsonServers":["rej"]})");
        // Before Claude Code runs in the subfolder and files it under the work tree's root.
        m_loaded = ConfigLoader::loadSnapshot(ConfigPaths::forCurrentUser(), {});
    }

    // The same home as Claude Code sees it, folder by folder; and what `claude mcp list` does not
    // show, whether the user server "dup" is hidden by a winner of its name.
    void matchesClaudeMcpList_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("userDup");
        QTest::newRow("trusted project with approvals") << m_repo << "shadowed";
        QTest::newRow("subfolder of a git work tree") << m_sub << "on"; // pending shadows nothing
        QTest::newRow("untrusted project, with a local server") << m_other << "shadowed";
    }
    void matchesClaudeMcpList()
    {
        QFETCH(QString, folder);
        QFETCH(QString, userDup);
        const MCPProject *listed = project(folder);
        QVERIFY(listed);
        const auto run = m_home.run(QStringLiteral("claude"), {"mcp", "list"}, folder, 120000);
        QCOMPARE(asClaudeListsThem(listed->loads), parseClaudeList(run.out));
        QCOMPARE(stateOf(listed->loads, "dup", ClaudeCodeRules::Scope::user), userDup);
    }

    // An approval is spliced into the folder's settings.local.json as its own layout would write
    // it; every other byte stays.
    void approvalKeepsTheLayout_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("after"); // empty: unchanged; "refused": an error, no write
        QTest::newRow("one line") << QByteArray(R"({"a":1,"enabledMcpjsonServers":["x"]})") << "a\"b"
                                  << QByteArray("{\"a\":1,\"enabledMcpjsonServers\":[\"x\",\"a\\\"b\"]}");
        QTest::newRow("one line, no list yet")
            << QByteArray(R"({"a":{"b":[1]}})") << "n"
            << QByteArray(R"({"a":{"b":[1]},"enabledMcpjsonServers":["n"]})");
        QTest::newRow("four spaces, empty list")
            << QByteArray("{\n    \"enabledMcpjsonServers\": []\n}\n") << "n"
            << QByteArray("{\n    \"enabledMcpjsonServers\": [\n        \"n\"\n    ]\n}\n");
        QTest::newRow("rejected among others")
            << QByteArray("{\n  \"disabledMcpjsonServers\": [\n    \"a\",\n    \"n\",\n    \"b\"\n  ]\n}")
            << "n"
            << QByteArray("{\n  \"disabledMcpjsonServers\": [\n    \"a\",\n    \"b\"\n  ],\n"
                          "  \"enabledMcpjsonServers\": [\n    \"n\"\n  ]\n}");
        QTest::newRow("empty object") << QByteArray("{}\n") << "n"
                                      << QByteArray("{\n  \"enabledMcpjsonServers\": [\n    \"n\"\n  ]\n}\n");
        QTest::newRow("already approved")
            << QByteArray(R"({"enabledMcpjsonServers":["n"]})") << "n" << QByteArray();
        QTest::newRow("a list of another shape")
            << QByteArray(R"({"enabledMcpjsonServers":"n"})") << "n" << QByteArray("refused");
        QTest::newRow("not an object") << QByteArray("[]") << "n" << QByteArray("refused");
    }
    void approvalKeepsTheLayout()
    {
        QFETCH(QByteArray, before);
        QFETCH(QString, name);
        QFETCH(QByteArray, after);
        try {
            const auto written =
                LocalSettingsApproval::approved(before, QStringLiteral("settings.local.json"), name);
            QCOMPARE(written.value_or(QByteArray()), after);
        } catch (const QuorlaneError &error) {
            QVERIFY2(after == "refused", qPrintable(error.description()));
        }
    }

    // A link where the file belongs may lead out of the folder: never written through.
    void approvalRefusesALink()
    {
        const QString folder = m_home.path() + "/code/linked";
        QVERIFY(QDir().mkpath(folder + "/.claude"));
        const QString target = m_home.path() + "/precious.json";
        m_home.write(target, "{}");
        QVERIFY(QFile::link(target, LocalSettingsApproval::pathFor(folder)));
        QVERIFY_THROWS_EXCEPTION(FileSystemError,
                                 LocalSettingsApproval::approve(folder, QStringLiteral("n")));
        QCOMPARE(TestHome::read(target), QByteArray("{}"));
    }

    void listShowsLoadsAndTotals()
    {
        const auto run = m_home.runQuorlane({"list", "--json"});
        QCOMPARE(run.exitCode, 0);
        const auto root = nlohmann::json::parse(run.out.toStdString());
        QCOMPARE(root["tokensPerMessage"].get<qint64>(), 2 * 1500); // g1 and dup, never measured
        for (const auto &project : root["projects"]) {
            if (project["path"] != m_repo.toStdString())
                continue;
            // loc, insub, shared, dup: g1 is off by /mcp, the rest do not load.
            QCOMPARE(project["tokensPerMessage"].get<qint64>(), 4 * 1500);
            QCOMPARE(project["loads"].size(), size_t(8));
            QCOMPARE(project["servers"].size(), size_t(6)); // two local, four from .mcp.json
            return;
        }
        QFAIL("the project is not listed");
    }
};

QTEST_GUILESS_MAIN(TestProjectLoads)
#include "tst_projectloads.moc"
