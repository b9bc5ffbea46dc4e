import QtQuick
import Quorlane.Panel

// One server: status dot, name (and source, and why it does not load), token figure or
// spinner, optional lock, switch. The switch shows `isEnabled`; a click only reports the wish
// through `toggled`. A click elsewhere on the row asks for its tools through `expandToggled`;
// while `isExpanded` they are listed below it, heaviest first.
// Placed by anchors and plain arithmetic rather than a layout: a panel holds hundreds of rows,
// and a layout per row costs more to make and to lay out than everything it places.
Item {
    id: row
    property string mcpName
    property string subtitle
    property bool isEnabled: true
    // A session loads it: the dot is green. A row that does not load looks off.
    property bool loads: isEnabled
    // Why it does not load, in a sentence (the second line says it in a few words).
    property string explanation
    // Its figure is over Claude Code's warning.
    property bool heavy: false
    property bool isExpanded: false
    // [{name, tokenText}], heaviest first.
    property var tools: []
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
    signal expandToggled()

    readonly property bool isHovering: hover.hovered
    readonly property bool spinning: probing || busy
    // Where the figure (or the spinner) ends: left of the lock, or of the switch.
    readonly property real trailingRight: (isLocked ? lock.x : toggle.x) - 8
    readonly property real trailingLeft: trailingRight - (spinning ? 12 : figure.implicitWidth) -
                                         (heavyMark.visible ? heavyMark.width + 3 : 0)
    // The first line; everything on it is centred on it.
    readonly property real lineHeight: Math.max(names.implicitHeight, toggle.implicitHeight) + 10

    function showTip(text, item, shown) {
        if (!row.tipHost)
            return
        if (shown)
            row.tipHost.show(text, item)
        else
            row.tipHost.hide()
    }

    implicitWidth: Theme.panelWidth
    implicitHeight: lineHeight + (isExpanded ? toolList.implicitHeight + 5 : 0)

    Rectangle {
        anchors.fill: parent
        radius: 5
        color: row.isHovering ? Theme.hover : "transparent"
        Behavior on color { ColorAnimation { duration: 120; easing.type: Easing.OutQuad } }
    }
    HoverHandler { id: hover }
    MouseArea {
        objectName: "rowArea"
        anchors.fill: parent
        cursorShape: Qt.PointingHandCursor
        // The switch (and a dimmed one's place) is not part of the click.
        onClicked: mouse => {
            if (mouse.x < toggle.x - 4)
                row.expandToggled()
        }
    }

    Rectangle {
        objectName: "statusDot"
        x: 12
        y: (row.lineHeight - height) / 2
        width: 6
        height: 6
        radius: 3
        color: row.loads ? Theme.enabledGreen : Theme.tertiary
    }
    Column {
        id: names
        x: 26
        y: (row.lineHeight - implicitHeight) / 2
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
            id: secondLine
            objectName: "secondLine"
            width: parent.width
            visible: row.subtitle.length > 0
            size: Theme.smallSize
            color: Theme.secondary
            text: row.subtitle
            elide: Text.ElideRight
            HoverHandler {
                enabled: row.explanation.length > 0
                onHoveredChanged: row.showTip(row.explanation, secondLine, hovered)
            }
        }
    }
    // Made only while needed: most rows never spin.
    Loader {
        active: row.spinning
        x: row.trailingRight - 12
        y: (row.lineHeight - 12) / 2
        sourceComponent: SpinnerView {}
    }
    // Over Claude Code's warning: a mark as well as a colour.
    SymbolIcon {
        id: heavyMark
        objectName: "heavyMark"
        visible: row.heavy && !row.spinning
        x: figure.x - 3 - width
        y: (row.lineHeight - height) / 2
        width: 10
        height: 9
        name: "exclamationmark.triangle.fill"
        color: Theme.heavy
    }
    PanelText {
        id: figure
        objectName: "tokenFigure"
        visible: !row.spinning
        x: row.trailingRight - implicitWidth
        y: (row.lineHeight - height) / 2
        size: Theme.bodySize
        color: row.heavy ? Theme.heavy : Theme.figureText
        text: row.tokenText
        readonly property string tip: row.note.length > 0 ? row.note
            : row.heavy ? "Over 25,000 tokens per message: Claude Code's /doctor warns about MCP tools this large." : ""
        Accessible.description: tip
        HoverHandler {
            enabled: figure.tip.length > 0
            onHoveredChanged: row.showTip(figure.tip, figure, hovered)
        }
    }
    SymbolIcon {
        id: lock
        visible: row.isLocked
        x: toggle.x - 8 - width
        y: (row.lineHeight - height) / 2
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
        y: (row.lineHeight - height) / 2
        checked: row.isEnabled
        accessibleName: row.mcpName
        accessibleDescription: row.accessibleDescription
        enabled: !row.isLocked
        busy: row.busy
        opacity: row.isLocked ? 0.5 : 1
        onToggled: value => row.toggled(value)
        // From the keyboard, the arrow to the right lists the tools and the one to the left
        // hides them again.
        Keys.onRightPressed: if (!row.isExpanded) row.expandToggled()
        Keys.onLeftPressed: if (row.isExpanded) row.expandToggled()
    }

    // The tools, made only while shown.
    Loader {
        id: toolList
        objectName: "toolList"
        active: row.isExpanded
        visible: active
        x: 26
        y: row.lineHeight - 3
        width: row.trailingRight - x
        sourceComponent: Column {
            width: toolList.width
            PanelText {
                visible: row.tools.length === 0
                width: parent.width
                size: Theme.noteSize
                color: Theme.figureText
                text: "Tools not measured yet"
                elide: Text.ElideRight
            }
            Repeater {
                model: row.tools
                delegate: Item {
                    required property var modelData
                    width: parent.width
                    height: toolName.implicitHeight + 3
                    PanelText {
                        id: toolName
                        objectName: "toolName"
                        width: parent.width - toolFigure.implicitWidth - 12
                        anchors.verticalCenter: parent.verticalCenter
                        size: Theme.noteSize
                        color: Theme.secondary
                        text: modelData.name
                        elide: Text.ElideMiddle
                    }
                    PanelText {
                        id: toolFigure
                        anchors.right: parent.right
                        anchors.verticalCenter: parent.verticalCenter
                        size: Theme.noteSize
                        color: Theme.figureText
                        text: modelData.tokenText
                    }
                }
            }
        }
    }
}
