import QtQuick
import Quorlane.UI

// Every switch of the panel: a 30 by 16 capsule with a 10 by 10 knob. A click asks for the
// negation of `checked` through `toggled`; the switch itself moves only when `checked` changes.
Item {
    id: toggle
    property bool checked: false
    signal toggled(bool value)

    implicitWidth: 30
    implicitHeight: 16
    Accessible.role: Accessible.CheckBox
    Accessible.checked: checked

    Rectangle {
        anchors.fill: parent
        radius: height / 2
        color: toggle.checked ? Qt.rgba(0.17, 0.26, 0.18, 1) : Theme.grey(0.2)
        Behavior on color { ColorAnimation { duration: 180; easing.type: Easing.InOutQuad } }
    }
    Rectangle {
        id: knob
        width: 10
        height: 10
        radius: 5
        y: (toggle.height - height) / 2
        x: (toggle.width - width) / 2 + (toggle.checked ? 8 : -8)
        color: toggle.checked ? Qt.rgba(0.47, 0.86, 0.54, 1) : Theme.grey(0.6)
        Behavior on x { NumberAnimation { duration: 180; easing.type: Easing.InOutQuad } }
        Behavior on color { ColorAnimation { duration: 180; easing.type: Easing.InOutQuad } }
    }
    MouseArea {
        anchors.fill: parent
        enabled: toggle.enabled
        cursorShape: Qt.PointingHandCursor
        onClicked: toggle.toggled(!toggle.checked)
    }
}
