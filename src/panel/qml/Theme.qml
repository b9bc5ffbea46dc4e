pragma Singleton
import QtQuick

// The panel's fixed palette and metrics. It is always drawn dark, so the platform's named colours
// become fixed values that read the same on the near-black background.
QtObject {
    function grey(g) { return Qt.rgba(g, g, g, 1) }

    // The panel's width; its height follows its content.
    readonly property int panelWidth: 320

    // Text sizes in device-independent pixels, smallest first.
    readonly property real captionSize: 9   // section headers
    readonly property real smallSize: 10    // counts and hints under a name
    readonly property real noteSize: 11     // notes, errors, subtitles
    readonly property real bodySize: 12     // names, buttons, values
    readonly property real titleSize: 13    // the title bar, preference names
    readonly property real headingSize: 14  // project names

    readonly property color background: grey(0.07)
    readonly property color hairline: Qt.rgba(1, 1, 1, 0.08)
    readonly property color primary: Qt.rgba(1, 1, 1, 0.85)
    readonly property color secondary: Qt.rgba(1, 1, 1, 0.55)
    // tertiaryLabelColor over the background, made opaque.
    readonly property color tertiary: grey(0.30)
    // controlColor at 40 % for the hovered row.
    readonly property color hover: Qt.rgba(1, 1, 1, 0.10)
    readonly property color emphasis: "white"
    // Opaque greys, brightest first: from text that must be read to surfaces behind it.
    readonly property color strongNote: grey(0.75)    // what a confirmation asks
    readonly property color switchKnobOff: grey(0.6)
    readonly property color note: grey(0.5)
    readonly property color quietText: grey(0.45)     // buttons, labels, subtitles
    readonly property color figureText: grey(0.4)     // counts, token figures, their icons
    readonly property color sectionText: grey(0.35)   // section headers, text selection
    readonly property color switchTrackOff: grey(0.2)
    readonly property color tipBackground: grey(0.18)
    readonly property color field: grey(0.16)         // a text field
    readonly property color raised: grey(0.11)        // strips and menus above the list
    readonly property color switchTrackOn: Qt.rgba(0.17, 0.26, 0.18, 1)
    readonly property color switchKnobOn: Qt.rgba(0.47, 0.86, 0.54, 1)
    readonly property color enabledGreen: Qt.rgba(0.2, 0.78, 0.35, 1)
    // A figure over Claude Code's 25,000-token warning.
    readonly property color heavy: Qt.rgba(1.0, 0.72, 0.28, 1)
    readonly property color errorText: Qt.rgba(1.0, 0.45, 0.35, 1)
    readonly property color errorBackground: Qt.rgba(1.0, 0.23, 0.19, 0.10)
    // The keyboard focus: a soft blue that no state colour of the panel uses.
    readonly property color focusRing: Qt.rgba(0.35, 0.58, 1.0, 0.85)
    readonly property string fontFamily: Qt.application.font.family
}
