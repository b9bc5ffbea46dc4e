#include "ProbeServers.h"
#include "TestHome.h"
#include "platform/ChildProcess.h"
#include "platform/ShortCommand.h"
#include "probe/HttpProbe.h"
#include "probe/ProbeMessages.h"
#include "probe/StdioProbe.h"

#include <QElapsedTimer>
#include <QFuture>
#include <QProcess>
#include <QTest>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

using namespace ProbeServers;

namespace {

QByteArray line(const nlohmann::json &message)
{
    return QByteArray::fromStdString(message.dump()) + '\n';
}
nlohmann::json toolsReply(int id, const nlohmann::json &tools)
{
    return {{"jsonrpc", "2.0"}, {"id", id}, {"result", {{"tools", tools}}}};
}
const nlohmann::json twoTools = nlohmann::json::array({{{"name", "a"}}, {{"name", "b/c"}}});

struct Probe
{
    QFuture<qint64> tokens;
    qint64 expected = 0; // -1: what fake_server.py measures on the same server
    int requests = -1;   // HTTP servers: how many requests the probe sent
    std::shared_ptr<LocalHttpServer> server;
    QFuture<qint64> reference;
};

} // namespace

// The handshake pauses make probes slow: all start at once up front, each row checks one.
class TestProbes : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QThreadPool m_pool;
    QMap<QString, Probe> m_probes;
    MCPServerEntry m_wire = fakeStdio(QStringLiteral("wire"), QStringLiteral("plain"),
                                      {QStringLiteral("--log"), m_dir.filePath(QStringLiteral("wire.log"))});
    // A server whose own PATH must reach it unchanged.
    MCPServerEntry m_ownPath = [this] {
        MCPServerEntry entry =
            fakeStdio(QStringLiteral("own PATH"), QStringLiteral("plain"),
                      {QStringLiteral("--log"), m_dir.filePath(QStringLiteral("path.log"))});
        entry.env =
            QMap<QString, QString>{{QStringLiteral("PATH"), QStringLiteral("/opt/server/bin:/usr/bin")}};
        return entry;
    }();

    void stdio(const QString &row, const MCPServerEntry &entry, qint64 expected)
    {
        m_probes[row] = {QtConcurrent::run(&m_pool, StdioProbe::probeStdio, entry), expected, -1, {}, {}};
    }
    void http(const QString &row, std::shared_ptr<LocalHttpServer> server, qint64 expected, int requests,
              const QMap<QString, QString> &headers = {})
    {
        const QString url = server ? server->url() : row;
        m_probes[row] = {QtConcurrent::run(&m_pool, HttpProbe::probeHTTP, url, headers),
                         expected,
                         requests,
                         std::move(server),
                         {}};
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_pool.setMaxThreadCount(40);
        for (const QString &package : {QStringLiteral("server-everything"), QStringLiteral("server-memory"),
                                       QStringLiteral("server-filesystem")}) {
            const QString script = referenceScript(package);
            QVERIFY2(!script.isEmpty(), "the reference servers are not installed (scripts/setup.sh)");
            MCPServerEntry entry;
            entry.name = package;
            entry.command = QStringLiteral("node");
            entry.args = QStringList{script};
            if (package.endsWith(QStringLiteral("filesystem")))
                entry.args->append(QDir::tempPath());
            stdio(package, entry, -1);
            m_probes[package].reference =
                QtConcurrent::run(&m_pool, referenceEstimate,
                                  QStringList{QStringLiteral("stdio"), entry.command} + *entry.args);
        }
        const auto sized = [](int bytes) {
            return QStringList{QStringLiteral("--size"), QString::number(bytes)};
        };
        // Sizes of the tools as written (slashes escaped, UTF-8): a writer that got either wrong
        // lands on the other side of these borders.
        stdio(QStringLiteral("6003 bytes"),
              fakeStdio(QStringLiteral("s"), QStringLiteral("plain"), sized(6003)), 1500);
        stdio(QStringLiteral("6004 bytes"),
              fakeStdio(QStringLiteral("s"), QStringLiteral("plain"), sized(6004)), 1501);
        for (const auto &[mode, tokens] :
             QList<std::pair<QString, qint64>>{{QStringLiteral("two-results"), 2000},
                                               {QStringLiteral("flood"), 2000},
                                               {QStringLiteral("invalid-utf8"), 2000},
                                               {QStringLiteral("spaced-id-exit"), 2000},
                                               {QStringLiteral("stderr-flood"), 2000}})
            stdio(mode, fakeStdio(mode, mode), tokens);
        for (const QString &mode : {QStringLiteral("ignore-term"), QStringLiteral("grandchild")})
            stdio(mode, fakeStdio(mode, mode, {QStringLiteral("--pid-file"), m_dir.filePath(mode)}), 2000);
        stdio(QStringLiteral("wire"), m_wire, 2000);
        stdio(QStringLiteral("own PATH"), m_ownPath, 2000);
        for (const QString &command : {QStringLiteral("no-such-mcp-server"), fakeServer, QString()}) {
            MCPServerEntry broken;
            broken.command = command;
            stdio(QStringLiteral("cannot start: ") + command, broken, 1500);
        }

        http(QStringLiteral("server-everything over HTTP"), LocalHttpServer::everything(), -1, -1);
        m_probes[QStringLiteral("server-everything over HTTP")].reference = QtConcurrent::run(
            &m_pool, referenceEstimate,
            QStringList{QStringLiteral("http"),
                        m_probes[QStringLiteral("server-everything over HTTP")].server->url()});
        for (const auto &[mode, tokens, requests] :
             QList<std::tuple<QString, qint64, int>>{{QStringLiteral("json"), 2000, 3},
                                                     {QStringLiteral("sse"), 2000, 3},
                                                     {QStringLiteral("sse-flood"), 2000, 3},
                                                     {QStringLiteral("flood"), 1500, 4},
                                                     {QStringLiteral("list500"), 2000, 3},
                                                     {QStringLiteral("init401"), 1500, 1},
                                                     {QStringLiteral("init403"), 1500, 1},
                                                     {QStringLiteral("list401"), 1500, 3},
                                                     {QStringLiteral("list403"), 1500, 3}})
            http(mode, LocalHttpServer::fake(mode), tokens, requests);
        http(QStringLiteral("session"), LocalHttpServer::fake(QStringLiteral("session")), 2000, 3,
             {{QStringLiteral("accept"), QStringLiteral("application/json")},
              {QStringLiteral("Authorization"), QStringLiteral("Bearer t0ken")}});
        for (const QString &url : {QStringLiteral("http://[::1"), QStringLiteral("file:///etc/hostname"),
                                   QStringLiteral("localhost/mcp"), QStringLiteral("http://127.0.0.1:9/mcp")})
            http(url, nullptr, 1500, -1);
    }
    void cleanupTestCase() { m_pool.waitForDone(); }

    void servers_data()
    {
        QTest::addColumn<QString>("key");
        for (const QString &key : m_probes.keys())
            QTest::newRow(qPrintable(key)) << key;
    }
    void servers()
    {
        QFETCH(QString, key);
        Probe &probe = m_probes[key];
        const qint64 expected = probe.expected < 0 ? probe.reference.result() : probe.expected;
        QVERIFY(expected >= 1500);
        QCOMPARE(probe.tokens.result(), expected);
        if (probe.server && probe.requests >= 0)
            QTRY_COMPARE(probe.server->requests().size(), probe.requests);
            // The flood's last entry says how much the server sent before the probe hung up.
            // Not under AddressSanitizer: the figure measures how fast the probe reads and hangs up,
            // which its instrumentation slows several times over.
#ifndef __SANITIZE_ADDRESS__
        if (key == QLatin1String("flood"))
            QVERIFY(probe.server->requests().last()[QStringLiteral("sent")].toInteger() < 256 << 20);
#endif
    }

    void childrenDoNotOutliveTheProbe_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("pidFile");
        QTest::newRow("server that ignores the terminate signal")
            << QStringLiteral("ignore-term") << QString();
        QTest::newRow("helper the server started")
            << QStringLiteral("grandchild") << QStringLiteral(".helper");
    }
    void childrenDoNotOutliveTheProbe()
    {
        QFETCH(QString, mode);
        QFETCH(QString, pidFile);
        m_probes[mode].tokens.waitForFinished();
        const qint64 pid = TestHome::read(m_dir.filePath(mode + pidFile)).toLongLong();
        QVERIFY(pid > 0);
        QVERIFY2(!isRunning(pid), "a process of the server is still running after the probe");
    }

    void stdioHandshakeAndEnvironment()
    {
        m_probes[QStringLiteral("wire")].tokens.waitForFinished();
        m_probes[QStringLiteral("own PATH")].tokens.waitForFinished();
        const QString log = QString::fromUtf8(TestHome::read(m_wire.args->at(4)));
        QVERIFY(log.contains(QStringLiteral("\nPATH=/opt/homebrew/bin:/usr/local/bin:/usr/bin:/bin:") +
                             qEnvironmentVariable("PATH") + QLatin1Char('\n')));
        QVERIFY(TestHome::read(m_ownPath.args->at(4)).contains("\nPATH=/opt/server/bin:/usr/bin\n"));
        const QStringList lines =
            log.split(QLatin1Char('\n')).filter(QRegularExpression(QStringLiteral("^line ")));
        QCOMPARE(
            lines,
            (QStringList{
                QStringLiteral("line ") + ProbeMessages::writeCompact(ProbeMessages::initializeRequest()),
                QStringLiteral(R"(line {"jsonrpc":"2.0","method":"notifications\/initialized"})"),
                QStringLiteral(R"(line {"id":2,"jsonrpc":"2.0","method":"tools\/list","params":{}})")}));
    }

    void httpHeadersAndSession()
    {
        m_probes[QStringLiteral("session")].tokens.waitForFinished();
        const QList<QJsonObject> requests = m_probes[QStringLiteral("session")].server->requests();
        QStringList sessions;
        for (const QJsonObject &request : requests) {
            const QJsonObject headers = request[QStringLiteral("headers")].toObject();
            QCOMPARE(headers[QStringLiteral("content-type")].toString(), QStringLiteral("application/json"));
            QCOMPARE(headers[QStringLiteral("accept")].toString(), QStringLiteral("application/json"));
            QCOMPARE(request[QStringLiteral("acceptHeaders")].toInt(), 1);
            QCOMPARE(headers[QStringLiteral("authorization")].toString(), QStringLiteral("Bearer t0ken"));
            sessions << headers[QStringLiteral("mcp-session-id")].toString();
        }
        // Learned from the initialize response only, not from the notification's.
        QCOMPARE(sessions,
                 (QStringList{QString(), QStringLiteral("session-42"), QStringLiteral("session-42")}));
        QCOMPARE(requests[1][QStringLiteral("body")].toString(),
                 QStringLiteral(R"({"jsonrpc":"2.0","method":"notifications\/initialized"})"));
    }

    // Only the first line that answers the tool-list request by its id counts; -1: not believed.
    void scanToolsList_data()
    {
        QTest::addColumn<QByteArray>("buffer");
        QTest::addColumn<bool>("answered");
        QTest::addColumn<qint64>("bytes");
        const QByteArray reply = line(toolsReply(2, twoTools));
        const qint64 size = QByteArray(R"([{"name":"a"},{"name":"b\/c"}])").size();
        const QByteArray withoutId = line({{"result", {{"tools", twoTools}}}});
        QTest::newRow("the reply") << reply << true << size;
        QTest::newRow("half the reply") << reply.left(reply.size() / 2) << false << qint64(0);
        QTest::newRow("tools of another id") << line(toolsReply(3, twoTools)) << false << qint64(0);
        QTest::newRow("id 2 as text")
            << line({{"id", "2"}, {"result", {{"tools", twoTools}}}}) << false << qint64(0);
        QTest::newRow("a request of the server numbered 2, then the reply")
            << line({{"id", 2}, {"method", "roots/list"}}) + reply << true << size;
        QTest::newRow("id 2 with an error")
            << line({{"id", 2}, {"error", {{"code", 1}}}}) << true << qint64(0);
        QTest::newRow("the reply, then more answers")
            << reply + line(toolsReply(2, nlohmann::json::array({twoTools[0]}))) + withoutId << true << size;
        QTest::newRow("invalid UTF-8 before the reply")
            << QByteArray("\xff\xfe\n") + reply << false << qint64(-1);
    }
    void scanToolsList()
    {
        QFETCH(QByteArray, buffer);
        QFETCH(bool, answered);
        QFETCH(qint64, bytes);
        const StdioProbe::ToolsListScan scan = StdioProbe::scanToolsList(buffer, false);
        QCOMPARE(scan.answered, answered);
        QCOMPARE(scan.invalid, bytes < 0);
        if (bytes >= 0)
            QCOMPARE(scan.toolsBytes, bytes);
    }

    void parseToolsResponse_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("found");
        const QByteArray reply = line(toolsReply(2, twoTools)).chopped(1);
        QTest::newRow("data without a space, carriage returns") << "event: m\r\ndata:" + reply + "\r\n\r\n"
                                                                << true;
        QTest::newRow("indented data line") << " \tdata: \t" + reply + " \n" << true;
        QTest::newRow("second data line carries the tools") << R"(data: {"method":"ping"})"
                                                               "\ndata: " +
                                                                   reply
                                                            << true;
        QTest::newRow("tools of another id first")
            << "data: " + line(toolsReply(7, nlohmann::json::array())) + "\ndata: " + reply +
                   "\n\ndata: " + line(toolsReply(2, nlohmann::json::array()))
            << true;
        QTest::newRow("a whole body of another id") << line(toolsReply(3, twoTools)) << false;
        QTest::newRow("JSON-RPC error")
            << QByteArray(R"({"jsonrpc":"2.0","id":2,"error":{"code":-1}})") << false;
        QTest::newRow("tools not objects") << line(toolsReply(2, {1, 2})) << false;
        QTest::newRow("invalid UTF-8") << reply + "\xff" << false;
    }
    void parseToolsResponse()
    {
        QFETCH(QByteArray, body);
        QFETCH(bool, found);
        const auto tools = HttpProbe::parseToolsResponse(body);
        QCOMPARE(tools.has_value(), found);
        QVERIFY(!found || *tools == twoTools);
    }

    void resolveExecutable()
    {
        const QString tool = m_dir.filePath(QStringLiteral("quorlane-test-tool"));
        const QString plain = m_dir.filePath(QStringLiteral("not-executable"));
        for (const QString &path : {tool, plain}) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write("#!/bin/sh\n") > 0);
        }
        QFile(tool).setPermissions(QFile::ReadOwner | QFile::ExeOwner);
        const QByteArray savedPath = qgetenv("PATH");
        qputenv("PATH", m_dir.path().toUtf8() + ':' + savedPath);
        const auto restore = qScopeGuard([&] { qputenv("PATH", savedPath); });

        QCOMPARE(StdioProbe::resolveExecutable(tool), std::optional(tool));
        QCOMPARE(StdioProbe::resolveExecutable(plain), std::nullopt);
        // A search directory wins over PATH; then the shell's which finds what is only on PATH.
        QCOMPARE(StdioProbe::resolveExecutable(QStringLiteral("sh")),
                 std::optional(QStringLiteral("/usr/bin/sh")));
        QCOMPARE(StdioProbe::resolveExecutable(QStringLiteral("quorlane-test-tool")), std::optional(tool));
        // The name is an argument to which, never shell code.
        const QString marker = m_dir.filePath(QStringLiteral("ran"));
        for (const QString &name : {QStringLiteral("ls; touch %1"), QStringLiteral("$(touch %1)")})
            QCOMPARE(StdioProbe::resolveExecutable(name.arg(marker)), std::nullopt);
        QVERIFY2(!QFile::exists(marker), "a command name was run by the shell");

        QCOMPARE(StdioProbe::runShellCommand(QStringLiteral("echo one; echo two >&2")),
                 QStringLiteral("one\n"));
        QCOMPARE(StdioProbe::runShellCommand(QStringLiteral("printf 'ok\\377'")), QString());

        // A hung helper ends at its limit, with what it started.
        const QString helper = m_dir.filePath(QStringLiteral("helper.pid"));
        QElapsedTimer clock;
        clock.start();
        const ShortCommand::Result hung = ShortCommand::run(
            QStringLiteral("/bin/bash"),
            {QStringLiteral("-c"), QStringLiteral("sleep 300 & echo $! > \"$0\"; sleep 300"), helper},
            {std::chrono::milliseconds(300), std::nullopt, false});
        QVERIFY(hung.started && hung.timedOut && !hung.exitCode);
        QVERIFY(clock.elapsed() < 5000);
        QVERIFY2(!isRunning(TestHome::read(helper).toLongLong()), "the hung command's helper survived");
    }

    // Ending Quorlane in any way ends the servers it probes; this one ignores its input and the
    // terminate signal and starts a helper.
    void killedTokensRunLeavesNoServer_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGINT (Ctrl-C)") << SIGINT;
        QTest::newRow("SIGKILL: the parent-death signal") << SIGKILL;
    }
    void killedTokensRunLeavesNoServer()
    {
        QFETCH(int, signal);
        TestHome home;
        const QString pidFile = home.path() + QStringLiteral("/server.pid");
        const QString server =
            home.write(QStringLiteral("sleeper.sh"), "#!/bin/bash\ntrap '' TERM INT HUP\necho $$ > \"$1\"\n"
                                                     "sleep 300 &\necho $! > \"$1.helper\"\nwait\n");
        QFile::setPermissions(server, QFile::ReadOwner | QFile::ExeOwner);
        home.write(QStringLiteral(".claude.json"),
                   QStringLiteral(R"({"mcpServers":{"sleeper":{"command":"%1","args":["%2"]}}})")
                       .arg(server, pidFile)
                       .toUtf8());
        QProcess quorlane;
        quorlane.setProcessEnvironment(home.environment());
        quorlane.start(QStringLiteral(QUORLANE_BINARY), {QStringLiteral("tokens")});
        QTRY_VERIFY_WITH_TIMEOUT(!TestHome::read(pidFile + QStringLiteral(".helper")).isEmpty(), 20000);
        const qint64 serverPid = TestHome::read(pidFile).toLongLong();
        const qint64 helperPid = TestHome::read(pidFile + QStringLiteral(".helper")).toLongLong();
        QVERIFY(isRunning(serverPid) && isRunning(helperPid));
        ::kill(pid_t(quorlane.processId()), signal);
        QVERIFY(quorlane.waitForFinished(3000));
        QTRY_VERIFY_WITH_TIMEOUT(!isRunning(serverPid), 3000);
        // The parent-death signal reaches the server alone; a signal we catch ends its group.
        if (signal != SIGKILL)
            QTRY_VERIFY_WITH_TIMEOUT(!isRunning(helperPid), 3000);
        else
            ::kill(pid_t(helperPid), SIGKILL);
    }

    void writingToAServerThatHasExitedIsHarmless()
    {
        // Without care the write would raise SIGPIPE and end this test process.
        const auto child = ChildProcess::start(QStringLiteral("/bin/true"), {}, {}, true);
        QVERIFY(child);
        QByteArray ignored;
        while (child->read(ignored, std::chrono::seconds(30)) == ChildProcess::ReadStatus::data) {
        }
        QTRY_VERIFY_WITH_TIMEOUT(!child->write(QByteArray(200000, 'x')), 30000);
    }
};

QTEST_GUILESS_MAIN(TestProbes)
#include "tst_probes.moc"
