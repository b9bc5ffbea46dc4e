#include "cli/ProjectArgument.h"

#include "platform/Paths.h"

#include <QDir>
#include <QFileInfo>

namespace ProjectArgument {

QString absolutePath(const QString &typed)
{
    QString path = typed;
    if (path == QLatin1String("~") || path.startsWith(QLatin1String("~/")))
        path = Paths::homeDirectory() + path.mid(1);
    return QDir::cleanPath(QDir::current().absoluteFilePath(path));
}

QString matchListed(const QString &typed, const QList<MCPProject> &projects)
{
    for (const MCPProject &project : projects) {
        if (project.path == typed)
            return project.path;
    }
    const QString absolute = absolutePath(typed);
    for (const MCPProject &project : projects) {
        if (QDir::cleanPath(project.path) == absolute)
            return project.path;
    }
    const QString canonical = QFileInfo(absolute).canonicalFilePath();
    if (canonical.isEmpty())
        return {};
    for (const MCPProject &project : projects) {
        if (QFileInfo(project.path).canonicalFilePath() == canonical)
            return project.path;
    }
    return {};
}

} // namespace ProjectArgument
