#pragma once

#include "FileCacheEntry.h"

#include <optional>

class TranscriptLineReader;

// Reads one transcript file into its cache entry. None when the file's attributes or contents
// cannot be read or it is not UTF-8 text; such a file is skipped, never reported.
std::optional<FileCacheEntry> loadTranscript(const QString &path);
// The same with a caller's reader, so a worker reuses one parser's buffers across files.
std::optional<FileCacheEntry> loadTranscript(const QString &path, TranscriptLineReader &reader);

// True when the entry no longer describes the file: its attributes cannot be read, or its
// modification time moved forward since the entry was made. A time that went backwards keeps
// the entry.
bool isStale(const FileCacheEntry &entry);

// The file's modification time, or none when its attributes cannot be read.
std::optional<std::filesystem::file_time_type> modificationTime(const QString &path);
