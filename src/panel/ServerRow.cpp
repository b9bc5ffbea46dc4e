#include "panel/ServerRow.h"

#include "panel/ServerLoads.h"

#include <algorithm>

bool ServerRow::heavy() const
{
    return tokensPerMessage.value_or(ServerRows::fallbackTokens) >= ServerLoads::heavyTokens;
}

namespace ServerRows {

namespace {

using ClaudeCodeRules::Scope;
using ClaudeCodeRules::ServerLoad;
using ClaudeCodeRules::State;

void applyLoad(ServerRow &row, const ServerLoad *load, const QList<ServerLoad> &loads)
{
    if (!load)
        return;
    row.loadState = load->state;
    row.reason = ServerLoads::reason(*load, loads);
    row.explanation = ServerLoads::explanation(*load, loads);
}

ServerRow rowFor(const MCPServerEntry &entry, MCPSource source, const QString &projectPath,
                 const RowContext &context)
{
    ServerRow row;
    row.entry = entry;
    row.source = source;
    const QString key = busyKey(projectPath, entry.name, source);
    row.busy = context.busy.contains(key);
    const bool unprobeable = context.weights.unprobeable().contains(key);
    row.probing = !unprobeable && context.weights.isProbing(entry);
    row.tokensPerMessage = context.weights.tokens(entry);
    if (unprobeable) {
        row.note = QStringLiteral("Not measured: Claude Code has not approved this server for the project, "
                                  "so Quorlane does not start it.");
    }
    row.isExpanded = context.expanded.contains(key);
    if (row.isExpanded) {
        row.tools = context.weights.tools(entry);
        std::stable_sort(row.tools.begin(), row.tools.end(), [](const ToolTokens &a, const ToolTokens &b) {
            return a.tokens != b.tokens ? a.tokens > b.tokens : a.name < b.name;
        });
    }
    return row;
}

// The scope a project row's server has in the folder: its own entry of ~/.claude.json (live or
// stashed from there), else a .mcp.json.
Scope projectScope(const MCPProject &project, const QString &name)
{
    if (project.fromClaudeJson.contains(name) || project.stashedOrigins.contains(name))
        return Scope::local;
    return Scope::project;
}

} // namespace

QString secondLine(const ServerRow &row)
{
    if (row.subtitle.isEmpty() || row.reason.isEmpty())
        return row.subtitle + row.reason;
    return row.subtitle + QStringLiteral(" \u00b7 ") + row.reason;
}

QString formatTokens(std::optional<qint64> tokens)
{
    const qint64 n = tokens.value_or(fallbackTokens);
    if (n < 1000)
        return QStringLiteral("~%1").arg(n);
    return QStringLiteral("~%1k").arg(QString::asprintf("%.1f", double(n) / 1000.0));
}

QString accessibleDescription(const ServerRow &row)
{
    QStringList parts;
    if (!row.subtitle.isEmpty())
        parts << row.subtitle;
    if (!row.reason.isEmpty())
        parts << row.reason;
    if (row.probing)
        parts << QStringLiteral("measuring its tokens");
    else
        parts << spokenTokens(row.tokensPerMessage.value_or(fallbackTokens));
    if (row.heavy() && !row.probing)
        parts << QStringLiteral("over Claude Code's 25 thousand token warning");
    if (row.isLocked)
        parts << QStringLiteral("read-only");
    return parts.join(QStringLiteral(", "));
}

QString spokenTokens(qint64 n)
{
    if (n < 1000)
        return QStringLiteral("about %1 tokens per message").arg(n);
    return QStringLiteral("about %1 thousand tokens per message")
        .arg(QString::asprintf("%.1f", double(n) / 1000.0));
}

QString spokenCount(qsizetype enabled, qsizetype total)
{
    return QStringLiteral("%1 of %2 servers on").arg(enabled).arg(total);
}

QString abbreviatedPath(const QString &path, const QString &home)
{
    if (!home.isEmpty() && path.startsWith(home))
        return QLatin1Char('~') + path.mid(home.size());
    return path;
}

QString countText(qsizetype enabled, qsizetype total)
{
    return QStringLiteral("%1/%2").arg(enabled).arg(total);
}

QString busyKey(const QString &projectPath, const QString &name, MCPSource source)
{
    return projectPath + QChar(0x1f) + name + QChar(0x1f) + MCPSources::toString(source);
}

QList<ServerRow> globalRows(const QList<MCPServerEntry> &desktop, const QList<MCPServerEntry> &global,
                            const QList<MCPServerEntry> &managed, const QSet<GlobalServerID> &disabled,
                            const QList<ServerLoad> &loads, const RowContext &context)
{
    QList<ServerRow> rows;
    rows.reserve(desktop.size() + global.size() + managed.size());
    for (const MCPServerEntry &entry : desktop) {
        ServerRow row = rowFor(entry, MCPSource::desktop, {}, context);
        row.subtitle = QStringLiteral("Claude Desktop");
        row.isEnabled = !disabled.contains({entry.name, MCPSource::desktop});
        rows.append(std::move(row));
    }
    for (const MCPServerEntry &entry : global) {
        ServerRow row = rowFor(entry, MCPSource::global, {}, context);
        row.isEnabled = !disabled.contains({entry.name, MCPSource::global});
        applyLoad(row, ServerLoads::find(loads, entry.name, Scope::user), loads);
        rows.append(std::move(row));
    }
    for (const MCPServerEntry &entry : managed) {
        ServerRow row = rowFor(entry, MCPSource::managed, {}, context);
        row.subtitle = QStringLiteral("Managed");
        row.isLocked = true;
        applyLoad(row, ServerLoads::find(loads, entry.name, Scope::managed), loads);
        rows.append(std::move(row));
    }
    return rows;
}

QList<ServerRow> projectRows(const MCPProject &project, const QSet<QString> &disabled,
                             const QList<ServerLoad> &outside, const RowContext &context, bool loadingGlobals)
{
    QList<ServerRow> rows;
    rows.reserve(project.servers.size());
    for (const MCPServerEntry &entry : project.servers) {
        ServerRow row = rowFor(entry, MCPSource::project, project.path, context);
        row.isEnabled = !disabled.contains(entry.name);
        applyLoad(row, ServerLoads::find(project.loads, entry.name, projectScope(project, entry.name)),
                  project.loads);
        rows.append(std::move(row));
    }
    const auto inherited = [&](const ServerLoad &load) {
        ServerRow row = rowFor(load.entry, MCPSource::global, project.path, context);
        row.subtitle = QStringLiteral("Global");
        row.inherited = true;
        applyLoad(row, &load, project.loads);
        // Its switch is Claude Code's /mcp switch for this folder. A shadowed name is switched
        // on the row of the server that wins it, a blocked one by no one.
        row.isEnabled = load.state != State::offInClaudeCode;
        row.isLocked = load.state != State::on && load.state != State::offInClaudeCode;
        rows.append(std::move(row));
    };
    // First the global servers something else becomes of here, then (when asked) those that load.
    for (const ServerLoad &load : project.loads) {
        if (load.scope != Scope::user || load.state == State::on || load.state == State::off)
            continue;
        const ServerLoad *there = ServerLoads::find(outside, load.entry.name, Scope::user);
        if (!there || there->state != load.state) // else the global section already says so
            inherited(load);
    }
    if (loadingGlobals)
        for (const ServerLoad &load : project.loads)
            if (load.scope == Scope::user && load.state == State::on)
                inherited(load);
    return rows;
}

qsizetype loadingGlobals(const MCPProject &project)
{
    return std::count_if(project.loads.cbegin(), project.loads.cend(), [](const ServerLoad &load) {
        return load.scope == Scope::user && load.state == State::on;
    });
}

} // namespace ServerRows
