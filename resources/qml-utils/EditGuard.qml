pragma Singleton
import QtQuick 2.15

// Every control that edits the device asks here first. While the device is locked or in
// hardware mode the edit is refused and the application view shows why.
QtObject {
    signal refused(string message)

    readonly property bool readOnly: wdx.readOnlyMessage !== ""

    function canEdit() {
        if (wdx.readOnlyMessage === "")
            return true
        refused(wdx.readOnlyMessage)
        return false
    }
}
