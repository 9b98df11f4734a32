.pragma library

// Firmware package files as the file dialog hands them over (URLs) and as the firmware
// updater opens them (local or resource paths).

// The part of the file name after its last dot, or "" without one.
function extension(url) {
    var path = String(url).split(/[?#]/)[0]
    var name = path.substring(path.lastIndexOf("/") + 1)
    var dot = name.lastIndexOf(".")
    return dot > 0 ? name.substring(dot + 1) : ""
}

// Only firmware packages: the extension "rvf", in any letter case (Windows keeps the case a
// file was given).
function isPackage(url) {
    return extension(url).toLowerCase() === "rvf"
}

// "file:///C:/fw.rvf" -> "C:/fw.rvf", "file:///home/a/fw.rvf" -> "/home/a/fw.rvf",
// "qrc:/FirmwareUpdate/x.rvf" -> ":/FirmwareUpdate/x.rvf"; anything else is taken as a path.
function localPath(url) {
    var text = String(url)
    if (text.indexOf("file://") === 0) {
        var path = decodeURIComponent(text.substring(7))
        return /^\/[A-Za-z]:/.test(path) ? path.substring(1) : path
    }
    if (text.indexOf("qrc:") === 0)
        return ":" + decodeURIComponent(text.substring(4))
    return text
}

// The file name without its folders, for display.
function fileName(url) {
    var path = localPath(url)
    return path.substring(Math.max(path.lastIndexOf("/"), path.lastIndexOf("\\")) + 1)
}

// The package the updater was last given by the firmware page. The updater ignores the name
// it already has (and reports nothing), so the page must know it across its visits; shared by
// every document of the engine that imports this library.
var given = ":/FirmwareUpdate/WDX_firmware.rvf"
function givenPath() { return given }
function setGivenPath(path) { given = path }
