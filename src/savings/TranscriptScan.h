#pragma once

#include "savings/FileCacheEntry.h"

#include <QDateTime>
#include <QHash>
#include <QStringList>

// What one scan of the transcripts hands back: the three figures and the cache entries of the
// files it read afresh, for the caller to merge into its cache.
struct SavingsScanResult
{
    qint64 totalTokensSaved = 0;
    qint64 sessionsAnalyzed = 0;
    double estimatedCostSaved = 0.0;
    FileCache updates;
};

// The price the estimate puts on a token: 3 dollars per million.
inline constexpr double costPerToken = 0.000003;
inline constexpr int savingsWindowDays = 30;

// Counts the user messages of the last 30 days (before `now`) in every transcript of Claude
// Code's projects folder (~/.claude/projects, or projects in CLAUDE_CONFIG_DIR) and what the
// disabled servers would have cost on each. Every project folder is read, whatever name a
// release of Claude Code gave it. Files whose entry in `cache` is still current are not read;
// the rest are read on all cores. Blocking; touches no shared state, so it runs on any worker.
SavingsScanResult scanTranscripts(const QStringList &disabled, const QHash<QString, qint64> &weights,
                                  qint64 fallback, const FileCache &cache, const QDateTime &now);

// The first instant that counts: `now` less 30 calendar days in the local calendar, or `now`
// itself when that date cannot be formed. Seconds since 1970.
double savingsWindowStart(const QDateTime &now);
