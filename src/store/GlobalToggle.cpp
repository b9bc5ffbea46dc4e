#include "store/GlobalToggle.h"

#include "store/AtomicFile.h"
#include "store/ClaudeJsonLock.h"
#include "store/ConfigMutation.h"
#include "store/JsonFile.h"
#include "store/MCPConfigMutationError.h"
#include "json/RawJSON.h"

#include <QFileInfo>

namespace {

// Claude Desktop takes no lock on its file, and Claude Code writes even when it finds its lock
// folder held; when either rewrites the live file between our read and our rename, the edit is
// redone on the new content this many times before giving up.
constexpr int kMaxAttempts = 10;

} // namespace

GlobalToggle::GlobalToggle(const ConfigPaths &paths, const QString &name, MCPSource source, bool enabled)
    : m_paths(paths), m_name(name), m_key(m_name.toStdString()), m_source(source), m_enabled(enabled),
      m_livePath(source == MCPSource::desktop ? m_paths.desktopConfigPath : m_paths.claudeJsonPath)
{}

QCoro::Task<GlobalToggle::Outcome> GlobalToggle::run()
{
    // Claude Code guards its read-modify-writes of ~/.claude.json with this lock folder: while it
    // holds it, we wait. It only tries the folder once and writes anyway when we hold it, which
    // the re-check before our rename, the rollback of only our own rewrite and the later look at
    // a switch-on cover. Released when this frame ends, before the reload.
    std::optional<ClaudeJsonLock> lock;
    if (m_source == MCPSource::global) {
        lock.emplace(m_livePath);
        try {
            co_await lock->acquire();
        } catch (...) {
            co_return Outcome{Outcome::Kind::rejected, std::current_exception()};
        }
    }

    for (int attempt = 1;; ++attempt) {
        Prior prior;
        try {
            m_readStamp = FileStamp::of(m_livePath);
            prior.live = JsonFile::readIfExists(m_livePath);
            if (m_readStamp != FileStamp::of(m_livePath))
                m_readStamp.reset();
            // A stash that is there but cannot be read is not an empty one: switching with it
            // would write over (or roll back by deleting) every definition it holds.
            prior.stash = JsonFile::readIfExists(m_paths.disabledGlobalConfigPath, RegularFile::kSmallLimit);
            // A stash nested far deeper than any definition it may hold is named as such
            // rather than reported as unreadable.
            if (prior.stash)
                JsonFile::checkNestingDepth(m_paths.disabledGlobalConfigPath, *prior.stash);
        } catch (...) {
            co_return Outcome{Outcome::Kind::rejected, std::current_exception()};
        }
        auto plan = validate(prior);
        if (!plan)
            co_return Outcome{Outcome::Kind::rejected,
                              std::make_exception_ptr(MCPConfigMutationError::invalidConfiguration())};

        try {
            const bool written = m_enabled ? switchOn(*plan, prior) : switchOff(*plan, prior);
            if (!written) {
                if (attempt < kMaxAttempts)
                    continue;
                throw FileSystemError(
                    QStringLiteral("%1 kept changing while the server was being switched").arg(m_livePath));
            }
            if (lock)
                lock->refresh();
            std::optional<KnownStamp> held;
            if (!ConfigMutation::verifyMutation(m_name, m_source, m_enabled, m_livePath,
                                                m_paths.disabledGlobalConfigPath, m_writtenLive, &held))
                throw MCPConfigMutationError::verificationFailed();
            if (held && m_keepView)
                m_keepView(*held);
            co_return Outcome{Outcome::Kind::done, {}};
        } catch (...) {
            co_return Outcome{Outcome::Kind::failed, rollback(prior, std::current_exception())};
        }
    }
}

std::optional<GlobalToggle::Plan> GlobalToggle::validate(const Prior &prior) const
{
    if (!prior.live)
        return std::nullopt;
    auto live = UntypedRewrite::parse(*prior.live);
    if (!live || live->document().isEmpty(JsonDocument::root()))
        return std::nullopt;
    // Claude Code writes its file without "mcpServers" until a server is added; switching on
    // creates the member (the rewrite makes missing objects on the way), switching off finds no
    // server in it.
    const auto servers = live->member("mcpServers");
    if (servers && live->document().kind(*servers) != JsonDocument::Kind::object)
        return std::nullopt;
    DisabledGlobalConfig stash;
    if (prior.stash) {
        auto decoded = DisabledGlobalConfig::decode(*prior.stash);
        if (!decoded)
            return std::nullopt;
        stash = std::move(*decoded);
    }
    return Plan{std::move(live), std::move(stash)};
}

bool GlobalToggle::switchOn(Plan &plan, const Prior &prior)
{
    auto &bucket = m_source == MCPSource::desktop ? plan.stash.desktop : plan.stash.global;
    const auto stashed = bucket.find(m_key);
    if (stashed == bucket.end())
        throw MCPConfigMutationError::serverNotFound(m_name);
    m_definition = stashed->second;
    prepareView(*plan.live, m_definition);
    // The live file first: until the stash entry goes, the definition is in both files.
    plan.live->set({"mcpServers", m_key}, stashed->second);
    AtomicFile::Replacement written(m_livePath);
    plan.live->writeTo(written, m_livePath);
    plan.live.reset();
    if (!written.commitIfUnchanged(*prior.live))
        return false;
    m_writtenLive = written.digest();
    bucket.erase(stashed);
    saveStash(plan.stash);
    return true;
}

bool GlobalToggle::switchOff(Plan &plan, const Prior &prior)
{
    const auto live = plan.live->find({"mcpServers", m_key});
    if (!live)
        throw MCPConfigMutationError::serverNotFound(m_name);
    // The stash holds the definition as a tree, which recursion walks: a definition nested deeper
    // than any real one is refused before anything is written.
    auto definition = RawJSON::fromDocument(plan.live->document(), *live, RawJSON::Numbers::byForm);
    if (!definition)
        throw QuorlaneError(
            QStringLiteral(
                "The definition of MCP server \u2018%1\u2019 in %2 nests more than %3 levels deep, "
                "deeper than Quorlane keeps a switched-off definition; it was left on.")
                .arg(m_name, m_livePath)
                .arg(RawJSON::kMaxDepth));
    m_definition = *definition;
    prepareView(*plan.live, std::nullopt);
    plan.live->remove({"mcpServers", m_key});
    // Written out before the stash is touched: a file that cannot be rewritten changes nothing.
    AtomicFile::Replacement written(m_livePath);
    plan.live->writeTo(written, m_livePath);
    plan.live.reset();
    // The stash first: the definition must exist in at least one file at every moment.
    auto &bucket = m_source == MCPSource::desktop ? plan.stash.desktop : plan.stash.global;
    bucket.insert_or_assign(m_key, std::move(*definition));
    saveStash(plan.stash);
    if (written.commitIfUnchanged(*prior.live)) {
        m_writtenLive = written.digest();
        return true;
    }
    // Someone else rewrote the live file: take our stash entry back before the edit is redone.
    ConfigMutation::restoreFile(prior.stash, m_paths.disabledGlobalConfigPath);
    return false;
}

void GlobalToggle::prepareView(const UntypedRewrite &live, const std::optional<RawJSON> &definition)
{
    m_keepView = nullptr;
    const QString path = m_livePath;
    if (m_source == MCPSource::desktop) {
        auto &cache = SourceCache::serverFiles();
        auto cached = m_readStamp ? cache.find(path, *m_readStamp) : std::nullopt;
        std::optional<MCPServerMap> servers;
        if (cached) {
            servers = std::move(*cached);
        } else if (auto config = MCPConfig::decode(live.document())) {
            servers = std::move(config->mcpServers);
        }
        if (applySwitch(servers, m_name, definition))
            m_keepView = [path, servers](const KnownStamp &known) {
                SourceCache::serverFiles().keep(path, known, servers);
            };
        return;
    }
    auto &cache = SourceCache::claudeJson();
    auto cached = m_readStamp ? cache.find(path, *m_readStamp) : std::nullopt;
    std::optional<ClaudeJson> view = cached ? std::move(*cached) : ClaudeJson::decode(live.document());
    if (ClaudeJson::applySwitch(view, {}, m_name, definition))
        m_keepView = [path, view](const KnownStamp &known) {
            SourceCache::claudeJson().keep(path, known, view);
        };
}

void GlobalToggle::saveStash(const DisabledGlobalConfig &stash) const
{
    ConfigMutation::saveDisabledConfig(stash.global, stash.desktop, m_paths.disabledGlobalConfigPath);
}

std::exception_ptr GlobalToggle::rollback(const Prior &prior, std::exception_ptr cause) const
{
    QStringList failures;
    try {
        // Only our own rewrite is taken back. When the file holds neither it nor the prior
        // bytes, another program replaced it after us; its content already lacks our change,
        // and restoring the old bytes would throw its change away.
        if (m_writtenLive)
            (void)AtomicFile::replaceIfUnchanged(m_livePath, *prior.live, *m_writtenLive);
    } catch (...) {
        failures << QStringLiteral("source: ") + ConfigMutation::describe(std::current_exception());
    }
    try {
        // When another program rewrote the live file from ours, the definition switched off is
        // in the stash alone: the stash stays as written then.
        const auto liveNow = JsonFile::read(m_livePath);
        const auto isLive = liveNow ? ConfigMutation::liveHasServer(*liveNow, m_key) : std::nullopt;
        const bool onlyInStash = !m_enabled && m_writtenLive && isLive == false;
        if (!onlyInStash)
            ConfigMutation::restoreFile(prior.stash, m_paths.disabledGlobalConfigPath);
    } catch (...) {
        failures << QStringLiteral("disabled state: ") + ConfigMutation::describe(std::current_exception());
    }
    if (failures.isEmpty()) {
        // Say what is true on disk now, not only what went wrong: looked at, not assumed.
        const auto holdsPrior = [](const QString &path, const std::optional<QByteArray> &bytes) {
            return bytes ? AtomicFile::holds(path, *bytes)
                         : !QFileInfo(path).exists() && !QFileInfo(path).isSymLink();
        };
        try {
            std::rethrow_exception(cause);
        } catch (const FileSystemError &error) {
            if (holdsPrior(m_livePath, prior.live) &&
                holdsPrior(m_paths.disabledGlobalConfigPath, prior.stash)) {
                QString text = error.description();
                if (!text.endsWith(QLatin1Char('.')))
                    text += QLatin1Char('.');
                return std::make_exception_ptr(FileSystemError(
                    text +
                    QStringLiteral(" MCP server \u2018%1\u2019 was not switched %2; %3 and %4 are as they "
                                   "were.")
                        .arg(m_name, m_enabled ? QStringLiteral("on") : QStringLiteral("off"), m_livePath,
                             m_paths.disabledGlobalConfigPath)));
            }
        } catch (...) {
        }
        return cause;
    }
    return std::make_exception_ptr(MCPConfigMutationError::rollbackFailed(
        ConfigMutation::describe(cause), failures.join(QStringLiteral("; "))));
}

QCoro::Task<bool> GlobalToggle::reconcile()
{
    if (!m_definition)
        return []() -> QCoro::Task<bool> { co_return false; }();
    return reconcile(m_paths, m_name, m_source, m_enabled, *m_definition);
}

QCoro::Task<bool> GlobalToggle::reconcile(ConfigPaths paths, QString name, MCPSource source, bool enabled,
                                          RawJSON definition)
{
    const QString livePath = source == MCPSource::desktop ? paths.desktopConfigPath : paths.claudeJsonPath;
    const std::string key = name.toStdString();
    // Only the stash is written here, so Claude Code's lock is not taken: it guards its file.
    const auto isLive = ConfigMutation::isLiveNow(livePath, source, key);
    const auto stashBytes = JsonFile::readIfExists(paths.disabledGlobalConfigPath, RegularFile::kSmallLimit);
    auto stash = stashBytes ? DisabledGlobalConfig::decode(*stashBytes) : DisabledGlobalConfig{};
    if (!stash || !isLive)
        co_return false; // unreadable: nothing can be decided safely
    const bool live = *isLive;
    auto &bucket = source == MCPSource::desktop ? stash->desktop : stash->global;
    const bool stashed = bucket.contains(key);
    if (!live && !stashed)
        bucket.insert_or_assign(key, std::move(definition));
    else if (live && stashed && !enabled)
        bucket.erase(key);
    else
        co_return false;
    ConfigMutation::saveDisabledConfig(stash->global, stash->desktop, paths.disabledGlobalConfigPath);
    co_return true;
}
