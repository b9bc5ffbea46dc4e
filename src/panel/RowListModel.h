#pragma once

#include "panel/ServerRow.h"

#include <QAbstractListModel>
#include <QtQml/qqmlregistration.h>

// The rows of one section. Updated in place: when the rows keep their identities and order only
// the changed rows are announced, so a switch's delegate survives a reload and animates from its
// old position to the new one instead of being rebuilt.
class RowListModel : public QAbstractListModel
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Rows come from the panel")
    Q_PROPERTY(int count READ count NOTIFY countChanged)

public:
    enum Role
    {
        NameRole = Qt::UserRole + 1,
        SubtitleRole,
        IsEnabledRole,
        ProbingRole,
        TokenTextRole,
        IsLockedRole,
        BusyRole,
        NoteRole,
        AccessibleDescriptionRole,
        LoadsRole,       // a session loads it: the dot is green
        ExplanationRole, // why it does not load, in a sentence
        HeavyRole,       // its figure is over Claude Code's warning
        IsExpandedRole,
        ToolsRole,     // [{name, tokenText}], heaviest first
        LockLabelRole, // what a reader says for the lock
    };

    using QAbstractListModel::QAbstractListModel;

    [[nodiscard]] int rowCount(const QModelIndex &parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex &index, int role) const override;
    [[nodiscard]] QHash<int, QByteArray> roleNames() const override;

    [[nodiscard]] int count() const { return int(m_rows.size()); }
    [[nodiscard]] const QList<ServerRow> &rows() const { return m_rows; }
    void setRows(QList<ServerRow> rows);

Q_SIGNALS:
    void countChanged();

private:
    QList<ServerRow> m_rows;
};
