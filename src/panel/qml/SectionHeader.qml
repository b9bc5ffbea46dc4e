import QtQuick
import Quorlane.Panel

// A preferences heading: small grey capitals with 7 below and `topInset` above.
Item {
    property alias text: label.text
    property real topInset: 0
    property real extraBelow: 0
    width: parent ? parent.width : 288
    implicitHeight: topInset + label.implicitHeight + 7 + extraBelow
    PanelText {
        id: label
        y: parent.topInset
        size: Theme.captionSize
        font.weight: Font.DemiBold
        color: Theme.sectionText
    }
}
