tell application "System Events"
    tell process "Code"
        set frontmost to true
        repeat 30 times
            if frontmost then exit repeat
            delay 0.1
        end repeat
        if not frontmost then return "code-not-frontmost"
        keystroke "p" using {command down, shift down}
        delay 0.3
        keystroke "Terminal: Focus Terminal"
        key code 36
        delay 0.3
        keystroke "cd \"/Users/a/app\" && claude --resume 0b7c1a2e-1111-2222-3333-444455556666"
        key code 36
        return "typed"
    end tell
end tell