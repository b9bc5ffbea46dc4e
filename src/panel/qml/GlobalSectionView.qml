import QtQuick
import Quorlane.Panel

// Every server not tied to a project: Claude Desktop, then global, then managed. Draws nothing
// at all, not even its heading, when there is none.
Column {
    id: section
    property var rows: null
    property var tipHost: null
    signal toggled(int index, bool value)
    signal rowExpandToggled(int index)

    visible: repeater.count > 0
    width: parent ? parent.width : Theme.panelWidth

    Item {
        width: section.width
        height: heading.implicitHeight + 10
        PanelText {
            id: heading
            x: 12
            y: 8
            size: Theme.smallSize
            font.weight: Font.DemiBold
            color: Theme.secondary
            text: "Global"
        }
    }
    Repeater {
        id: repeater
        model: section.rows
        delegate: MCPRowView {
            required property int index
            required property string name
            required subtitle
            required isEnabled
            required probing
            required tokenText
            required isLocked
            required busy
            required note
            required accessibleDescription
            required loads
            required explanation
            required heavy
            required isExpanded
            required tools
            required property string lockLabel
            width: section.width
            mcpName: name
            tipHost: section.tipHost
            lockAccessibilityLabel: lockLabel
            onToggled: value => section.toggled(index, value)
            onExpandToggled: section.rowExpandToggled(index)
        }
    }
}
