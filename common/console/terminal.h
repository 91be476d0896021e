// What the programs ask of the terminal their output goes to: its width, and the columns a UTF-8
// text takes on it.
#ifndef COMMON_CONSOLE_TERMINAL_H_
#define COMMON_CONSOLE_TERMINAL_H_

enum TerminalStream { kStandardOutput, kStandardError };

// The columns of the terminal `stream` writes to; 80 where it is none or does not say.
int TerminalColumns(TerminalStream stream);

// The columns `text` (UTF-8, NUL-terminated) takes: 2 for each East Asian wide character
// (U+1100 and up, as Japanese names hold them), 1 for any other character and for each byte of
// a malformed sequence.
int TextColumns(const char* text);

// The end of `text` that fits in `columns` (>= 0): `text` itself where it all fits, else the
// shortest cut of whole characters from its start that leaves at most `columns`.
const char* TailFitting(const char* text, int columns);

#endif  // COMMON_CONSOLE_TERMINAL_H_
