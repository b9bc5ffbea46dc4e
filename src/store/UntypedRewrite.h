#pragma once

#include "store/AtomicFile.h"
#include "json/JsonDocument.h"
#include "json/JsonEdits.h"

#include <QByteArray>
#include <QString>

#include <optional>

// The one way Quorlane changes another program's JSON file (~/.claude.json, the Claude Desktop
// file): the text is read as that program reads it, only the members on the paths to what
// changes are rebuilt, and the whole file is written back indented with sorted keys. Every other
// member keeps its value, numbers and escapes included. Committing the text (and checking that
// nobody else wrote meanwhile) is the caller's part.
class UntypedRewrite
{
public:
    // Nullopt unless the bytes are JSON whose top level is an object.
    [[nodiscard]] static std::optional<UntypedRewrite> parse(const QByteArray &bytes);

    [[nodiscard]] const JsonDocument &document() const { return m_document; }
    // The top-level member, when present.
    [[nodiscard]] std::optional<JsonDocument::Index> member(std::string_view key) const;
    // The member at a path of object keys, when every object on the way exists.
    [[nodiscard]] std::optional<JsonDocument::Index> find(const std::vector<std::string> &path) const;

    void set(const std::vector<std::string> &path, const RawJSON &value) { m_edits.set(path, value); }
    void remove(const std::vector<std::string> &path) { m_edits.remove(path); }

    // The new text of the file at `path`. Throws FileSystemError naming the file when it nests
    // so deeply that its indented form would grow without bound; nothing is written then.
    [[nodiscard]] QByteArray text(const QString &path) const;
    // The same, streamed into `replacement` and synced; it is left uncommitted.
    void writeTo(AtomicFile::Replacement &replacement, const QString &path) const;

private:
    explicit UntypedRewrite(JsonDocument document) : m_document(std::move(document)) {}

    JsonDocument m_document;
    JsonEdits m_edits;
};
