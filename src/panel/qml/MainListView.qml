import QtQuick
import Quorlane.Panel

// The main page: "Loading…", the empty state, or the scrolling list of sections, 400 high.
Item {
    id: list
    property var tipHost: null
    width: parent ? parent.width : Theme.panelWidth
    implicitHeight: Panel.listState === "loading" ? loading.implicitHeight
                  : Panel.listState === "empty" ? empty.implicitHeight : 400

    Item {
        id: loading
        visible: Panel.listState === "loading"
        width: list.width
        implicitHeight: 200 + loadingRow.implicitHeight + 200
        Row {
            id: loadingRow
            anchors.centerIn: parent
            spacing: 8
            SpinnerView { anchors.verticalCenter: parent.verticalCenter }
            PanelText {
                anchors.verticalCenter: parent.verticalCenter
                size: Theme.bodySize
                color: Theme.note
                text: "Loading…"
            }
        }
    }

    Item {
        id: empty
        visible: Panel.listState === "empty"
        width: list.width
        implicitHeight: 80 + emptyColumn.implicitHeight + 80
        Column {
            id: emptyColumn
            anchors.centerIn: parent
            spacing: 6
            SymbolIcon {
                anchors.horizontalCenter: parent.horizontalCenter
                width: 25
                height: 22
                name: "exclamationmark.triangle"
                color: Theme.figureText
            }
            PanelText {
                anchors.horizontalCenter: parent.horizontalCenter
                size: Theme.bodySize
                color: Theme.figureText
                text: "No MCP servers found"
            }
        }
    }

    Connections {
        target: list.Window.window
        function onActiveFocusItemChanged() {
            if (scroller.visible && list.Window.activeFocusItem)
                scroller.reveal(list.Window.activeFocusItem)
        }
    }

    // Only the sections in and near the visible part exist; the rest are made as they scroll in.
    ListView {
        id: scroller
        objectName: "serverList"
        visible: Panel.listState === "list"
        width: list.width
        height: 400
        clip: true
        boundsBehavior: Flickable.StopAtBounds
        // The arrow keys move the focus between rows (the panel does that), not a current item.
        keyNavigationEnabled: false
        Accessible.role: Accessible.List
        Accessible.name: "MCP servers"
        // Scrolls so the item the keyboard reached is in view, with a little room around it.
        function reveal(item) {
            let inside = item
            while (inside && inside !== contentItem)
                inside = inside.parent
            if (!inside)
                return
            const top = item.mapToItem(contentItem, 0, 0).y - 12
            const bottom = top + item.height + 24
            if (top < contentY)
                contentY = Math.max(top, originY)
            else if (bottom > contentY + height)
                contentY = Math.min(bottom - height, originY + contentHeight - height)
        }
        cacheBuffer: 200
        model: Panel.projects
        // The global section grows when the lists arrive: a list shown from its top stays there.
        property real headerShownHeight: 0
        function headerResized(height) {
            const wasAtTop = contentY <= originY + 0.5 || contentY <= -headerShownHeight + 0.5
            headerShownHeight = height
            // While the header is still being made, the list places itself afterwards.
            if (wasAtTop && headerItem) {
                forceLayout()
                positionViewAtBeginning()
            }
        }
        header: GlobalSectionView {
            width: scroller.width
            onHeightChanged: scroller.headerResized(height)
            rows: Panel.globalRows
            tipHost: list.tipHost
            onToggled: (index, value) => Panel.toggleGlobal(index, value)
            onRowExpandToggled: index => Panel.toggleExpanded(-1, index)
        }
        delegate: ProjectSectionView {
            required property int index
            required property string projectId
            required title
            required pathText
            required countText
            required countDescription
            required isExpanded
            required rows
            required tokenText
            required tokensHeavy
            required tokenNote
            required globalsText
            width: scroller.width
            tipHost: list.tipHost
            onToggled: (row, value) => Panel.toggleProject(index, row, value)
            onRowExpandToggled: row => Panel.toggleExpanded(index, row)
            onGlobalsToggled: Panel.toggleGlobalsShown(index)
            onExpandToggled: Panel.projects.setExpanded(index, !isExpanded)
        }
    }
}
