import QtQuick

// Stands in for the panel's root view in builds without the panel module: the same surface
// (height, page, the calls the shell makes and the quit request), drawn as a plain rounded box.
Rectangle {
    id: root
    property string page: "main"
    signal quitRequested()
    function showPreferences() { page = "preferences" }
    function showMain() { page = "main" }
    function panelShown() {}

    implicitWidth: 320
    implicitHeight: page === "preferences" ? 260 : 180
    color: Qt.rgba(0.07, 0.07, 0.07, 1)
    radius: 10
    border.color: Qt.rgba(1, 1, 1, 0.08)
    border.width: 0.5
    Text {
        anchors.centerIn: parent
        color: "white"
        text: "Quorlane"
    }
}
