#include "answers.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace gapimage {
namespace {

[[noreturn]] void input_ended() {
    std::fflush(stdout);
    std::fprintf(stderr, "gapimage: the input ended before every question was answered\n");
    std::exit(1);
}

// The next token could not be read as a number: name it (its first 40 characters) and stop.
[[noreturn]] void not_a_number() {
    char token[41] = "";
    if (std::scanf("%40s", token) != 1) input_ended();
    std::fflush(stdout);
    std::fprintf(stderr, "gapimage: \"%s\" is not a number\n", token);
    std::exit(1);
}

}  // namespace

char ask_char() {
    char c = 0;
    if (std::scanf(" %c", &c) != 1) input_ended();
    return c;
}

int ask_int() {
    int v = 0;
    const int got = std::scanf("%d", &v);
    if (got == EOF) input_ended();
    if (got != 1) not_a_number();
    return v;
}

double ask_double() {
    double v = 0;
    const int got = std::scanf("%lf", &v);
    if (got == EOF) input_ended();
    if (got != 1) not_a_number();
    return v;
}

char* ask_word() {
    int c = std::getchar();
    while (c != EOF && std::isspace(c)) c = std::getchar();
    if (c == EOF) input_ended();
    std::size_t cap = 80, n = 0;
    char* word = new char[cap];
    while (c != EOF && !std::isspace(c)) {
        if (n + 1 == cap) {  // grow: any length of name is accepted
            char* bigger = new char[cap * 2];
            std::memcpy(bigger, word, n);
            delete[] word;
            word = bigger;
            cap *= 2;
        }
        word[n++] = char(c);
        c = std::getchar();
    }
    if (c != EOF) std::ungetc(c, stdin);  // the delimiter stays, as with "%s"
    word[n] = '\0';
    return word;
}

}  // namespace gapimage
