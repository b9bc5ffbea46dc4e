// Applying a profile of many switches in a ~50 MB ~/.claude.json, beside the same switches made
// one `quorlane disable`/`enable` at a time, as a user without profiles would.
//
//   bench_profile [--size BYTES] [--switches N]
//
// The home (a generated ~/.claude.json, the same text as the Claude Desktop file) is built in a
// temporary folder; autoRelaunch is off there, so no session of this machine is touched.

#include "ClaudeJsonGenerator.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <nlohmann/json.hpp>

#include <cstdio>

namespace {

struct Switch
{
    QString name;
    QStringList where; // --desktop, --project PATH, or nothing
};

QString s_home;

// Runs quorlane in the home; the seconds it took, or -1 after printing why it failed.
double quorlane(const QStringList &arguments, QByteArray *out = nullptr)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), s_home);
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), s_home + QStringLiteral("/.config"));
    environment.insert(QStringLiteral("QUORLANE_MANAGED_CONFIG"), s_home + QStringLiteral("/managed.json"));
    process.setProcessEnvironment(environment);
    QElapsedTimer timer;
    timer.start();
    process.start(QStringLiteral(QUORLANE_BINARY), arguments);
    if (!process.waitForFinished(1800000) || process.exitCode() != 0) {
        std::fprintf(stderr, "quorlane %s failed: %s\n", qPrintable(arguments.join(' ')),
                     process.readAllStandardError().constData());
        return -1;
    }
    if (out)
        *out = process.readAllStandardOutput();
    return double(timer.nsecsElapsed()) / 1e9;
}

// The first `count` switchable servers: global, Claude Desktop, then project ones.
QList<Switch> pickServers(int count)
{
    QByteArray listed;
    if (quorlane({QStringLiteral("list"), QStringLiteral("--json")}, &listed) < 0)
        return {};
    const nlohmann::json root = nlohmann::json::parse(listed.toStdString());
    QList<Switch> picked;
    const auto add = [&](const nlohmann::json &server, QStringList where) {
        if (picked.size() < count && server.value("enabled", false))
            picked.append({QString::fromStdString(server["name"].get<std::string>()), std::move(where)});
    };
    for (const auto &server : root["global"])
        add(server, {});
    for (const auto &server : root["desktop"])
        add(server, {QStringLiteral("--desktop")});
    for (const auto &project : root["projects"])
        for (const auto &server : project["servers"])
            add(server,
                {QStringLiteral("--project"), QString::fromStdString(project["path"].get<std::string>())});
    return picked;
}

double singles(const QList<Switch> &servers, const QString &command)
{
    double total = 0;
    for (const Switch &server : servers) {
        const double seconds = quorlane(QStringList{command, server.name} + server.where);
        if (seconds < 0)
            return -1;
        total += seconds;
    }
    return total;
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
    const int count = option(QStringLiteral("--switches"), QStringLiteral("50")).toInt();
    const qint64 size = option(QStringLiteral("--size"), QString::number(52 << 20)).toLongLong();

    QTemporaryDir folder;
    s_home = folder.path();
    const QString file = s_home + QStringLiteral("/.claude.json");
    if (!ClaudeJsonGenerator::write(file, size) ||
        !QDir().mkpath(s_home + QStringLiteral("/.config/Claude")) ||
        !QFile::copy(file, s_home + QStringLiteral("/.config/Claude/claude_desktop_config.json"))) {
        std::fprintf(stderr, "cannot write the home in %s\n", qPrintable(s_home));
        return 1;
    }
    if (quorlane({QStringLiteral("prefs"), QStringLiteral("set"), QStringLiteral("autoRelaunch"),
                  QStringLiteral("false")}) < 0)
        return 1;
    const QList<Switch> servers = pickServers(count);
    if (servers.size() < count) {
        std::fprintf(stderr, "only %lld switchable servers in the home\n", qint64(servers.size()));
        return 1;
    }
    const auto save = [](const QString &name) {
        return quorlane({QStringLiteral("profile"), QStringLiteral("save"), name}) >= 0;
    };
    const auto apply = [](const QString &name) {
        return quorlane({QStringLiteral("profile"), QStringLiteral("apply"), name});
    };
    if (!save(QStringLiteral("on")))
        return 1;
    const double singlesOff = singles(servers, QStringLiteral("disable"));
    if (singlesOff < 0 || !save(QStringLiteral("off")))
        return 1;
    const double applyOn = apply(QStringLiteral("on"));
    const double applyOff = apply(QStringLiteral("off"));
    const double singlesOn = singles(servers, QStringLiteral("enable"));
    if (applyOn < 0 || applyOff < 0 || singlesOn < 0)
        return 1;

    std::printf("%d switches in a %.0f MB ~/.claude.json (wall time)\n", count,
                double(QFile(file).size()) / 1e6);
    std::printf("  %-44s %8.2f s\n", "quorlane profile apply (switching off)", applyOff);
    std::printf("  %-44s %8.2f s\n", "quorlane disable, once per server", singlesOff);
    std::printf("  %-44s %8.2f s\n", "quorlane profile apply (switching on)", applyOn);
    std::printf("  %-44s %8.2f s\n", "quorlane enable, once per server", singlesOn);
    std::printf("  %-44s %8.2f   (target < 1)\n", "ratio, off", applyOff / singlesOff);
    std::printf("  %-44s %8.2f   (target < 1)\n", "ratio, on", applyOn / singlesOn);
    return 0;
}
