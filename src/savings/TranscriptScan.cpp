#include "savings/TranscriptScan.h"

#include "platform/Paths.h"
#include "savings/TranscriptFile.h"
#include "savings/TranscriptLineReader.h"

#include <QDir>
#include <QFileInfo>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

namespace {

struct Transcript
{
    QString path;
    const FileCacheEntry *cached = nullptr; // current entry from the cache, or none
    std::optional<FileCacheEntry> loaded;   // read during this scan
    qint64 size = 0;
};

// Every ".jsonl" file one level below the projects folder, hidden names included; folders
// that cannot be listed are passed over.
std::vector<Transcript> listTranscripts(const QString &root)
{
    std::vector<Transcript> found;
    const auto everything = QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot;
    const QStringList projects = QDir(root).entryList(everything, QDir::Unsorted);
    for (const QString &project : projects) {
        const QString folder = root + QLatin1Char('/') + project;
        if (!QFileInfo(folder).isDir())
            continue;
        const QStringList files = QDir(folder).entryList(everything, QDir::Unsorted);
        for (const QString &file : files) {
            if (file.endsWith(QLatin1String(".jsonl"), Qt::CaseSensitive)) {
                Transcript transcript;
                transcript.path = folder + QLatin1Char('/') + file;
                found.push_back(std::move(transcript));
            }
        }
    }
    return found;
}

// Reads the given transcripts with one parser per core. The biggest go first so that no core
// is left with a large file at the end while the others idle.
void loadAll(std::vector<Transcript *> &pending)
{
    std::sort(pending.begin(), pending.end(),
              [](const Transcript *a, const Transcript *b) { return a->size > b->size; });
    std::atomic<size_t> next{0};
    auto work = [&] {
        TranscriptLineReader reader;
        std::vector<char> buffer;
        for (size_t i = next++; i < pending.size(); i = next++)
            pending[i]->loaded = loadTranscript(pending[i]->path, reader, buffer);
    };
    const size_t workers = std::min<size_t>(std::max(1, QThread::idealThreadCount()), pending.size());
    std::vector<std::thread> helpers;
    for (size_t i = 1; i < workers; ++i)
        helpers.emplace_back(work);
    work();
    for (std::thread &helper : helpers)
        helper.join();
}

} // namespace

double savingsWindowStart(const QDateTime &now)
{
    const QDateTime start = now.toLocalTime().addDays(-savingsWindowDays);
    return static_cast<double>((start.isValid() ? start : now).toMSecsSinceEpoch()) / 1000.0;
}

SavingsScanResult scanTranscripts(const QStringList &disabled, const QHash<QString, qint64> &weights,
                                  qint64 fallback, const FileCache &cache, const QDateTime &now)
{
    SavingsScanResult result;
    const QString root = Paths::claudeProjectsDirectory();
    if (!QFileInfo(root).isDir())
        return result;
    const double windowStart = savingsWindowStart(now);

    std::vector<Transcript> transcripts = listTranscripts(root);
    std::vector<Transcript *> pending;
    for (Transcript &transcript : transcripts) {
        const auto hit = cache.constFind(transcript.path);
        if (hit != cache.cend() && !isStale(*hit)) {
            transcript.cached = &*hit;
        } else {
            transcript.size = QFileInfo(transcript.path).size();
            pending.push_back(&transcript);
        }
    }
    loadAll(pending);

    // Every counted message carries every disabled server once per listing, duplicates included.
    qint64 perMessage = 0;
    for (const QString &name : disabled)
        perMessage += weights.value(name, fallback);

    qint64 counted = 0;
    for (Transcript &transcript : transcripts) {
        const FileCacheEntry *entry = transcript.cached;
        if (transcript.loaded) {
            entry = &*transcript.loaded;
            result.updates.insert(transcript.path, *transcript.loaded);
        }
        if (entry)
            counted += entry->countedMessages(windowStart);
    }
    result.sessionsAnalyzed = counted;
    result.totalTokensSaved = counted * perMessage;
    result.estimatedCostSaved = static_cast<double>(result.totalTokensSaved) * costPerToken;
    return result;
}
