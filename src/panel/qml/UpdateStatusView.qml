import QtQuick
import Quorlane.Panel

// The update item of the version line: a spinner while checking, the changelog link, the
// failure (click to retry), or "Up to date" / "Check for updates".
Item {
    id: status
    property var prefs
    implicitWidth: current.implicitWidth
    implicitHeight: Math.max(16, current.implicitHeight)
    readonly property Item current: prefs.updateStatus === "checking" ? spinner
                                  : prefs.updateStatus === "updateAvailable" ? link
                                  : prefs.updateStatus === "failed" ? failed : check

    SpinnerView {
        id: spinner
        objectName: "updateSpinner"
        visible: status.current === this
        anchors.right: parent.right
        anchors.verticalCenter: parent.verticalCenter
    }
    PlainButton {
        id: link
        objectName: "updateLink"
        visible: status.current === this
        anchors.right: parent.right
        anchors.verticalCenter: parent.verticalCenter
        accessibleName: status.prefs.updateText
        onClicked: status.prefs.openChangelog()
        PanelText { size: Theme.bodySize; color: Theme.enabledGreen; text: status.prefs.updateText }
    }
    PlainButton {
        id: failed
        objectName: "updateFailed"
        visible: status.current === this
        anchors.right: parent.right
        anchors.verticalCenter: parent.verticalCenter
        spacing: 4
        accessibleName: status.prefs.updateText
        onClicked: status.prefs.checkForUpdates()
        SymbolIcon {
            anchors.verticalCenter: parent.verticalCenter
            width: 13; height: 11
            name: "exclamationmark.triangle.fill"; color: Theme.errorText
        }
        PanelText {
            size: Theme.noteSize; color: Theme.errorText; text: status.prefs.updateText
            width: Math.min(implicitWidth, 170); elide: Text.ElideRight
        }
        SymbolIcon {
            anchors.verticalCenter: parent.verticalCenter
            width: 10; height: 11
            name: "arrow.clockwise"; color: Theme.errorText
        }
    }
    PlainButton {
        id: check
        objectName: "updateCheck"
        visible: status.current === this
        anchors.right: parent.right
        anchors.verticalCenter: parent.verticalCenter
        spacing: 4
        accessibleName: status.prefs.updateText
        onClicked: status.prefs.checkForUpdates()
        PanelText { size: Theme.bodySize; color: Theme.figureText; text: status.prefs.updateText }
        SymbolIcon {
            anchors.verticalCenter: parent.verticalCenter
            width: 10; height: 11
            name: "arrow.clockwise"; color: Theme.figureText
        }
    }
}
