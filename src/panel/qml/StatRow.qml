import QtQuick
import Quorlane.Panel
import QtQuick.Layouts

// "Estimated ........ 12.3K tokens".
RowLayout {
    property string label
    property string value
    width: parent ? parent.width : 288
    PanelText { size: 12; color: Theme.grey(0.45); text: parent.label }
    Item { Layout.fillWidth: true }
    PanelText { size: 12; color: "white"; text: parent.value }
}
