import QtQuick
import Quorlane.Panel

// One project: a header (folder, name, abbreviated path, what a session there carries per
// message, "3/5", chevron) that collapses and expands the section, then one row per server
// while expanded, and a line that lists or hides the global servers loading in the folder.
Column {
    id: section
    property string title
    property string pathText
    property string countText
    property string countDescription
    property string tokenText
    property bool tokensHeavy: false
    property string tokenNote
    // "3 global servers load here too", "Hide the global servers"; empty: no such line.
    property string globalsText
    property bool isExpanded: true
    property var rows: null
    property var tipHost: null
    signal toggled(int index, bool value)
    signal rowExpandToggled(int index)
    signal expandToggled()
    signal globalsToggled()
    // Only a click animates: sections appear at their full height.
    property bool animated: false

    width: parent ? parent.width : Theme.panelWidth

    Item {
        id: header
        objectName: "projectHeader"
        width: section.width
        height: texts.implicitHeight + 20
        activeFocusOnTab: true
        Accessible.role: Accessible.Button
        Accessible.name: section.title
        // Qt 6.4 has no expanded state for a reader to announce: the description says it.
        Accessible.description: section.countDescription + (section.isExpanded ? ", expanded" : ", collapsed")
        Accessible.focusable: true
        Accessible.onPressAction: header.flip()
        Keys.onSpacePressed: header.flip()
        Keys.onReturnPressed: header.flip()
        Keys.onEnterPressed: header.flip()
        function flip() {
            section.animated = true
            section.expandToggled()
        }
        FocusRing {
            inset: 2
            radius: 6
        }

        SymbolIcon {
            x: 16 + 1.5
            anchors.verticalCenter: parent.verticalCenter
            width: 17
            height: 13
            name: "folder.fill"
            color: Theme.quietText
        }
        Column {
            id: texts
            x: 46
            anchors.verticalCenter: parent.verticalCenter
            width: Math.max(0, count.x - 10 - x)
            spacing: 2
            PanelText {
                width: parent.width
                size: Theme.headingSize
                font.weight: Font.Medium
                color: Theme.emphasis
                text: section.title
                elide: Text.ElideRight
            }
            PanelText {
                width: parent.width
                size: Theme.noteSize
                color: Theme.figureText
                text: section.pathText
                elide: Text.ElideMiddle
            }
        }
        Row {
            id: count
            x: header.width - 16 - width
            anchors.verticalCenter: parent.verticalCenter
            spacing: 4
            PanelText {
                id: sessionFigure
                objectName: "sessionTokens"
                anchors.verticalCenter: parent.verticalCenter
                size: Theme.bodySize
                color: section.tokensHeavy ? Theme.heavy : Theme.figureText
                text: section.tokenText
                HoverHandler {
                    onHoveredChanged: {
                        if (!section.tipHost)
                            return
                        if (hovered)
                            section.tipHost.show(section.tokenNote, sessionFigure)
                        else
                            section.tipHost.hide()
                    }
                }
            }
            // Between the two figures.
            Item { width: 4; height: 1 }
            PanelText {
                objectName: "countText"
                anchors.verticalCenter: parent.verticalCenter
                size: Theme.bodySize
                color: Theme.figureText
                text: section.countText
            }
            SymbolIcon {
                objectName: "chevron"
                anchors.verticalCenter: parent.verticalCenter
                width: 9
                height: 6
                name: section.isExpanded ? "chevron.up" : "chevron.down"
                color: Theme.figureText
            }
        }
        MouseArea {
            anchors.fill: parent
            cursorShape: Qt.PointingHandCursor
            onClicked: header.flip()
        }
    }

    // The rows exist only while the section is open (or closing).
    Item {
        id: clipper
        width: section.width
        height: section.isExpanded ? rowsColumn.implicitHeight : 0
        clip: true
        visible: height > 0
        Behavior on height { enabled: section.animated; NumberAnimation { duration: 180; easing.type: Easing.InOutQuad } }
        Column {
            id: rowsColumn
            width: section.width
            Repeater {
                model: clipper.visible || section.isExpanded ? section.rows : null
                delegate: MCPRowView {
                    required property int index
                    required property string name
                    required subtitle
                    required isEnabled
                    required probing
                    required tokenText
                    required busy
                    required note
                    required accessibleDescription
                    required loads
                    required explanation
                    required heavy
                    required isExpanded
                    required tools
                    required property string lockLabel
                    required isLocked
                    width: section.width
                    mcpName: name
                    tipHost: section.tipHost
                    lockAccessibilityLabel: lockLabel
                    onToggled: value => section.toggled(index, value)
                    onExpandToggled: section.rowExpandToggled(index)
                }
            }
            Item {
                id: globalsLine
                objectName: "globalsLine"
                visible: section.globalsText.length > 0
                width: section.width
                height: visible ? globalsLabel.implicitHeight + 10 : 0
                activeFocusOnTab: visible
                Accessible.role: Accessible.Button
                Accessible.name: section.globalsText
                Accessible.focusable: true
                Accessible.onPressAction: section.globalsToggled()
                Keys.onSpacePressed: section.globalsToggled()
                Keys.onReturnPressed: section.globalsToggled()
                Keys.onEnterPressed: section.globalsToggled()
                FocusRing {
                    inset: 2
                    radius: 5
                }
                Row {
                    x: 26
                    anchors.verticalCenter: parent.verticalCenter
                    spacing: 4
                    PanelText {
                        id: globalsLabel
                        anchors.verticalCenter: parent.verticalCenter
                        size: Theme.smallSize
                        color: Theme.quietText
                        text: section.globalsText
                    }
                    SymbolIcon {
                        anchors.verticalCenter: parent.verticalCenter
                        width: 7
                        height: 5
                        name: section.globalsText.startsWith("Hide") ? "chevron.up" : "chevron.down"
                        color: Theme.quietText
                    }
                }
                MouseArea {
                    anchors.fill: parent
                    cursorShape: Qt.PointingHandCursor
                    onClicked: section.globalsToggled()
                }
            }
        }
    }
}
