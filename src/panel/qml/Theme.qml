pragma Singleton
import QtQuick

// The panel's fixed palette. It is always drawn dark, so the platform's named colours become
// fixed values that read the same on the near-black background.
QtObject {
    function grey(g) { return Qt.rgba(g, g, g, 1) }

    readonly property color background: grey(0.07)
    readonly property color hairline: Qt.rgba(1, 1, 1, 0.08)
    readonly property color primary: Qt.rgba(1, 1, 1, 0.85)
    readonly property color secondary: Qt.rgba(1, 1, 1, 0.55)
    // tertiaryLabelColor over the background, made opaque.
    readonly property color tertiary: grey(0.30)
    // controlColor at 40 % for the hovered row.
    readonly property color hover: Qt.rgba(1, 1, 1, 0.10)
    readonly property color enabledGreen: Qt.rgba(0.2, 0.78, 0.35, 1)
    // Figures and the quieter texts beside them.
    readonly property color figure: grey(0.4)
    // A figure over Claude Code's 25,000-token warning.
    readonly property color heavy: Qt.rgba(1.0, 0.72, 0.28, 1)
    readonly property color errorText: Qt.rgba(1.0, 0.45, 0.35, 1)
    readonly property color errorBackground: Qt.rgba(1.0, 0.23, 0.19, 0.10)
    // The keyboard focus: a soft blue that no state colour of the panel uses.
    readonly property color focusRing: Qt.rgba(0.35, 0.58, 1.0, 0.85)
    readonly property string fontFamily: Qt.application.font.family
    readonly property real figureSize: 12
    readonly property real toolSize: 11
    readonly property real titleFigureSize: 11
}
