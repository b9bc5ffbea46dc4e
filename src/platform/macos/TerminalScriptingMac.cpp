#include "platform/TerminalScripting.h"

namespace TerminalScripting {

QString osascriptProgram()
{
    return QStringLiteral("/usr/bin/osascript");
}

} // namespace TerminalScripting
