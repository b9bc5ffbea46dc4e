#include "panel/TokenWeights.h"
#include "platform/WhenDone.h"

#include "panel/ServerRow.h"

#include <QPointer>
#include <QtConcurrent>

#include <QCoro/QCoroFuture>

TokenWeights::TokenWeights(Estimator estimator, ApprovalSource approvals, QObject *parent)
    : QObject(parent), m_estimator(std::move(estimator)), m_approvals(std::move(approvals))
{}

QString TokenWeights::serverNamesKey(const QList<MCPServerEntry> &global,
                                     const QList<MCPServerEntry> &desktop, const QList<MCPProject> &projects)
{
    QStringList names;
    for (const MCPServerEntry &entry : global)
        names.append(entry.name);
    for (const MCPServerEntry &entry : desktop)
        names.append(entry.name);
    for (const MCPProject &project : projects) {
        for (const MCPServerEntry &entry : project.servers)
            names.append(entry.name);
    }
    std::sort(names.begin(), names.end());
    return names.join(QLatin1Char(','));
}

void TokenWeights::load(QList<MCPServerEntry> global, QList<MCPServerEntry> desktop,
                        QList<MCPProject> projects)
{
    QList<MCPServerEntry> servers = std::move(global);
    servers += desktop;
    bool changedAny = false;
    const auto placeholder = [&](const QString &name) {
        if (!m_weights.contains(name)) {
            m_weights.insert(name, fallbackTokens);
            changedAny = true;
        }
    };
    for (const MCPServerEntry &entry : std::as_const(servers))
        placeholder(entry.name);
    for (const MCPProject &project : std::as_const(projects)) {
        for (const MCPServerEntry &entry : project.servers)
            placeholder(entry.name);
    }
    if (changedAny)
        Q_EMIT changed();
    ++m_running;
    whenDone(run(std::move(servers), std::move(projects)), this, [this] { finishOne(); });
}

QCoro::Task<void> TokenWeights::run(QList<MCPServerEntry> servers, QList<MCPProject> projects)
{
    QPointer<TokenWeights> self(this);
    // The approval reads the user's settings file: never on this thread.
    ApprovalSource approvals = m_approvals;
    QFuture<QSet<QString>> deciding = QtConcurrent::run([approvals, projects] {
        QSet<QString> refused;
        const ApprovalCheck mayProbe = approvals();
        for (const MCPProject &project : projects) {
            for (const MCPServerEntry &entry : project.servers) {
                if (!mayProbe(project, entry))
                    refused.insert(ServerRows::busyKey(project.path, entry.name, MCPSource::project));
            }
        }
        return refused;
    });
    QSet<QString> refused = co_await deciding;
    if (!self)
        co_return;
    if (refused != m_unprobeable) {
        m_unprobeable = std::move(refused);
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
    m_probing.insert(entry.name);
    Q_EMIT changed();
    whenDone(m_estimator(entry), this, [this, name = entry.name](const ProbeResult &result) {
        // A name leaves the spinner set as soon as any one of its probes ends.
        m_probing.remove(name);
        m_weights.insert(name, result.tokensPerMessage);
        if (result.measured) {
            m_measured.insert(name);
            m_tools.insert(name, result.tools);
        } else {
            m_measured.remove(name);
            m_tools.remove(name);
        }
        Q_EMIT changed();
        finishOne();
    });
}

void TokenWeights::finishOne()
{
    if (--m_running == 0)
        Q_EMIT idle();
}
