#include "savings/TokenSavingsService.h"

#include "savings/TranscriptScan.h"

#include <QCoro/QCoroFuture>
#include <QPointer>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

namespace {

// Starts the scan on a worker. Built outside the coroutine: GCC 12 destroys a coroutine's
// by-value parameters twice when a lambda inside the coroutine captures them by copy.
QFuture<SavingsScanResult> startScan(const QStringList &disabled, const QHash<QString, qint64> &weights,
                                     const FileCache &cache, const QDateTime &now)
{
    return QtConcurrent::run(QThreadPool::globalInstance(), [disabled, weights, cache, now] {
        return scanTranscripts(disabled, weights, TokenSavingsService::fallbackTokensPerServer, cache, now);
    });
}

} // namespace

TokenSavingsService::TokenSavingsService(QObject *parent)
    : QObject(parent), m_clock([] { return QDateTime::currentDateTime(); })
{}

void TokenSavingsService::setClock(Clock clock)
{
    m_clock = std::move(clock);
}

QCoro::Task<> TokenSavingsService::refresh(QStringList disabled, QHash<QString, qint64> weights)
{
    if (disabled.isEmpty()) {
        setSavingsStat({});
        co_return;
    }

    QPointer<TokenSavingsService> self(this);
    // The worker gets its own copy of the cache (shared until written), so it touches nothing
    // the main thread owns.
    SavingsScanResult result = co_await startScan(disabled, weights, m_fileCache, m_clock());
    if (!self)
        co_return;

    for (auto it = result.updates.cbegin(); it != result.updates.cend(); ++it)
        m_fileCache.insert(it.key(), it.value());
    setSavingsStat({result.totalTokensSaved, result.sessionsAnalyzed, result.estimatedCostSaved});
}

void TokenSavingsService::setSavingsStat(const SavingsStat &stat)
{
    if (stat == m_savingsStat)
        return;
    m_savingsStat = stat;
    Q_EMIT savingsStatChanged();
}
