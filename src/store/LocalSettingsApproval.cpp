#include "store/LocalSettingsApproval.h"

#include "platform/QuorlaneError.h"
#include "platform/RegularFile.h"
#include "store/AtomicFile.h"
#include "store/JsonFile.h"
#include "json/JsonDocument.h"

#include <QFileInfo>

#include <algorithm>

namespace LocalSettingsApproval {
namespace {

using Index = JsonDocument::Index;
using Kind = JsonDocument::Kind;

constexpr int kMaxAttempts = 5;
constexpr std::string_view kEnabled = "enabledMcpjsonServers";
constexpr std::string_view kRejected = "disabledMcpjsonServers";

[[noreturn]] void refuse(const QString &path, const QString &why)
{
    throw FileSystemError(QStringLiteral("%1 %2; nothing was changed.").arg(path, why));
}

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// The offset just past the value that starts at `at`; the text has been parsed already.
qsizetype valueEnd(const QByteArray &text, qsizetype at)
{
    const char first = text.at(at);
    if (first == '"') {
        for (++at; text.at(at) != '"';)
            at += text.at(at) == '\\' ? 2 : 1;
        return at + 1;
    }
    if (first == '[' || first == '{') {
        int depth = 0;
        for (; at < text.size(); ++at) {
            const char c = text.at(at);
            if (c == '"')
                at = valueEnd(text, at) - 1;
            else if (c == '[' || c == '{')
                ++depth;
            else if ((c == ']' || c == '}') && --depth == 0)
                return at + 1;
        }
        return at;
    }
    while (at < text.size() && !isSpace(text.at(at)) && text.at(at) != ',' && text.at(at) != ']' &&
           text.at(at) != '}')
        ++at;
    return at;
}

QByteArray spaceBefore(const QByteArray &text, qsizetype at)
{
    qsizetype from = at;
    while (from > 0 && isSpace(text.at(from - 1)))
        --from;
    return text.mid(from, at - from);
}

// The indentation of a member's line; nullopt when the file is written on one line.
std::optional<QByteArray> indentOf(const QByteArray &space)
{
    const qsizetype lineBreak = space.lastIndexOf('\n');
    return lineBreak < 0 ? std::nullopt : std::optional(space.mid(lineBreak + 1));
}

QByteArray quoted(const std::string &text)
{
    std::string out;
    JsonDocument::appendEscaped(text, out);
    return QByteArray::fromStdString(out);
}

// A new list of a top-level member whose line is indented by `indent` (the file's unit).
QByteArray newList(const QByteArray &item, const std::optional<QByteArray> &indent)
{
    if (!indent)
        return '[' + item + ']';
    return "[\n" + *indent + *indent + item + '\n' + *indent + ']';
}

struct Splice
{
    qsizetype from;
    qsizetype to;
    QByteArray text;
};

// A top-level list rebuilt from `items` (their text as written) with the list's own spacing.
class ListEdit
{
public:
    ListEdit(const JsonDocument &document, Index key, Index list) : m_text(document.bytes())
    {
        m_start = document.textOffset(list);
        m_end = valueEnd(m_text, m_start);
        m_indent = indentOf(spaceBefore(m_text, document.textOffset(key)));
        document.forEachElement(list, [&](Index element) {
            const qsizetype start = document.textOffset(element);
            m_ranges.append({start, valueEnd(m_text, start)});
            m_isString.append(document.kind(element) == Kind::string);
            m_strings.append(m_isString.last() ? document.string(element) : std::string());
        });
    }

    [[nodiscard]] bool contains(const std::string &name) const
    {
        for (qsizetype i = 0; i < m_ranges.size(); ++i)
            if (m_isString[i] && m_strings[i] == name)
                return true;
        return false;
    }

    [[nodiscard]] Splice with(const QByteArray &item) const
    {
        QList<QByteArray> items = texts([](qsizetype) { return true; });
        if (items.isEmpty())
            return {m_start, m_end, newList(item, m_indent)};
        items.append(item);
        return {m_start, m_end, rebuilt(items)};
    }

    [[nodiscard]] Splice without(const std::string &name) const
    {
        const QList<QByteArray> items =
            texts([&](qsizetype i) { return !(m_isString[i] && m_strings[i] == name); });
        return {m_start, m_end, items.isEmpty() ? QByteArray("[]") : rebuilt(items)};
    }

private:
    template<typename Keep> QList<QByteArray> texts(Keep keep) const
    {
        QList<QByteArray> items;
        for (qsizetype i = 0; i < m_ranges.size(); ++i)
            if (keep(i))
                items.append(m_text.mid(m_ranges[i].first, m_ranges[i].second - m_ranges[i].first));
        return items;
    }

    // The spacing after "[", between items and before "]" of the list as it was.
    [[nodiscard]] QByteArray rebuilt(const QList<QByteArray> &items) const
    {
        const auto between = [&](qsizetype from, qsizetype to) { return m_text.mid(from, to - from); };
        const QByteArray open = between(m_start + 1, m_ranges.first().first);
        const QByteArray close = between(m_ranges.last().second, m_end - 1);
        const QByteArray separator =
            m_ranges.size() > 1 ? between(m_ranges[0].second, m_ranges[1].first) : ',' + open;
        return '[' + open + items.join(separator) + close + ']';
    }

    const QByteArray &m_text;
    qsizetype m_start = 0;
    qsizetype m_end = 0;
    std::optional<QByteArray> m_indent;
    QList<std::pair<qsizetype, qsizetype>> m_ranges;
    QList<bool> m_isString;
    QList<std::string> m_strings;
};

// The list member `key` of the top-level object; nullopt when there is none.
std::optional<ListEdit> listMember(const JsonDocument &document, std::string_view key, const QString &path)
{
    const auto value = document.member(JsonDocument::root(), key);
    if (!value)
        return std::nullopt;
    if (document.kind(*value) != Kind::array)
        refuse(path, QStringLiteral("has a \"%1\" that is not a list")
                         .arg(QString::fromUtf8(key.data(), qsizetype(key.size()))));
    return ListEdit(document, *value - 1, *value);
}

// A new last member of the top-level object, spaced like the member before it.
Splice newMember(const JsonDocument &document, const QByteArray &item)
{
    const QByteArray &text = document.bytes();
    const QByteArray member = quoted(std::string(kEnabled));
    std::optional<Index> lastKey;
    document.forEachMember(JsonDocument::root(), [&](Index key, Index) { lastKey = key; });
    const qsizetype rootStart = document.textOffset(JsonDocument::root());
    if (!lastKey)
        return {rootStart, valueEnd(text, rootStart), "{\n  " + member + ": " + newList(item, "  ") + "\n}"};
    const qsizetype keyStart = document.textOffset(*lastKey);
    const qsizetype valueStart = document.textOffset(*lastKey + 1);
    const qsizetype end = valueEnd(text, valueStart);
    const QByteArray space = spaceBefore(text, keyStart);
    const QByteArray colon = text.mid(valueEnd(text, keyStart), valueStart - valueEnd(text, keyStart));
    return {end, end, ',' + space + member + colon + newList(item, indentOf(space))};
}

} // namespace

QString pathFor(const QString &projectPath)
{
    return projectPath + QStringLiteral("/.claude/settings.local.json");
}

std::optional<QByteArray> approved(const std::optional<QByteArray> &bytes, const QString &path,
                                   const QString &name)
{
    const std::string key = name.toStdString();
    const QByteArray item = quoted(key);
    if (!bytes)
        return "{\n  " + quoted(std::string(kEnabled)) + ": " + newList(item, "  ") + "\n}\n";
    const auto document = JsonDocument::parse(*bytes);
    if (!document || document->kind(JsonDocument::root()) != Kind::object)
        refuse(path, QStringLiteral("is not a JSON object"));
    QList<Splice> splices;
    const auto enabled = listMember(*document, kEnabled, path);
    if (!enabled)
        splices.append(newMember(*document, item));
    else if (!enabled->contains(key))
        splices.append(enabled->with(item));
    if (const auto rejected = listMember(*document, kRejected, path); rejected && rejected->contains(key))
        splices.append(rejected->without(key));
    if (splices.isEmpty())
        return std::nullopt;
    // From the end, so that each splice leaves the offsets of the ones before it valid.
    std::sort(splices.begin(), splices.end(),
              [](const Splice &a, const Splice &b) { return a.from > b.from; });
    QByteArray text = *bytes;
    for (const Splice &splice : splices)
        text.replace(splice.from, splice.to - splice.from, splice.text);
    return text;
}

void approve(const QString &projectPath, const QString &name)
{
    const QString folder = projectPath + QStringLiteral("/.claude");
    const QString path = pathFor(projectPath);
    for (const QString &place : {folder, path}) {
        const QFileInfo info(place);
        if (info.isSymLink())
            refuse(place, QStringLiteral("is a symbolic link, which Quorlane does not write through"));
    }
    if (QFileInfo(folder).exists() && !QFileInfo(folder).isDir())
        refuse(folder, QStringLiteral("is not a folder"));
    if (const QString problem = RegularFile::problem(path, RegularFile::kSmallLimit); !problem.isEmpty())
        throw FileSystemError(problem + QStringLiteral("; nothing was changed."));
    for (int attempt = 1; attempt <= kMaxAttempts; ++attempt) {
        const auto bytes = JsonFile::readIfExists(path, RegularFile::kSmallLimit);
        const auto text = approved(bytes, path, name);
        if (!text)
            return;
        if (!bytes) {
            JsonFile::createDirectories(folder);
            AtomicFile::replace(path, *text);
            return;
        }
        if (JsonFile::writeAtomicallyIfUnchanged(path, *text, *bytes))
            return;
    }
    throw FileSystemError(
        QStringLiteral(
            "%1 kept changing while MCP server \u2018%2\u2019 was being approved; nothing was changed.")
            .arg(path, name));
}

} // namespace LocalSettingsApproval
