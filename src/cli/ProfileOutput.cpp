#include "cli/ProfileOutput.h"

#include "cli/TerminalText.h"
#include "switching/ProfilePlan.h"

QString ProfileOutput::serverLine(const QString &name, MCPSource source, const QString &projectPath)
{
    return TerminalText::printable(
        QStringLiteral("%1 (%2)").arg(name, ProfilePlans::where(source, projectPath)));
}

QString ProfileOutput::serverLine(const ProfileEntry &entry)
{
    return serverLine(entry.name, entry.source, entry.projectPath);
}

QString ProfileOutput::serverLine(const ServerSwitch &change)
{
    return serverLine(change.name, change.source, change.projectPath);
}

nlohmann::ordered_json ProfileOutput::serverJson(const ProfileEntry &entry)
{
    nlohmann::ordered_json value;
    value["name"] = entry.name.toStdString();
    value["source"] = MCPSources::toString(entry.source).toStdString();
    if (entry.source == MCPSource::project)
        value["projectPath"] = entry.projectPath.toStdString();
    value["enabled"] = entry.enabled;
    return value;
}

nlohmann::ordered_json ProfileOutput::serverJson(const ServerSwitch &change)
{
    return serverJson(ProfileEntry{change.source, change.projectPath, change.name, change.enabled});
}

QString ProfileOutput::quoted(const QString &profileName)
{
    return QStringLiteral("\u2018%1\u2019").arg(TerminalText::printable(profileName));
}

QString ProfileOutput::savedAt(const QDateTime &time)
{
    return time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}
