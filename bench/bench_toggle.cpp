// One switch off and on of a global server in a ~50 MB ~/.claude.json, end to end (lock,
// writes, verification, reload), beside jq deleting and putting back the same member.
//
//   bench_toggle [--input FILE] [--rounds N]
// Without --input the file is generated with gen_claude_json.py (QUORLANE_GEN_CLAUDE_JSON, or
// /work/shared/bench/gen_claude_json.py) at 50 MB.

#include "store/MCPConfigService.h"
#include "store/StoreError.h"

#include "BenchSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <QCoro/QCoroTask>

#include <algorithm>
#include <cstdio>
#include <sys/resource.h>

namespace {

using BenchSupport::median;
using BenchSupport::peakKiB;

QCoro::Task<QString> cycle(MCPConfigService *service)
{
    try {
        co_await service->setServer(QStringLiteral("x"), MCPSource::global, false);
        co_await service->setServer(QStringLiteral("x"), MCPSource::global, true);
    } catch (const QuorlaneError &error) {
        co_return error.description();
    }
    co_return QString();
}

bool shell(const QString &script, const QString &folder)
{
    QProcess process;
    process.setWorkingDirectory(folder);
    process.start(QStringLiteral("/bin/bash"), {QStringLiteral("-c"), script});
    if (!process.waitForFinished(600000) || process.exitCode() != 0) {
        std::fprintf(stderr, "failed: %s\n%s", qPrintable(script),
                     process.readAllStandardError().constData());
        return false;
    }
    return true;
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

    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/.config")).toUtf8());
    const QString file = home.path() + QStringLiteral("/.claude.json");
    const QString input = option(QStringLiteral("--input"), {});
    if (input.isEmpty()) {
        const QString generator = qEnvironmentVariable(
            "QUORLANE_GEN_CLAUDE_JSON", QStringLiteral("/work/shared/bench/gen_claude_json.py"));
        if (!shell(QStringLiteral("python3 '%1' --out '%2' --size 50M --first-name x >/dev/null")
                       .arg(generator, file),
                   home.path()))
            return 1;
    } else if (!QFile::copy(input, file)) {
        std::fprintf(stderr, "cannot copy %s\n", qPrintable(input));
        return 1;
    }
    // The definition jq puts back, taken out once beforehand.
    if (!shell(QStringLiteral("jq '.mcpServers[\"x\"]' .claude.json > x.json"), home.path()))
        return 1;
    const double megabytes = double(QFile(file).size()) / 1e6;

    // /usr/bin/time reports the largest jq of the cycle (the generator ran as a child too, so
    // this process's own child figure would be the generator's).
    const QString jqCycle = QStringLiteral("/usr/bin/time -a -o jq.rss -f %M jq 'del(.mcpServers[\"x\"])' "
                                           ".claude.json > t && mv t .claude.json && "
                                           "/usr/bin/time -a -o jq.rss -f %M jq --slurpfile d x.json "
                                           "'.mcpServers[\"x\"] = $d[0]' .claude.json > t && "
                                           "mv t .claude.json");

    MCPConfigService service;
    QCoro::waitFor(service.reload()); // as the app has it: loaded once before the user switches
    std::vector<double> ours;
    std::vector<double> peer;
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        const QString failure = QCoro::waitFor(cycle(&service));
        ours.push_back(double(timer.nsecsElapsed()) / 1e9);
        if (!failure.isEmpty()) {
            std::fprintf(stderr, "setServer failed: %s\n", qPrintable(failure));
            return 1;
        }
        timer.restart();
        if (!shell(jqCycle, home.path()))
            return 1;
        peer.push_back(double(timer.nsecsElapsed()) / 1e9);
    }

    const double ourMedian = median(ours);
    const double peerMedian = median(peer);
    std::printf(
        "bench_toggle: one switch off and on of a global server, %.1f MB ~/.claude.json, median of %d\n",
        megabytes, rounds);
    std::printf("  %-52s %8.3f s   peak %6ld MB\n", "quorlane setServer off + on (lock, verify, reload)",
                ourMedian, peakKiB(RUSAGE_SELF) / 1024);
    long jqPeak = 0;
    QFile rss(home.path() + QStringLiteral("/jq.rss"));
    if (rss.open(QIODevice::ReadOnly))
        for (const QByteArray &line : rss.readAll().split('\n'))
            jqPeak = std::max(jqPeak, line.trimmed().toLong());
    std::printf("  %-52s %8.3f s   peak %6ld MB\n", "jq del + mv, jq put back + mv", peerMedian,
                jqPeak / 1024);
    std::printf("  ratio quorlane / jq: %.2f (target <= 1.0)\n", ourMedian / peerMedian);
    return 0;
}
