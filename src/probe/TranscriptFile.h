#pragma once

#include "FileCacheEntry.h"

#include <optional>
#include <vector>

class TranscriptLineReader;

// Reads one transcript file into its cache entry. None when the file's attributes or contents
// cannot be read or it is not UTF-8 text; such a file is skipped, never reported.
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
