// Savings scan beside its peers on one transcript corpus: a cold refresh (empty cache), a warm
// refresh (nothing changed), `cat` of every transcript (the I/O floor) and `ccusage daily --json`
// (the tool users already run over these files), with time, peak and resident memory for each,
// and the figures checked against the generator's ground truth.
//
//   bench_savings HOME [--runs N]
//
// HOME is a folder made by bench/gen_transcripts.py (HOME/.claude/projects and its
// HOME/transcripts_truth.json). Prints figures; asserts nothing about time.

#include "savings/TokenSavingsService.h"
#include "savings/TranscriptScan.h"

#include <QCoreApplication>
#include <QCoro/QCoroTask>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

extern char **environ;

namespace {

struct Figures
{
    double seconds = 0;
    double cpuSeconds = 0;   // user + system time on every core
    double peakMiB = -1;     // highest resident set during the work
    double residentMiB = -1; // resident set right after it (our own process only)
};

double statusMiB(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(static_cast<qsizetype>(strlen(field))).trimmed().split(' ').first().toDouble() /
                   1024.0;
    }
    return -1;
}

// Makes the kernel's peak-resident counter start again from the current resident set.
void resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

double cpuSecondsOf(const rusage &usage)
{
    auto seconds = [](const timeval &t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double ownCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return cpuSecondsOf(usage);
}

// Runs a program with its output thrown away and returns its wall time and peak memory
// (its own and its children's).
std::optional<Figures> runChild(const QStringList &arguments, const QStringList &extraEnvironment)
{
    std::vector<std::string> argStorage;
    for (const QString &argument : arguments)
        argStorage.push_back(argument.toStdString());
    std::vector<char *> argv;
    for (std::string &argument : argStorage)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    std::vector<std::string> envStorage;
    for (char **e = environ; *e; ++e)
        envStorage.emplace_back(*e);
    for (const QString &entry : extraEnvironment)
        envStorage.push_back(entry.toStdString());
    std::vector<char *> envp;
    for (std::string &entry : envStorage)
        envp.push_back(entry.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    QElapsedTimer timer;
    timer.start();
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv.front(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return std::nullopt;
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    Figures figures;
    figures.seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    figures.peakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;
    figures.cpuSeconds = cpuSecondsOf(usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "  %s exited with status %d\n", argv.front(), status);
        return std::nullopt;
    }
    return figures;
}

struct RefreshRun
{
    Figures figures;
    SavingsStat stat;
};

RefreshRun timeRefresh(TokenSavingsService &service, const QStringList &disabled,
                       const QHash<QString, qint64> &weights)
{
    resetPeak();
    const double cpuBefore = ownCpuSeconds();
    QElapsedTimer timer;
    timer.start();
    QCoro::waitFor(service.refresh(disabled, weights));
    RefreshRun run;
    run.figures.seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    run.figures.cpuSeconds = ownCpuSeconds() - cpuBefore;
    run.figures.peakMiB = statusMiB("VmHWM:");
    run.figures.residentMiB = statusMiB("VmRSS:");
    run.stat = service.savingsStat();
    return run;
}

Figures best(const std::vector<Figures> &runs)
{
    return *std::min_element(runs.cbegin(), runs.cend(),
                             [](const Figures &a, const Figures &b) { return a.seconds < b.seconds; });
}

void printRow(const char *work, const std::optional<Figures> &figures, const char *note = "")
{
    if (!figures) {
        std::printf("%-24s %9s %9s %10s %13s  %s\n", work, "-", "-", "-", "-", note);
        return;
    }
    auto mib = [](double v) { return v < 0 ? std::string("-") : std::to_string(static_cast<long>(v + 0.5)); };
    std::printf("%-24s %9.3f %9.3f %10s %13s  %s\n", work, figures->seconds, figures->cpuSeconds,
                mib(figures->peakMiB).c_str(), mib(figures->residentMiB).c_str(), note);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList arguments = app.arguments().mid(1);
    int runs = 3;
    if (const qsizetype at = arguments.indexOf(QStringLiteral("--runs"));
        at >= 0 && at + 1 < arguments.size()) {
        runs = std::max(1, arguments.at(at + 1).toInt());
        arguments.remove(at, 2);
    }
    if (arguments.size() != 1) {
        std::fprintf(stderr, "usage: bench_savings HOME [--runs N]\n");
        return 2;
    }
    const QString home = QDir(arguments.first()).absolutePath();
    const QString projects = home + QStringLiteral("/.claude/projects");

    QFile truthFile(home + QStringLiteral("/transcripts_truth.json"));
    QJsonObject truth;
    if (truthFile.open(QIODevice::ReadOnly))
        truth = QJsonDocument::fromJson(truthFile.readAll()).object();
    const QDateTime now =
        truth.contains(QStringLiteral("now"))
            ? QDateTime::fromString(truth.value(QStringLiteral("now")).toString(), Qt::ISODateWithMs)
            : QDateTime::currentDateTime();

    QStringList transcripts;
    qint64 corpusBytes = 0;
    for (QDirIterator it(projects, {QStringLiteral("*.jsonl")}, QDir::Files | QDir::Hidden,
                         QDirIterator::Subdirectories);
         it.hasNext();) {
        transcripts << it.next();
        corpusBytes += it.fileInfo().size();
    }
    if (transcripts.isEmpty()) {
        std::fprintf(stderr, "no transcripts under %s\n", qPrintable(projects));
        return 1;
    }
    const double corpusMiB = static_cast<double>(corpusBytes) / (1024.0 * 1024.0);
    std::printf("corpus: %lld files, %.0f MiB under %s; now = %s; %d runs each, best shown\n",
                static_cast<long long>(transcripts.size()), corpusMiB, qPrintable(projects),
                qPrintable(now.toString(Qt::ISODate)), runs);

    QFile loadAverage(QStringLiteral("/proc/loadavg"));
    if (loadAverage.open(QIODevice::ReadOnly))
        std::printf("load average at start: %s (figures drift on a shared machine)\n",
                    loadAverage.readAll().trimmed().constData());
    qputenv("HOME", home.toUtf8());
    const QStringList disabled{QStringLiteral("memory"), QStringLiteral("filesystem"),
                               QStringLiteral("memory")};
    const QHash<QString, qint64> weights{{QStringLiteral("memory"), 2000}};
    const qint64 perMessage = 2000 + TokenSavingsService::fallbackTokensPerServer + 2000;

    // cat: the first run also brings every file into the page cache, as for the others.
    const QStringList catCommand = QStringList{QStringLiteral("cat")} + transcripts;
    runChild(catCommand, {});
    std::vector<Figures> catRuns;
    for (int i = 0; i < runs; ++i) {
        if (const auto figures = runChild(catCommand, {}))
            catRuns.push_back(*figures);
    }

    const double baselineMiB = statusMiB("VmRSS:");
    std::vector<Figures> coldRuns, warmRuns;
    SavingsStat coldStat, warmStat;
    for (int i = 0; i < runs; ++i) {
        auto service = std::make_unique<TokenSavingsService>();
        service->setClock([now] { return now; });
        const RefreshRun cold = timeRefresh(*service, disabled, weights);
        coldRuns.push_back(cold.figures);
        coldStat = cold.stat;
        for (int j = 0; j < runs; ++j) {
            const RefreshRun warm = timeRefresh(*service, disabled, weights);
            warmRuns.push_back(warm.figures);
            warmStat = warm.stat;
        }
    }

    const QString ccusage = QStandardPaths::findExecutable(QStringLiteral("ccusage"));
    std::vector<Figures> ccusageRuns;
    if (!ccusage.isEmpty()) {
        const QStringList environment{QStringLiteral("HOME=") + home, QStringLiteral("CLAUDE_CONFIG_DIR=") +
                                                                          home + QStringLiteral("/.claude")};
        for (int i = 0; i < runs; ++i) {
            if (const auto figures =
                    runChild({ccusage, QStringLiteral("daily"), QStringLiteral("--json")}, environment))
                ccusageRuns.push_back(*figures);
        }
    }

    std::printf("\n%-24s %9s %9s %10s %13s\n", "work", "wall s", "cpu s", "peak MiB", "resident MiB");
    printRow("cat to /dev/null", catRuns.empty() ? std::nullopt : std::optional(best(catRuns)));
    printRow("refresh, cold", best(coldRuns));
    printRow("refresh, warm", best(warmRuns));
    printRow("ccusage daily --json", ccusageRuns.empty() ? std::nullopt : std::optional(best(ccusageRuns)),
             ccusage.isEmpty() ? "skipped: ccusage not on PATH (bench/setup_bench.sh installs it)" : "");
    std::printf("(resident before the first refresh: %.0f MiB; a child's peak includes this process's\n"
                " resident set at the moment it was started, which the kernel carries across exec)\n",
                baselineMiB);

    const Figures cold = best(coldRuns);
    const Figures warm = best(warmRuns);
    std::printf("\ntargets:\n");
    if (!catRuns.empty())
        std::printf("  cold / cat            %6.2fx  (want <= 4)\n", cold.seconds / best(catRuns).seconds);
    if (!ccusageRuns.empty())
        std::printf("  ccusage / cold        %6.2fx  (want >= 4)\n",
                    best(ccusageRuns).seconds / cold.seconds);
    std::printf("  cold / warm           %6.1fx  (want >= 5)\n", cold.seconds / warm.seconds);
    double resident = 0;
    for (const Figures &f : coldRuns)
        resident = std::max(resident, f.residentMiB);
    std::printf("  resident after refresh %5.0f MiB = %.3f of the corpus  (want <= 0.100)\n", resident,
                resident / corpusMiB);

    std::printf("\nfigures: %lld messages counted, %lld tokens, %s, %s\n",
                static_cast<long long>(coldStat.sessionsAnalyzed),
                static_cast<long long>(coldStat.totalTokensSaved),
                qPrintable(coldStat.formattedTokensSaved()), qPrintable(coldStat.formattedCostSaved()));
    const qint64 expected = truth.value(QStringLiteral("user_lines_counted")).toInteger(-1);
    const bool matches = coldStat.sessionsAnalyzed == expected &&
                         coldStat.totalTokensSaved == expected * perMessage && warmStat == coldStat;
    if (expected < 0)
        std::printf("ground truth: none found (transcripts_truth.json)\n");
    else
        std::printf("ground truth: %lld messages -> %s (warm %s cold)\n", static_cast<long long>(expected),
                    matches ? "match" : "MISMATCH", warmStat == coldStat ? "equals" : "DIFFERS FROM");
    return 0;
}
