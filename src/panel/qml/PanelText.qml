import QtQuick
import Quorlane.Panel

// Text in the platform's UI font at a size in device-independent pixels.
Text {
    property real size: Theme.bodySize
    font.family: Theme.fontFamily
    font.pixelSize: size
    color: Theme.primary
    verticalAlignment: Text.AlignVCenter
    textFormat: Text.PlainText
}
