import QtQuick
import Quorlane.Panel

// One server: status dot, name (and source), token figure or spinner, optional lock, switch.
// The switch shows `isEnabled`; a click only reports the wish through `toggled`.
// Placed by anchors and plain arithmetic rather than a layout: a panel holds hundreds of rows,
// and a layout per row costs more to make and to lay out than everything it places.
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
    // The switch's spoken figure: "about 12.3 thousand tokens per message".
    property string accessibleDescription
    property string lockAccessibilityLabel: "Managed server; read-only"
    property var tipHost: null
    signal toggled(bool value)

    readonly property bool isHovering: hover.hovered
    readonly property bool spinning: probing || busy
    // Where the figure (or the spinner) ends: left of the lock, or of the switch.
    readonly property real trailingRight: (isLocked ? lock.x : toggle.x) - 8
    readonly property real trailingLeft: trailingRight - (spinning ? 12 : figure.implicitWidth)

    implicitWidth: Theme.panelWidth
    implicitHeight: Math.max(names.implicitHeight, toggle.implicitHeight) + 10

    Rectangle {
        anchors.fill: parent
        radius: 5
        color: row.isHovering ? Theme.hover : "transparent"
        Behavior on color { ColorAnimation { duration: 120; easing.type: Easing.OutQuad } }
    }
    HoverHandler { id: hover }

    Rectangle {
        objectName: "statusDot"
        x: 12
        anchors.verticalCenter: parent.verticalCenter
        width: 6
        height: 6
        radius: 3
        color: row.isEnabled ? Theme.enabledGreen : Theme.tertiary
    }
    Column {
        id: names
        x: 26
        anchors.verticalCenter: parent.verticalCenter
        width: Math.max(0, row.trailingLeft - 16 - x)
        spacing: 1
        PanelText {
            width: parent.width
            size: Theme.bodySize
            font.weight: Font.Medium
            text: row.mcpName
            elide: Text.ElideMiddle
        }
        PanelText {
            width: parent.width
            visible: row.subtitle.length > 0
            size: Theme.smallSize
            color: Theme.secondary
            text: row.subtitle
            elide: Text.ElideRight
        }
    }
    // Made only while needed: most rows never spin.
    Loader {
        active: row.spinning
        x: row.trailingRight - 12
        anchors.verticalCenter: parent.verticalCenter
        sourceComponent: SpinnerView {}
    }
    PanelText {
        id: figure
        objectName: "tokenFigure"
        visible: !row.spinning
        x: row.trailingRight - implicitWidth
        anchors.verticalCenter: parent.verticalCenter
        size: Theme.bodySize
        color: Theme.figureText
        text: row.tokenText
        Accessible.description: row.note
        HoverHandler {
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
        id: lock
        visible: row.isLocked
        x: toggle.x - 8 - width
        anchors.verticalCenter: parent.verticalCenter
        width: 8
        height: 10
        name: "lock.fill"
        color: Theme.quietText
        Accessible.role: Accessible.Graphic
        Accessible.name: row.lockAccessibilityLabel
    }
    QuorlaneToggleStyle {
        id: toggle
        objectName: "switch"
        x: row.width - 12 - width
        anchors.verticalCenter: parent.verticalCenter
        checked: row.isEnabled
        accessibleName: row.mcpName
        accessibleDescription: row.accessibleDescription
        enabled: !row.isLocked
        busy: row.busy
        opacity: row.isLocked ? 0.5 : 1
        onToggled: value => row.toggled(value)
    }
}
