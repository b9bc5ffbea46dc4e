#include "ProbeTestServers.h"
#include "TestHome.h"
#include "probe/ChildProcess.h"
#include "probe/ProbeMessages.h"
#include "probe/StdioProbe.h"

#include <QFile>
#include <QFuture>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

using namespace ProbeTestServers;

namespace {

QString readText(const QString &path)
{
    return QString::fromUtf8(TestHome::read(path));
}

QByteArray line(const nlohmann::json &message)
{
    return QByteArray::fromStdString(message.dump()) + '\n';
}

nlohmann::json toolsReply(int id, const nlohmann::json &tools)
{
    return {{"jsonrpc", "2.0"}, {"id", id}, {"result", {{"tools", tools}}}};
}

const nlohmann::json twoTools = nlohmann::json::array({{{"name", "a"}}, {{"name", "b/c"}}});

struct ServerCase
{
    QString row;
    QString package; // reference servers
    QString mode;    // hand-made servers
    QStringList arguments;
    qint64 tokens = 0;
};

QList<ServerCase> referenceCases()
{
    return {{QStringLiteral("server-everything"), QStringLiteral("server-everything"), {}, {}, 0},
            {QStringLiteral("server-memory"), QStringLiteral("server-memory"), {}, {}, 0},
            {QStringLiteral("server-filesystem"),
             QStringLiteral("server-filesystem"),
             {},
             {QDir::tempPath()},
             0}};
}

QList<ServerCase> handMadeCases()
{
    const auto size = [](int n) { return QStringList{QStringLiteral("--size"), QString::number(n)}; };
    const auto mode = [&](const char *row, const char *mode, int bytes, qint64 tokens) {
        return ServerCase{QString::fromLatin1(row), {}, QString::fromLatin1(mode), size(bytes), tokens};
    };
    // The sizes are of the tools as written (slashes escaped, UTF-8): a writer that got either
    // wrong lands on the other side of these borders.
    return {mode("6003 bytes", "plain", 6003, 1500),
            mode("6004 bytes", "plain", 6004, 1501),
            mode("8000 bytes", "plain", 8000, 2000),
            mode("two result lines add up", "two-results", 8000, 4000),
            mode("invalid UTF-8 after the reply", "invalid-utf8", 8000, 1500),
            mode("tools that are not objects", "not-objects", 8000, 1500),
            mode("spaced id, measured at end of output", "spaced-id-exit", 8000, 2000),
            mode("12 MB on standard error first", "stderr-flood", 8000, 2000)};
}

} // namespace

class TestStdioProbe : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void estimateTokens_data()
    {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<qint64>("tokens");
        QTest::newRow("nothing") << qint64(0) << qint64(1500);
        QTest::newRow("just under the floor") << qint64(6003) << qint64(1500);
        QTest::newRow("first byte count above the floor") << qint64(6004) << qint64(1501);
        QTest::newRow("a quarter of 8000") << qint64(8000) << qint64(2000);
        QTest::newRow("a quarter of 40000") << qint64(40000) << qint64(10000);
        QTest::newRow("remainder truncated") << qint64(8003) << qint64(2000);
    }
    void estimateTokens()
    {
        QFETCH(qint64, bytes);
        QFETCH(qint64, tokens);
        QCOMPARE(ProbeMessages::estimateTokens(bytes), tokens);
    }

    void compactWriterEscapesSlashesAndKeepsUtf8()
    {
        const nlohmann::json value = {{"path", "a/b"}, {"text", "é ✓"}, {"n", 1}};
        QCOMPARE(ProbeMessages::writeCompact(value), QByteArray(R"({"n":1,"path":"a\/b","text":"é ✓"})"));
        QCOMPARE(ProbeMessages::writeCompact(ProbeMessages::initializedNotification()),
                 QByteArray(R"({"jsonrpc":"2.0","method":"notifications\/initialized"})"));
    }

    void hasToolsListReply_data()
    {
        QTest::addColumn<QByteArray>("buffer");
        QTest::addColumn<bool>("complete");
        const QByteArray reply = line(toolsReply(2, twoTools));
        QTest::newRow("the reply") << reply << true;
        QTest::newRow("the reply without its line feed yet") << reply.chopped(1) << true;
        QTest::newRow("half the reply") << reply.left(reply.size() / 2) << false;
        QTest::newRow("the initialize reply only")
            << line({{"jsonrpc", "2.0"}, {"id", 1}, {"result", {}}}) << false;
        QTest::newRow("after the initialize reply") << line({{"id", 1}, {"result", {}}}) + reply << true;
        QTest::newRow("space after the colon of the id")
            << QByteArray(R"({"jsonrpc":"2.0","id": 2,"result":{"tools":[]}})"
                          "\n")
            << false;
        QTest::newRow("tools of another id") << line(toolsReply(3, twoTools)) << false;
        QTest::newRow("id 2 with an error") << line({{"id", 2}, {"error", {{"code", 1}}}}) << false;
        QTest::newRow("tools that are not objects") << line(toolsReply(2, {1, 2})) << false;
        QTest::newRow("tools as an object") << line(toolsReply(2, {{"a", 1}})) << false;
        QTest::newRow("invalid UTF-8 before the reply") << QByteArray("\xff\xfe\n") + reply << false;
    }
    void hasToolsListReply()
    {
        QFETCH(QByteArray, buffer);
        QFETCH(bool, complete);
        QCOMPARE(StdioProbe::hasToolsListReply(buffer), complete);
    }

    void toolsByteCount_data()
    {
        QTest::addColumn<QByteArray>("output");
        QTest::addColumn<qint64>("bytes");
        const qint64 one = ProbeMessages::writeCompact(twoTools).size();
        QTest::newRow("one reply") << line(toolsReply(2, twoTools)) << one;
        QTest::newRow("two lines with tools add up")
            << line(toolsReply(9, twoTools)) + line(toolsReply(2, twoTools)) << 2 * one;
        QTest::newRow("malformed and other lines are skipped")
            << QByteArray("{not json\n\n[1,2]\n") + line({{"id", 1}, {"result", {}}}) +
                   line(toolsReply(2, twoTools))
            << one;
        QTest::newRow("the bytes as written, not as received")
            << QByteArray(R"({"id":2, "result": {"tools": [ {"name" : "a/b"} ]}})") << qint64(17);
    }
    void toolsByteCount()
    {
        QFETCH(QByteArray, output);
        QFETCH(qint64, bytes);
        QCOMPARE(StdioProbe::toolsByteCount(output), std::optional<qint64>(bytes));
    }

    void toolsByteCountRejectsInvalidUtf8()
    {
        QCOMPARE(StdioProbe::toolsByteCount(line(toolsReply(2, twoTools)) + "\xc3\x28\n"), std::nullopt);
    }

    void resolveExecutable()
    {
        QTemporaryDir dir;
        const QString tool = dir.path() + QStringLiteral("/quorlane-test-tool");
        QFile file(tool);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\n");
        file.close();
        const QString plain = dir.path() + QStringLiteral("/not-executable");
        QFile(tool).copy(plain);
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

        const QByteArray savedPath = qgetenv("PATH");
        qputenv("PATH", dir.path().toUtf8() + ':' + savedPath);
        const auto restore = qScopeGuard([&] { qputenv("PATH", savedPath); });

        QCOMPARE(StdioProbe::resolveExecutable(tool), std::optional(tool));
        QCOMPARE(StdioProbe::resolveExecutable(plain), std::nullopt);
        QCOMPARE(StdioProbe::resolveExecutable(QStringLiteral("/no/such/file")), std::nullopt);
        // A search directory wins over PATH; then the shell's which finds what is only on PATH.
        QCOMPARE(StdioProbe::resolveExecutable(QStringLiteral("sh")),
                 std::optional(QStringLiteral("/usr/bin/sh")));
        QCOMPARE(StdioProbe::resolveExecutable(QStringLiteral("quorlane-test-tool")), std::optional(tool));
        QCOMPARE(StdioProbe::resolveExecutable(QStringLiteral("not-executable")), std::nullopt);
        QCOMPARE(StdioProbe::resolveExecutable(QStringLiteral("no-such-program-anywhere")), std::nullopt);
    }

    void resolveExecutableNeverRunsTheNameAsShellCode_data()
    {
        QTest::addColumn<QString>("command");
        QTest::newRow("command separator") << QStringLiteral("ls; touch %1");
        QTest::newRow("command substitution") << QStringLiteral("$(touch %1)");
        QTest::newRow("backticks") << QStringLiteral("`touch %1`");
        QTest::newRow("and-list") << QStringLiteral("nothing && touch %1");
        QTest::newRow("option-looking name") << QStringLiteral("-a; touch %1");
    }
    void resolveExecutableNeverRunsTheNameAsShellCode()
    {
        QFETCH(QString, command);
        QTemporaryDir dir;
        const QString marker = dir.path() + QStringLiteral("/ran");
        QCOMPARE(StdioProbe::resolveExecutable(command.arg(marker)), std::nullopt);
        QVERIFY2(!QFile::exists(marker), "the command name was run by the shell");
    }

    void runShellCommand()
    {
        QCOMPARE(StdioProbe::runShellCommand(QStringLiteral("echo one; echo two >&2; echo three")),
                 QStringLiteral("one\nthree\n"));
        QCOMPARE(StdioProbe::runShellCommand(QStringLiteral("printf 'ok\\377'")), QString());
        QCOMPARE(StdioProbe::runShellCommand(QStringLiteral("printf %s \"$1\""),
                                             {QStringLiteral("_"), QStringLiteral("a b;c")}),
                 QStringLiteral("a b;c"));
    }

    void childEnvironment()
    {
        const QByteArray savedPath = qgetenv("PATH");
        const auto restore = qScopeGuard([&] { qputenv("PATH", savedPath); });
        const QString searchPath = QStringLiteral("/opt/homebrew/bin:/usr/local/bin:/usr/bin:/bin:");

        qputenv("PATH", "/mine");
        QVERIFY(StdioProbe::childEnvironment(std::nullopt)
                    .contains(QStringLiteral("PATH=") + searchPath + "/mine"));
        const QStringList own = StdioProbe::childEnvironment(QMap<QString, QString>{
            {QStringLiteral("PATH"), QStringLiteral("/only")}, {QStringLiteral("X"), QStringLiteral("1")}});
        QVERIFY(own.contains(QStringLiteral("PATH=/only")));
        QVERIFY(own.contains(QStringLiteral("X=1")));
        QCOMPARE(own.filter(QRegularExpression(QStringLiteral("^PATH="))).size(), 1);

        qunsetenv("PATH");
        QVERIFY(StdioProbe::childEnvironment(std::nullopt).contains(QStringLiteral("PATH=") + searchPath));
    }

    // Every probe waits out the handshake's fixed pauses, so the servers of the two tables
    // below are all probed at once, up front; each row then checks its own result.
    void initTestCase()
    {
        m_pool.setMaxThreadCount(32);
        for (const ServerCase &c : referenceCases()) {
            const QString script = referenceServerScript(c.package);
            if (script.isEmpty())
                continue;
            MCPServerEntry entry;
            entry.name = c.package;
            entry.command = QStringLiteral("node");
            entry.args = QStringList{script} + c.arguments;
            m_probes.insert(c.row, QtConcurrent::run(&m_pool, StdioProbe::probeStdio, entry));
            const QStringList reference =
                QStringList{QStringLiteral("stdio"), QStringLiteral("node"), script} + c.arguments;
            m_references.insert(c.row, QtConcurrent::run(&m_pool, referenceEstimate, reference));
        }
        for (const ServerCase &c : handMadeCases())
            m_probes.insert(c.row, QtConcurrent::run(&m_pool, StdioProbe::probeStdio,
                                                     fakeStdioServer(c.mode, c.mode, c.arguments)));
    }

    void referenceServers_data()
    {
        QTest::addColumn<QString>("package");
        for (const ServerCase &c : referenceCases())
            QTest::newRow(qPrintable(c.row)) << c.package;
    }
    void referenceServers()
    {
        QFETCH(QString, package);
        const QString row = QString::fromLatin1(QTest::currentDataTag());
        QVERIFY2(m_probes.contains(row), "the reference server is not installed (scripts/setup.sh)");
        const qint64 expected = m_references[row].result();
        QVERIFY(expected > 1500);
        QCOMPARE(m_probes[row].result(), expected);
    }

    void handMadeServers_data()
    {
        QTest::addColumn<qint64>("tokens");
        for (const ServerCase &c : handMadeCases())
            QTest::newRow(qPrintable(c.row)) << c.tokens;
    }
    void handMadeServers()
    {
        QFETCH(qint64, tokens);
        QCOMPARE(m_probes[QString::fromLatin1(QTest::currentDataTag())].result(), tokens);
    }

    void serversThatCannotStart_data()
    {
        QTest::addColumn<QString>("command");
        QTest::newRow("unknown bare name") << QStringLiteral("no-such-mcp-server");
        QTest::newRow("absolute path that is not executable")
            << QStringLiteral(QUORLANE_TEST_DATA_DIR "/probe/tool_list.py");
        QTest::newRow("empty command") << QString();
    }
    void serversThatCannotStart()
    {
        QFETCH(QString, command);
        MCPServerEntry entry;
        entry.name = QStringLiteral("broken");
        entry.command = command;
        QCOMPARE(StdioProbe::probeStdio(entry), qint64(1500));
    }

    void messagesOnTheWire()
    {
        QTemporaryDir dir;
        const QString log = dir.path() + QStringLiteral("/log");
        QCOMPARE(StdioProbe::probeStdio(fakeStdioServer(QStringLiteral("w"), QStringLiteral("plain"),
                                                        {QStringLiteral("--log"), log})),
                 qint64(2000));
        const QStringList lines =
            readText(log).split(QLatin1Char('\n'), Qt::SkipEmptyParts).filter(QStringLiteral("line "));
        QCOMPARE(lines.size(), 3);
        const auto message = [&](int i) { return nlohmann::json::parse(lines[i].mid(5).toStdString()); };
        QVERIFY(message(0)["id"] == 1);
        QVERIFY(message(0)["method"] == "initialize");
        QVERIFY(message(0)["params"]["protocolVersion"] == "2024-11-05");
        QVERIFY(message(0)["params"]["clientInfo"]["name"] == "quorlane");
        QVERIFY(!message(1).contains("id"));
        QVERIFY(!message(1).contains("params"));
        // As written on the wire: compact, with the slash escaped.
        QCOMPARE(lines[1].mid(5),
                 QStringLiteral(R"({"jsonrpc":"2.0","method":"notifications\/initialized"})"));
        QVERIFY(message(2)["id"] == 2);
        QVERIFY(message(2)["method"] == "tools/list");
        QVERIFY(message(2)["params"] == nlohmann::json::object());
    }

    void environmentOfTheServer()
    {
        QTemporaryDir dir;
        const QString log = dir.path() + QStringLiteral("/log");
        MCPServerEntry entry =
            fakeStdioServer(QStringLiteral("e"), QStringLiteral("env"), {QStringLiteral("--log"), log});
        entry.env =
            QMap<QString, QString>{{QStringLiteral("PROBE_VAR"), QStringLiteral("from the definition")}};
        QCOMPARE(StdioProbe::probeStdio(entry), qint64(2000));
        QVERIFY(
            readText(log).contains(QStringLiteral("PATH=/opt/homebrew/bin:/usr/local/bin:/usr/bin:/bin:") +
                                   qEnvironmentVariable("PATH") + QLatin1Char('\n')));
        QVERIFY(readText(log).contains(QStringLiteral("PROBE_VAR=from the definition\n")));
    }

    void theServerDoesNotOutliveTheProbe_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("pidFileSuffix");
        QTest::newRow("server that ignores the terminate signal")
            << QStringLiteral("ignore-term") << QString();
        QTest::newRow("helper the server started")
            << QStringLiteral("grandchild") << QStringLiteral(".helper");
    }
    void theServerDoesNotOutliveTheProbe()
    {
        QFETCH(QString, mode);
        QFETCH(QString, pidFileSuffix);
        QTemporaryDir dir;
        const QString pidFile = dir.path() + QStringLiteral("/pid");
        QCOMPARE(StdioProbe::probeStdio(fakeStdioServer(mode, mode, {QStringLiteral("--pid-file"), pidFile})),
                 qint64(2000));
        const qint64 pid = readText(pidFile + pidFileSuffix).toLongLong();
        QVERIFY(pid > 0);
        QVERIFY2(!isRunning(pid), "a process of the server is still running after the probe");
    }

    void cleanupTestCase() { m_pool.waitForDone(); }

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

private:
    QThreadPool m_pool;
    QHash<QString, QFuture<qint64>> m_probes;
    QHash<QString, QFuture<qint64>> m_references;
};

QTEST_GUILESS_MAIN(TestStdioProbe)
#include "tst_stdioprobe.moc"
