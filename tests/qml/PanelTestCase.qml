import QtQuick 2.15
import QtTest 1.2

// A test case for control panels: finds the panel's controls by name and clicks them as a
// user would, a moment after the previous click (back-to-back synthetic clicks within one
// event-loop turn sometimes lose the second), and picks drop-down entries by their text.
TestCase {
    id: testCase

    // The panel under test.
    property Item panel: null

    width: 320
    height: 1800
    visible: true
    when: windowShown

    // What each test needs before it makes its panel.
    function prepare() {
    }

    // Any warning (a failed binding, a type error in a handler) fails the test.
    function init() {
        failOnWarning(/./)
        prepare()
    }

    function item(name) {
        const found = findChild(panel, name)
        verify(found !== null, "no item named " + name)
        return found
    }

    function clickItem(target, x, y) {
        verify(target.visible, target.objectName + " is hidden")
        wait(20)
        mouseClick(target, x, y)
    }

    function click(name) {
        clickItem(item(name))
    }

    // Opens the drop-down unless it is open and clicks the entry whose text is `label`.
    function choose(dropDown, label) {
        if (!item(dropDown).open)
            click(dropDown + "Button")
        const last = dropDown + "Entry" + (item(dropDown).model.length - 1)
        tryVerify(() => findChild(panel, last) !== null, 10000, dropDown + " does not show all its entries")
        for (let i = 0; ; ++i) {
            const entry = findChild(panel, dropDown + "Entry" + i)
            verify(entry !== null, "no entry \"" + label + "\" in " + dropDown)
            if (entry.text === label) {
                clickItem(entry)
                return
            }
        }
    }

    // The panel goes before what it is bound to.
    function cleanup() {
        if (panel)
            panel.destroy()
        panel = null
        wait(0)
    }
}
