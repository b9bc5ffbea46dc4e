import QtQuick
import QtTest
import Quorlane.Panel
import PanelTest

// The panel's components as the user meets them: switches, sections, the error strip, the
// pages and the preferences' savings and update items. Runs over the demo home.
Item {
    id: world
    width: 320
    height: 700

    Component { id: rowComponent; MCPRowView { width: 320 } }
    Component { id: popoverComponent; PopoverView {} }

    TestCase {
        name: "Switches"
        when: windowShown

        function test_click_data() {
            return [
                { tag: "enabled: asks for the negation", isLocked: false, busy: false, requests: [false] },
                { tag: "locked: deaf", isLocked: true, busy: false, requests: [] },
                { tag: "applying: deaf until done", isLocked: false, busy: true, requests: [] },
            ]
        }
        function test_click(data) {
            const row = createTemporaryObject(rowComponent, world,
                { mcpName: "github", isEnabled: true, isLocked: data.isLocked, busy: data.busy })
            const requests = []
            row.toggled.connect(value => requests.push(value))
            const toggle = findChild(row, "switch")
            mouseClick(toggle)
            compare(requests, data.requests)
            // The switch moves only when its input changes, never by itself.
            compare(toggle.checked, true)
            row.isEnabled = false
            compare(toggle.checked, false)
        }
    }

    TestCase {
        name: "Rows"
        when: windowShown

        // A click on the row asks for its tools, a click on its switch does not. How an expanded
        // row lists them is in the screenshot of every row state.
        function test_expand() {
            const row = createTemporaryObject(rowComponent, world,
                { mcpName: "playwright", tools: [{ name: "browser_snapshot", tokenText: "~2.4k" },
                                                 { name: "browser_click", tokenText: "~610" }] })
            let asked = 0
            row.expandToggled.connect(() => asked++)
            mouseClick(row, 40, row.height / 2)
            compare(asked, 1)
            mouseClick(findChild(row, "switch"))
            compare(asked, 1)
            row.isExpanded = true
            // From the keyboard: left hides what is shown, right shows only what is hidden.
            const toggle = findChild(row, "switch")
            toggle.forceActiveFocus()
            keyClick(Qt.Key_Right)
            compare(asked, 1)
            keyClick(Qt.Key_Left)
            compare(asked, 2)
        }
    }

    TestCase {
        name: "Panel"
        when: windowShown
        property var panel: null

        function init() {
            Scenario.resetPage()
            panel = createTemporaryObject(popoverComponent, world)
            Panel.panelShown()
            tryCompare(Panel, "listState", "list", 10000)
            tryCompare(Panel, "probesRunning", false, 10000)
            waitForRendering(panel)
        }

        function test_collapse_and_expand() {
            const header = findChild(panel, "projectHeader")
            const chevron = findChild(header, "chevron")
            const section = header.parent
            compare(chevron.name, "chevron.up")
            mouseClick(header, 40, 10)
            compare(section.isExpanded, false)
            compare(chevron.name, "chevron.down")
            tryCompare(section, "height", header.height)
            mouseClick(header, 250, 10)
            compare(chevron.name, "chevron.up")
            tryVerify(() => section.height > header.height + 40)
        }

        function test_error_strip_and_dismiss() {
            const banner = findChild(panel, "errorBanner")
            verify(!banner.visible)
            Scenario.removeFromDisk("playwright")
            Panel.toggleGlobal(4, false)
            tryCompare(banner, "visible", true, 10000)
            mouseClick(findChild(banner, "dismissError"))
            compare(banner.visible, false)
        }

        // Saved from the title bar, marked while the servers match it, applied back in one click.
        function test_profiles() {
            const switcher = findChild(panel, "profileSwitcher")
            const menu = findChild(panel, "profileMenu")
            compare(findChild(switcher, "profileLabel").text, "Profiles")
            mouseClick(switcher)
            verify(menu.visible)
            mouseClick(findChild(menu, "saveCurrentAs"))
            const name = findChild(menu, "profileName")
            verify(!findChild(menu, "saveProfile").enabled)
            name.text = "Morning"
            mouseClick(findChild(menu, "saveProfile"))
            tryCompare(Panel.profiles, "label", "Morning", 10000)
            verify(!menu.visible)

            Panel.toggleGlobal(0, false)
            tryCompare(Panel.profiles, "label", "Profiles", 10000)
            mouseClick(switcher)
            // A profile line is a control of its own: focused, Space applies it.
            const item = findChild(menu, "profileItem")
            verify(item.activeFocusOnTab)
            item.forceActiveFocus()
            keyClick(Qt.Key_Space)
            verify(Panel.profiles.applying)
            tryCompare(Panel.profiles, "applying", false, 10000)
            compare(Panel.profiles.label, "Morning")
            compare(Panel.toggleError, "")
        }

        function test_navigation() {
            compare(panel.page, "main")
            verify(findChild(panel, "preferencesButton").visible)
            mouseClick(findChild(panel, "preferencesButton"))
            compare(panel.page, "preferences")
            verify(findChild(panel, "backButton").visible)
            verify(!findChild(panel, "preferencesButton").visible)
            mouseClick(findChild(panel, "backButton"))
            compare(panel.page, "main")
            // A request from outside the panel (the tray's menu, a second start) opens it too.
            Scenario.requestPreferences()
            tryCompare(panel, "page", "preferences")
        }

        // The two states are in the preferences screenshots; the button leads from one to the other.
        function test_savings_refresh_button() {
            panel.showPreferences()
            tryVerify(() => findChild(panel, "refreshSavings") !== null)
            verify(!findChild(panel, "savingsFigures").visible)
            mouseClick(findChild(panel, "refreshSavings"))
            tryCompare(findChild(panel, "savingsFigures"), "visible", true, 10000)
        }

        // What each answer of the feed shows is in the preferences screenshots; a failure is
        // also a button that checks again.
        function test_failed_update_check_retries_on_click() {
            panel.showPreferences()
            tryVerify(() => findChild(panel, "updateCheck") !== null)
            const current = () => ["updateCheck", "updateLink", "updateFailed", "updateSpinner"]
                .map(name => findChild(panel, name)).find(item => item.visible)
            tryVerify(() => current().objectName !== "updateSpinner", 10000)
            Scenario.answerFeed(500, "")
            Panel.preferences.checkForUpdates()
            tryCompare(Panel.preferences, "updateText", "Could not check for updates.", 10000)
            compare(current().objectName, "updateFailed")
            Scenario.answerFeed(200, '{"version":"1.0.0"}')
            mouseClick(current())
            tryCompare(Panel.preferences, "updateText", "Up to date", 10000)
            compare(current().objectName, "updateCheck")
        }
    }
}
