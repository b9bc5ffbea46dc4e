#include "ProbeTestServers.h"
#include "probe/HttpProbe.h"
#include "probe/ProbeMessages.h"

#include <QJsonObject>
#include <QTcpServer>
#include <QTest>
#include <QtConcurrent/QtConcurrentRun>

using namespace ProbeTestServers;

namespace {

// The probe blocks its thread and owns its network objects there, as in the application: run
// it on a worker, never on this (the test's main) thread.
qint64 probeOnWorker(const QString &url, const QMap<QString, QString> &headers = {})
{
    return QtConcurrent::run(HttpProbe::probeHTTP, url, headers).result();
}

QByteArray toolsReply(const nlohmann::json &tools)
{
    return QByteArray::fromStdString(
        nlohmann::json{{"jsonrpc", "2.0"}, {"id", 2}, {"result", {{"tools", tools}}}}.dump());
}

const nlohmann::json oneTool = nlohmann::json::array({{{"name", "fetch"}, {"description", "GET a/b"}}});

QString methodOf(const QJsonObject &request)
{
    return request[QStringLiteral("method")].toString();
}

QString header(const QJsonObject &request, const QString &name)
{
    return request[QStringLiteral("headers")].toObject()[name].toString();
}

} // namespace

class TestHttpProbe : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parseToolsResponse_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("found");
        const QByteArray reply = toolsReply(oneTool);
        QTest::newRow("plain JSON") << reply << true;
        QTest::newRow("event stream with an event line") << "event: message\ndata: " + reply + "\n\n" << true;
        QTest::newRow("data without a space") << "data:" + reply + "\n" << true;
        QTest::newRow("indented data line") << " \tdata: \t" + reply + " \n" << true;
        QTest::newRow("carriage returns") << "event: message\r\ndata: " + reply + "\r\n\r\n" << true;
        QTest::newRow("second data line carries the tools")
            << "data: {\"jsonrpc\":\"2.0\",\"method\":\"ping\"}\ndata: " + reply + "\n"
            << true;
        QTest::newRow("id and comment lines only") << QByteArray("id: 1\n: comment\n") << false;
        QTest::newRow("JSON-RPC error")
            << QByteArray(R"({"jsonrpc":"2.0","id":2,"error":{"code":-1}})") << false;
        QTest::newRow("tools not objects") << toolsReply({1, 2}) << false;
        QTest::newRow("invalid UTF-8") << reply + "\xff" << false;
        QTest::newRow("empty body") << QByteArray() << false;
    }
    void parseToolsResponse()
    {
        QFETCH(QByteArray, body);
        QFETCH(bool, found);
        const auto tools = HttpProbe::parseToolsResponse(body);
        QCOMPARE(tools.has_value(), found);
        if (found)
            QVERIFY(*tools == oneTool);
    }

    void emptyToolsParseToAnEmptyArray()
    {
        const auto tools = HttpProbe::parseToolsResponse(toolsReply(nlohmann::json::array()));
        QVERIFY(tools && tools->empty());
        QCOMPARE(ProbeMessages::writeCompact(*tools).size(), 2);
        QCOMPARE(HttpProbe::parseToolsResponse(std::nullopt), std::nullopt);
    }

    void handMadeServers_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<qint64>("tokens");
        QTest::addColumn<QStringList>("methods");
        const QStringList all{QStringLiteral("initialize"), QStringLiteral("notifications/initialized"),
                              QStringLiteral("tools/list")};
        QTest::newRow("JSON reply") << QStringLiteral("json") << qint64(2000) << all;
        QTest::newRow("event stream with event, id and comment lines")
            << QStringLiteral("sse") << qint64(2000) << all;
        QTest::newRow("event stream, no space after data:")
            << QStringLiteral("sse-nospace") << qint64(2000) << all;
        QTest::newRow("event stream with carriage returns")
            << QStringLiteral("sse-crlf") << qint64(2000) << all;
        QTest::newRow("500 that still carries tools") << QStringLiteral("error500") << qint64(2000) << all;
        QTest::newRow("401 on initialize stops at once")
            << QStringLiteral("status401") << qint64(1500) << QStringList{QStringLiteral("initialize")};
        QTest::newRow("403 on initialize stops at once")
            << QStringLiteral("status403") << qint64(1500) << QStringList{QStringLiteral("initialize")};
        QTest::newRow("401 on the tool list") << QStringLiteral("tools401") << qint64(1500) << all;
        QTest::newRow("403 on the tool list") << QStringLiteral("tools403") << qint64(1500) << all;
        QTest::newRow("empty tool list") << QStringLiteral("empty-tools") << qint64(1500) << all;
        QTest::newRow("JSON-RPC error") << QStringLiteral("rpc-error") << qint64(1500) << all;
    }
    void handMadeServers()
    {
        QFETCH(QString, mode);
        QFETCH(qint64, tokens);
        QFETCH(QStringList, methods);
        const auto server = LocalHttpServer::fake(mode);
        QVERIFY(server->port() != 0);
        QCOMPARE(probeOnWorker(server->url()), tokens);
        QStringList received;
        for (const QJsonObject &request : server->requests())
            received.append(methodOf(request));
        QCOMPARE(received, methods);
    }

    void requestsCarryTheHandshake()
    {
        const auto server = LocalHttpServer::fake(QStringLiteral("json"));
        QCOMPARE(probeOnWorker(server->url()), qint64(2000));
        const QList<QJsonObject> requests = server->requests();
        QCOMPARE(requests.size(), 3);
        for (const QJsonObject &request : requests) {
            QCOMPARE(header(request, QStringLiteral("content-type")), QStringLiteral("application/json"));
            QCOMPARE(header(request, QStringLiteral("accept")),
                     QStringLiteral("application/json, text/event-stream"));
            QVERIFY(header(request, QStringLiteral("mcp-session-id")).isEmpty());
        }
        // The bodies as written: compact, the slash of the notification escaped.
        QCOMPARE(requests[1][QStringLiteral("body")].toString(),
                 QStringLiteral(R"({"jsonrpc":"2.0","method":"notifications\/initialized"})"));
        const auto initialize =
            nlohmann::json::parse(requests[0][QStringLiteral("body")].toString().toStdString());
        QVERIFY(initialize == ProbeMessages::initializeRequest());
        QVERIFY(initialize["params"]["clientInfo"]["name"] == "quorlane");
    }

    void sessionIdComesFromTheInitializeResponseOnly()
    {
        const auto server = LocalHttpServer::fake(QStringLiteral("session"));
        QCOMPARE(probeOnWorker(server->url()), qint64(2000));
        const QList<QJsonObject> requests = server->requests();
        QCOMPARE(requests.size(), 3);
        QVERIFY(header(requests[0], QStringLiteral("mcp-session-id")).isEmpty());
        // The notification's response offers another id; it is not taken over.
        QCOMPARE(header(requests[1], QStringLiteral("mcp-session-id")), QStringLiteral("session-42"));
        QCOMPARE(header(requests[2], QStringLiteral("mcp-session-id")), QStringLiteral("session-42"));
    }

    void configuredHeadersReplaceTheDefaults()
    {
        const auto server = LocalHttpServer::fake(QStringLiteral("json"));
        const QMap<QString, QString> headers{
            {QStringLiteral("accept"), QStringLiteral("application/json")},
            {QStringLiteral("Authorization"), QStringLiteral("Bearer t0ken")}};
        QCOMPARE(probeOnWorker(server->url(), headers), qint64(2000));
        for (const QJsonObject &request : server->requests()) {
            QCOMPARE(header(request, QStringLiteral("accept")), QStringLiteral("application/json"));
            QCOMPARE(request[QStringLiteral("acceptHeaders")].toInt(), 1);
            QCOMPARE(header(request, QStringLiteral("authorization")), QStringLiteral("Bearer t0ken"));
        }
    }

    void urlsThatAreNotServers_data()
    {
        QTest::addColumn<QString>("url");
        QTest::newRow("not a URL") << QStringLiteral("http://[::1");
        QTest::newRow("a local file") << QStringLiteral("file:///etc/hostname");
        QTest::newRow("no scheme") << QStringLiteral("localhost/mcp");
    }
    void urlsThatAreNotServers()
    {
        QFETCH(QString, url);
        QCOMPARE(probeOnWorker(url), qint64(1500));
    }

    void nobodyListening()
    {
        QTcpServer reserve;
        QVERIFY(reserve.listen(QHostAddress::LocalHost));
        const quint16 port = reserve.serverPort();
        reserve.close();
        QCOMPARE(probeOnWorker(QStringLiteral("http://127.0.0.1:%1/mcp").arg(port)), qint64(1500));
    }

    void realServerOverStreamableHttp()
    {
        if (referenceServerScript(QStringLiteral("server-everything")).isEmpty())
            QFAIL("server-everything is not installed (scripts/setup.sh)");
        const auto server = LocalHttpServer::everything();
        QVERIFY(server->port() != 0);
        const qint64 expected = referenceEstimate({QStringLiteral("http"), server->url()});
        QVERIFY(expected > 1500);
        QCOMPARE(probeOnWorker(server->url()), expected);
    }

    void severalProbesAtOnce()
    {
        const auto json = LocalHttpServer::fake(QStringLiteral("json"));
        const auto sse = LocalHttpServer::fake(QStringLiteral("sse"));
        QThreadPool pool;
        pool.setMaxThreadCount(8);
        QList<QFuture<qint64>> probes;
        for (int i = 0; i < 4; ++i) {
            probes.append(
                QtConcurrent::run(&pool, HttpProbe::probeHTTP, json->url(), QMap<QString, QString>{}));
            probes.append(
                QtConcurrent::run(&pool, HttpProbe::probeHTTP, sse->url(), QMap<QString, QString>{}));
        }
        for (QFuture<qint64> &probe : probes)
            QCOMPARE(probe.result(), qint64(2000));
    }
};

QTEST_GUILESS_MAIN(TestHttpProbe)
#include "tst_httpprobe.moc"
