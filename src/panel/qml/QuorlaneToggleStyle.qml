import QtQuick
import Quorlane.Panel

// Every switch of the panel: a 30 by 16 capsule with a 10 by 10 knob. A click, Space or Enter
// (or a screen reader's toggle) asks for the negation of `checked` through `toggled`; the switch
// itself moves only when `checked` changes.
Item {
    id: toggle
    property bool checked: false
    property string accessibleName
    property string accessibleDescription
    // Ignores flips while one is being applied, but keeps the keyboard focus (a disabled item
    // would lose it).
    property bool busy: false
    signal toggled(bool value)

    function flip() {
        if (toggle.enabled && !toggle.busy)
            toggle.toggled(!toggle.checked)
    }

    implicitWidth: 30
    implicitHeight: 16
    activeFocusOnTab: true
    Accessible.role: Accessible.CheckBox
    Accessible.name: accessibleName
    Accessible.description: accessibleDescription
    Accessible.checkable: true
    Accessible.checked: checked
    Accessible.onToggleAction: flip()
    Accessible.onPressAction: flip()
    Keys.onSpacePressed: flip()
    Keys.onReturnPressed: flip()
    Keys.onEnterPressed: flip()

    Rectangle {
        anchors.fill: parent
        radius: height / 2
        color: toggle.checked ? Theme.switchTrackOn : Theme.switchTrackOff
        Behavior on color { ColorAnimation { duration: 180; easing.type: Easing.InOutQuad } }
    }
    Rectangle {
        id: knob
        width: 10
        height: 10
        radius: 5
        y: (toggle.height - height) / 2
        x: (toggle.width - width) / 2 + (toggle.checked ? 8 : -8)
        color: toggle.checked ? Theme.switchKnobOn : Theme.switchKnobOff
        Behavior on x { NumberAnimation { duration: 180; easing.type: Easing.InOutQuad } }
        Behavior on color { ColorAnimation { duration: 180; easing.type: Easing.InOutQuad } }
    }
    FocusRing { radius: height / 2 }
    MouseArea {
        anchors.fill: parent
        enabled: toggle.enabled && !toggle.busy
        cursorShape: Qt.PointingHandCursor
        onClicked: toggle.flip()
    }
}
