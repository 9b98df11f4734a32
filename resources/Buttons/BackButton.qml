import QtQuick 2.15

IconButton {
    source: "../images/ui/back.svg"
    text: "Back"
}
