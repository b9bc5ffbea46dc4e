import QtQuick
import Quorlane.Panel
import QtQuick.Layouts

// The profiles list under the title bar while the control is open: one line per profile (the
// one the servers match now has a green dot), a click applies it; "Save current as…" asks for a
// name in place.
Rectangle {
    id: menu
    objectName: "profileMenu"
    readonly property var model: Panel.profiles
    height: visible ? content.implicitHeight + 12 : 0
    color: Theme.raised

    Column {
        id: content
        x: 0
        y: 6
        width: menu.width

        Repeater {
            model: menu.model.names
            delegate: Item {
                id: profileItem
                objectName: "profileItem"
                required property string modelData
                required property int index
                width: content.width
                height: 24
                // Reached with Tab like every other control; Space or Enter applies it.
                activeFocusOnTab: true
                Accessible.role: Accessible.MenuItem
                Accessible.name: modelData
                Accessible.focusable: true
                Accessible.onPressAction: Panel.applyProfile(index)
                Keys.onSpacePressed: Panel.applyProfile(index)
                Keys.onReturnPressed: Panel.applyProfile(index)
                Keys.onEnterPressed: Panel.applyProfile(index)
                Rectangle {
                    anchors.fill: parent
                    anchors.leftMargin: 6
                    anchors.rightMargin: 6
                    radius: 5
                    color: itemHover.hovered ? Theme.hover : "transparent"
                }
                HoverHandler { id: itemHover }
                Rectangle {
                    x: 16
                    anchors.verticalCenter: parent.verticalCenter
                    width: 6
                    height: 6
                    radius: 3
                    color: index === menu.model.matchingIndex ? Theme.enabledGreen : "transparent"
                }
                PanelText {
                    x: 30
                    width: parent.width - x - 16
                    anchors.verticalCenter: parent.verticalCenter
                    size: Theme.bodySize
                    elide: Text.ElideRight
                    text: modelData
                }
                FocusRing {
                    anchors.leftMargin: 6
                    anchors.rightMargin: 6
                    radius: 5
                    inset: 0
                }
                MouseArea {
                    anchors.fill: parent
                    cursorShape: Qt.PointingHandCursor
                    onClicked: Panel.applyProfile(index)
                }
            }
        }

        PlainButton {
            objectName: "saveCurrentAs"
            visible: !menu.model.naming
            x: 30
            height: 24
            accessibleName: "Save current as…"
            onClicked: menu.model.startNaming()
            PanelText { size: Theme.bodySize; color: Theme.quietText; text: "Save current as…" }
        }

        RowLayout {
            visible: menu.model.naming
            x: 16
            width: content.width - 32
            height: 28
            spacing: 10
            Rectangle {
                Layout.fillWidth: true
                implicitHeight: 22
                radius: 5
                color: Theme.field
                border.width: 0.5
                border.color: Theme.hairline
                TextInput {
                    id: nameInput
                    objectName: "profileName"
                    anchors.fill: parent
                    anchors.leftMargin: 7
                    anchors.rightMargin: 7
                    verticalAlignment: TextInput.AlignVCenter
                    font.family: Theme.fontFamily
                    font.pixelSize: Theme.bodySize
                    color: Theme.primary
                    selectionColor: Theme.sectionText
                    clip: true
                    focus: menu.model.naming
                    maximumLength: 64
                    onAccepted: if (saveButton.enabled) Panel.saveProfile(text)
                    onVisibleChanged: if (visible) { text = ""; forceActiveFocus() }
                }
                PanelText {
                    visible: nameInput.text.length === 0
                    x: 7
                    anchors.verticalCenter: parent.verticalCenter
                    size: Theme.bodySize
                    color: Theme.tertiary
                    text: "Name"
                }
            }
            PlainButton {
                objectName: "cancelNaming"
                accessibleName: "Cancel"
                onClicked: menu.model.close()
                PanelText { size: Theme.bodySize; color: Theme.quietText; text: "Cancel" }
            }
            PlainButton {
                id: saveButton
                objectName: "saveProfile"
                enabled: menu.model.nameProblem(nameInput.text) === ""
                opacity: enabled ? 1 : 0.4
                accessibleName: "Save"
                onClicked: Panel.saveProfile(nameInput.text)
                PanelText { size: Theme.bodySize; color: Theme.enabledGreen; text: "Save" }
            }
        }
    }
}
