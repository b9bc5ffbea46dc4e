#include "store/FolderChain.h"

#include "store/ConfigFormats.h"
#include "store/JsonFile.h"

#include <QDir>
#include <QFile>

#include <sys/stat.h>

namespace {

bool exists(const QString &path)
{
    struct stat info;
    return ::stat(QFile::encodeName(path).constData(), &info) == 0;
}

QString parentOf(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash <= 0 ? QStringLiteral("/") : path.left(slash);
}

// The definitions a malformed or unreadable file gives: none.
QList<MCPServerEntry> entriesOf(const QString &file)
{
    const auto bytes = JsonFile::read(file);
    const auto config = bytes ? MCPConfig::decode(*bytes) : std::nullopt;
    return config ? MCPServerEntries::fromMap(config->mcpServers) : QList<MCPServerEntry>{};
}

// Most keys are already clean; cleanPath would copy each of tens of thousands.
QString cleaned(const QString &path)
{
    const bool clean = !path.contains(QLatin1String("//")) && !path.contains(QLatin1String("/./")) &&
                       !path.contains(QLatin1String("/../")) && !path.endsWith(QLatin1Char('.')) &&
                       (path.size() == 1 || !path.endsWith(QLatin1Char('/')));
    return clean ? path : QDir::cleanPath(path);
}

} // namespace

FolderChain::Folder FolderChain::folder(const QString &path)
{
    if (const auto known = m_folders.constFind(path); known != m_folders.cend())
        return *known;
    Folder found = path == QLatin1String("/") ? Folder{std::make_shared<ProjectServers>(), true}
                                              : folder(parentOf(path));
    const QString base = path == QLatin1String("/") ? QString() : path;
    const QString file = base + QStringLiteral("/.mcp.json");
    found.exists = found.exists && exists(path);
    if (found.exists && exists(file)) {
        const QList<MCPServerEntry> own = entriesOf(file);
        if (!own.isEmpty()) {
            // The nearer file wins a name.
            auto merged = std::make_shared<ProjectServers>();
            for (const MCPServerEntry &entry : own)
                merged->append({entry, file});
            for (const auto &inherited : *found.servers)
                if (std::none_of(own.cbegin(), own.cend(),
                                 [&](const MCPServerEntry &e) { return e.name == inherited.first.name; }))
                    merged->append(inherited);
            found.servers = std::move(merged);
        }
    }
    m_folders.insert(path, found);
    return found;
}

FolderChain::ProjectServers FolderChain::projectServers(const QString &folder)
{
    if (!folder.startsWith(QLatin1Char('/')))
        return {};
    return *this->folder(cleaned(folder)).servers;
}

QString FolderChain::workTreeRoot(const QString &folder)
{
    if (!folder.startsWith(QLatin1Char('/')))
        return {};
    const QString clean = cleaned(folder);
    if (const auto known = m_workTreeRoots.constFind(clean); known != m_workTreeRoots.cend())
        return *known;
    QString root;
    if (clean != QLatin1String("/") && this->folder(clean).exists)
        root = exists(clean + QStringLiteral("/.git")) ? clean : workTreeRoot(parentOf(clean));
    m_workTreeRoots.insert(clean, root);
    return root;
}
