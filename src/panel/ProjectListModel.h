#pragma once

#include "panel/RowListModel.h"
#include "panel/ServerLoads.h"

#include <QAbstractListModel>
#include <QtQml/qqmlregistration.h>

// One entry per project section. A section keeps its row model and its expanded state for as
// long as its project (by id) stays in the list, whatever else reloads around it.
class ProjectListModel : public QAbstractListModel
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Sections come from the panel")
    Q_PROPERTY(int count READ count NOTIFY countChanged)

public:
    struct Section
    {
        QString id;
        QString path;
        QList<ServerRow> rows;
        ServerLoads::SessionTokens tokens; // what a session in the folder carries
        qsizetype loadingGlobals = 0;      // global servers that load in the folder
        bool globalsShown = false;         // they are listed among the rows
    };

    enum Role
    {
        ProjectIdRole = Qt::UserRole + 1,
        TitleRole,
        PathTextRole,
        CountTextRole,
        CountDescriptionRole, // the count as a screen reader says it
        IsExpandedRole,
        RowsRole,
        TokenTextRole,   // what a session in the folder carries per message, "~14.2k"
        TokensHeavyRole, // over Claude Code's warning
        TokenNoteRole,   // the figure in a sentence
        GlobalsTextRole, // the line that shows or hides the global servers loading here; empty: none
    };

    using QAbstractListModel::QAbstractListModel;

    [[nodiscard]] int rowCount(const QModelIndex &parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex &index, int role) const override;
    [[nodiscard]] QHash<int, QByteArray> roleNames() const override;

    [[nodiscard]] int count() const { return int(m_sections.size()); }
    void setSections(QList<Section> sections);

    // The path of section `section`; empty when out of range.
    [[nodiscard]] QString pathAt(int section) const;
    [[nodiscard]] QString idAt(int section) const;
    [[nodiscard]] RowListModel *rowsAt(int section) const;

    // Expanding and collapsing belong to the view, but live here so a reload that rebuilds the
    // list does not reopen a section the user closed.
    Q_INVOKABLE void setExpanded(int section, bool expanded);

Q_SIGNALS:
    void countChanged();

private:
    struct Entry
    {
        QString id;
        QString path;
        RowListModel *rows = nullptr;
        ServerLoads::SessionTokens tokens;
        qsizetype loadingGlobals = 0;
        bool globalsShown = false;
    };

    QList<Entry> m_sections;
    QSet<QString> m_collapsed;
};
