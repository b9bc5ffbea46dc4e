// One load of every source from a large home, beside jq parsing and printing the same
// ~/.claude.json; and how long the main thread stalls while a reload runs.
//
//   bench_load HOME_DIR [--runs N]      (bench/make_load_home.sh builds a realistic HOME_DIR)

#include "store/ConfigLoader.h"
#include "store/MCPConfigService.h"

#include "platform/WaitFor.h"

#include "BenchSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <sys/resource.h>
#include <utime.h>

namespace {

using BenchSupport::median;
using BenchSupport::peakKiB;

double timeJq(const QString &file)
{
    QElapsedTimer timer;
    timer.start();
    QProcess jq;
    jq.setStandardOutputFile(QProcess::nullDevice());
    jq.start(QStringLiteral("jq"), {QStringLiteral("."), file});
    if (!jq.waitForFinished(600000) || jq.exitCode() != 0) {
        std::fprintf(stderr, "jq failed on %s\n", qPrintable(file));
        return -1;
    }
    return timer.nsecsElapsed() / 1e9;
}

// The longest gap between two turns of the main thread's event loop during one reload.
double longestStallDuringReload()
{
    MCPConfigService service;
    QElapsedTimer clock;
    clock.start();
    qint64 last = clock.nsecsElapsed();
    qint64 longest = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        longest = std::max(longest, now - last);
        last = now;
    });
    ticker.start(1);
    last = clock.nsecsElapsed();
    Quorlane::waitFor(service.reload());
    const qint64 now = clock.nsecsElapsed();
    longest = std::max(longest, now - last);
    return longest / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() < 2 || arguments.at(1).startsWith(QLatin1Char('-'))) {
        std::fprintf(stderr, "usage: bench_load HOME_DIR [--runs N]\n");
        return 2;
    }
    const QString home = QFileInfo(arguments.at(1)).absoluteFilePath();
    const qsizetype at = arguments.indexOf(QStringLiteral("--runs"));
    const int runs = at > 0 && at + 1 < arguments.size() ? arguments.at(at + 1).toInt() : 7;
    qputenv("HOME", home.toUtf8());
    qputenv("XDG_CONFIG_HOME", (home + QStringLiteral("/.config")).toUtf8());

    const ConfigPaths paths = ConfigPaths::forCurrentUser();
    const double megabytes = QFileInfo(paths.claudeJsonPath).size() / 1e6;
    std::vector<double> loads, keptLoads, jqs;
    LoadResult result;
    const auto timedLoad = [&] {
        QElapsedTimer timer;
        timer.start();
        result = ConfigLoader::loadSnapshot(paths, {});
        return timer.nsecsElapsed() / 1e9;
    };
    for (int i = 0; i < runs; ++i) {
        // Touched (its times set an hour back), each large file counts as changed: read and decoded.
        for (const QString &path : {paths.claudeJsonPath, paths.desktopConfigPath}) {
            const QByteArray native = QFile::encodeName(path);
            const utimbuf times{time(nullptr) - 3600, time(nullptr) - 3600};
            utime(native.constData(), &times);
        }
        loads.push_back(timedLoad());
        // Unchanged since: the views decoded by the load before are kept.
        keptLoads.push_back(timedLoad());
        jqs.push_back(timeJq(paths.claudeJsonPath));
    }
    const double stall = longestStallDuringReload();
    int projectServers = 0;
    for (const MCPProject &project : result.projects)
        projectServers += int(project.servers.size());

    std::printf("home %s: .claude.json %.1f MB; %lld global servers, %lld projects, %d project servers\n",
                qPrintable(home), megabytes, qlonglong(result.global.size()),
                qlonglong(result.projects.size()), projectServers);
    std::printf("%-36s %10s\n", "work (median of runs)", "seconds");
    std::printf("%-36s %10.3f\n", "loadSnapshot, large files changed", median(loads));
    std::printf("%-36s %10.3f\n", "loadSnapshot, large files unchanged", median(keptLoads));
    std::printf("%-36s %10.3f\n", "jq . .claude.json >/dev/null", median(jqs));
    std::printf("%-36s %10.2f   (target <= 0.5)\n", "ratio loadSnapshot / jq", median(loads) / median(jqs));
    std::printf("%-36s %10.1f MB\n", "peak memory, this process", peakKiB(RUSAGE_SELF) / 1024.0);
    std::printf("%-36s %10.1f MB\n", "peak memory, jq", peakKiB(RUSAGE_CHILDREN) / 1024.0);
    std::printf("%-36s %10.1f ms (target <= 16)\n", "longest main-thread stall in reload", stall);
    return 0;
}
