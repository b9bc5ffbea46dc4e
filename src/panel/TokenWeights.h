#pragma once

#include "probe/ProbeMessages.h"
#include "store/MCPProject.h"

#include <QHash>
#include <QObject>
#include <QSet>

#include <QCoro/QCoroTask>

#include <functional>

// The panel's token figures: server name to tokens per message, and the names whose probe is
// running. A load gives every collected server the fallback figure at once, then starts one
// probe per server and applies each result on the main thread as it arrives. Project servers
// Claude Code has not approved are never started; their rows keep the fallback.
class TokenWeights : public QObject
{
    Q_OBJECT

public:
    using Estimator = std::function<QCoro::Task<ProbeResult>(MCPServerEntry)>;
    // Decides, off the main thread, which project servers may be started (see ProbeTargets).
    using ApprovalCheck = std::function<bool(const MCPProject &, const MCPServerEntry &)>;
    using ApprovalSource = std::function<ApprovalCheck()>;

    static constexpr qint64 fallbackTokens = 1500;

    TokenWeights(Estimator estimator, ApprovalSource approvals, QObject *parent = nullptr);

    [[nodiscard]] const QHash<QString, qint64> &weights() const { return m_weights; }
    [[nodiscard]] const QSet<QString> &probing() const { return m_probing; }
    // Names whose estimate is a measurement (the others show the fallback).
    [[nodiscard]] const QSet<QString> &measured() const { return m_measured; }
    // The measured tools of `name`, heaviest first; empty until its tool list has been measured.
    [[nodiscard]] QList<ToolTokens> tools(const QString &name) const { return m_tools.value(name); }
    // busyKey()s of the project rows that are not probed.
    [[nodiscard]] const QSet<QString> &unprobeable() const { return m_unprobeable; }
    // Probes are running, or a load is still deciding what to probe.
    [[nodiscard]] bool isBusy() const { return m_running > 0; }

    // Global, then Claude Desktop, then every project's servers; managed servers are not probed.
    void load(QList<MCPServerEntry> global, QList<MCPServerEntry> desktop, QList<MCPProject> projects);

    // The names of `global`, `desktop` and every project server, sorted and joined with ",": when
    // it changes, the figures are loaded again.
    [[nodiscard]] static QString serverNamesKey(const QList<MCPServerEntry> &global,
                                                const QList<MCPServerEntry> &desktop,
                                                const QList<MCPProject> &projects);

Q_SIGNALS:
    void changed();
    // Every load started so far has finished.
    void idle();

private:
    QCoro::Task<void> run(QList<MCPServerEntry> servers, QList<MCPProject> projects);
    void probe(const MCPServerEntry &entry);
    void finishOne();

    Estimator m_estimator;
    ApprovalSource m_approvals;
    QHash<QString, qint64> m_weights;
    QSet<QString> m_probing;
    QSet<QString> m_measured;
    QHash<QString, QList<ToolTokens>> m_tools;
    QSet<QString> m_unprobeable;
    int m_running = 0;
};
