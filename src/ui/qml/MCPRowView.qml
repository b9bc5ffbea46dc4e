import QtQuick
import Quorlane.UI
import QtQuick.Layouts

// One server: status dot, name (and source), token figure or spinner, optional lock, switch.
// The switch shows `isEnabled`; a click only reports the wish through `toggled`.
Item {
    id: row
    property string mcpName
    property string subtitle
    property bool isEnabled: true
    property bool probing: false
    property string tokenText: "~1.5k"
    property bool isLocked: false
    property bool busy: false
    property string note
    property string lockAccessibilityLabel: "Managed server; read-only"
    property var tipHost: null
    signal toggled(bool value)

    readonly property bool isHovering: hover.hovered

    implicitWidth: 320
    implicitHeight: layout.implicitHeight + 10

    Rectangle {
        anchors.fill: parent
        radius: 5
        color: row.isHovering ? Theme.hover : "transparent"
        Behavior on color { ColorAnimation { duration: 120; easing.type: Easing.OutQuad } }
    }
    HoverHandler { id: hover }

    RowLayout {
        id: layout
        anchors.fill: parent
        anchors.leftMargin: 12
        anchors.rightMargin: 12
        anchors.topMargin: 5
        anchors.bottomMargin: 5
        spacing: 8

        Rectangle {
            objectName: "statusDot"
            implicitWidth: 6
            implicitHeight: 6
            radius: 3
            color: row.isEnabled ? Theme.enabledGreen : Theme.tertiary
        }
        Column {
            Layout.fillWidth: true
            Layout.minimumWidth: 0
            spacing: 1
            PanelText {
                width: parent.width
                size: 12
                font.weight: Font.Medium
                text: row.mcpName
                elide: Text.ElideMiddle
            }
            PanelText {
                width: parent.width
                visible: row.subtitle.length > 0
                size: 10
                color: Theme.secondary
                text: row.subtitle
                elide: Text.ElideRight
            }
        }
        Item { Layout.minimumWidth: 4 - 2 * layout.spacing; implicitWidth: 0 }
        SpinnerView {
            visible: row.probing || row.busy
        }
        PanelText {
            id: figure
            objectName: "tokenFigure"
            visible: !row.probing && !row.busy
            size: 12
            color: Theme.grey(0.4)
            text: row.tokenText
            Accessible.description: row.note
            HoverHandler {
                id: figureHover
                enabled: row.note.length > 0
                onHoveredChanged: {
                    if (!row.tipHost)
                        return
                    if (hovered)
                        row.tipHost.show(row.note, figure)
                    else
                        row.tipHost.hide()
                }
            }
        }
        SymbolIcon {
            visible: row.isLocked
            implicitWidth: 8
            implicitHeight: 10
            name: "lock.fill"
            color: Theme.grey(0.45)
            Accessible.role: Accessible.Graphic
            Accessible.name: row.lockAccessibilityLabel
        }
        QuorlaneToggleStyle {
            objectName: "switch"
            checked: row.isEnabled
            enabled: !row.isLocked && !row.busy
            opacity: row.isLocked ? 0.5 : 1
            onToggled: value => row.toggled(value)
        }
    }
}
