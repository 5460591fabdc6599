// The terminal's text against the machine's code page. The machine's names are Windows-1252;
// the terminal speaks its locale's encoding (LC_ALL, LC_CTYPE or LANG, read with
// setlocale(LC_ALL, "")). The C and POSIX locales are taken as UTF-8, which is what the
// terminals and the scripting languages that run without a locale send.
#pragma once

#include <optional>
#include <string>

#include "commands.h"

namespace winhost {

// The words of the command line in code page 1252; nothing when one holds a character the
// code page lacks (or is not text of the terminal's encoding), named in `fault`.
std::optional<Args> ArgumentsFromTerminal(char** first, char** last, std::string& fault);

// From here on, what the program writes to standard output and standard error (code page
// 1252) reaches the terminal in its encoding; a character the terminal lacks shows as "?".
void PrintInTerminalEncoding();

}  // namespace winhost
