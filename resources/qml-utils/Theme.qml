pragma Singleton
import QtQuick 2.15

// Colours and type sizes of the whole scene. Sizes are design units: multiply by
// devicePixelRatio where they are used.
QtObject {
    readonly property color backgroundTop: "#26536b"
    readonly property color backgroundBottom: "#223e4c"
    readonly property color panel: "#1b3340"
    readonly property color panelRaised: "#234556"
    readonly property color line: "#3d6478"
    readonly property color text: "#ffffff"
    readonly property color textDim: "#a9c1cd"
    readonly property color accent: "#4fc3f7"
    readonly property color accentDim: "#2a7fa6"
    readonly property color warning: "#ffb74d"
    readonly property color danger: "#ef5350"
    readonly property color meterLow: "#66bb6a"
    readonly property color meterMid: "#ffca28"
    readonly property color meterHigh: "#ef5350"
    readonly property color compression: "#ff8a65"

    readonly property real fontSmall: 11
    readonly property real fontNormal: 13
    readonly property real fontLarge: 16
    readonly property real fontTitle: 20

    readonly property real margin: 12
    readonly property real spacing: 8
    readonly property real radius: 6
    readonly property real buttonHeight: 32

    // Scales the length of every slide and fade: 1 unless the scene's tests, which wait for
    // each one, shorten them through the context property "animationScale".
    readonly property real motion: typeof animationScale === "number" ? animationScale : 1
}
