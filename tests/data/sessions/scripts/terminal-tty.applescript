tell application "Terminal"
    set didRun to false
    repeat with w in windows
        repeat with t in tabs of w
            try
                if tty of t is "/dev/ttys003" then
                    do script "cd \"/Users/a/app\" && claude --resume 0b7c1a2e-1111-2222-3333-444455556666" in t
                    set didRun to true
                end if
            end try
        end repeat
    end repeat
    if not didRun then do script "cd \"/Users/a/app\" && claude --resume 0b7c1a2e-1111-2222-3333-444455556666"
end tell