#pragma once

#include "store/MCPServerEntry.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <csignal>

// The servers probe tests talk to: the npm reference servers and tests/data/probe/fake_server.py.
namespace ProbeServers {

inline const QString fakeServer = QStringLiteral(QUORLANE_TEST_DATA_DIR "/probe/fake_server.py");

// <npm root -g>/@modelcontextprotocol/<package>/dist/index.js; empty when not installed.
inline QString referenceScript(const QString &package)
{
    static const QString root = [] {
        QProcess npm;
        npm.start(QStringLiteral("npm"), {QStringLiteral("root"), QStringLiteral("-g")});
        npm.waitForFinished(60000);
        return QString::fromUtf8(npm.readAllStandardOutput()).trimmed();
    }();
    const QString script = root + QStringLiteral("/@modelcontextprotocol/%1/dist/index.js").arg(package);
    return QFileInfo::exists(script) ? script : QString();
}

inline MCPServerEntry fakeStdio(const QString &name, const QString &mode, const QStringList &options = {})
{
    MCPServerEntry entry;
    entry.name = name;
    entry.command = QStringLiteral("python3");
    entry.args = QStringList{fakeServer, QStringLiteral("stdio"), mode} + options;
    return entry;
}

// The estimate fake_server.py measures with its own handshake and writer; -1 when it fails.
inline qint64 referenceEstimate(const QStringList &target)
{
    QProcess measure;
    measure.start(QStringLiteral("python3"), QStringList{fakeServer, QStringLiteral("measure")} + target);
    if (!measure.waitForFinished(120000) || measure.exitCode() != 0)
        return -1;
    return measure.readAllStandardOutput().trimmed().toLongLong();
}

// Whether a process with this id still runs (a zombie counts as gone).
inline bool isRunning(qint64 pid)
{
    if (pid <= 0 || ::kill(pid_t(pid), 0) != 0)
        return false;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    const QByteArray line = stat.open(QIODevice::ReadOnly) ? stat.readAll() : QByteArray();
    return line.mid(line.lastIndexOf(')') + 2, 1) != "Z";
}

// A server on 127.0.0.1 for the life of the object; it prints "port N" or "listening-port=N".
class LocalHttpServer
{
public:
    LocalHttpServer(const QString &program, const QStringList &arguments,
                    const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
    {
        static const QRegularExpression portLine(QStringLiteral("(?:^port |listening-port=)(\\d+)"),
                                                 QRegularExpression::MultilineOption);
        m_process.setProcessEnvironment(environment);
        m_process.start(program, QStringList(arguments).replaceInStrings(QStringLiteral("@LOG@"), m_log));
        QByteArray seen;
        for (QDeadlineTimer deadline(60000); !m_port && !deadline.hasExpired() && m_process.state();) {
            m_process.waitForReadyRead(200);
            seen += m_process.readAllStandardOutput() + m_process.readAllStandardError();
            m_port = portLine.match(QString::fromUtf8(seen)).captured(1).toInt();
        }
    }
    ~LocalHttpServer()
    {
        m_process.kill();
        m_process.waitForFinished(10000);
    }

    static std::unique_ptr<LocalHttpServer> fake(const QString &mode)
    {
        return std::make_unique<LocalHttpServer>(
            QStringLiteral("python3"),
            QStringList{fakeServer, QStringLiteral("http"), mode, QStringLiteral("@LOG@")});
    }
    // The real server-everything over streamable HTTP, held to 127.0.0.1 on a free port.
    static std::unique_ptr<LocalHttpServer> everything()
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("PORT"), QStringLiteral("0"));
        return std::make_unique<LocalHttpServer>(
            QStringLiteral("node"),
            QStringList{
                QStringLiteral("-r"), QStringLiteral(QUORLANE_TEST_DATA_DIR "/probe/loopback_only.cjs"),
                referenceScript(QStringLiteral("server-everything")), QStringLiteral("streamableHttp")},
            environment);
    }

    [[nodiscard]] int port() const { return m_port; }
    [[nodiscard]] QString url() const { return QStringLiteral("http://127.0.0.1:%1/mcp").arg(m_port); }
    // One parsed log line per request received so far.
    [[nodiscard]] QList<QJsonObject> requests() const
    {
        QList<QJsonObject> result;
        QFile log(m_log);
        if (log.open(QIODevice::ReadOnly)) {
            for (const QByteArray &line : log.readAll().split('\n'))
                if (!line.isEmpty())
                    result.append(QJsonDocument::fromJson(line).object());
        }
        return result;
    }

private:
    QTemporaryDir m_dir;
    QString m_log = m_dir.filePath(QStringLiteral("requests.jsonl"));
    QProcess m_process;
    int m_port = 0;
};

} // namespace ProbeServers
