// Wall time of one session discovery while ten Claude Code sessions run, beside the obvious
// shell pipeline and a lone `ps`. The sessions are a fake `claude` in the panes of a tmux
// server of this benchmark's own; nothing else is signalled.
#include "sessions/SessionDiscovery.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

constexpr int sessionCount = 10;
constexpr int rounds = 7;

int run(const QString &program, const QStringList &arguments, const QProcessEnvironment &environment)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    process.waitForFinished(60000);
    return process.exitCode();
}

// Median and fastest of `rounds` runs, in milliseconds.
std::pair<double, double> measure(const std::function<void()> &work)
{
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], times.front()};
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString root = dir.path();
    QDir().mkpath(root + "/bin");
    {
        QFile claude(root + "/bin/claude");
        claude.open(QIODevice::WriteOnly);
        claude.write("#!/bin/bash\ntrap 'kill $! 2>/dev/null; exit 0' TERM HUP\nsleep 600 &\nwait\n");
        claude.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    qputenv("HOME", root.toUtf8());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("PATH", root + "/bin:" + environment.value("PATH"));
    environment.insert("HOME", root);
    environment.insert("HISTFILE", "/dev/null");
    environment.remove("TMUX");
    const QString socket = root + "/tmux.sock";
    const QStringList tmux{"-S", socket, "-f", "/dev/null"};
    const QString shell = "bash --norc --noprofile";

    for (int i = 0; i < sessionCount; ++i) {
        const QString project = root + "/project-" + QString::number(i);
        QDir().mkpath(project);
        // Half of them resume from a transcript, the other half from their arguments.
        QString command = "claude";
        const QString id = QStringLiteral("00000000-0000-0000-0000-%1").arg(i, 12, 10, QLatin1Char('0'));
        if (i % 2 == 0) {
            QDir().mkpath(root + "/.claude/projects/" + QString(project).replace('/', '-'));
            QFile(root + "/.claude/projects/" + QString(project).replace('/', '-') + "/" + id + ".jsonl")
                .open(QIODevice::WriteOnly);
        } else {
            command += " --resume " + id;
        }
        if (i == 0)
            run("tmux", tmux + QStringList{"new-session", "-d", "-c", project, shell}, environment);
        else
            run("tmux", tmux + QStringList{"new-window", "-d", "-c", project, shell}, environment);
        run("tmux", tmux + QStringList{"send-keys", "-t", ":" + QString::number(i), "-l", command},
            environment);
        run("tmux", tmux + QStringList{"send-keys", "-t", ":" + QString::number(i), "Enter"}, environment);
    }

    const SessionDiscovery discovery = SessionDiscovery::forCurrentUser();
    qsizetype found = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        found = 0;
        for (const ClaudeSession &session : discovery.discoverSessions())
            found += session.workingDirectory.startsWith(root) ? 1 : 0;
        if (found == sessionCount)
            break;
        QThread::msleep(100);
    }

    const auto [ours, oursBest] = measure([&] { (void)discovery.discoverSessions(); });
    // The obvious script: every claude process's directory and tty, nothing else.
    const QString pipeline =
        "ps -axo pid,comm,args | awk '$2 ~ /claude$/ || $0 ~ /claude/ {print $1}' | while read p; do "
        "lsof -a -p $p -d cwd -Fn 2>/dev/null; ps -p $p -o tty=; done >/dev/null";
    const auto [peer, peerBest] = measure([&] { run("/bin/bash", {"-c", pipeline}, environment); });
    const auto [floor, floorBest] = measure([&] {
        run("/bin/bash", {"-c", "ps -axo pid,ppid,comm,args >/dev/null"}, environment);
    });

    std::printf("session discovery with %d fake sessions running (%lld of them found), %d rounds\n",
                sessionCount, static_cast<long long>(found), rounds);
    std::printf("| work | median | fastest |\n|---|---|---|\n");
    std::printf(
        "| discoverSessions (full: terminal, shell, tty, Warp link, resume id) | %.0f ms | %.0f ms |\n", ours,
        oursBest);
    std::printf("| bash pipeline: ps + awk + lsof and ps tty per process | %.0f ms | %.0f ms |\n", peer,
                peerBest);
    std::printf("| one ps -axo alone | %.0f ms | %.0f ms |\n", floor, floorBest);

    run("tmux", tmux + QStringList{"kill-server"}, environment);
    return 0;
}
