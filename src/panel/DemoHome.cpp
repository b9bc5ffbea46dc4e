#include "panel/DemoHome.h"

#include "platform/Paths.h"
#include "probe/MCPToolProbe.h"
#include "store/QuorlaneProjectConfig.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <nlohmann/json.hpp>

using nlohmann::ordered_json;

namespace DemoHome {

namespace {

bool writeFile(const QString &path, const QByteArray &bytes)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return false;
    return file.commit();
}

QByteArray text(const ordered_json &value)
{
    return QByteArray::fromStdString(value.dump(2));
}

ordered_json command(const char *program, std::initializer_list<const char *> args)
{
    ordered_json definition{{"command", program}, {"args", ordered_json::array()}};
    for (const char *arg : args)
        definition["args"].push_back(arg);
    return definition;
}

ordered_json http(const char *url)
{
    return {{"type", "http"}, {"url", url}};
}

bool writeConfigs()
{
    ordered_json claude;
    claude["numStartups"] = 42;
    claude["mcpServers"] = {
        {"context7", command("demo-context7-mcp", {})},
        {"github", command("demo-github-mcp", {"--read-only"})},
        {"playwright", command("demo-playwright-mcp", {"--headless"})},
    };
    claude["projects"] = ordered_json::object();
    claude["projects"][webappProject().toStdString()] = {
        {"mcpServers",
         {{"postgres", command("demo-postgres-mcp", {"postgresql://localhost/webapp"})},
          {"sentry", http("https://mcp.sentry.example/mcp")}}},
        // Switched off for this folder with Claude Code's own /mcp.
        {"disabledMcpServers", {"context7"}}};
    claude["projects"][apiProject().toStdString()] = {
        {"mcpServers",
         {{"grafana", http("https://grafana.example/mcp")}, {"redis", command("demo-redis-mcp", {})}}}};

    ordered_json desktop{{"mcpServers", {{"filesystem", command("demo-filesystem-mcp", {"~/Documents"})}}}};
    // Checked in with the api repository; Claude Code has not asked about it yet. (No managed
    // file: one would take exclusive control, and none of the user's own servers would load.)
    ordered_json apiServers{{"mcpServers", {{"docs-search", http("https://docs.api.example/mcp")}}}};
    // Switched off from the panel earlier: its definition waits in the stash.
    ordered_json stash{{"global", {{"linear", http("https://mcp.linear.example/sse")}}},
                       {"desktop", ordered_json::object()}};

    return writeFile(Paths::claudeJsonPath(), text(claude)) &&
           writeFile(Paths::desktopConfigPath(), text(desktop)) &&
           writeFile(apiProject() + QStringLiteral("/.mcp.json"), text(apiServers)) &&
           writeFile(Paths::disabledGlobalConfigPath(), text(stash));
}

bool writeSidecars()
{
    QuorlaneProjectConfig webapp;
    webapp.recordDisable(QStringLiteral("storybook"));
    // The switch-off took the definition out of ~/.claude.json into the record.
    const ordered_json storybook = command("demo-storybook-mcp", {});
    webapp.stashedConfigs.insert(
        QStringLiteral("storybook"),
        {RawJSON::fromText(nlohmann::json::parse(storybook.dump())), DefinitionOrigin::claudeJsonLocal});
    try {
        webapp.save(webappProject());
    } catch (...) {
        return false;
    }
    return true;
}

bool writeEstimates()
{
    const double now = MCPToolProbe::referenceSeconds(QDateTime::currentDateTimeUtc());
    const QList<std::pair<const char *, qint64>> figures{
        {"context7", 1840}, {"github", 12345}, {"playwright", 4120}, {"filesystem", 2210},
        {"postgres", 850},  {"sentry", 3075},  {"storybook", 1260},  {"grafana", 6480},
        {"redis", 990},     {"linear", 5210},
    };
    QList<MCPToolProbeCache_v2> records;
    for (const auto &[name, tokens] : figures)
        records.append({QString::fromLatin1(name), tokens, now});
    return writeFile(Paths::quorlaneSupportDirectory() + QStringLiteral("/mcp_probe_cache_v2.json"),
                     MCPToolProbe::encodeCache(records));
}

bool writeTranscripts()
{
    // Forty user messages over the last three weeks, in the webapp project's transcript folder.
    QByteArray lines;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (int i = 0; i < 40; ++i) {
        const ordered_json line{
            {"type", "user"},
            {"message", {{"role", "user"}, {"content", "Run the tests again"}}},
            {"timestamp", now.addSecs(-i * 12 * 3600).toString(Qt::ISODate).toStdString()}};
        lines += QByteArray::fromStdString(line.dump()) + '\n';
    }
    QString folder = webappProject();
    folder.replace(QLatin1Char('/'), QLatin1Char('-'));
    return writeFile(Paths::claudeProjectsDirectory() + QLatin1Char('/') + folder +
                         QStringLiteral("/0b7e9c52-demo-session.jsonl"),
                     lines);
}

} // namespace

void activate(const QString &root)
{
    qputenv("HOME", QFile::encodeName(root));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(root + QStringLiteral("/.config")));
    qputenv("QUORLANE_MANAGED_CONFIG", QFile::encodeName(root + QStringLiteral("/managed-mcp.json")));
    qunsetenv("CLAUDE_CONFIG_DIR");
}

QString webappProject()
{
    return Paths::homeDirectory() + QStringLiteral("/code/webapp");
}

QString apiProject()
{
    return Paths::homeDirectory() + QStringLiteral("/code/api");
}

bool populate()
{
    return QDir().mkpath(webappProject()) && QDir().mkpath(apiProject()) && writeConfigs() &&
           writeSidecars() && writeEstimates() && writeTranscripts();
}

} // namespace DemoHome
