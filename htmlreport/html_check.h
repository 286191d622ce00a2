// A strict well-formedness check of the pages htmlreport writes, for the tests: every element
// closed in order (the HTML void elements excepted; "/>" closes an element in place), every
// attribute given a quoted value, every '&' a character reference, no '<' in text; script and
// style contents taken as raw text up to their end tag.
#pragma once

#include <string>
#include <vector>

namespace htmlreport {

struct HtmlCheck {
    bool ok = true;
    std::string problem;                  // the first problem, with its line
    std::vector<std::string> references;  // every src and href value, in order
    int elements = 0;
};

HtmlCheck check_html(const std::string& text);

}  // namespace htmlreport
