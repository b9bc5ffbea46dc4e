#include "ProbeTestServers.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>

#include <csignal>

namespace ProbeTestServers {

QString dataFile(const QString &name)
{
    return QStringLiteral(QUORLANE_TEST_DATA_DIR "/probe/") + name;
}

QString referenceServerScript(const QString &package)
{
    static const QString root = [] {
        QProcess npm;
        npm.start(QStringLiteral("npm"), {QStringLiteral("root"), QStringLiteral("-g")});
        npm.waitForFinished(60000);
        return QString::fromUtf8(npm.readAllStandardOutput()).trimmed();
    }();
    const QString script =
        root + QStringLiteral("/@modelcontextprotocol/") + package + QStringLiteral("/dist/index.js");
    return QFileInfo::exists(script) ? script : QString();
}

MCPServerEntry fakeStdioServer(const QString &name, const QString &mode, const QStringList &extraArguments)
{
    MCPServerEntry entry;
    entry.name = name;
    entry.command = QStringLiteral("python3");
    entry.args = QStringList{dataFile(QStringLiteral("fake_stdio_server.py")), mode} + extraArguments;
    return entry;
}

qint64 referenceEstimate(const QStringList &arguments)
{
    QProcess reference;
    reference.start(QStringLiteral("python3"),
                    QStringList{dataFile(QStringLiteral("reference_estimate.py"))} + arguments);
    if (!reference.waitForFinished(120000) || reference.exitCode() != 0)
        return -1;
    bool ok = false;
    const qint64 value = reference.readAllStandardOutput().trimmed().toLongLong(&ok);
    return ok ? value : -1;
}

bool isRunning(qint64 pid)
{
    if (pid <= 0 || ::kill(pid_t(pid), 0) != 0)
        return false;
    QFile status(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return true;
    // "pid (name) S …": the state follows the closing parenthesis.
    const QByteArray line = status.readAll();
    const qsizetype close = line.lastIndexOf(')');
    return close < 0 || line.mid(close + 2, 1) != "Z";
}

LocalHttpServer::LocalHttpServer() : m_logPath(m_dir.path() + QStringLiteral("/requests.jsonl")) {}

bool LocalHttpServer::start(const QString &program, const QStringList &arguments,
                            const QProcessEnvironment &environment)
{
    m_process.setProcessEnvironment(environment);
    m_process.start(program, arguments);
    static const QRegularExpression portLine(QStringLiteral("(?:^port |listening-port=)(\\d+)"),
                                             QRegularExpression::MultilineOption);
    QByteArray seen;
    QDeadlineTimer deadline(60000);
    while (m_port == 0 && !deadline.hasExpired() && m_process.state() != QProcess::NotRunning) {
        m_process.waitForReadyRead(200);
        seen += m_process.readAllStandardOutput() + m_process.readAllStandardError();
        const auto match = portLine.match(QString::fromUtf8(seen));
        if (match.hasMatch())
            m_port = match.captured(1).toInt();
    }
    return m_port != 0;
}

LocalHttpServer::~LocalHttpServer()
{
    m_process.kill();
    m_process.waitForFinished(10000);
}

std::unique_ptr<LocalHttpServer> LocalHttpServer::fake(const QString &mode)
{
    auto server = std::make_unique<LocalHttpServer>();
    server->start(QStringLiteral("python3"),
                  {dataFile(QStringLiteral("fake_http_server.py")), mode, server->m_logPath});
    return server;
}

std::unique_ptr<LocalHttpServer> LocalHttpServer::everything()
{
    auto server = std::make_unique<LocalHttpServer>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PORT"), QStringLiteral("0"));
    server->start(QStringLiteral("node"),
                  {QStringLiteral("-r"), dataFile(QStringLiteral("loopback_only.cjs")),
                   referenceServerScript(QStringLiteral("server-everything")),
                   QStringLiteral("streamableHttp")},
                  environment);
    return server;
}

QString LocalHttpServer::url(const QString &path) const
{
    return QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path);
}

QList<QJsonObject> LocalHttpServer::requests() const
{
    QList<QJsonObject> result;
    QFile log(m_logPath);
    if (!log.open(QIODevice::ReadOnly))
        return result;
    for (const QByteArray &line : log.readAll().split('\n')) {
        if (!line.isEmpty())
            result.append(QJsonDocument::fromJson(line).object());
    }
    return result;
}

} // namespace ProbeTestServers
