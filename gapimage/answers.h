// Answers typed at gapimage's prompts, read from standard input token by token.
//
// Every function skips blanks and line ends first. At the end of the input, or when a number
// is asked and the next token is not one, it writes one line on standard error and ends the
// program with status 1: an interactive program must not ask forever.
#pragma once

namespace gapimage {

// One non-blank character; the rest of its token stays in the input ("yes" leaves "es").
char ask_char();
int ask_int();
double ask_double();
// One whitespace-delimited word of any length, owned by the caller (release with delete[]).
char* ask_word();

}  // namespace gapimage
