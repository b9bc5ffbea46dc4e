tell application "iTerm2"
    set didRun to false
    repeat with w in windows
        repeat with t in tabs of w
            repeat with s in sessions of t
                try
                    if tty of s is "/dev/ttys003" then
                        tell s to write text "cd \"/Users/a/app\" && claude --resume 0b7c1a2e-1111-2222-3333-444455556666"
                        set didRun to true
                    end if
                end try
            end repeat
        end repeat
    end repeat
    if not didRun then
        tell current window to tell current session of current tab to write text "cd \"/Users/a/app\" && claude --resume 0b7c1a2e-1111-2222-3333-444455556666"
    end if
end tell