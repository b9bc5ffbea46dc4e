import QtQuick
import Quorlane.Panel

// A button without chrome: its content, the hand cursor, and a click (or Space or Enter).
Item {
    id: button
    default property alias content: row.data
    property alias spacing: row.spacing
    property string accessibleName
    signal clicked()

    implicitWidth: row.implicitWidth
    implicitHeight: row.implicitHeight
    activeFocusOnTab: true
    Accessible.role: Accessible.Button
    Accessible.name: accessibleName
    Accessible.focusable: true
    Accessible.onPressAction: button.clicked()
    Keys.onSpacePressed: button.clicked()
    Keys.onReturnPressed: button.clicked()
    Keys.onEnterPressed: button.clicked()

    Row {
        id: row
        anchors.verticalCenter: parent.verticalCenter
    }
    FocusRing {
        inset: -3
        radius: 4
    }
    MouseArea {
        anchors.fill: parent
        cursorShape: Qt.PointingHandCursor
        onClicked: button.clicked()
    }
}
