tell application "iTerm2"
    tell current window
        tell current session of current tab
            write text "cd \"/Users/a/app\" && claude --resume 0b7c1a2e-1111-2222-3333-444455556666"
        end tell
    end tell
end tell