#include "cli/ProfileOutput.h"

#include "cli/TerminalText.h"
#include "switching/ProfilePlan.h"

QString ProfileOutput::serverLine(const ProfileEntry &entry)
{
    return TerminalText::printable(QStringLiteral("%1 (%2)").arg(entry.name, ProfilePlans::where(entry)));
}

QString ProfileOutput::serverLine(const ServerSwitch &change)
{
    return serverLine(ProfilePlans::entryOf(change));
}

nlohmann::ordered_json ProfileOutput::serverJson(const ProfileEntry &entry)
{
    nlohmann::ordered_json value;
    value["name"] = entry.name.toStdString();
    value["source"] = MCPSources::toString(entry.source).toStdString();
    if (entry.source == MCPSource::project)
        value["projectPath"] = entry.projectPath.toStdString();
    if (entry.inClaudeCode)
        value["inClaudeCode"] = true;
    value["enabled"] = entry.enabled;
    return value;
}

nlohmann::ordered_json ProfileOutput::serverJson(const ServerSwitch &change)
{
    return serverJson(ProfilePlans::entryOf(change));
}

QString ProfileOutput::quoted(const QString &profileName)
{
    return QStringLiteral("\u2018%1\u2019").arg(TerminalText::printable(profileName));
}

QString ProfileOutput::savedAt(const QDateTime &time)
{
    return time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}
