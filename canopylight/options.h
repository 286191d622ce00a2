// canopylight: the command line and the help text.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "light/light.h"

namespace canopylight {

struct Options {
    light::Settings settings;  // the light unit's defaults unless an option says otherwise
    double longitude_deg = 0;  // names the site; solar time makes the model independent of it
    bool csv = false;          // one CSV row with its header instead of the result block
    bool par = false;          // PAR lines or columns as well
    bool help = false;
    bool version = false;
    std::string gap_file;  // "-": standard input
};

// Parses the arguments after the program name: "--name value" or "--name=value" for every
// option with a value, in any order around the one gap-fraction file. --help (-h) or --version
// anywhere asks for that alone. On failure returns false with a one-line reason (no program
// name, no line feed) in *error.
bool parse_options(const std::vector<std::string>& args, Options* opt, std::string* error);

void write_help(std::FILE* out);

}  // namespace canopylight
