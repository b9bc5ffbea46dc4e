// Soak run of the live-file write path, in a temporary home:
//  1. toggling a global server for SECONDS while a Claude-like writer (racing_writer) rewrites
//     ~/.claude.json by rename every 20 ms without taking any lock: writes of that program lost;
//  2. RUNS rounds of two `quorlane` processes switching two servers off, then on, at the same
//     moment (global + Claude Desktop, Claude Desktop + Claude Desktop): definitions that ended
//     in neither file or in both.
// Prints figures; the target for every "lost" figure is 0.
//
//   bench_soak [SECONDS=60] [RUNS=100]

#include "platform/QuorlaneError.h"
#include "store/MCPConfigService.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <QCoro/QCoroTask>

#include <nlohmann/json.hpp>

#include <cstdio>

namespace {

using nlohmann::json;

struct Home
{
    QTemporaryDir dir;
    QString claudeJson() const { return dir.path() + "/.claude.json"; }
    QString desktop() const { return dir.path() + "/.config/Claude/claude_desktop_config.json"; }
    QString stash() const { return dir.path() + "/.config/Quorlane/disabled-global-mcps.json"; }
};

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(bytes);
}

json readJson(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return json::object();
    const QByteArray bytes = file.readAll();
    auto value = json::parse(bytes.cbegin(), bytes.cend(), nullptr, false);
    return value.is_object() ? value : json::object();
}

void useHome(const Home &home)
{
    qputenv("HOME", QFile::encodeName(home.dir.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.dir.path() + "/.config"));
    qputenv("QUORLANE_MANAGED_CONFIG", QFile::encodeName(home.dir.path() + "/managed-mcp.json"));
}

QCoro::Task<bool> toggle(MCPConfigService *service, QString name, bool enabled)
{
    try {
        co_await service->setServer(name, MCPSource::global, enabled);
    } catch (const QuorlaneError &) {
        co_return false;
    }
    co_return true;
}

// Where a definition is: 1 in exactly one file, 0 in neither, 2 in both.
int places(const Home &home, const QString &live, const char *bucket, const std::string &name)
{
    return int(readJson(live).value("mcpServers", json::object()).contains(name)) +
           int(readJson(home.stash()).value(bucket, json::object()).contains(name));
}

void racingWriter(int seconds)
{
    Home home;
    useHome(home);
    writeFile(home.claudeJson(), R"({"numStartups":1,"mcpServers":{"x":{"command":"x","env":{"T":"s"}}}})");
    MCPConfigService service;
    QProcess writer;
    writer.start(QStringLiteral(RACING_WRITER), {home.claudeJson(), "20", QString::number(seconds * 1000)});
    writer.waitForStarted();
    int toggles = 0;
    int failed = 0;
    while (writer.state() == QProcess::Running) {
        const bool isLive = readJson(home.claudeJson())["mcpServers"].contains("x");
        if (!QCoro::waitFor(toggle(&service, "x", !isLive)))
            ++failed;
        ++toggles;
        QThread::msleep(10);
    }
    writer.waitForFinished();
    QCoro::waitFor(service.rechecksFinished());
    const int written = writer.readAllStandardOutput().trimmed().toInt();
    const int kept = int(readJson(home.claudeJson()).value("racer", json::object()).size());
    std::printf("racing writer, %d s: %d writes of the other program, %d lost; %d switches (%d refused); "
                "x in %d file(s)\n",
                seconds, written, written - kept, toggles, failed,
                places(home, home.claudeJson(), "global", "x"));
    std::fflush(stdout);
}

// Both processes at once; returns how many of the two definitions are not in exactly one file.
int concurrentPair(const Home &home, const QStringList &first, const QStringList &second)
{
    QProcess a;
    QProcess b;
    a.start(QStringLiteral(QUORLANE_BINARY), first);
    b.start(QStringLiteral(QUORLANE_BINARY), second);
    a.waitForFinished(60000);
    b.waitForFinished(60000);
    const bool firstDesktop = first.contains("--desktop");
    const QString firstLive = firstDesktop ? home.desktop() : home.claudeJson();
    int misplaced = 0;
    misplaced += places(home, firstLive, firstDesktop ? "desktop" : "global", first.at(1).toStdString()) != 1;
    misplaced += places(home, home.desktop(), "desktop", second.at(1).toStdString()) != 1;
    return misplaced;
}

void concurrentProcesses(int runs)
{
    struct Pair
    {
        const char *label;
        QStringList first;
        QStringList second;
    };
    const QList<Pair> pairs{{"global + Claude Desktop", {"g"}, {"d1", "--desktop"}},
                            {"Claude Desktop + Claude Desktop", {"d2", "--desktop"}, {"d1", "--desktop"}}};
    for (const Pair &pair : pairs) {
        int lost = 0;
        QElapsedTimer timer;
        timer.start();
        for (int run = 0; run < runs; ++run) {
            Home home;
            useHome(home);
            writeFile(home.claudeJson(), R"({"numStartups":1,"mcpServers":{"g":{"command":"g"}}})");
            writeFile(home.desktop(), R"({"mcpServers":{"d1":{"command":"d1"},"d2":{"command":"d2"}}})");
            lost += concurrentPair(home, QStringList{"disable"} + pair.first,
                                   QStringList{"disable"} + pair.second);
            lost +=
                concurrentPair(home, QStringList{"enable"} + pair.first, QStringList{"enable"} + pair.second);
        }
        std::printf("two quorlane processes, %s: %d runs (off, then on), %d definitions misplaced, %.1f s\n",
                    pair.label, runs, lost, double(timer.elapsed()) / 1000.0);
        std::fflush(stdout);
    }
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    const int seconds = arguments.size() > 1 ? arguments.at(1).toInt() : 60;
    const int runs = arguments.size() > 2 ? arguments.at(2).toInt() : 100;
    racingWriter(seconds);
    concurrentProcesses(runs);
    return 0;
}
