tell application "Terminal"
    do script "cd \"/Users/a/app\" && claude --resume 0b7c1a2e-1111-2222-3333-444455556666"
end tell