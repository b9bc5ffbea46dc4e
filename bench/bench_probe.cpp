// Probing ten real MCP servers over standard I/O at once, beside Claude Code's own health check
// (`claude mcp list`) of the same ten servers. Each probe waits out the handshake's fixed
// pauses (1.8 s); run side by side, ten should take about that plus the slowest server, not ten
// times it. Prints figures, asserts nothing.
//
// usage: bench_probe [RUNS]   (default 3; needs node, the npm reference servers and claude)

#include "probe/MCPToolProbe.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include <QCoro/QCoroTask>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>

namespace {

QString npmRoot()
{
    QProcess npm;
    npm.start(QStringLiteral("npm"), {QStringLiteral("root"), QStringLiteral("-g")});
    npm.waitForFinished(60000);
    return QString::fromUtf8(npm.readAllStandardOutput()).trimmed();
}

// Ten servers: four server-everything, three server-memory (each its own file), three
// server-filesystem (each its own folder).
QList<MCPServerEntry> tenServers(const QString &home)
{
    const QString root = npmRoot() + QStringLiteral("/@modelcontextprotocol/");
    QList<MCPServerEntry> servers;
    const auto add = [&](const QString &name, const QString &package, const QStringList &extra,
                         std::optional<QMap<QString, QString>> env = std::nullopt) {
        MCPServerEntry entry;
        entry.name = name;
        entry.command = QStringLiteral("node");
        entry.args = QStringList{root + package + QStringLiteral("/dist/index.js")} + extra;
        entry.env = std::move(env);
        servers.append(entry);
    };
    for (int i = 1; i <= 4; ++i)
        add(QStringLiteral("everything-%1").arg(i), QStringLiteral("server-everything"), {});
    for (int i = 1; i <= 3; ++i) {
        add(QStringLiteral("memory-%1").arg(i), QStringLiteral("server-memory"), {},
            QMap<QString, QString>{
                {QStringLiteral("MEMORY_FILE_PATH"), home + QStringLiteral("/memory-%1.jsonl").arg(i)}});
    }
    for (int i = 1; i <= 3; ++i) {
        const QString folder = home + QStringLiteral("/files-%1").arg(i);
        QDir().mkpath(folder);
        add(QStringLiteral("filesystem-%1").arg(i), QStringLiteral("server-filesystem"), {folder});
    }
    return servers;
}

void writeClaudeJson(const QString &home, const QList<MCPServerEntry> &servers)
{
    nlohmann::json root;
    for (const MCPServerEntry &entry : servers) {
        nlohmann::json definition = entry.encode();
        definition["type"] = "stdio";
        root["mcpServers"][entry.name.toStdString()] = definition;
    }
    QFile file(home + QStringLiteral("/.claude.json"));
    file.open(QIODevice::WriteOnly);
    file.write(QByteArray::fromStdString(root.dump(2)));
}

QCoro::Task<QList<qint64>> probeAll(MCPToolProbe &probe, QList<MCPServerEntry> servers)
{
    std::vector<QCoro::Task<qint64>> running;
    for (const MCPServerEntry &entry : servers)
        running.push_back(probe.tokensPerMessage(entry));
    QList<qint64> results;
    for (auto &task : running)
        results.append(co_await std::move(task));
    co_return results;
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values[values.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 3;
    QTemporaryDir home;
    const QList<MCPServerEntry> servers = tenServers(home.path());
    writeClaudeJson(home.path(), servers);
    QTextStream out(stdout);

    QList<double> ours;
    QList<double> theirs;
    QList<qint64> estimates;
    for (int run = 0; run < runs; ++run) {
        // A fresh cache each time, so every server is really probed.
        QTemporaryDir cacheDir;
        MCPToolProbe probe(cacheDir.path() + QStringLiteral("/mcp_probe_cache_v2.json"));
        QElapsedTimer clock;
        clock.start();
        estimates = QCoro::waitFor(probeAll(probe, servers));
        ours.append(clock.elapsed() / 1000.0);

        QProcess claude;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), home.path());
        claude.setProcessEnvironment(environment);
        claude.setWorkingDirectory(home.path());
        clock.restart();
        claude.start(QStringLiteral("claude"), {QStringLiteral("mcp"), QStringLiteral("list")});
        claude.waitForFinished(300000);
        theirs.append(clock.elapsed() / 1000.0);
        const int connected = int(claude.readAllStandardOutput().count("Connected"));
        out << QStringLiteral("run %1: quorlane %2 s   claude mcp list %3 s (%4/10 connected)\n")
                   .arg(run + 1)
                   .arg(ours.last(), 0, 'f', 2)
                   .arg(theirs.last(), 0, 'f', 2)
                   .arg(connected);
        out.flush();
    }

    // One server alone: the floor the ten should stay near.
    QList<double> alone;
    for (int run = 0; run < runs; ++run) {
        QTemporaryDir cacheDir;
        MCPToolProbe probe(cacheDir.path() + QStringLiteral("/mcp_probe_cache_v2.json"));
        QElapsedTimer clock;
        clock.start();
        (void)QCoro::waitFor(probe.tokensPerMessage(servers.last()));
        alone.append(clock.elapsed() / 1000.0);
    }

    out << "\nestimates (tokens/message):";
    for (int i = 0; i < servers.size(); ++i)
        out << ' ' << servers[i].name << '=' << estimates.value(i);
    out << QStringLiteral("\n\nten stdio servers at once, median of %1 runs:\n").arg(runs);
    out << QStringLiteral("  quorlane tokensPerMessage   %1 s  (fixed handshake pauses 1.80 s)\n")
               .arg(median(ours), 0, 'f', 2);
    out << QStringLiteral("  claude mcp list             %1 s\n").arg(median(theirs), 0, 'f', 2);
    out << QStringLiteral("  quorlane, one server alone  %1 s  (%2)\n")
               .arg(median(alone), 0, 'f', 2)
               .arg(servers.last().name);
    return 0;
}
