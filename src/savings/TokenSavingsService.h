#pragma once

#include "savings/FileCacheEntry.h"
#include "savings/SavingsStat.h"

#include <QCoro/QCoroTask>
#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QStringList>

#include <functional>

// Estimates the tokens, and the money, that switched-off servers have saved: every user message
// of the last 30 days in the Claude Code transcripts would have carried each disabled server's
// tool definitions. Lives on the main thread; the transcripts are read on workers, and only
// files whose modification time moved forward are read again.
class TokenSavingsService : public QObject
{
    Q_OBJECT
    Q_PROPERTY(SavingsStat savingsStat READ savingsStat NOTIFY savingsStatChanged)

public:
    // The estimate for a disabled server that has no probe estimate of its own.
    static constexpr qint64 fallbackTokensPerServer = 1500;

    using Clock = std::function<QDateTime()>;

    explicit TokenSavingsService(QObject *parent = nullptr);

    [[nodiscard]] SavingsStat savingsStat() const { return m_savingsStat; }
    [[nodiscard]] const FileCache &fileCache() const { return m_fileCache; }

    // `disabled`: the disabled lists of every project's sidecar record, joined in project order,
    // duplicates kept (a name disabled in two projects counts twice). `weights`: the tokens per
    // message of each server as far as known. With nothing disabled the figures drop to zero at
    // once and no file is touched. Overlapping refreshes each scan; the last to finish wins.
    QCoro::Task<> refresh(QStringList disabled, QHash<QString, qint64> weights);

    // Where "now" comes from; tests fix it.
    void setClock(Clock clock);

Q_SIGNALS:
    void savingsStatChanged();

private:
    void setSavingsStat(const SavingsStat &stat);

    SavingsStat m_savingsStat;
    FileCache m_fileCache;
    Clock m_clock;
};
