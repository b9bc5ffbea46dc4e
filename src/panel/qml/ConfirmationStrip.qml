import QtQuick
import Quorlane.Panel
import QtQuick.Layouts

// Asked before a server whose definition came from a project's own files is switched on: it
// shows what would run and waits for the user.
Rectangle {
    id: strip
    objectName: "confirmation"
    height: visible ? content.implicitHeight + 16 : 0
    color: Theme.grey(0.11)

    ColumnLayout {
        id: content
        anchors.fill: parent
        anchors.leftMargin: 12
        anchors.rightMargin: 12
        anchors.topMargin: 8
        anchors.bottomMargin: 8
        spacing: 4
        PanelText {
            Layout.fillWidth: true
            size: 11
            color: "white"
            wrapMode: Text.Wrap
            text: "Switch on “" + Panel.confirmationName + "”? Its definition came from the project folder and will run:"
        }
        PanelText {
            objectName: "confirmationDetail"
            Layout.fillWidth: true
            size: 11
            font.family: "monospace"
            color: Theme.grey(0.75)
            wrapMode: Text.WrapAnywhere
            maximumLineCount: 4
            elide: Text.ElideRight
            text: Panel.confirmationDetail
        }
        RowLayout {
            Layout.fillWidth: true
            Item { Layout.fillWidth: true }
            PlainButton {
                objectName: "cancelConfirmation"
                accessibleName: "Cancel"
                onClicked: Panel.cancelPending()
                PanelText { size: 12; color: Theme.grey(0.45); text: "Cancel" }
            }
            Item { implicitWidth: 12 }
            PlainButton {
                objectName: "acceptConfirmation"
                accessibleName: "Switch on"
                onClicked: Panel.confirmPending()
                PanelText { size: 12; color: Theme.enabledGreen; text: "Switch on" }
            }
        }
    }
}
