#include "store/MCPProject.h"

#include "json/CodePointOrder.h"

#include <algorithm>

namespace MCPProjects {

QString lastPathComponent(const QString &path)
{
    QString trimmed = path;
    // "/srv/app/" still names the folder "app"; a key with a trailing slash is only a different
    // key, not a different folder.
    while (trimmed.size() > 1 && trimmed.endsWith(QLatin1Char('/')))
        trimmed.chop(1);
    return trimmed.mid(trimmed.lastIndexOf(QLatin1Char('/')) + 1);
}

void sortByLastComponent(QList<MCPProject> &projects)
{
    std::stable_sort(projects.begin(), projects.end(), [](const MCPProject &a, const MCPProject &b) {
        return codePointLess(lastPathComponent(a.path), lastPathComponent(b.path));
    });
}

} // namespace MCPProjects
