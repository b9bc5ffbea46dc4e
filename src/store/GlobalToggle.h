#pragma once

#include "store/ConfigFormats.h"
#include "store/Fingerprint.h"
#include "store/LoadResult.h"
#include "store/MCPSource.h"
#include "store/SourceCache.h"
#include "store/UntypedRewrite.h"
#include "json/RawJSON.h"

#include <QCoro/QCoroTask>

#include <exception>
#include <functional>
#include <optional>

// One switch of a server of ~/.claude.json (global) or of the Claude Desktop file (desktop):
// the definition moves between the live file and the stash. Writes go in the order that keeps
// the definition in at least one file at every moment, are read back, and on any failure both
// files get their exact prior bytes (or absence) back. The caller holds the mutation lock and
// reloads afterwards; this class only touches files.
class GlobalToggle
{
public:
    struct Outcome
    {
        enum class Kind
        {
            done,     // written and verified
            rejected, // refused before anything was written: nothing to reload
            failed    // written, then rolled back (or rollback failed too)
        };
        Kind kind = Kind::done;
        std::exception_ptr error;
    };

    GlobalToggle(const ConfigPaths &paths, const QString &name, MCPSource source, bool enabled);

    // Never throws: every failure is in the outcome.
    QCoro::Task<Outcome> run();

    // Claude Code takes the lock folder when it is free but writes anyway when it is not, so a
    // write of its own that started before ours can land after our verification. Run when the
    // reload shows the switch undone: a definition switched on that is now in neither file goes
    // back to the stash, and a stash entry of a server that is live again is dropped, so the
    // server is in exactly one file and never in none. True when a file was changed.
    QCoro::Task<bool> reconcile();
    [[nodiscard]] const std::optional<RawJSON> &definition() const { return m_definition; }
    static QCoro::Task<bool> reconcile(ConfigPaths paths, QString name, MCPSource source, bool enabled,
                                       RawJSON definition);

private:
    // What a toggle reads before it writes; kept for the rollback.
    struct Prior
    {
        std::optional<QByteArray> live;
        std::optional<QByteArray> stash;
    };
    // The parsed live file and stash, once they passed validation.
    struct Plan
    {
        std::optional<UntypedRewrite> live; // dropped once the new text is made: memory
        DisabledGlobalConfig stash;
    };

    [[nodiscard]] std::optional<Plan> validate(const Prior &prior) const;
    // False when the live file changed under us just before the rename; nothing of ours is
    // left in place then.
    bool switchOn(Plan &plan, const Prior &prior);
    bool switchOff(Plan &plan, const Prior &prior);
    void saveStash(const DisabledGlobalConfig &stash) const;
    [[nodiscard]] std::exception_ptr rollback(const Prior &prior, std::exception_ptr cause) const;

    // Works out the loader's view of the rewritten live file from the view of the file read,
    // while the parsed text is still at hand.
    void prepareView(const UntypedRewrite &live, const std::optional<RawJSON> &definition);

    std::optional<Fingerprint::Digest> m_writtenLive; // what our rewrite of the live file put there
    std::optional<FileStamp> m_readStamp;             // of the live file as it was read, when it held still
    // Hands the view of what was written to the loader's cache once the file is seen holding it.
    std::function<void(const KnownStamp &)> m_keepView;
    std::optional<RawJSON> m_definition; // the definition being moved
    ConfigPaths m_paths;
    QString m_name;
    std::string m_key;
    MCPSource m_source;
    bool m_enabled;
    QString m_livePath;
};
