#include "store/MCPConfigMutationError.h"

MCPConfigMutationError::MCPConfigMutationError(Kind kind, QString description, QString first, QString second)
    : QuorlaneError(std::move(description)), m_kind(kind), m_first(std::move(first)),
      m_second(std::move(second))
{}

MCPConfigMutationError MCPConfigMutationError::serverNotFound(const QString &name)
{
    // Typographic quotes, as everywhere else the name of a server is shown to the user.
    return {Kind::serverNotFound, QStringLiteral("MCP server \u2018%1\u2019 was not found.").arg(name), name};
}

MCPConfigMutationError MCPConfigMutationError::rollbackFailed(const QString &original,
                                                              const QString &rollback)
{
    return {Kind::rollbackFailed,
            QStringLiteral("The MCP configuration change failed (") + original +
                QStringLiteral("), and rollback also failed: ") + rollback,
            original, rollback};
}

MCPConfigMutationError MCPConfigMutationError::unsupportedSource()
{
    return {Kind::unsupportedSource, QStringLiteral("This MCP source is read-only.")};
}

MCPConfigMutationError MCPConfigMutationError::invalidConfiguration()
{
    return {Kind::invalidConfiguration, QStringLiteral("The MCP configuration could not be read.")};
}

MCPConfigMutationError MCPConfigMutationError::verificationFailed()
{
    return {Kind::verificationFailed, QStringLiteral("The MCP configuration change could not be verified.")};
}
