#include "store/UntypedRewrite.h"

#include "platform/QuorlaneError.h"
#include "json/JsonPrettyWriter.h"

std::optional<UntypedRewrite> UntypedRewrite::parse(const QByteArray &bytes)
{
    auto document = JsonDocument::parse(bytes);
    if (!document || document->kind(JsonDocument::root()) != JsonDocument::Kind::object)
        return std::nullopt;
    return UntypedRewrite(std::move(*document));
}

std::optional<JsonDocument::Index> UntypedRewrite::member(std::string_view key) const
{
    return m_document.member(JsonDocument::root(), key);
}

std::optional<JsonDocument::Index> UntypedRewrite::find(const std::vector<std::string> &path) const
{
    std::optional<JsonDocument::Index> at = JsonDocument::root();
    for (const std::string &key : path) {
        if (m_document.kind(*at) != JsonDocument::Kind::object)
            return std::nullopt;
        at = m_document.member(*at, key);
        if (!at)
            return std::nullopt;
    }
    return at;
}

namespace {

[[noreturn]] void tooDeep(const QString &path, qsizetype limit)
{
    throw FileSystemError(QStringLiteral("%1 nests so deeply that it cannot be rewritten (indented, it would "
                                         "exceed %2 MB); nothing was changed.")
                              .arg(path)
                              .arg(limit >> 20));
}

} // namespace

QByteArray UntypedRewrite::text(const QString &path) const
{
    const qsizetype limit = JsonPrettyWriter::defaultLimit(m_document.bytes().size());
    auto written = JsonPrettyWriter::write(m_document, m_edits, limit);
    if (!written)
        tooDeep(path, limit);
    return std::move(*written);
}

void UntypedRewrite::writeTo(AtomicFile::Replacement &replacement, const QString &path) const
{
    const qsizetype limit = JsonPrettyWriter::defaultLimit(m_document.bytes().size());
    const JsonPrettyWriter::Sink sink = [&replacement](const char *data, std::size_t size) {
        replacement.append(data, size);
    };
    if (!JsonPrettyWriter::write(m_document, m_edits, limit, sink))
        tooDeep(path, limit);
    replacement.finish();
}
