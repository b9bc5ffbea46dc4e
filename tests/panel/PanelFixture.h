#pragma once

#include "TestHome.h"
#include "panel/PanelModel.h"

#include "platform/Paths.h"
#include "probe/MCPToolProbe.h"
#include "savings/TokenSavingsService.h"
#include "services/AppPreferences.h"
#include "services/ToggleEvents.h"
#include "services/UpdateChecker.h"
#include "sessions/ProcessSource.h"
#include "sessions/RelaunchQueue.h"
#include "sessions/SessionManager.h"
#include "store/MCPConfigService.h"
#include "store/ProjectServerApproval.h"

#include <atomic>
#include <memory>

// Finds no process and counts the times it was asked.
class CountingProcessSource : public ProcessSource
{
public:
    explicit CountingProcessSource(std::shared_ptr<std::atomic<int>> asked) : m_asked(std::move(asked)) {}
    [[nodiscard]] QList<ProcessInfo> processes() const override
    {
        ++*m_asked;
        return {};
    }
    [[nodiscard]] QString workingDirectory(qint64) const override { return {}; }
    [[nodiscard]] QStringList environment(qint64) const override { return {}; }
    [[nodiscard]] std::optional<QString> tty(qint64) const override { return std::nullopt; }

private:
    std::shared_ptr<std::atomic<int>> m_asked;
};

// A panel over real services in a temporary home. Sessions are discovered through a process
// source that counts being asked and finds nothing, so no test ever looks at, or relaunches, a
// real process. Token figures come from a fixed table instead of probes.
struct PanelFixture
{
    TestHome home;
    // How often sessions were looked for.
    std::shared_ptr<std::atomic<int>> lookups = std::make_shared<std::atomic<int>>(0);
    RelaunchQueue queue;
    MCPConfigService config;
    AppPreferences prefs;
    SessionManager sessions{std::make_shared<CountingProcessSource>(lookups), &queue};
    TokenSavingsService savings;
    ToggleEvents events;
    // Reads QUORLANE_FEED_URL now: set it before the fixture is made.
    UpdateChecker updater{QStringLiteral("1.0.0")};
    std::unique_ptr<MCPToolProbe> probe;
    std::unique_ptr<PanelModel> panel;

    // Call after the home's files are written. Without `figures` the estimates come from the
    // home's probe cache. `figures` go by "name command" where a test tells same-named servers
    // apart, else by name; `tools`: what an expanded row lists, by server name.
    void start(QHash<QString, qint64> figures = {}, QHash<QString, QList<ToolTokens>> tools = {})
    {
        PanelModel::Services services;
        services.config = &config;
        services.prefs = &prefs;
        services.sessions = &sessions;
        services.savings = &savings;
        services.updater = &updater;
        services.events = &events;
        // A server without a figure is one whose probe learned nothing.
        services.estimator = [figures, tools](MCPServerEntry entry) -> QCoro::Task<ProbeResult> {
            const QString definition = entry.name + QLatin1Char(' ') + entry.command;
            const QString key = figures.contains(definition) ? definition : entry.name;
            if (!figures.contains(key))
                co_return ProbeResult{};
            co_return ProbeResult{figures.value(key), true, tools.value(entry.name)};
        };
        if (figures.isEmpty()) {
            // The real estimate cache of the home; a fresh entry never starts a program.
            probe = std::make_unique<MCPToolProbe>(Paths::quorlaneSupportDirectory() +
                                                   QStringLiteral("/mcp_probe_cache_v2.json"));
            services.estimator = PanelModel::Services::estimatorOf(probe.get());
        }
        services.approvals = PanelModel::Services::approvalsOfCurrentUser();
        panel = std::make_unique<PanelModel>(services);
    }
};

// A home with a server in every state a Claude Code session can give it, in ~/code/app:
// global alpha (heavy; shadowed in the project by a local alpha), beta (switched off in
// Quorlane), gamma (denied by the managed settings) and delta (switched off in the project with
// /mcp), and the project's .mcp.json server "pending" that Claude Code has not approved.
// Returns the project folder.
inline QString writeLoadStatesHome(const TestHome &home)
{
    const QString project = home.path() + QStringLiteral("/code/app");
    const auto stdio = [](const char *program) { return nlohmann::json{{"command", program}}; };
    nlohmann::json claude{
        {"mcpServers",
         {{"alpha", stdio("demo-alpha")}, {"delta", stdio("demo-delta")}, {"gamma", stdio("demo-gamma")}}}};
    claude["projects"][project.toStdString()] = {{"mcpServers", {{"alpha", stdio("demo-local-alpha")}}},
                                                 {"disabledMcpServers", {"delta"}}};
    home.write(home.claudeJson(), QByteArray::fromStdString(claude.dump(2)));
    home.write(home.stash(),
               QByteArray::fromStdString(nlohmann::json{{"global", {{"beta", stdio("demo-beta")}}},
                                                        {"desktop", nlohmann::json::object()}}
                                             .dump()));
    home.write(project + QStringLiteral("/.mcp.json"),
               QByteArray::fromStdString(
                   nlohmann::json{{"mcpServers", {{"pending", stdio("demo-pending")}}}}.dump()));
    home.write(
        QStringLiteral("managed-settings.json"),
        QByteArray::fromStdString(nlohmann::json{{"deniedMcpServers", {{{"serverName", "gamma"}}}}}.dump()));
    return project;
}
