import QtQuick
import Quorlane.Panel

// A 12 by 12 spinner that turns once every 0.75 s while it exists.
Item {
    id: spinner
    implicitWidth: 12
    implicitHeight: 12
    property bool isAnimating: false

    SymbolIcon {
        anchors.fill: parent
        name: "spinner"
        color: Theme.secondary
        opacity: 0.8
        RotationAnimator on rotation {
            from: 0
            to: 360
            duration: 750
            loops: Animation.Infinite
            running: spinner.isAnimating && spinner.visible
        }
    }
    Component.onCompleted: isAnimating = true
}
