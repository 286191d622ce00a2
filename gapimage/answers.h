// Answers typed at gapimage's prompts, read from the dialogue's input token by token.
//
// Every function skips blanks and line ends first. At the end of the input, or when a number
// is asked and the next token is not one, it writes one line on the error stream and ends the
// dialogue with status 1 by throwing DialogueEnded: an interactive program must not ask forever.
#pragma once

#include <string>

#include "cli/cli.h"

namespace gapimage {

// The dialogue cannot go on; its message is written. run_gapimage catches it and ends.
struct DialogueEnded {
    int status;
};

// One non-blank character; the rest of its token stays in the input ("yes" leaves "es").
char ask_char(const cli::Io& io);
int ask_int(const cli::Io& io);
double ask_double(const cli::Io& io);
// The rest of a line of any length: blank lines and blanks before it are skipped, blanks and a
// carriage return after it dropped ("  my photo.bmp \r\n" gives "my photo.bmp").
std::string ask_line(const cli::Io& io);
// A point as "x y" or "x,y" (blanks around the comma allowed).
void ask_point(const cli::Io& io, int* x, int* y);

}  // namespace gapimage
