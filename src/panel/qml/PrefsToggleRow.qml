import QtQuick
import Quorlane.Panel
import QtQuick.Layouts

// A titled setting with a switch; the title shrinks to 85 % before it is cut.
Item {
    id: row
    property string title
    property string subtitle
    property bool isOn: false
    signal toggled(bool value)

    implicitHeight: layout.implicitHeight + 16
    width: parent ? parent.width : 288

    RowLayout {
        id: layout
        anchors.fill: parent
        anchors.topMargin: 8
        anchors.bottomMargin: 8
        spacing: 10
        Column {
            Layout.fillWidth: true
            Layout.minimumWidth: 0
            spacing: 2
            PanelText {
                width: parent.width
                height: 16
                size: Theme.titleSize
                color: Theme.emphasis
                text: row.title
                fontSizeMode: Text.HorizontalFit
                minimumPixelSize: 11
                elide: Text.ElideRight
            }
            PanelText {
                width: parent.width
                height: 12
                visible: row.subtitle.length > 0
                size: Theme.smallSize
                color: Theme.quietText
                text: row.subtitle
                fontSizeMode: Text.HorizontalFit
                minimumPixelSize: 8
                elide: Text.ElideRight
            }
        }
        QuorlaneToggleStyle {
            objectName: "switch"
            checked: row.isOn
            accessibleName: row.title
            accessibleDescription: row.subtitle
            onToggled: value => row.toggled(value)
        }
    }
}
