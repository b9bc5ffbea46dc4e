import QtQuick
import Quorlane.Panel

// A hairline across the page with 10 above and below.
Item {
    width: parent ? parent.width : 288
    implicitHeight: 20.5
    Rectangle { y: 10; width: parent.width; height: 0.5; color: Theme.hairline }
}
