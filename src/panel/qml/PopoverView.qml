import QtQuick
import Quorlane.Panel
import QtQuick.Layouts

// The whole panel: title bar, the page (server list or preferences), the error strip after a
// failed switch, a confirmation before a foreign definition runs, and the footer.
Rectangle {
    id: root
    readonly property string page: Panel.page

    function showPreferences() { Panel.showPreferences(true) }
    function showMain() { Panel.showMain() }
    onPageChanged: if (page === "preferences") prefsLoader.wanted = true
    Component.onCompleted: if (page === "preferences") prefsLoader.wanted = true

    // Tab and Shift+Tab walk the switches, project headers and buttons; the arrows do the same
    // from row to row.
    function moveFocus(forward) {
        const from = Window.activeFocusItem
        const next = (from ? from : root).nextItemInFocusChain(forward)
        if (next)
            next.forceActiveFocus(forward ? Qt.TabFocusReason : Qt.BacktabFocusReason)
    }
    // Esc: the window decides what closing means.
    Keys.onEscapePressed: Panel.close()
    Keys.onTabPressed: root.moveFocus(true)
    Keys.onBacktabPressed: root.moveFocus(false)
    Keys.onUpPressed: root.moveFocus(false)
    Keys.onDownPressed: root.moveFocus(true)

    width: Theme.panelWidth
    implicitWidth: Theme.panelWidth
    implicitHeight: column.implicitHeight
    color: Theme.background
    radius: 10

    Connections {
        target: Panel
        function onPageChanged() {
            if (Panel.pageAnimated)
                pageFade.restart()
        }
    }

    Column {
        id: column
        width: root.width

        // Title bar.
        Item {
            width: column.width
            height: 14 + title.implicitHeight + 12
            PanelText {
                id: title
                x: 16
                y: 14
                size: Theme.titleSize
                font.bold: true
                color: Theme.emphasis
                text: "Quorlane"
            }
            // What a session outside every project carries per message.
            PanelText {
                id: sessionFigure
                objectName: "sessionTokens"
                visible: root.page !== "preferences" && Panel.listState === "list"
                x: title.x + title.implicitWidth + 8
                anchors.baseline: title.baseline
                size: Theme.noteSize
                color: Panel.sessionTokensHeavy ? Theme.heavy : Theme.figureText
                text: Panel.sessionTokenText + " per message"
                Accessible.role: Accessible.StaticText
                Accessible.name: text
                Accessible.description: Panel.sessionTokenNote
                HoverHandler {
                    onHoveredChanged: {
                        if (hovered)
                            tip.show(Panel.sessionTokenNote, sessionFigure)
                        else
                            tip.hide()
                    }
                }
            }
            ProfileSwitcher {
                visible: root.page !== "preferences"
                anchors.right: parent.right
                anchors.rightMargin: 16
                anchors.verticalCenter: title.verticalCenter
            }
        }
        Rectangle { width: column.width; height: 0.5; color: Theme.hairline }

        ProfileMenuView {
            visible: Panel.profiles.open && root.page !== "preferences"
            width: column.width
        }

        Item {
            id: pageArea
            width: column.width
            implicitHeight: root.page === "preferences" ? prefsLoader.implicitHeight : mainList.implicitHeight
            height: implicitHeight
            NumberAnimation {
                id: pageFade
                target: pageArea
                property: "opacity"
                from: 0
                to: 1
                duration: 150
                easing.type: Easing.InOutQuad
            }
            MainListView {
                id: mainList
                visible: root.page !== "preferences"
                width: pageArea.width
                tipHost: tip
            }
            // Made when first shown, then kept: the panel opens without it, and later visits
            // cost no more than a redraw.
            Loader {
                id: prefsLoader
                property bool wanted: false
                active: wanted
                visible: root.page === "preferences"
                width: pageArea.width
                sourceComponent: PreferencesView {
                    width: pageArea.width
                    visible: prefsLoader.visible
                }
            }
        }

        ConfirmationStrip {
            visible: Panel.confirmationName.length > 0
            width: column.width
        }

        // The error strip, while the last flip failed.
        Rectangle {
            id: errorBanner
            objectName: "errorBanner"
            visible: Panel.toggleError.length > 0
            width: column.width
            height: visible ? errorRow.implicitHeight + 16 : 0
            color: Theme.errorBackground
            RowLayout {
                id: errorRow
                anchors.fill: parent
                anchors.leftMargin: 12
                anchors.rightMargin: 12
                anchors.topMargin: 8
                anchors.bottomMargin: 8
                spacing: 6
                SymbolIcon {
                    implicitWidth: 13
                    implicitHeight: 11
                    name: "exclamationmark.triangle.fill"
                    color: Theme.errorText
                }
                PanelText {
                    objectName: "errorText"
                    Layout.fillWidth: true
                    size: Theme.noteSize
                    color: Theme.errorText
                    text: Panel.toggleError
                    wrapMode: Text.Wrap
                    maximumLineCount: 2
                    elide: Text.ElideRight
                }
                PlainButton {
                    objectName: "dismissError"
                    accessibleName: "Dismiss"
                    implicitWidth: 12
                    implicitHeight: 12
                    onClicked: Panel.dismissError()
                    SymbolIcon {
                        width: 9
                        height: 9
                        y: 1.5
                        x: 1.5
                        name: "xmark"
                        color: Theme.errorText
                    }
                }
            }
        }

        // Footer.
        Item {
            width: column.width
            height: 44
            Rectangle { width: parent.width; height: 0.5; color: Theme.hairline }
            PlainButton {
                objectName: "preferencesButton"
                visible: root.page !== "preferences"
                x: 16
                anchors.verticalCenter: parent.verticalCenter
                accessibleName: "Preferences"
                onClicked: root.showPreferences()
                PanelText { size: Theme.bodySize; color: Theme.quietText; text: "Preferences" }
            }
            PlainButton {
                objectName: "backButton"
                visible: root.page === "preferences"
                x: 16
                anchors.verticalCenter: parent.verticalCenter
                accessibleName: "Back"
                spacing: 3
                onClicked: root.showMain()
                SymbolIcon {
                    anchors.verticalCenter: parent.verticalCenter
                    width: 6
                    height: 9
                    name: "chevron.left"
                    color: Theme.quietText
                }
                PanelText { size: Theme.bodySize; color: Theme.quietText; text: "Back" }
            }
            PlainButton {
                objectName: "quitButton"
                anchors.right: parent.right
                anchors.rightMargin: 16
                anchors.verticalCenter: parent.verticalCenter
                accessibleName: "Quit"
                onClicked: Panel.quit()
                PanelText { size: Theme.bodySize; color: Theme.quietText; text: "Quit" }
            }
        }
    }

    TipOverlay { id: tip }

    // The outline, 0.5 wide, inside the rounded shape.
    Rectangle {
        anchors.fill: parent
        radius: root.radius
        color: "transparent"
        border.width: 0.5
        border.color: Theme.hairline
    }
}
