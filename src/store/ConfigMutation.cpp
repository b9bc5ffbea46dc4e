#include "store/ConfigMutation.h"

#include "platform/Utf8Text.h"
#include "store/AtomicFile.h"
#include "store/JsonFile.h"
#include "store/MCPConfigMutationError.h"
#include "store/QuorlaneFolder.h"
#include "store/UntypedRewrite.h"

#include <QFile>
#include <QFileInfo>

namespace ConfigMutation {

void saveDisabledConfig(const DisabledGlobalConfig::Bucket &global,
                        const DisabledGlobalConfig::Bucket &desktop, const QString &stashPath)
{
    // Definitions carry secrets (tokens in "env" or "headers"): the stash is the user's alone.
    QuorlaneFolder::writePrivately(stashPath, DisabledGlobalConfig{global, desktop}.encode());
}

// Read as every other reader of the live file reads it: the last duplicate wins.
std::optional<bool> liveHasServer(const QByteArray &bytes, const std::string &name)
{
    const auto live = UntypedRewrite::parse(bytes);
    const auto servers = live ? live->member("mcpServers") : std::nullopt;
    if (!servers || live->document().kind(*servers) != JsonDocument::Kind::object)
        return std::nullopt;
    return live->document().member(*servers, name).has_value();
}

std::optional<bool> isLiveNow(const QString &livePath, MCPSource source, const std::string &name)
{
    const QString key = textFromUtf8(std::string_view(name));
    if (const auto stamp = FileStamp::of(livePath)) {
        // A view that read at all holds every definition of the file.
        if (source == MCPSource::desktop) {
            if (const auto servers = SourceCache::serverFiles().find(livePath, *stamp); servers && *servers)
                return (*servers)->contains(key);
        } else if (const auto view = SourceCache::claudeJson().find(livePath, *stamp); view && *view) {
            if ((*view)->mcpServers)
                return (*view)->mcpServers->contains(key);
        }
    }
    const auto bytes = JsonFile::readIfExists(livePath);
    return bytes ? liveHasServer(*bytes, name) : std::nullopt;
}

bool verifyMutation(const QString &name, MCPSource source, bool enabled, const QString &livePath,
                    const QString &stashPath, const std::optional<Fingerprint::Digest> &written,
                    std::optional<KnownStamp> *held)
{
    const std::string key = name.toStdString();
    std::optional<bool> live;
    const std::int64_t knownAt = KnownStamp::now();
    const auto before = FileStamp::of(livePath);
    if (written && AtomicFile::holds(livePath, *written)) {
        live = enabled;
        if (held && before && FileStamp::of(livePath) == before)
            *held = KnownStamp{*before, knownAt};
    } else {
        const auto liveBytes = JsonFile::readIfExists(livePath);
        if (!liveBytes)
            return false;
        live = liveHasServer(*liveBytes, key);
    }
    if (!live)
        return false;
    const auto stashBytes = JsonFile::readIfExists(stashPath, RegularFile::kSmallLimit);
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
        // A file that still holds its prior bytes (the failed step never replaced it) is left
        // alone: rewriting it could only fail again, on a full disk say, and report a rollback
        // failure for a file that never changed.
        if (AtomicFile::holds(path, *prior))
            return;
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
