import QtQuick
import Quorlane.Panel
import QtQuick.Layouts

// Asked before a server whose definition came from a project's own files is switched on: it
// shows what would run and waits for the user.
Rectangle {
    id: strip
    objectName: "confirmation"
    height: visible ? content.implicitHeight + 16 : 0
    color: Theme.raised

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
            size: Theme.noteSize
            color: Theme.emphasis
            wrapMode: Text.Wrap
            text: "Switch on “" + Panel.confirmationName + "”? Its definition came from the project folder and will run:"
        }
        PanelText {
            objectName: "confirmationDetail"
            Layout.fillWidth: true
            size: Theme.noteSize
            font.family: "monospace"
            color: Theme.strongNote
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
                PanelText { size: Theme.bodySize; color: Theme.quietText; text: "Cancel" }
            }
            Item { implicitWidth: 12 }
            PlainButton {
                objectName: "acceptConfirmation"
                accessibleName: "Switch on"
                onClicked: Panel.confirmPending()
                PanelText { size: Theme.bodySize; color: Theme.enabledGreen; text: "Switch on" }
            }
        }
    }
}
