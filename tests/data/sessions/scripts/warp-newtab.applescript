tell application "Warp" to activate
tell application "System Events"
    tell process "Warp"
        set frontmost to true
        repeat 30 times
            if frontmost then exit repeat
            delay 0.1
        end repeat
        if not frontmost then return "warp-not-frontmost"
        delay 0.3
        keystroke "t" using {command down}
        delay 0.7
        keystroke "cd \"/Users/a/app\"" & return
        delay 0.4
        keystroke "claude --resume 0b7c1a2e-1111-2222-3333-444455556666" & return
        return "typed"
    end tell
end tell