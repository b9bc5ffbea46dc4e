#pragma once

#include "savings/FileCacheEntry.h"

#include <cstddef>
#include <optional>
#include <vector>

class TranscriptLineReader;

// A longer line is skipped unread, so a file with no newline (a sparse file, a link to a
// device) never needs more memory than this per reader.
inline constexpr size_t longestTranscriptLine = 16 * 1024 * 1024;

// Reads one transcript file into its cache entry. None when it is not a regular file, its
// attributes or contents cannot be read or it is not UTF-8 text; such a file is skipped, never
// reported. Never blocks on opening (a FIFO is passed over).
std::optional<FileCacheEntry> loadTranscript(const QString &path);
// The same with a caller's parser and read buffer, so a worker reuses them across files.
std::optional<FileCacheEntry> loadTranscript(const QString &path, TranscriptLineReader &reader,
                                             std::vector<char> &buffer);

// True when the entry no longer describes the file: its attributes cannot be read, or its
// modification time moved forward since the entry was made. A time that went backwards keeps
// the entry.
bool isStale(const FileCacheEntry &entry);

// The file's modification time, or none when its attributes cannot be read.
std::optional<std::filesystem::file_time_type> modificationTime(const QString &path);
