#include "panel/RowListModel.h"

#include <algorithm>

int RowListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

QVariant RowListModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const ServerRow &row = m_rows.at(index.row());
    switch (role) {
    case NameRole:
        return row.entry.name;
    case SubtitleRole:
        return ServerRows::secondLine(row);
    case IsEnabledRole:
        return row.isEnabled;
    case ProbingRole:
        return row.probing;
    case TokenTextRole:
        return ServerRows::formatTokens(row.tokensPerMessage);
    case IsLockedRole:
        return row.isLocked;
    case BusyRole:
        return row.busy;
    case NoteRole:
        return row.note;
    case AccessibleDescriptionRole:
        return ServerRows::accessibleDescription(row);
    case LoadsRole:
        return row.loads();
    case ExplanationRole:
        return row.explanation;
    case HeavyRole:
        return row.heavy() && !row.probing;
    case IsExpandedRole:
        return row.isExpanded;
    case ToolsRole: {
        QVariantList tools;
        for (const ToolTokens &tool : row.tools)
            tools.append(QVariantMap{{QStringLiteral("name"), tool.name},
                                     {QStringLiteral("tokenText"), ServerRows::formatTokens(tool.tokens)}});
        return tools;
    }
    case LockLabelRole:
        return row.inherited ? QStringLiteral("Not switchable in this folder")
                             : QStringLiteral("Managed server; read-only");
    default:
        return {};
    }
}

QHash<int, QByteArray> RowListModel::roleNames() const
{
    return {{NameRole, "name"},
            {SubtitleRole, "subtitle"},
            {IsEnabledRole, "isEnabled"},
            {ProbingRole, "probing"},
            {TokenTextRole, "tokenText"},
            {IsLockedRole, "isLocked"},
            {BusyRole, "busy"},
            {NoteRole, "note"},
            {AccessibleDescriptionRole, "accessibleDescription"},
            {LoadsRole, "loads"},
            {ExplanationRole, "explanation"},
            {HeavyRole, "heavy"},
            {IsExpandedRole, "isExpanded"},
            {ToolsRole, "tools"},
            {LockLabelRole, "lockLabel"}};
}

void RowListModel::setRows(QList<ServerRow> rows)
{
    const bool sameIdentities =
        rows.size() == m_rows.size() &&
        std::equal(rows.cbegin(), rows.cend(), m_rows.cbegin(),
                   [](const ServerRow &a, const ServerRow &b) { return a.identity() == b.identity(); });
    if (!sameIdentities) {
        const bool countChanges = rows.size() != m_rows.size();
        beginResetModel();
        m_rows = std::move(rows);
        endResetModel();
        if (countChanges)
            Q_EMIT countChanged();
        return;
    }
    for (qsizetype i = 0; i < rows.size(); ++i) {
        if (rows[i] == m_rows[i])
            continue;
        m_rows[i] = std::move(rows[i]);
        Q_EMIT dataChanged(index(int(i)), index(int(i)));
    }
}
