import QtQuick
import Quorlane.Panel

// The title bar's profiles control: the profile the servers match now (or "Profiles"), a
// chevron that opens the list, a spinner while a profile is applied.
PlainButton {
    id: switcher
    objectName: "profileSwitcher"
    readonly property var model: Panel.profiles
    accessibleName: "Profiles: " + model.label
    spacing: 4
    onClicked: model.toggleOpen()

    SpinnerView {
        visible: switcher.model.applying
        anchors.verticalCenter: parent.verticalCenter
        width: 10
        height: 10
    }
    PanelText {
        objectName: "profileLabel"
        anchors.verticalCenter: parent.verticalCenter
        width: Math.min(implicitWidth, 150)
        size: Theme.bodySize
        color: Theme.quietText
        elide: Text.ElideRight
        text: switcher.model.label
    }
    SymbolIcon {
        anchors.verticalCenter: parent.verticalCenter
        width: 8
        height: 5
        name: switcher.model.open ? "chevron.up" : "chevron.down"
        color: Theme.quietText
    }
}
