import QtQuick
import Quorlane.Panel

// A small tooltip above everything else in the panel.
Rectangle {
    id: tip
    function show(text, item) {
        label.text = text
        const point = item.mapToItem(parent, 0, item.height)
        x = Math.max(8, Math.min(parent.width - width - 8, point.x + item.width - width))
        y = point.y + 4
        visible = true
    }
    function hide() { visible = false }

    visible: false
    z: 10
    width: Math.min(240, label.implicitWidth + 16)
    height: label.implicitHeight + 10
    radius: 5
    color: Theme.tipBackground
    border.width: 0.5
    border.color: Theme.hairline
    PanelText {
        id: label
        x: 8
        y: 5
        width: 224
        size: Theme.noteSize
        color: Theme.primary
        wrapMode: Text.Wrap
    }
}
