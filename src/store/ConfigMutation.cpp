#include "ConfigMutation.h"

#include "JsonFile.h"
#include "MCPConfigMutationError.h"

#include <QFile>
#include <QFileInfo>

#include <simdjson.h>

namespace ConfigMutation {

void saveDisabledConfig(const DisabledGlobalConfig::Bucket &global,
                        const DisabledGlobalConfig::Bucket &desktop, const QString &stashPath)
{
    // Definitions carry secrets (tokens in "env" or "headers"): the stash is the user's alone.
    JsonFile::writePrivate(stashPath,
                           JsonFile::serializeCompact(DisabledGlobalConfig{global, desktop}.encode()));
}

// Only the presence of one member is asked, so the live file (tens of megabytes for a long-used
// Claude Code) is read with simdjson, which still validates the whole document.
std::optional<bool> liveHasServer(const QByteArray &bytes, const std::string &name)
{
    simdjson::dom::parser parser;
    simdjson::dom::element root;
    const auto error = parser.parse(bytes.constData(), size_t(bytes.size())).get(root);
    if (error == simdjson::NUMBER_ERROR) {
        // Integers beyond 64 bits are valid JSON that simdjson refuses; the generic parser
        // accepts them.
        const auto generic = JsonFile::parseObject(bytes);
        if (!generic)
            return std::nullopt;
        const auto servers = generic->find("mcpServers");
        if (servers == generic->end() || !servers->is_object())
            return std::nullopt;
        return servers->contains(name);
    }
    if (error != simdjson::SUCCESS || !root.is_object())
        return std::nullopt;
    simdjson::dom::object servers;
    if (root["mcpServers"].get(servers) != simdjson::SUCCESS)
        return std::nullopt;
    simdjson::dom::element member;
    return servers[name].get(member) == simdjson::SUCCESS;
}

bool verifyMutation(const QString &name, MCPSource source, bool enabled, const QString &livePath,
                    const QString &stashPath)
{
    const auto liveBytes = JsonFile::readIfExists(livePath);
    if (!liveBytes)
        return false;
    const std::string key = name.toStdString();
    const auto live = liveHasServer(*liveBytes, key);
    if (!live)
        return false;
    const auto stashBytes = JsonFile::readIfExists(stashPath);
    if (!stashBytes)
        throw FileSystemError(QStringLiteral("%1 does not exist").arg(stashPath));
    const auto stash = DisabledGlobalConfig::decode(*stashBytes);
    if (!stash)
        throw MCPConfigMutationError::invalidConfiguration();
    const auto &bucket = source == MCPSource::desktop ? stash->desktop : stash->global;
    const bool stashed = bucket.contains(key);
    return enabled ? (*live && !stashed) : (stashed && !*live);
}

void restoreFile(const std::optional<QByteArray> &prior, const QString &path)
{
    if (prior) {
        JsonFile::writeAtomically(path, *prior);
        return;
    }
    QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return;
    QFile file(path);
    if (info.isDir() || !file.remove())
        throw FileSystemError(
            QStringLiteral("Could not remove %1: %2")
                .arg(path, info.isDir() ? QStringLiteral("it is a folder") : file.errorString()));
}

QString describe(const std::exception_ptr &error)
{
    try {
        std::rethrow_exception(error);
    } catch (const QuorlaneError &known) {
        return known.description();
    } catch (const std::exception &other) {
        return QString::fromUtf8(other.what());
    } catch (...) {
        return QStringLiteral("unknown error");
    }
}

} // namespace ConfigMutation
