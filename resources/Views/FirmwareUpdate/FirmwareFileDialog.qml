import QtQuick 2.15
import QtQuick.Dialogs 1.3

// Kept in its own document so the dialog module loads only when a file is picked.
FileDialog {
    title: "Choose a firmware package"
    nameFilters: ["WDX firmware packages (*.rvf)"]
    selectExisting: true
    selectMultiple: false
    selectFolder: false
}
