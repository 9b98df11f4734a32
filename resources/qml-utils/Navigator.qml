pragma Singleton
import QtQuick 2.15

// Requests to the root's page stack, so a screen deep in the scene can open a page without
// knowing where the stack is. Page paths are relative to the resources' root, for example
// "Views/Settings/PinView.qml".
QtObject {
    signal pushRequested(url page, var properties)
    signal popRequested()
    // Pops every page but the application view and reports the main screen again.
    signal backToMainRequested()
    // Shows the whole tutorial over the scene.
    signal tutorialRequested()

    function push(path, properties) { pushRequested(Qt.resolvedUrl("../" + path), properties || {}) }
    function pop() { popRequested() }
    function backToMain() { backToMainRequested() }
    function showTutorial() { tutorialRequested() }
}
