#include "answers.h"

#include <cctype>
#include <cstdio>

namespace gapimage {
namespace {

[[noreturn]] void input_ended(const cli::Io& io) {
    std::fflush(io.out);
    std::fprintf(io.err, "gapimage: the input ended before every question was answered\n");
    throw DialogueEnded{1};
}

// The next token could not be read as a number: name it (its first 40 characters) and stop.
[[noreturn]] void not_a_number(const cli::Io& io) {
    char token[41] = "";
    if (std::fscanf(io.in, "%40s", token) != 1) input_ended(io);
    std::fflush(io.out);
    std::fprintf(io.err, "gapimage: \"%s\" is not a number\n", token);
    throw DialogueEnded{1};
}

}  // namespace

char ask_char(const cli::Io& io) {
    char c = 0;
    if (std::fscanf(io.in, " %c", &c) != 1) input_ended(io);
    return c;
}

int ask_int(const cli::Io& io) {
    int v = 0;
    const int got = std::fscanf(io.in, "%d", &v);
    if (got == EOF) input_ended(io);
    if (got != 1) not_a_number(io);
    return v;
}

double ask_double(const cli::Io& io) {
    double v = 0;
    const int got = std::fscanf(io.in, "%lf", &v);
    if (got == EOF) input_ended(io);
    if (got != 1) not_a_number(io);
    return v;
}

std::string ask_line(const cli::Io& io) {
    int c = std::getc(io.in);
    while (c != EOF && std::isspace(c)) c = std::getc(io.in);
    if (c == EOF) input_ended(io);
    std::string line;
    for (; c != EOF && c != '\n'; c = std::getc(io.in)) line += char(c);
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.pop_back();
    return line;
}

void ask_point(const cli::Io& io, int* x, int* y) {
    *x = ask_int(io);
    int c = std::getc(io.in);
    while (c != EOF && std::isspace(c)) c = std::getc(io.in);
    if (c != ',' && c != EOF) std::ungetc(c, io.in);
    *y = ask_int(io);
}

}  // namespace gapimage
