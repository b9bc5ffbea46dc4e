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

// Every demo server's definition by name, as written: its made-up estimate is cached for it.
QHash<QString, ordered_json> &definitions()
{
    static QHash<QString, ordered_json> written;
    return written;
}

ordered_json defined(const char *name, ordered_json definition)
{
    definitions().insert(QString::fromLatin1(name), definition);
    return definition;
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
        {"context7", defined("context7", command("demo-context7-mcp", {}))},
        {"github", defined("github", command("demo-github-mcp", {"--read-only"}))},
        {"playwright", defined("playwright", command("demo-playwright-mcp", {"--headless"}))},
    };
    claude["projects"] = ordered_json::object();
    claude["projects"][webappProject().toStdString()] = {
        {"mcpServers",
         {{"postgres", defined("postgres", command("demo-postgres-mcp", {"postgresql://localhost/webapp"}))},
          {"sentry", defined("sentry", http("https://mcp.sentry.example/mcp"))}}},
        // Switched off for this folder with Claude Code's own /mcp.
        {"disabledMcpServers", {"context7"}}};
    claude["projects"][apiProject().toStdString()] = {
        {"mcpServers",
         {{"grafana", defined("grafana", http("https://grafana.example/mcp"))},
          {"redis", defined("redis", command("demo-redis-mcp", {}))}}}};

    ordered_json desktop{
        {"mcpServers",
         {{"filesystem", defined("filesystem", command("demo-filesystem-mcp", {"~/Documents"}))}}}};
    // Checked in with the api repository; Claude Code has not asked about it yet. (No managed
    // file: one would take exclusive control, and none of the user's own servers would load.)
    ordered_json apiServers{{"mcpServers", {{"docs-search", http("https://docs.api.example/mcp")}}}};
    // Switched off from the panel earlier: its definition waits in the stash.
    ordered_json stash{{"global", {{"linear", defined("linear", http("https://mcp.linear.example/sse"))}}},
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
    const ordered_json storybook = defined("storybook", command("demo-storybook-mcp", {}));
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
    // What a click on a row lists; each tool's share, as a probe measures it.
    const QHash<QString, QList<ToolTokens>> tools{
        {QStringLiteral("github"),
         {{QStringLiteral("create_or_update_file"), 1610},
          {QStringLiteral("create_pull_request"), 1425},
          {QStringLiteral("list_issues"), 1350},
          {QStringLiteral("search_repositories"), 1180},
          {QStringLiteral("get_file_contents"), 1105},
          {QStringLiteral("create_issue"), 990},
          {QStringLiteral("search_code"), 960},
          {QStringLiteral("add_issue_comment"), 640}}},
        {QStringLiteral("playwright"),
         {{QStringLiteral("browser_snapshot"), 1210},
          {QStringLiteral("browser_click"), 990},
          {QStringLiteral("browser_navigate"), 760},
          {QStringLiteral("browser_type"), 720},
          {QStringLiteral("browser_close"), 440}}},
    };
    QList<MCPToolProbeCache_v2> records;
    for (const auto &[name, tokens] : figures) {
        const QString server = QString::fromLatin1(name);
        const auto entry = MCPServerEntry::decode(nlohmann::json::parse(definitions().value(server).dump()));
        if (!entry)
            return false;
        records.append({{std::nullopt, {}, server},
                        MCPToolProbe::definitionFingerprint(*entry),
                        tokens,
                        now,
                        tools.value(server)});
    }
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
