// Switching servers in a ~50 MB ~/.claude.json, beside the peers a user would otherwise run:
// jq deleting and putting back the same member, `jq .`, and `claude mcp add`.
//
//   bench_toggle [--size BYTES] [--rounds N]
//
// The home (a generated ~/.claude.json, the same text as the Claude Desktop file) is built in a
// temporary folder. Each in-process figure comes from a child run of this program, so every
// peak memory figure is that of one kind of switch alone.

#include "ClaudeJsonGenerator.h"
#include "platform/QuorlaneError.h"
#include "store/MCPConfigService.h"

#include "BenchSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <QCoro/QCoroTask>

#include <cstdio>
#include <sys/resource.h>

namespace {

using BenchSupport::median;
using BenchSupport::peakKiB;

struct Figure
{
    double seconds = 0;
    long peakMB = 0;
};

QCoro::Task<QString> cycle(MCPConfigService *service, QString kind, QString project)
{
    try {
        if (kind == QLatin1String("project")) {
            // Started in statements of their own: GCC 12 destroys a co_await expression's
            // temporaries twice.
            auto off = service->disableProjectServer(QStringLiteral("proj-0"), project);
            co_await std::move(off);
            auto on = service->enableProjectServer(QStringLiteral("proj-0"), project);
            co_await std::move(on);
            co_await service->reload();
            co_return QString();
        }
        const MCPSource source = kind == QLatin1String("desktop") ? MCPSource::desktop : MCPSource::global;
        co_await service->setServer(QStringLiteral("x"), source, false);
        co_await service->setServer(QStringLiteral("x"), source, true);
    } catch (const QuorlaneError &error) {
        co_return error.description();
    }
    co_return QString();
}

// The child: rounds of one kind of switch, as the panel does them after its first load.
int runChild(const QString &kind, int rounds)
{
    MCPConfigService service;
    QCoro::waitFor(service.reload());
    QString project;
    for (const MCPProject &candidate : service.projects())
        for (const MCPServerEntry &server : candidate.servers)
            if (project.isEmpty() && server.name == QLatin1String("proj-0"))
                project = candidate.path;
    std::vector<double> times;
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        const QString failure = QCoro::waitFor(cycle(&service, kind, project));
        times.push_back(double(timer.nsecsElapsed()) / 1e9);
        if (!failure.isEmpty()) {
            std::fprintf(stderr, "%s switch failed: %s\n", qPrintable(kind), qPrintable(failure));
            return 1;
        }
    }
    std::printf("%.6f %ld\n", median(times), peakKiB(RUSAGE_SELF) / 1024);
    return 0;
}

// Runs a shell script `rounds` times; the median time, and the peak memory /usr/bin/time saw
// for any command it prefixed with $T.
std::optional<Figure> timeScript(const QString &script, const QString &home, int rounds)
{
    std::vector<double> times;
    QFile::remove(home + QStringLiteral("/peak"));
    for (int round = 0; round < rounds; ++round) {
        QProcess process;
        process.setWorkingDirectory(home);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), home);
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
        environment.insert(QStringLiteral("T"), QStringLiteral("/usr/bin/time -a -o peak -f %M"));
        process.setProcessEnvironment(environment);
        QElapsedTimer timer;
        timer.start();
        process.start(QStringLiteral("/bin/bash"), {QStringLiteral("-c"), script});
        if (!process.waitForFinished(600000) || process.exitCode() != 0) {
            std::fprintf(stderr, "failed: %s\n%s", qPrintable(script),
                         process.readAllStandardError().constData());
            return std::nullopt;
        }
        times.push_back(double(timer.nsecsElapsed()) / 1e9);
    }
    long peak = 0;
    QFile file(home + QStringLiteral("/peak"));
    if (file.open(QIODevice::ReadOnly))
        for (const QByteArray &line : file.readAll().split('\n'))
            peak = std::max(peak, line.trimmed().toLong());
    return Figure{median(times), peak / 1024};
}

std::optional<Figure> timeChild(const QString &kind, const QString &home, int rounds)
{
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home);
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--child"), kind, QStringLiteral("--rounds"), QString::number(rounds)});
    if (!child.waitForFinished(600000) || child.exitCode() != 0) {
        std::fprintf(stderr, "%s", child.readAllStandardError().constData());
        return std::nullopt;
    }
    const QList<QByteArray> fields = child.readAllStandardOutput().trimmed().split(' ');
    return Figure{fields.value(0).toDouble(), fields.value(1).toLong()};
}

void row(const char *what, const Figure &figure)
{
    std::printf("  %-58s %8.3f s  peak %5ld MB\n", what, figure.seconds, figure.peakMB);
}

void ratio(const char *what, const Figure &ours, const Figure &peer, double target)
{
    std::printf("  %-58s %8.2f   (target <= %.2f)\n", what, ours.seconds / peer.seconds, target);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    const auto option = [&](const QString &name, const QString &fallback) {
        const qsizetype at = arguments.indexOf(name);
        return at >= 0 && at + 1 < arguments.size() ? arguments.at(at + 1) : fallback;
    };
    const int rounds = option(QStringLiteral("--rounds"), QStringLiteral("3")).toInt();
    if (arguments.contains(QStringLiteral("--child")))
        return runChild(option(QStringLiteral("--child"), {}), rounds);

    QTemporaryDir folder;
    const QString home = folder.path();
    const QString file = home + QStringLiteral("/.claude.json");
    const qint64 size = option(QStringLiteral("--size"), QString::number(52 << 20)).toLongLong();
    const QString desktop = home + QStringLiteral("/.config/Claude/claude_desktop_config.json");
    if (!ClaudeJsonGenerator::write(file, size) || !QDir().mkpath(home + QStringLiteral("/.config/Claude")) ||
        !QFile::copy(file, desktop)) {
        std::fprintf(stderr, "cannot write the home in %s\n", qPrintable(home));
        return 1;
    }
    const double megabytes = double(QFile(file).size()) / 1e6;
    const QString quorlane = QStringLiteral(QUORLANE_BINARY);

    // The definition jq puts back, taken out once beforehand.
    if (!timeScript(QStringLiteral("jq '.mcpServers[\"x\"]' .claude.json > x.json"), home, 1))
        return 1;
    const QString jqDelete =
        QStringLiteral("$T jq 'del(.mcpServers[\"x\"])' .claude.json > t && mv t .claude.json");
    const QString jqPut =
        QStringLiteral("$T jq --slurpfile d x.json '.mcpServers[\"x\"] = $d[0]' .claude.json > t && "
                       "mv t .claude.json");
    const QString jqExtract = QStringLiteral("$T jq '.mcpServers[\"x\"]' .claude.json > x.json");

    const auto jqPair = timeScript(jqDelete + QStringLiteral(" && ") + jqPut, home, rounds);
    const auto jqCommands = timeScript(
        jqExtract + QStringLiteral(" && ") + jqDelete + QStringLiteral(" && ") + jqPut, home, rounds);
    const auto global = timeChild(QStringLiteral("global"), home, rounds);
    const auto project = timeChild(QStringLiteral("project"), home, rounds);
    const auto desktopSwitch = timeChild(QStringLiteral("desktop"), home, rounds);
    const auto commands = timeScript(
        QStringLiteral("$T '%1' disable x >/dev/null && $T '%1' enable x >/dev/null").arg(quorlane), home,
        rounds);
    const auto list = timeScript(QStringLiteral("$T '%1' list >/dev/null").arg(quorlane), home, rounds);
    const auto jqDot = timeScript(QStringLiteral("$T jq . .claude.json >/dev/null"), home, rounds);
    if (!jqPair || !jqCommands || !global || !project || !desktopSwitch || !commands || !list || !jqDot)
        return 1;
    // Claude Code's own rewrite of the same file, once (it takes seconds), when it is installed.
    const auto claude =
        timeScript(QStringLiteral("command -v claude >/dev/null || exit 0; $T claude mcp add -s user "
                                  "bench-added -- /bin/true >/dev/null"),
                   home, 1);

    std::printf(
        "bench_toggle: %.1f MB ~/.claude.json (and the same text as the Claude Desktop file), median of %d\n",
        megabytes, rounds);
    row("quorlane off + on of a global server, in process", *global);
    row("quorlane off + on of a project server, in process", *project);
    row("quorlane off + on of a Desktop server, in process", *desktopSwitch);
    row("jq del + mv, jq put back + mv", *jqPair);
    row("quorlane disable x; quorlane enable x (whole commands)", *commands);
    row("jq extract, jq del + mv, jq put back + mv (whole commands)", *jqCommands);
    row("quorlane list", *list);
    row("jq . >/dev/null", *jqDot);
    if (claude && claude->peakMB > 0)
        row("claude mcp add -s user (once)", *claude);
    ratio("global, in process / jq pair", *global, *jqPair, 0.25);
    ratio("project, in process / jq pair", *project, *jqPair, 0.25);
    ratio("Desktop, in process / jq pair", *desktopSwitch, *jqPair, 0.25);
    ratio("whole commands / jq commands", *commands, *jqCommands, 0.35);
    ratio("list / jq .", *list, *jqDot, 0.25);
    std::printf("  %-58s %8.2f   (target <= 2.50)\n", "peak memory of a global switch / file size",
                double(global->peakMB) * 1.048576 / megabytes);
    return 0;
}
