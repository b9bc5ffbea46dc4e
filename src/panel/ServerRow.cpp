#include "panel/ServerRow.h"

namespace ServerRows {

namespace {

constexpr qint64 fallbackTokens = 1500;

ServerRow rowFor(const MCPServerEntry &entry, MCPSource source, const QString &projectPath,
                 const RowContext &context)
{
    ServerRow row;
    row.entry = entry;
    row.source = source;
    const QString key = busyKey(projectPath, entry.name, source);
    row.busy = context.busy.contains(key);
    const bool unprobeable = context.unprobeable.contains(key);
    // Figures and spinners go by name alone: one server name costs the same wherever it is listed.
    row.probing = !unprobeable && context.probingServers.contains(entry.name);
    if (const auto found = context.tokenWeights.constFind(entry.name); found != context.tokenWeights.cend())
        row.tokensPerMessage = *found;
    if (unprobeable) {
        row.note = QStringLiteral("Not measured: Claude Code has not approved this server for the project, "
                                  "so Quorlane does not start it.");
    }
    return row;
}

} // namespace

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
    const qint64 n = row.tokensPerMessage.value_or(fallbackTokens);
    if (row.probing)
        parts << QStringLiteral("measuring its tokens");
    else if (n < 1000)
        parts << QStringLiteral("about %1 tokens per message").arg(n);
    else
        parts << QStringLiteral("about %1 thousand tokens per message")
                     .arg(QString::asprintf("%.1f", double(n) / 1000.0));
    if (row.isLocked)
        parts << QStringLiteral("read-only");
    return parts.join(QStringLiteral(", "));
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
                            const RowContext &context)
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
        rows.append(std::move(row));
    }
    for (const MCPServerEntry &entry : managed) {
        ServerRow row = rowFor(entry, MCPSource::managed, {}, context);
        row.subtitle = QStringLiteral("Managed");
        row.isLocked = true;
        rows.append(std::move(row));
    }
    return rows;
}

QList<ServerRow> projectRows(const MCPProject &project, const QSet<QString> &disabled,
                             const RowContext &context)
{
    QList<ServerRow> rows;
    rows.reserve(project.servers.size());
    for (const MCPServerEntry &entry : project.servers) {
        ServerRow row = rowFor(entry, MCPSource::project, project.path, context);
        row.isEnabled = !disabled.contains(entry.name);
        rows.append(std::move(row));
    }
    return rows;
}

} // namespace ServerRows
