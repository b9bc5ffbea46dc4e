#pragma once

#include <QString>

// Names, paths, commands and URLs come from files anyone can write (a cloned repository's
// .mcp.json, a folder name); printed raw, an escape sequence in one could erase lines and draw a
// fake row. Text output passes each of them through here. JSON output escapes on its own.
namespace TerminalText {

// Control characters (C0, DEL, C1) and the invisible reordering marks shown as "\xNN" or
// "\u{NNNN}"; everything else unchanged.
[[nodiscard]] QString printable(const QString &text);

// The same line by line, for a message whose own line breaks must stay.
[[nodiscard]] QString printableLines(const QString &text);

} // namespace TerminalText
