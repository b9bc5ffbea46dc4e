#include "panel/TokenWeights.h"
#include "platform/WhenDone.h"

#include "panel/ServerRow.h"
#include "probe/MCPToolProbe.h"

#include <QPointer>
#include <QtConcurrent>

#include <QCoro/QCoroFuture>

TokenWeights::TokenWeights(Estimator estimator, ApprovalSource approvals, QObject *parent)
    : QObject(parent), m_estimator(std::move(estimator)), m_approvals(std::move(approvals))
{}

std::optional<qint64> TokenWeights::tokens(const MCPServerEntry &entry) const
{
    if (const auto found = m_weights.constFind(keyOf(entry)); found != m_weights.cend())
        return *found;
    return std::nullopt;
}

bool TokenWeights::isProbing(const MCPServerEntry &entry) const
{
    return m_probing.contains(keyOf(entry));
}

bool TokenWeights::isMeasured(const MCPServerEntry &entry) const
{
    return m_measured.contains(keyOf(entry));
}

QList<ToolTokens> TokenWeights::tools(const MCPServerEntry &entry) const
{
    return m_tools.value(keyOf(entry));
}

QHash<QString, qint64> TokenWeights::weightsByName() const
{
    // A name with several definitions counts its lightest: the estimate never overstates.
    QHash<QString, qint64> byName;
    for (auto it = m_weights.cbegin(); it != m_weights.cend(); ++it) {
        const QString name = it.key().section(kKeySeparator, 0, 0);
        const auto known = byName.constFind(name);
        if (known == byName.cend() || it.value() < *known)
            byName.insert(name, it.value());
    }
    return byName;
}

bool TokenWeights::holds(const QList<MCPServerEntry> &global, const QList<MCPServerEntry> &desktop,
                         const QList<MCPProject> &projects) const
{
    // Lists the configuration still shares with the last load compare at once.
    if (global != m_loadedGlobal || desktop != m_loadedDesktop || projects.size() != m_loadedProjects.size())
        return false;
    for (qsizetype i = 0; i < projects.size(); ++i) {
        if (projects[i].path != m_loadedProjects[i].path ||
            projects[i].servers != m_loadedProjects[i].servers)
            return false;
    }
    return true;
}

void TokenWeights::load(QList<MCPServerEntry> global, QList<MCPServerEntry> desktop,
                        QList<MCPProject> projects)
{
    m_loadedGlobal = global;
    m_loadedDesktop = desktop;
    m_loadedProjects = projects;
    QList<MCPServerEntry> servers = std::move(global);
    servers += desktop;
    ++m_running;
    whenDone(run(std::move(servers), std::move(projects)), this, [this] { finishOne(); });
}

namespace {

struct ProbePlan
{
    QSet<QString> refused;   // busyKey()s of project servers Claude Code has not approved
    QSet<QString> ambiguous; // names with more than one definition
};

ProbePlan planProbes(const TokenWeights::ApprovalSource &approvals, const QList<MCPServerEntry> &servers,
                     const QList<MCPProject> &projects)
{
    ProbePlan plan;
    QHash<QString, const MCPServerEntry *> firstOfName;
    const auto see = [&](const MCPServerEntry &entry) {
        const auto first = firstOfName.constFind(entry.name);
        if (first == firstOfName.cend())
            firstOfName.insert(entry.name, &entry);
        else if (!(**first == entry))
            plan.ambiguous.insert(entry.name);
    };
    for (const MCPServerEntry &entry : servers)
        see(entry);
    const TokenWeights::ApprovalCheck mayProbe = approvals();
    for (const MCPProject &project : projects) {
        for (const MCPServerEntry &entry : project.servers) {
            see(entry);
            if (!mayProbe(project, entry))
                plan.refused.insert(ServerRows::busyKey(project.path, entry.name, MCPSource::project));
        }
    }
    return plan;
}

} // namespace

QCoro::Task<void> TokenWeights::run(QList<MCPServerEntry> servers, QList<MCPProject> projects)
{
    QPointer<TokenWeights> self(this);
    // The approval reads the user's settings file: never on this thread.
    QFuture<ProbePlan> planning = QtConcurrent::run(planProbes, m_approvals, servers, projects);
    ProbePlan plan = co_await planning;
    if (!self)
        co_return;
    if (plan.refused != m_unprobeable || plan.ambiguous != m_ambiguousNames) {
        // Figures kept under a name whose key changes would never be looked up again.
        for (const QString &name : (plan.ambiguous - m_ambiguousNames) + (m_ambiguousNames - plan.ambiguous))
            forget(name);
        m_unprobeable = std::move(plan.refused);
        m_ambiguousNames = std::move(plan.ambiguous);
        Q_EMIT changed();
    }
    for (const MCPServerEntry &entry : std::as_const(servers))
        probe(entry);
    for (const MCPProject &project : std::as_const(projects)) {
        for (const MCPServerEntry &entry : project.servers) {
            if (!m_unprobeable.contains(ServerRows::busyKey(project.path, entry.name, MCPSource::project)))
                probe(entry);
        }
    }
}

void TokenWeights::probe(const MCPServerEntry &entry)
{
    ++m_running;
    const QString key = keyOf(entry);
    m_probing.insert(key);
    Q_EMIT changed();
    whenDone(m_estimator(entry), this, [this, key](const ProbeResult &result) {
        // A server leaves the spinner set as soon as any one of its probes ends.
        m_probing.remove(key);
        m_weights.insert(key, result.tokensPerMessage);
        if (result.measured) {
            m_measured.insert(key);
            m_tools.insert(key, result.tools);
        } else {
            m_measured.remove(key);
            m_tools.remove(key);
        }
        Q_EMIT changed();
        finishOne();
    });
}

QString TokenWeights::keyOf(const MCPServerEntry &entry) const
{
    if (!m_ambiguousNames.contains(entry.name))
        return entry.name;
    return entry.name + kKeySeparator + MCPToolProbe::definitionFingerprint(entry);
}

void TokenWeights::forget(const QString &name)
{
    const QString prefix = name + kKeySeparator;
    const auto stale = [&](const QString &key) { return key == name || key.startsWith(prefix); };
    m_weights.removeIf([&](QHash<QString, qint64>::iterator it) { return stale(it.key()); });
    m_tools.removeIf([&](QHash<QString, QList<ToolTokens>>::iterator it) { return stale(it.key()); });
    m_measured.removeIf(stale);
    m_probing.removeIf(stale);
}

void TokenWeights::finishOne()
{
    if (--m_running == 0)
        Q_EMIT idle();
}
