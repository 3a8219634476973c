#pragma once
// The fixed text of the help dialog: the mouse actions on a program's name
// first, then the notes on downloading, the box, the network, the scroll bar
// and the name tags, each after a line of dashes. GBK, lines joined by CR LF.

#include "support/Text.h"

namespace box {

Text HelpText();

// The dialog's prompt above the text, and its title.
Text HelpPrompt();
Text HelpTitle();

}  // namespace box
