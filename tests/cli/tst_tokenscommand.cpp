#include "TestHome.h"
#include "probe/ProbeServers.h"

#include <QFile>
#include <QTest>

#include <nlohmann/json.hpp>

namespace {

const QString fakeServer = QStringLiteral(QUORLANE_TEST_DATA_DIR "/probe/fake_stdio_server.py");

// A hand-made server (2000 tokens, or 1501 for 6004 bytes) that notes every start in `mark`.
nlohmann::json server(const QString &mark, int size = 8000)
{
    return {
        {"command", "python3"},
        {"args",
         {fakeServer.toStdString(), "plain", "--size", std::to_string(size), "--log", mark.toStdString()}}};
}

QByteArray bytes(const nlohmann::json &value)
{
    return QByteArray::fromStdString(value.dump());
}

// A home with a server of every kind; `mark(name)` exists once that server has been started.
struct Setup
{
    TestHome home;
    QString repo = home.path() + QStringLiteral("/Projects/repo");

    Setup()
    {
        write(false);
        home.write(QStringLiteral("Projects/repo/.mcp.json"),
                   bytes({{"mcpServers", {{"cloned", server(mark("cloned"))}}}}));
        home.write(home.desktopConfig(), bytes({{"mcpServers", {{"desk", server(mark("desk"), 6004)}}}}));
        home.write(home.managedConfig(), bytes({{"mcpServers", {{"admin", server(mark("admin"))}}}}));
    }
    // ~/.claude.json with one global server, and the repository approved or not. The approving
    // file also holds a cut emoji (a lone surrogate escape), as a project's history can.
    void write(bool approveRepo)
    {
        nlohmann::json claudeJson;
        claudeJson["mcpServers"]["own"] = server(mark("own"));
        claudeJson["projects"][repo.toStdString()]["mcpServers"] = nlohmann::json::object();
        if (approveRepo) {
            // Claude Code loads nothing from a folder before the user trusts it.
            claudeJson["projects"][repo.toStdString()]["hasTrustDialogAccepted"] = true;
            claudeJson["projects"][repo.toStdString()]["enabledMcpjsonServers"] = {"cloned"};
            claudeJson["projects"][repo.toStdString()]["history"] = {{{"display", "@CUT@"}}};
        }
        home.write(home.claudeJson(), bytes(claudeJson).replace("@CUT@", "\\ud83d"));
    }
    [[nodiscard]] QString mark(const char *name) const
    {
        return home.path() + QStringLiteral("/started-") + QLatin1String(name);
    }
    [[nodiscard]] bool started(const char *name) const { return QFile::exists(mark(name)); }
    [[nodiscard]] qsizetype starts(const char *name) const
    {
        return TestHome::read(mark(name)).count("started\n");
    }
};

} // namespace

class TestTokensCommand : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Named servers only, each once, a managed one too; without names every listed server. Neither
    // starts a project server Claude Code has not approved.
    void unapprovedProjectServerIsNeverStarted()
    {
        Setup setup;
        const TestHome::Run named =
            setup.home.runQuorlane({QStringLiteral("tokens"), QStringLiteral("admin"),
                                    QStringLiteral("cloned"), QStringLiteral("admin")});
        QCOMPARE(named.exitCode, 0);
        const QStringList lines = QString::fromUtf8(named.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 2);
        QVERIFY2(lines[0].startsWith(QStringLiteral("admin ")) &&
                     lines[0].contains(QStringLiteral(" 2000 tokens/message")),
                 named.out.constData());
        QVERIFY2(lines[1].startsWith(QStringLiteral("cloned ")) &&
                     lines[1].contains(QStringLiteral("1500")) &&
                     lines[1].contains(QStringLiteral("not probed")),
                 named.out.constData());
        QCOMPARE(setup.starts("admin"), 1);
        QVERIFY(!setup.started("own"));

        const TestHome::Run run =
            setup.home.runQuorlane({QStringLiteral("tokens"), QStringLiteral("--json")});
        QCOMPARE(run.exitCode, 0);
        const auto output = nlohmann::json::parse(run.out.toStdString());
        const nlohmann::json expected = {
            {"tokens", {{"own", 2000}, {"desk", 1501}, {"cloned", 1500}}},
            {"notProbed", {"cloned"}},
            {"servers",
             {{{"name", "own"}, {"source", "global"}, {"tokensPerMessage", 2000}, {"measured", true}},
              {{"name", "desk"}, {"source", "desktop"}, {"tokensPerMessage", 1501}, {"measured", true}},
              {{"name", "cloned"},
               {"source", "project"},
               {"project", setup.repo.toStdString()},
               {"tokensPerMessage", 1500},
               {"measured", false}}}}};
        QVERIFY2(output == expected, run.out.constData());
        QVERIFY(setup.started("own"));
        QVERIFY(setup.started("desk"));
        QVERIFY2(!setup.started("cloned"), "the repository's server was started");
        QVERIFY(
            TestHome::read(setup.home.configDir() + "/Quorlane/mcp_probe_cache_v2.json").contains("\"own\""));

        // Once Claude Code approves it, it is measured at once: no stand-in was cached for it.
        setup.write(true);
        const TestHome::Run approved = setup.home.runQuorlane(
            {QStringLiteral("tokens"), QStringLiteral("cloned"), QStringLiteral("--json")});
        QCOMPARE(approved.exitCode, 0);
        const auto measured = nlohmann::json::parse(approved.out.toStdString());
        QVERIFY2(measured["tokens"] == nlohmann::json({{"cloned", 2000}}) && measured["notProbed"].empty() &&
                     measured["servers"][0]["measured"] == true,
                 approved.out.constData());
        QVERIFY(setup.started("cloned"));
    }

    // The panel asks for every estimate when it opens and again when the listed names change;
    // a server whose probe is under way is not started a second time.
    void panelStartsEachServerOnce()
    {
        Setup setup;
        const TestHome::Run run = setup.home.runQuorlane(
            {QStringLiteral("panel"), QStringLiteral("--screenshot"),
             setup.home.path() + QStringLiteral("/panel.png"), QStringLiteral("--wait-probes")});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(setup.starts("own"), 1);
        QCOMPARE(setup.starts("desk"), 1);
        QVERIFY(!setup.started("cloned"));
    }

    // A global, a Claude Desktop and a project server named alike, each a different reference
    // server: three figures, each with its tools, heaviest first, adding up to it.
    void serversOfOneNameAreMeasuredApart()
    {
        TestHome home;
        const QString repo = home.path() + QStringLiteral("/repo");
        const auto reference = [](const char *package, const QStringList &extra = {}) {
            const QString script = ProbeServers::referenceScript(QLatin1String(package));
            nlohmann::json args = {script.toStdString()};
            for (const QString &arg : extra)
                args.push_back(arg.toStdString());
            return nlohmann::json{{"command", "node"}, {"args", args}};
        };
        QVERIFY2(!ProbeServers::referenceScript(QStringLiteral("server-memory")).isEmpty(),
                 "the reference servers are not installed (scripts/setup.sh)");
        nlohmann::json claudeJson;
        claudeJson["mcpServers"]["srv"] = reference("server-everything");
        claudeJson["projects"][repo.toStdString()]["mcpServers"]["srv"] =
            reference("server-filesystem", {repo});
        home.write(home.claudeJson(), bytes(claudeJson));
        home.write(home.desktopConfig(), bytes({{"mcpServers", {{"srv", reference("server-memory")}}}}));
        home.write(QStringLiteral("repo/README"), "a project");

        const TestHome::Run run = home.runQuorlane({QStringLiteral("tokens"), QStringLiteral("srv"),
                                                    QStringLiteral("--json"), QStringLiteral("--tools")},
                                                   120000);
        QCOMPARE(run.exitCode, 0);
        const auto output = nlohmann::json::parse(run.out.toStdString());
        QVERIFY2(output["tokens"].empty(), "a name of three servers has no one figure");
        QCOMPARE(output["servers"].size(), size_t(3));
        QSet<qint64> figures;
        for (const auto &server : output["servers"]) {
            QVERIFY2(server["measured"] == true, server.dump().c_str());
            const auto tokens = server["tokensPerMessage"].get<qint64>();
            figures.insert(tokens);
            qint64 sum = 0, previous = tokens;
            for (const auto &tool : server["tools"]) {
                QVERIFY2(tool["tokens"].get<qint64>() <= previous, "not heaviest first");
                previous = tool["tokens"].get<qint64>();
                sum += previous;
            }
            QVERIFY2(server["tools"].size() > 1 && (tokens == 1500 || std::abs(sum - tokens) * 50 <= tokens),
                     server.dump().c_str());
        }
        QCOMPARE(figures.size(), 3);
        QVERIFY2(output["servers"][0]["source"] == "global" && output["servers"][1]["source"] == "desktop" &&
                     output["servers"][2]["project"] == repo.toStdString(),
                 run.out.constData());

        // list takes each figure by definition: outside the project a session loads the global
        // server, inside it the project's own.
        const auto listed = nlohmann::json::parse(
            home.runQuorlane({QStringLiteral("list"), QStringLiteral("--json")}).out.toStdString());
        QVERIFY2(listed["tokensPerMessage"] == output["servers"][0]["tokensPerMessage"] &&
                     listed["projects"][0]["tokensPerMessage"] == output["servers"][2]["tokensPerMessage"],
                 listed.dump().c_str());

        // The text shows the same, each tool under its server, from the cache.
        const TestHome::Run text = home.runQuorlane({QStringLiteral("tokens"), QStringLiteral("--tools")});
        const QStringList lines = QString::fromUtf8(text.out).split(QLatin1Char('\n'));
        const auto &desktop = output["servers"][1];
        const qsizetype at = lines.indexOf(
            QStringLiteral("srv  %1 tokens/message  desktop").arg(desktop["tokensPerMessage"].get<qint64>()));
        QVERIFY2(at >= 0, text.out.constData());
        const auto &heaviest = desktop["tools"][0];
        QVERIFY2(lines.value(at + 1).simplified() ==
                     QStringLiteral("%1 %2")
                         .arg(QString::fromStdString(heaviest["name"].get<std::string>()))
                         .arg(heaviest["tokens"].get<qint64>()),
                 text.out.constData());
    }

    // A server that gives no tool list shows the stand-in, marked, and is asked again next time.
    void failedProbeIsAskedAgain()
    {
        TestHome home;
        const QString late = home.path() + QStringLiteral("/bin/late");
        home.write(home.claudeJson(), bytes({{"mcpServers", {{"late", {{"command", late.toStdString()}}}}}}));
        const auto measures = [&](qint64 tokens, bool measured) {
            const TestHome::Run run = home.runQuorlane({QStringLiteral("tokens"), QStringLiteral("--json")});
            const nlohmann::json expected = {
                {"name", "late"}, {"source", "global"}, {"tokensPerMessage", tokens}, {"measured", measured}};
            return nlohmann::json::parse(run.out.toStdString(), nullptr, false)["servers"][0] == expected;
        };
        QVERIFY(measures(1500, false));
        QVERIFY(home.runQuorlane({QStringLiteral("tokens")}).out.contains("stand-in"));
        home.write(late, "#!/bin/sh\nexec python3 '" + fakeServer.toUtf8() + "' plain --size 8000\n");
        QVERIFY(QFile::setPermissions(late, QFile::ReadOwner | QFile::ExeOwner));
        QVERIFY(measures(2000, true));
    }

    void unknownNameProbesNothing()
    {
        Setup setup;
        const TestHome::Run run =
            setup.home.runQuorlane({QStringLiteral("tokens"), QStringLiteral("own"), QStringLiteral("nope")});
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains("no MCP server named 'nope'"), run.err.constData());
        QVERIFY(run.out.isEmpty());
        QVERIFY(!setup.started("own"));
    }
};

QTEST_GUILESS_MAIN(TestTokensCommand)
#include "tst_tokenscommand.moc"
