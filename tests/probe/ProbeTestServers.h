#pragma once

#include "store/MCPServerEntry.h"

#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

// The servers probe tests talk to: the real reference servers from npm, run with node, and the
// hand-made python servers of tests/data/probe for what the real ones never do.
namespace ProbeTestServers {

QString dataFile(const QString &name);

// <npm root -g>/@modelcontextprotocol/<package>/dist/index.js; empty when not installed.
QString referenceServerScript(const QString &package);

// An entry that runs a hand-made standard-I/O server in `mode`.
MCPServerEntry fakeStdioServer(const QString &name, const QString &mode,
                               const QStringList &extraArguments = {});

// The estimate reference_estimate.py computes with its own handshake and its own writer;
// -1 when it fails.
qint64 referenceEstimate(const QStringList &arguments);

// Whether a process with this id is still running (a zombie counts as gone).
bool isRunning(qint64 pid);

// A server listening on 127.0.0.1 for the life of the object; stopped (and reaped) at the end.
class LocalHttpServer
{
public:
    LocalHttpServer();
    ~LocalHttpServer();
    LocalHttpServer(const LocalHttpServer &) = delete;
    LocalHttpServer &operator=(const LocalHttpServer &) = delete;

    // Starts `program`, which must print its port ("port N" on standard output or
    // "listening-port=N" on standard error); false when it does not within a minute.
    bool start(const QString &program, const QStringList &arguments,
               const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment());

    // A hand-made server (fake_http_server.py) in `mode`, logging its requests.
    static std::unique_ptr<LocalHttpServer> fake(const QString &mode);
    // The real server-everything over streamable HTTP, bound to 127.0.0.1 on a free port.
    static std::unique_ptr<LocalHttpServer> everything();

    [[nodiscard]] int port() const { return m_port; }
    [[nodiscard]] QString url(const QString &path = QStringLiteral("/mcp")) const;
    // One parsed line of the request log per request received so far.
    [[nodiscard]] QList<QJsonObject> requests() const;

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    int m_port = 0;
    QString m_logPath;
};

} // namespace ProbeTestServers
