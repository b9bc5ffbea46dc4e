#include "store/ProjectServerApproval.h"

bool ProjectServerApproval::isApproved(const MCPProject &project, const QString &name) const
{
    return project.approval.answerFor(name) == ClaudeCodeRules::ProjectApproval::Answer::approved;
}

bool ProjectServerApproval::mayProbe(const MCPProject &project, const MCPServerEntry &entry) const
{
    // A stashed definition is not the one Claude Code approved under that name: only where it
    // came from decides.
    const auto stashed = project.stashedOrigins.constFind(entry.name);
    if (stashed != project.stashedOrigins.cend())
        return DefinitionOrigins::isTrusted(*stashed);
    return project.fromClaudeJson.contains(entry.name) || isApproved(project, entry.name);
}
