import QtQuick
import Quorlane.UI

// A button without chrome: its content, the hand cursor, and a click.
Item {
    id: button
    default property alias content: row.data
    property alias spacing: row.spacing
    property string accessibleName
    signal clicked()

    implicitWidth: row.implicitWidth
    implicitHeight: row.implicitHeight
    Accessible.role: Accessible.Button
    Accessible.name: accessibleName

    Row {
        id: row
        anchors.verticalCenter: parent.verticalCenter
    }
    MouseArea {
        anchors.fill: parent
        cursorShape: Qt.PointingHandCursor
        onClicked: button.clicked()
    }
}
