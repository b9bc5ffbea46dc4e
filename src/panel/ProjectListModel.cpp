#include "panel/ProjectListModel.h"

#include "platform/Paths.h"

#include <algorithm>

int ProjectListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_sections.size());
}

QVariant ProjectListModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const Entry &entry = m_sections.at(index.row());
    switch (role) {
    case ProjectIdRole:
        return entry.id;
    case TitleRole:
        return MCPProjects::lastPathComponent(entry.path);
    case PathTextRole:
        return ServerRows::abbreviatedPath(entry.path, Paths::homeDirectory());
    case CountTextRole:
    case CountDescriptionRole: {
        // The project's own servers; the global ones listed below them are counted above.
        const QList<ServerRow> &rows = entry.rows->rows();
        const auto own =
            std::count_if(rows.cbegin(), rows.cend(), [](const ServerRow &row) { return !row.inherited; });
        const auto enabled = std::count_if(
            rows.cbegin(), rows.cend(), [](const ServerRow &row) { return !row.inherited && row.isEnabled; });
        if (role == CountTextRole)
            return ServerRows::countText(enabled, own);
        return ServerRows::spokenCount(enabled, own) + QStringLiteral(", ") +
               ServerRows::spokenTokens(entry.tokens.total);
    }
    case TokenTextRole:
        return ServerRows::formatTokens(entry.tokens.total);
    case TokensHeavyRole:
        return entry.tokens.heavy();
    case TokenNoteRole:
        return ServerLoads::sessionNote(entry.tokens, QStringLiteral("here"));
    case GlobalsTextRole:
        if (entry.loadingGlobals == 0)
            return QString();
        if (entry.globalsShown)
            return QStringLiteral("Hide the global servers");
        return entry.loadingGlobals == 1
                   ? QStringLiteral("1 global server loads here too")
                   : QStringLiteral("%1 global servers load here too").arg(entry.loadingGlobals);
    case IsExpandedRole:
        return !m_collapsed.contains(entry.id);
    case RowsRole:
        return QVariant::fromValue(static_cast<QObject *>(entry.rows));
    default:
        return {};
    }
}

QHash<int, QByteArray> ProjectListModel::roleNames() const
{
    return {{ProjectIdRole, "projectId"},
            {TitleRole, "title"},
            {PathTextRole, "pathText"},
            {CountTextRole, "countText"},
            {CountDescriptionRole, "countDescription"},
            {IsExpandedRole, "isExpanded"},
            {RowsRole, "rows"},
            {TokenTextRole, "tokenText"},
            {TokensHeavyRole, "tokensHeavy"},
            {TokenNoteRole, "tokenNote"},
            {GlobalsTextRole, "globalsText"}};
}

void ProjectListModel::setSections(QList<Section> sections)
{
    const bool sameIdentities =
        sections.size() == m_sections.size() &&
        std::equal(sections.cbegin(), sections.cend(), m_sections.cbegin(),
                   [](const Section &a, const Entry &b) { return a.id == b.id && a.path == b.path; });
    if (sameIdentities) {
        for (qsizetype i = 0; i < sections.size(); ++i) {
            Entry &entry = m_sections[i];
            const Section &next = sections[i];
            if (entry.rows->rows() == next.rows && entry.tokens == next.tokens &&
                entry.loadingGlobals == next.loadingGlobals && entry.globalsShown == next.globalsShown)
                continue;
            entry.rows->setRows(std::move(sections[i].rows));
            entry.tokens = next.tokens;
            entry.loadingGlobals = next.loadingGlobals;
            entry.globalsShown = next.globalsShown;
            Q_EMIT dataChanged(index(int(i)), index(int(i)),
                               {CountTextRole, CountDescriptionRole, TokenTextRole, TokensHeavyRole,
                                TokenNoteRole, GlobalsTextRole});
        }
        return;
    }

    // Keep the row models of projects that stay, so their delegates' state can follow them.
    QHash<QString, RowListModel *> previous;
    for (const Entry &entry : std::as_const(m_sections))
        previous.insert(entry.id, entry.rows);
    QList<Entry> next;
    next.reserve(sections.size());
    QSet<QString> ids;
    for (Section &section : sections) {
        RowListModel *rows = previous.take(section.id);
        if (!rows)
            rows = new RowListModel(this);
        rows->setRows(std::move(section.rows));
        ids.insert(section.id);
        next.append(
            {section.id, section.path, rows, section.tokens, section.loadingGlobals, section.globalsShown});
    }
    const bool countChanges = next.size() != m_sections.size();
    beginResetModel();
    m_sections = std::move(next);
    endResetModel();
    qDeleteAll(previous);
    m_collapsed.intersect(ids);
    if (countChanges)
        Q_EMIT countChanged();
}

QString ProjectListModel::pathAt(int section) const
{
    return section >= 0 && section < m_sections.size() ? m_sections.at(section).path : QString();
}

QString ProjectListModel::idAt(int section) const
{
    return section >= 0 && section < m_sections.size() ? m_sections.at(section).id : QString();
}

RowListModel *ProjectListModel::rowsAt(int section) const
{
    return section >= 0 && section < m_sections.size() ? m_sections.at(section).rows : nullptr;
}

void ProjectListModel::setExpanded(int section, bool expanded)
{
    if (section < 0 || section >= m_sections.size())
        return;
    const QString &id = m_sections.at(section).id;
    if (expanded)
        m_collapsed.remove(id);
    else
        m_collapsed.insert(id);
    Q_EMIT dataChanged(index(section), index(section), {IsExpandedRole});
}
