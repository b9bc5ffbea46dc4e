#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// Where Claude Code keeps the transcripts of one project folder, inside its "projects" folder.
namespace TranscriptFolders {

// Claude Code's own name for a project's folder: every UTF-16 code unit outside [A-Za-z0-9]
// becomes "-" ("/home/a/my_app.v2" is "-home-a-my-app-v2"); a name longer than 200 is cut to
// 200 and followed by "-" and the base-36 absolute value of a 32-bit hash of the path.
QString claudeCodeName(const QString &projectPath);

// The name older Claude Code releases gave it: only "/" replaced.
QString slashOnlyName(const QString &projectPath);

// The project's folders that exist, best first: Claude Code's own name, then (for a long path)
// folders with the same 200-character prefix and another hash (Claude Code looks there too),
// then the older name.
QStringList existingFolders(const QString &projectsRoot, const QString &projectPath);

// A conversation id as `claude --resume` takes it: 8-4-4-4-12 hexadecimal digits. Anything else
// could be read by the CLI as an option.
bool isSessionID(const QString &text);

// The id of the project's most recently modified transcript: in the first of its folders that
// holds one, the regular ".jsonl" file with a session-id name and the latest modification time
// (the first listed among equal times).
std::optional<QString> latestSessionID(const QString &projectsRoot, const QString &projectPath);

} // namespace TranscriptFolders
