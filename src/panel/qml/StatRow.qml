import QtQuick
import Quorlane.Panel
import QtQuick.Layouts

// "Estimated ........ 12.3K tokens".
RowLayout {
    property string label
    property string value
    width: parent ? parent.width : 288
    PanelText { size: Theme.bodySize; color: Theme.quietText; text: parent.label }
    Item { Layout.fillWidth: true }
    PanelText { size: Theme.bodySize; color: Theme.emphasis; text: parent.value }
}
