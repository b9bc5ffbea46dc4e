// The panel's toggle flows against real files in a temporary home: what is written, what is
// announced, what is shown, and what is (not) relaunched.
#include "PanelFixture.h"

#include "panel/DemoHome.h"
#include "services/ToggleEvents.h"
#include "store/ProjectServerToggle.h"
#include "store/QuorlaneProjectConfig.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <sys/stat.h>

namespace {

QByteArray claudeJson(const QString &project, bool withAlpha = true)
{
    nlohmann::json root{{"mcpServers", {{"beta", {{"command", "demo-beta"}}}}}};
    if (withAlpha)
        root["mcpServers"]["alpha"] = {{"command", "demo-alpha"}};
    root["projects"][project.toStdString()]["mcpServers"]["gamma"] = {{"command", "demo-gamma"},
                                                                      {"args", {"--x"}}};
    return QByteArray::fromStdString(root.dump());
}

int globalRow(const PanelModel &panel, const QString &name)
{
    const QList<ServerRow> &rows = panel.globalRows()->rows();
    for (int i = 0; i < rows.size(); ++i) {
        if (rows[i].entry.name == name)
            return i;
    }
    return -1;
}

} // namespace

class TestPanelFlows : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<PanelFixture> m_fixture;
    QList<ToggleAction> m_events;
    QString m_project;
    std::unique_ptr<QSignalSpy> m_finished;

    PanelModel &panel() { return *m_fixture->panel; }

    void startPanel()
    {
        m_project = m_fixture->home.path() + QStringLiteral("/code/app");
        QDir().mkpath(m_project);
        m_fixture->home.write(m_fixture->home.claudeJson(), claudeJson(m_project));
        m_fixture->start();
        m_finished = std::make_unique<QSignalSpy>(&panel(), &PanelModel::toggleFinished);
        showPanel();
        QCOMPARE(panel().listState(), PanelModel::ListState::list);
    }

    // A flow can finish before the call that starts it returns: count, then wait.
    void showPanel()
    {
        QSignalSpy reloaded(&panel(), &PanelModel::reloaded);
        panel().panelShown();
        QTRY_VERIFY_WITH_TIMEOUT(reloaded.count() == 1, 15000);
    }

private Q_SLOTS:
    void init()
    {
        m_fixture = std::make_unique<PanelFixture>();
        m_events.clear();
        connect(&m_fixture->events, &ToggleEvents::toggled, this,
                [this](const ToggleAction &action) { m_events.append(action); });
    }
    void cleanup()
    {
        m_finished.reset();
        m_fixture.reset();
    }

    void globalFlipAnnouncesOnce_data()
    {
        QTest::addColumn<bool>("autoRelaunch");
        QTest::newRow("relaunch off: no session is even looked for") << false;
        QTest::newRow("relaunch on: sessions are looked for") << true;
    }
    void globalFlipAnnouncesOnce()
    {
        QFETCH(bool, autoRelaunch);
        m_fixture->prefs.setAutoRelaunch(autoRelaunch);
        startPanel();
        const int row = globalRow(panel(), QStringLiteral("alpha"));
        QVERIFY(row >= 0);

        panel().toggleGlobal(row, false);
        QTRY_COMPARE_WITH_TIMEOUT(m_finished->count(), 1, 15000);

        QCOMPARE(m_events.size(), 1);
        QCOMPARE(m_events[0].server, QStringLiteral("alpha"));
        QCOMPARE(m_events[0].projectPath, QString());
        QCOMPARE(m_events[0].isEnabled, false);
        QCOMPARE(panel().toggleError(), QString());
        panel().rebuildNow();
        QCOMPARE(panel().globalRows()->rows().at(globalRow(panel(), QStringLiteral("alpha"))).isEnabled,
                 false);
        QCOMPARE(*m_fixture->lookups == 0, !autoRelaunch);
    }

    // Each row says what a Claude Code session makes of its server where the row stands, and the
    // title bar and the project header add up the servers that really load. The global and the
    // local alpha differ in definition, so each has its own figure.
    void rowsShowWhatLoadsWhere()
    {
        const QString project = writeLoadStatesHome(m_fixture->home);
        m_fixture->start({{QStringLiteral("alpha demo-alpha"), 31000},
                          {QStringLiteral("alpha demo-local-alpha"), 6000},
                          {QStringLiteral("alpha demo-alpha-2"), 500},
                          {QStringLiteral("beta"), 4000},
                          {QStringLiteral("delta"), 2000},
                          {QStringLiteral("gamma"), 3000},
                          {QStringLiteral("pending"), 5000}});
        m_finished = std::make_unique<QSignalSpy>(&panel(), &PanelModel::toggleFinished);
        showPanel();
        QTRY_VERIFY_WITH_TIMEOUT(!panel().probesRunning(), 15000);
        panel().rebuildNow();

        const auto shown = [](const RowListModel *rows) {
            QStringList lines;
            for (const ServerRow &row : rows->rows())
                lines << row.entry.name + QLatin1Char('|') + ServerRows::secondLine(row) +
                             (row.loads() ? QStringLiteral("|loads") : QStringLiteral("|-"));
            return lines;
        };
        QCOMPARE(shown(panel().globalRows()),
                 QStringList({QStringLiteral("alpha||loads"), QStringLiteral("beta||-"),
                              QStringLiteral("delta||loads"), QStringLiteral("gamma|blocked by policy|-")}));
        QCOMPARE(panel().projects()->count(), 1);
        QCOMPARE(shown(panel().projects()->rowsAt(0)),
                 QStringList({QStringLiteral("alpha||loads"), QStringLiteral("pending|awaiting approval|-"),
                              QStringLiteral("alpha|Global \u00b7 shadowed by local|-"),
                              QStringLiteral("delta|Global \u00b7 off in Claude Code|-")}));
        // Outside every project: alpha and delta; in the project: its own alpha, nothing else.
        QCOMPARE(panel().sessionTokens(), (ServerLoads::SessionTokens{33000, 2, 0}));
        QVERIFY(panel().sessionTokensHeavy());
        const QModelIndex header = panel().projects()->index(0);
        QCOMPARE(header.data(ProjectListModel::TokenTextRole).toString(), QStringLiteral("~6.0k"));
        QCOMPARE(panel().projects()->rowsAt(0)->rows().at(2).tokensPerMessage, 31000);
        QCOMPARE(header.data(ProjectListModel::CountTextRole).toString(), QStringLiteral("2/2"));
        QVERIFY(panel().globalRows()->rows().at(0).heavy());

        // A shadowed global server is not switched for the folder: that would switch off the
        // local server that wins its name.
        panel().toggleProject(0, 2, false);
        QVERIFY(!panel().projects()->rowsAt(0)->rows().at(2).busy);
        QCOMPARE(m_finished->count(), 0);
        // delta, switched off here with /mcp, is switched back on for this folder alone.
        panel().toggleProject(0, 3, true);
        QTRY_COMPARE_WITH_TIMEOUT(m_finished->count(), 1, 15000);
        QCOMPARE(panel().toggleError(), QString());
        const auto claude = nlohmann::json::parse(TestHome::read(m_fixture->home.claudeJson()).toStdString());
        QVERIFY(claude["projects"][project.toStdString()]["disabledMcpServers"] == nlohmann::json::array());
        panel().rebuildNow();
        QCOMPARE(panel().projects()->rowsAt(0)->count(), 3);
        QCOMPARE(panel().projects()->index(0).data(ProjectListModel::TokenTextRole).toString(),
                 QStringLiteral("~8.0k"));

        // A global alpha that now runs another program is measured again.
        auto changed = nlohmann::json::parse(TestHome::read(m_fixture->home.claudeJson()).toStdString());
        changed["mcpServers"]["alpha"]["command"] = "demo-alpha-2";
        m_fixture->home.write(m_fixture->home.claudeJson(), QByteArray::fromStdString(changed.dump()));
        showPanel();
        QTRY_COMPARE_WITH_TIMEOUT(panel().sessionTokens().total, 2500, 15000);

        // A second click folds the row again.
        panel().toggleExpanded(-1, 0);
        QVERIFY(panel().globalRows()->rows().at(0).isExpanded);
        panel().toggleExpanded(-1, 0);
        QVERIFY(!panel().globalRows()->rows().at(0).isExpanded);
    }

    // The tools come from the probe's cache with the server's figure; a project lists the global
    // servers loading in it on request.
    void rowsUnfoldOnRequest()
    {
        QVERIFY(DemoHome::populate());
        m_fixture->start();
        showPanel();
        QTRY_VERIFY_WITH_TIMEOUT(!panel().probesRunning(), 15000);
        const int row = globalRow(panel(), QStringLiteral("github"));
        panel().toggleExpanded(-1, row);
        const QList<ToolTokens> tools = panel().globalRows()->rows().at(row).tools;
        QCOMPARE(tools.size(), 8);
        QCOMPARE(tools.first(), (ToolTokens{QStringLiteral("create_or_update_file"), 1610}));

        // The api folder's line lists the global servers that load there too, and hides them.
        const QModelIndex api = panel().projects()->index(0);
        QCOMPARE(api.data(ProjectListModel::GlobalsTextRole).toString(),
                 QStringLiteral("3 global servers load here too"));
        const qsizetype own = panel().projects()->rowsAt(0)->count();
        panel().toggleGlobalsShown(0);
        const QList<ServerRow> &rows = panel().projects()->rowsAt(0)->rows();
        QCOMPARE(rows.size(), own + 3);
        QVERIFY(rows.last().inherited && rows.last().loads());
        panel().toggleGlobalsShown(0);
        QCOMPARE(panel().projects()->rowsAt(0)->count(), own);
    }

    // A cloned repository's .mcp.json that is a FIFO: the panel lists the rest and names the
    // file in its error strip, instead of waiting on it ("Loading…" for ever).
    void unreadableSourceIsNamedInTheErrorStrip()
    {
        const QString clone = m_fixture->home.path() + QStringLiteral("/clone");
        QDir().mkpath(clone);
        QCOMPARE(::mkfifo(QFile::encodeName(clone + QStringLiteral("/.mcp.json")).constData(), 0600), 0);
        startPanel();
        QVERIFY2(panel().toggleError().contains(clone + QStringLiteral("/.mcp.json: it is a FIFO")),
                 qPrintable(panel().toggleError()));
    }

    // Another program removed the server after the panel listed it.
    void failedGlobalFlipShowsTheErrorAndAnnouncesNothing()
    {
        m_fixture->prefs.setAutoRelaunch(true);
        startPanel();
        const int row = globalRow(panel(), QStringLiteral("alpha"));
        m_fixture->home.write(m_fixture->home.claudeJson(), claudeJson(m_project, false));

        panel().toggleGlobal(row, false);
        QTRY_COMPARE_WITH_TIMEOUT(m_finished->count(), 1, 15000);

        QCOMPARE(panel().toggleError(), QStringLiteral("MCP server \u2018alpha\u2019 was not found."));
        QVERIFY(m_events.isEmpty());
        QCOMPARE(*m_fixture->lookups, 0);
        // The next flip of any switch clears the strip before it starts.
        panel().toggleGlobal(globalRow(panel(), QStringLiteral("beta")), false);
        QCOMPARE(panel().toggleError(), QString());
        QTRY_COMPARE_WITH_TIMEOUT(m_finished->count(), 2, 15000);
    }

    void projectFlipRunsBesideTheInterfaceAndIgnoresRepeatClicks()
    {
        m_fixture->prefs.setAutoRelaunch(false);
        startPanel();
        QCOMPARE(panel().projects()->count(), 1);

        QSignalSpy listStates(&panel(), &PanelModel::listStateChanged);
        panel().toggleProject(0, 0, false);
        QVERIFY(panel().projects()->rowsAt(0)->rows().at(0).busy);
        panel().toggleProject(0, 0, false); // still applying: ignored
        QTRY_COMPARE_WITH_TIMEOUT(m_finished->count(), 1, 15000);
        QCOMPARE(listStates.count(), 0); // the reload kept the list up: no "Loading…" flash

        QCOMPARE(QuorlaneProjectConfig::load(m_project).disabled, QStringList{QStringLiteral("gamma")});
        QCOMPARE(m_events.size(), 1);
        QCOMPARE(m_events[0].projectPath, m_project);
        QCOMPARE(m_events[0].isEnabled, false);
        const ServerRow shown = panel().projects()->rowsAt(0)->rows().at(0);
        QVERIFY(!shown.busy);
        QVERIFY(!shown.isEnabled);
    }

    // A .mcp.json server is switched in the record and, since Claude Code does not read the
    // record, in the folder's own list as /mcp does: the row's state is what a session loads.
    void mcpjsonServerIsSwitchedWhereClaudeCodeLooks()
    {
        const QString project = m_fixture->home.path() + QStringLiteral("/code/repo");
        const QByteArray mcpjson = R"({"mcpServers":{"shared":{"command":"demo-shared"}}})";
        m_fixture->home.write(project + QStringLiteral("/.mcp.json"), mcpjson);
        const nlohmann::json claude{
            {"projects",
             {{project.toStdString(),
               {{"hasTrustDialogAccepted", true}, {"enabledMcpjsonServers", {"shared"}}}}}}};
        m_fixture->home.write(m_fixture->home.claudeJson(), QByteArray::fromStdString(claude.dump()));
        m_fixture->start();
        m_finished = std::make_unique<QSignalSpy>(&panel(), &PanelModel::toggleFinished);
        showPanel();
        QCOMPARE(panel().projects()->count(), 1);
        for (const bool on : {false, true}) {
            panel().toggleProject(0, 0, on);
            QTRY_COMPARE_WITH_TIMEOUT(m_finished->count(), on ? 2 : 1, 15000);
            QCOMPARE(panel().toggleError(), QString());
            const auto written =
                nlohmann::json::parse(TestHome::read(m_fixture->home.claudeJson()).toStdString());
            QVERIFY(written["projects"][project.toStdString()]["disabledMcpServers"] ==
                    (on ? nlohmann::json::array() : nlohmann::json::array({"shared"})));
            QCOMPARE(QuorlaneProjectConfig::load(project).disabled.contains(QStringLiteral("shared")), !on);
            QCOMPARE(TestHome::read(project + QStringLiteral("/.mcp.json")), mcpjson);
            panel().rebuildNow();
            QCOMPARE(panel().projects()->rowsAt(0)->rows().at(0).loads(), on);
        }
    }

    // The window may go away while the worker writes: the switch still completes and is
    // announced, and nothing touches the panel that is gone.
    void projectFlipOutlivesThePanel()
    {
        startPanel();
        panel().toggleProject(0, 0, false);
        m_finished.reset();
        m_fixture->panel.reset();
        QTRY_COMPARE_WITH_TIMEOUT(m_events.size(), 1, 15000);
        QCOMPARE(QuorlaneProjectConfig::load(m_project).disabled, QStringList{QStringLiteral("gamma")});
    }

    void failedProjectFlipShowsTheErrorAndAnnouncesNothing()
    {
        startPanel();
        // A folder where the sidecar file must go: no write can replace it, not even as root.
        QVERIFY(QDir().mkpath(QuorlaneProjectConfig::sidecarPath(m_project)));

        panel().toggleProject(0, 0, false);
        QTRY_COMPARE_WITH_TIMEOUT(m_finished->count(), 1, 15000);

        QVERIFY(!panel().toggleError().isEmpty());
        QVERIFY(m_events.isEmpty());
        QVERIFY(panel().projects()->rowsAt(0)->rows().at(0).isEnabled);
    }

    void switchingOnAForeignDefinitionWaitsForConfirmation()
    {
        startPanel();
        ProjectServerToggle::disableProjectServer(m_fixture->home.claudeJson(), QStringLiteral("gamma"),
                                                  m_project);
        m_fixture->panel->setTrustCheck(
            [](const QString &, const MCPServerEntry &entry) { return entry.name == u"gamma"; });
        showPanel();

        panel().toggleProject(0, 0, true);
        QCOMPARE(panel().confirmationName(), QStringLiteral("gamma"));
        QCOMPARE(panel().confirmationDetail(), QStringLiteral("demo-gamma --x"));
        QTest::qWait(50);
        QVERIFY(m_events.isEmpty());
        QCOMPARE(QuorlaneProjectConfig::load(m_project).disabled, QStringList{QStringLiteral("gamma")});

        panel().confirmPending();
        QTRY_COMPARE_WITH_TIMEOUT(m_finished->count(), 1, 15000);
        QVERIFY(QuorlaneProjectConfig::load(m_project).disabled.isEmpty());
        QCOMPARE(m_events.size(), 1);
        QVERIFY(m_events[0].isEnabled);
    }
};

QTEST_MAIN(TestPanelFlows)
#include "tst_panelflows.moc"
