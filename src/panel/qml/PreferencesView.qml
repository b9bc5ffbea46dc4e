import QtQuick
import Quorlane.Panel
import QtQuick.Layouts

// The second page: GENERAL, TOKEN SAVINGS and VERSION, at most 400 high.
Flickable {
    id: page
    readonly property var prefs: Panel.preferences
    implicitHeight: Math.min(400, content.implicitHeight)
    height: implicitHeight
    contentWidth: width
    contentHeight: content.implicitHeight
    clip: true
    boundsBehavior: Flickable.StopAtBounds

    Component.onCompleted: if (visible) prefs.pageShown()
    onVisibleChanged: if (visible) prefs.pageShown()

    Column {
        id: content
        x: 16
        width: page.width - 32
        topPadding: 12

        SectionHeader { text: "GENERAL"; topInset: 0 }
        PrefsToggleRow {
            objectName: "launchAtLogin"
            title: "Launch at login"
            subtitle: page.prefs.launchAtLoginNote
            isOn: page.prefs.launchAtLogin
            onToggled: value => page.prefs.launchAtLogin = value
        }
        PrefsToggleRow {
            objectName: "autoRelaunch"
            title: "Auto kill & relaunch sessions"
            subtitle: "Automatically restart Claude sessions after toggling"
            isOn: page.prefs.autoRelaunch
            onToggled: value => page.prefs.autoRelaunch = value
        }
        Divider {}

        SectionHeader { text: "TOKEN SAVINGS"; topInset: 9 }
        Item {
            objectName: "savingsEmpty"
            visible: page.prefs.savingsEmpty
            width: content.width
            height: visible ? emptyRow.implicitHeight + 9 : 0
            RowLayout {
                id: emptyRow
                width: parent.width
                spacing: 8
                PanelText {
                    Layout.fillWidth: true
                    Layout.alignment: Qt.AlignTop
                    size: Theme.bodySize
                    color: Theme.quietText
                    wrapMode: Text.Wrap
                    text: "No savings recorded yet. Disable a MCP to start tracking."
                }
                PlainButton {
                    objectName: "refreshSavings"
                    Layout.alignment: Qt.AlignTop
                    accessibleName: "Refresh"
                    implicitWidth: 12
                    implicitHeight: 15
                    onClicked: page.prefs.refreshSavings()
                    SymbolIcon { width: 12; height: 14; name: "arrow.clockwise"; color: Theme.figureText }
                }
            }
        }
        Column {
            objectName: "savingsFigures"
            visible: !page.prefs.savingsEmpty
            width: content.width
            spacing: 4
            StatRow { label: "Estimated"; value: page.prefs.estimatedText }
            StatRow { label: "Cost avoided"; value: page.prefs.costText }
            StatRow { label: "Sessions analyzed"; value: page.prefs.sessionsText }
            PanelText {
                topPadding: 2
                size: Theme.smallSize
                color: Theme.tertiary
                text: "~1.5k tokens/msg avg across real MCPs"
            }
        }
        Divider {}

        SectionHeader { text: "VERSION"; topInset: 12; extraBelow: 8 }
        Item {
            width: content.width
            height: versionRow.implicitHeight + 16 + 8
            RowLayout {
                id: versionRow
                width: parent.width
                PanelText { size: Theme.titleSize; color: Theme.emphasis; text: page.prefs.currentVersion }
                Item { Layout.fillWidth: true }
                UpdateStatusView { prefs: page.prefs }
            }
        }
    }
}
