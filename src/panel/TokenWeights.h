#pragma once

#include "probe/ProbeMessages.h"
#include "store/MCPProject.h"

#include <QHash>
#include <QObject>
#include <QSet>

#include <QCoro/QCoroTask>

#include <functional>

// The panel's token figures: tokens per message of each server, and the servers whose probe is
// running. A load gives every collected server the fallback figure at once, then starts one
// probe per server and applies each result on the main thread as it arrives. Project servers
// Claude Code has not approved are never started; their rows keep the fallback.
//
// A figure belongs to a server's definition, not its name: a global "github" over HTTP and a
// Desktop "github" that runs a command cost what each of them lists. A name whose servers all
// share one definition is looked up by the name alone, so the common case never works out a
// definition fingerprint.
class TokenWeights : public QObject
{
    Q_OBJECT

public:
    using Estimator = std::function<QCoro::Task<ProbeResult>(MCPServerEntry)>;
    // Decides, off the main thread, which project servers may be started (see ProbeTargets).
    using ApprovalCheck = std::function<bool(const MCPProject &, const MCPServerEntry &)>;
    using ApprovalSource = std::function<ApprovalCheck()>;

    static constexpr qint64 fallbackTokens = 1500;
    static constexpr QChar kKeySeparator = QChar(0x1f);

    TokenWeights(Estimator estimator, ApprovalSource approvals, QObject *parent = nullptr);

    // The figure of `entry`'s definition; nullopt before its first load.
    [[nodiscard]] std::optional<qint64> tokens(const MCPServerEntry &entry) const;
    [[nodiscard]] bool isProbing(const MCPServerEntry &entry) const;
    // Whether the figure is a measurement (otherwise it is the fallback).
    [[nodiscard]] bool isMeasured(const MCPServerEntry &entry) const;
    // The measured tools, as the probe listed them; empty until the tool list has been measured.
    [[nodiscard]] QList<ToolTokens> tools(const MCPServerEntry &entry) const;
    // Name to figure for the savings estimate, which counts switched-off servers by name; a name
    // with several definitions gets the lightest figure.
    [[nodiscard]] QHash<QString, qint64> weightsByName() const;
    // busyKey()s of the project rows that are not probed.
    [[nodiscard]] const QSet<QString> &unprobeable() const { return m_unprobeable; }
    // Probes are running, or a load is still deciding what to probe.
    [[nodiscard]] bool isBusy() const { return m_running > 0; }

    // Global, then Claude Desktop, then every project's servers; managed servers are not probed.
    void load(QList<MCPServerEntry> global, QList<MCPServerEntry> desktop, QList<MCPProject> projects);

    // Whether these are the servers of the last load, names and definitions alike: when they are
    // not, the figures are loaded again.
    [[nodiscard]] bool holds(const QList<MCPServerEntry> &global, const QList<MCPServerEntry> &desktop,
                             const QList<MCPProject> &projects) const;

Q_SIGNALS:
    void changed();
    // Every load started so far has finished.
    void idle();

private:
    QCoro::Task<void> run(QList<MCPServerEntry> servers, QList<MCPProject> projects);
    void probe(const MCPServerEntry &entry);
    // The name, or for a name with several definitions the name and the definition's fingerprint.
    [[nodiscard]] QString keyOf(const MCPServerEntry &entry) const;
    void forget(const QString &name);
    void finishOne();

    Estimator m_estimator;
    ApprovalSource m_approvals;
    // By keyOf().
    QHash<QString, qint64> m_weights;
    QSet<QString> m_probing;
    QSet<QString> m_measured;
    QHash<QString, QList<ToolTokens>> m_tools;
    QSet<QString> m_ambiguousNames; // names with more than one definition in the last load
    QList<MCPServerEntry> m_loadedGlobal, m_loadedDesktop;
    QList<MCPProject> m_loadedProjects;
    QSet<QString> m_unprobeable;
    int m_running = 0;
};
