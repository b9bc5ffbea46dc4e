import QtQuick
import Quorlane.Panel

// The ring around whatever holds the keyboard focus: drawn just outside its parent, only while
// the focus came from the keyboard's reach (Tab, the arrows, a panel opened from the keyboard).
Rectangle {
    property real inset: -2
    anchors.fill: parent
    anchors.margins: inset
    visible: parent.activeFocus
    color: "transparent"
    border.width: 2
    border.color: Theme.focusRing
}
