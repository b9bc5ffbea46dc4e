#pragma once

#include <QHash>
#include <QList>
#include <QString>

#include <filesystem>

// What the savings count keeps of one transcript file between refreshes. Only user messages
// can ever count, and whether one does depends on nothing but its date and the window, so the
// entry holds the dates of the user messages (sorted) and how many have no date. This gives
// the same figures as keeping every line, for a small fraction of the memory.
struct FileCacheEntry
{
    QString path;
    std::filesystem::file_time_type mtime; // the file's modification time when it was read
    QList<double> userMessageDates;        // seconds since 1970, ascending
    qint64 undatedUserMessages = 0;

    // The user messages that count for a window starting at `windowStart` (seconds since 1970):
    // the undated ones and those dated at or after it.
    [[nodiscard]] qint64 countedMessages(double windowStart) const;

    bool operator==(const FileCacheEntry &) const = default;
};

using FileCache = QHash<QString, FileCacheEntry>;
