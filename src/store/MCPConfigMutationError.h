#pragma once

#include "platform/QuorlaneError.h"

// The error of a configuration change. Its description is the text the panel shows and the
// command line prints, so each case's wording is fixed.
class MCPConfigMutationError : public QuorlaneError
{
public:
    enum class Kind
    {
        serverNotFound,
        rollbackFailed,
        unsupportedSource,
        invalidConfiguration,
        verificationFailed
    };

    [[nodiscard]] static MCPConfigMutationError serverNotFound(const QString &name);
    [[nodiscard]] static MCPConfigMutationError rollbackFailed(const QString &original,
                                                               const QString &rollback);
    [[nodiscard]] static MCPConfigMutationError unsupportedSource();
    [[nodiscard]] static MCPConfigMutationError invalidConfiguration();
    [[nodiscard]] static MCPConfigMutationError verificationFailed();

    [[nodiscard]] Kind kind() const { return m_kind; }
    // The server name of serverNotFound; the causing error's text of rollbackFailed.
    [[nodiscard]] const QString &name() const { return m_first; }
    [[nodiscard]] const QString &original() const { return m_first; }
    // The restore failures of rollbackFailed, joined with "; ".
    [[nodiscard]] const QString &rollback() const { return m_second; }

private:
    MCPConfigMutationError(Kind kind, QString description, QString first = {}, QString second = {});

    Kind m_kind;
    QString m_first;
    QString m_second;
};
