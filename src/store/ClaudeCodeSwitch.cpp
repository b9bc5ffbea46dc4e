#include "store/ClaudeCodeSwitch.h"

#include "platform/QuorlaneError.h"
#include "platform/Utf8Text.h"
#include "store/AtomicFile.h"
#include "store/ClaudeJsonLock.h"
#include "store/FolderChain.h"
#include "store/JsonFile.h"
#include "store/SourceCache.h"
#include "store/SwitchInProgress.h"
#include "store/UntypedRewrite.h"

#include <QCoro/QCoroTimer>

namespace ClaudeCodeSwitch {
namespace {

// Claude Code writes ~/.claude.json even when it finds its lock held: a change between our read
// and our exchange is redone on the new content this many times.
constexpr int kMaxAttempts = 5;
// Long enough for a write Claude Code began before ours to land.
constexpr std::chrono::milliseconds kRecheckDelay{500};

[[noreturn]] void refuse(const QString &path, const QString &why)
{
    throw FileSystemError(QStringLiteral("%1 %2; nothing was changed.").arg(path, why));
}

// The folder's list after the switch, its other items kept as written; nullopt when it stays.
std::optional<RawJSON::Array> switchedList(const UntypedRewrite &root, const QString &claudeJsonPath,
                                           const std::string &projectKey, const std::string &name, bool off)
{
    const JsonDocument &document = root.document();
    const auto projects = root.member("projects");
    if (projects && document.kind(*projects) != JsonDocument::Kind::object)
        refuse(claudeJsonPath, QStringLiteral("has a \"projects\" member that is not an object"));
    const auto entry = root.find({"projects", projectKey});
    if (entry && document.kind(*entry) != JsonDocument::Kind::object)
        refuse(claudeJsonPath, QStringLiteral("has an entry for %1 that is not an object")
                                   .arg(QString::fromStdString(projectKey)));
    const auto list = root.find({"projects", projectKey, "disabledMcpServers"});
    if (list && document.kind(*list) != JsonDocument::Kind::array)
        refuse(claudeJsonPath, QStringLiteral("has a \"disabledMcpServers\" for %1 that is not a list")
                                   .arg(QString::fromStdString(projectKey)));
    RawJSON::Array items;
    bool listed = false;
    if (list) {
        document.forEachElement(*list, [&](JsonDocument::Index item) {
            if (document.kind(item) == JsonDocument::Kind::string && document.string(item) == name) {
                listed = true;
                if (!off)
                    return;
            }
            // Flat values (Claude Code writes names only): no depth to refuse.
            items.push_back(
                RawJSON::fromDocument(document, item, RawJSON::Numbers::byForm).value_or(RawJSON()));
        });
    }
    if (listed == off)
        return std::nullopt;
    if (off)
        items.push_back(RawJSON(name));
    return items;
}

// The loader's view after the rewrite, worked out from the view of the file read while it is
// kept (a large file is then not parsed again by the next load).
std::function<void(const KnownStamp &)> viewAfter(const QString &path,
                                                  const std::optional<FileStamp> &readStamp,
                                                  const QList<std::pair<QString, QStringList>> &lists)
{
    auto cached = readStamp ? SourceCache::claudeJson().find(path, *readStamp) : std::nullopt;
    if (!cached || !*cached)
        return {};
    ClaudeJson view = std::move(**cached);
    if (!view.projects)
        view.projects.emplace();
    for (const auto &[listKey, names] : lists) {
        // Named again: Clang before 16 cannot capture a structured binding in a lambda.
        const auto &key = listKey;
        auto at = std::find_if(view.projects->begin(), view.projects->end(),
                               [&key](const auto &project) { return project.first == key; });
        if (at == view.projects->end())
            at = view.projects->insert(view.projects->end(), {key, ClaudeJsonProject{}});
        at->second.disabledMcpServers = names;
    }
    return [path, view = std::optional(std::move(view))](const KnownStamp &known) {
        SourceCache::claudeJson().keep(path, known, view);
    };
}

QStringList namesOf(const RawJSON::Array &items)
{
    QStringList names;
    for (const RawJSON &item : items)
        if (const auto *text = std::get_if<std::string>(&item.value()))
            names.append(textFromUtf8(std::string_view(*text)));
    return names;
}

} // namespace

namespace {

// One locked write of the switch; false when ~/.claude.json already says what was asked.
QCoro::Task<bool> writeOnce(QString claudeJsonPath, QString name, QStringList keys, bool off)
{
    ClaudeJsonLock lock(claudeJsonPath);
    co_await lock.acquire();
    const std::string key = name.toStdString();
    for (int attempt = 1; attempt <= kMaxAttempts; ++attempt) {
        auto stamp = FileStamp::of(claudeJsonPath);
        const auto bytes = JsonFile::readIfExists(claudeJsonPath);
        if (stamp != FileStamp::of(claudeJsonPath))
            stamp.reset();
        if (!bytes)
            refuse(claudeJsonPath, QStringLiteral("does not exist (Claude Code has not run yet)"));
        auto root = UntypedRewrite::parse(*bytes);
        if (!root)
            refuse(claudeJsonPath, QStringLiteral("is not a JSON object"));
        QList<std::pair<QString, QStringList>> changed;
        for (const QString &projectKey : keys) {
            const std::string folder = projectKey.toStdString();
            if (auto items = switchedList(*root, claudeJsonPath, folder, key, off)) {
                changed.append({projectKey, namesOf(*items)});
                root->set({"projects", folder, "disabledMcpServers"}, RawJSON(std::move(*items)));
            }
        }
        if (changed.isEmpty())
            co_return false;
        const auto keepView = viewAfter(claudeJsonPath, stamp, changed);
        AtomicFile::Replacement replacement(claudeJsonPath);
        root->writeTo(replacement, claudeJsonPath);
        root.reset(); // the index of a large file is not needed past this point
        if (replacement.commitIfUnchanged(*bytes)) {
            if (keepView && replacement.placedStamp())
                keepView(*replacement.placedStamp());
            co_return true;
        }
        lock.refresh();
    }
    throw FileSystemError(
        QStringLiteral(
            "%1 kept changing while MCP server \u2018%2\u2019 was being switched; nothing was changed.")
            .arg(claudeJsonPath, name));
}

} // namespace

QCoro::Task<void> setOff(QString claudeJsonPath, QString name, QString projectPath, bool off)
{
    const SwitchInProgress::Scope switching; // outlives the lock
    QStringList keys{projectPath};
    if (!off) {
        const QString root = FolderChain().workTreeRoot(projectPath);
        if (!root.isEmpty() && root != projectPath)
            keys.append(root);
    }
    // Claude Code writes even when it finds its lock held, so a write of its own that read the
    // file before ours can land after it, without our change: looked at once more a moment
    // later, and made again when it was undone.
    for (int round = 1; round <= kMaxAttempts; ++round) {
        QCoro::Task<bool> writing = writeOnce(claudeJsonPath, name, keys, off);
        if (!co_await std::move(writing))
            co_return;
        co_await QCoro::sleepFor(kRecheckDelay);
    }
}

} // namespace ClaudeCodeSwitch
