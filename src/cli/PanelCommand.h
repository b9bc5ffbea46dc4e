#pragma once

// `quorlane panel --screenshot FILE [--page main|preferences] [--wait-probes] [--scale N]`:
// renders the real panel over the user's configuration offscreen and writes a PNG. Creates its
// own QGuiApplication, so main() calls it before any other application object exists.
int runPanelCommand(int argc, char **argv);
