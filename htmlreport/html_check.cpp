#include "html_check.h"

#include <cctype>
#include <cstring>

namespace htmlreport {

namespace {

bool is_void(const std::string& name) {
    for (const char* v : {"area", "base", "br", "col", "embed", "hr", "img", "input", "link",
                          "meta", "source", "track", "wbr"})
        if (name == v) return true;
    return false;
}

bool name_char(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == ':' || c == '_';
}

// A character reference at TEXT[i] ('&'): &name; &#digits; or &#xhex;.
bool reference_at(const std::string& text, std::size_t i) {
    std::size_t j = i + 1;
    if (j < text.size() && text[j] == '#') {
        ++j;
        const bool hex = j < text.size() && (text[j] == 'x' || text[j] == 'X');
        if (hex) ++j;
        const std::size_t start = j;
        while (j < text.size() && (hex ? std::isxdigit(static_cast<unsigned char>(text[j]))
                                       : std::isdigit(static_cast<unsigned char>(text[j]))))
            ++j;
        return j > start && j < text.size() && text[j] == ';';
    }
    const std::size_t start = j;
    while (j < text.size() && std::isalnum(static_cast<unsigned char>(text[j]))) ++j;
    return j > start && j < text.size() && text[j] == ';';
}

}  // namespace

HtmlCheck check_html(const std::string& text) {
    HtmlCheck r;
    std::vector<std::string> open;
    int line = 1;
    auto fail = [&](const std::string& what) {
        r.ok = false;
        r.problem = "line " + std::to_string(line) + ": " + what;
        return r;
    };
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n) {
        const char c = text[i];
        if (c == '\n') ++line;
        if (c == '&') {
            if (!reference_at(text, i)) return fail("a bare '&'");
            ++i;
            continue;
        }
        if (c == '>') return fail("a bare '>' in text");
        if (c != '<') {
            ++i;
            continue;
        }
        if (text.compare(i, 4, "<!--") == 0) {
            const std::size_t end = text.find("-->", i + 4);
            if (end == std::string::npos) return fail("an unclosed comment");
            for (std::size_t k = i; k < end; ++k) line += text[k] == '\n';
            i = end + 3;
            continue;
        }
        if (text.compare(i, 2, "<!") == 0) {  // the doctype
            const std::size_t end = text.find('>', i);
            if (end == std::string::npos) return fail("an unclosed declaration");
            i = end + 1;
            continue;
        }
        const bool closing = i + 1 < n && text[i + 1] == '/';
        std::size_t j = i + (closing ? 2 : 1);
        const std::size_t name_start = j;
        while (j < n && name_char(text[j])) ++j;
        std::string name = text.substr(name_start, j - name_start);
        for (char& ch : name) ch = char(std::tolower(static_cast<unsigned char>(ch)));
        if (name.empty()) return fail("a '<' that starts no tag");
        if (closing) {
            while (j < n && std::isspace(static_cast<unsigned char>(text[j]))) ++j;
            if (j >= n || text[j] != '>') return fail("a malformed end tag </" + name);
            if (open.empty()) return fail("</" + name + "> closes nothing");
            if (open.back() != name)
                return fail("</" + name + "> while <" + open.back() + "> is open");
            open.pop_back();
            i = j + 1;
            continue;
        }
        // Attributes: name="value" or name='value', separated by white space.
        bool self_closing = false;
        for (;;) {
            const std::size_t before = j;
            while (j < n && std::isspace(static_cast<unsigned char>(text[j]))) {
                line += text[j] == '\n';
                ++j;
            }
            if (j >= n) return fail("an unclosed tag <" + name);
            if (text[j] == '>') break;
            if (text.compare(j, 2, "/>") == 0) {
                self_closing = true;
                ++j;
                break;
            }
            if (j == before) return fail("attributes of <" + name + "> not separated");
            const std::size_t a0 = j;
            while (j < n && name_char(text[j])) ++j;
            if (j == a0) return fail("a malformed attribute in <" + name + ">");
            const std::string attr = text.substr(a0, j - a0);
            if (j >= n || text[j] != '=')
                return fail("attribute " + attr + " of <" + name + "> without a value");
            ++j;
            if (j >= n || (text[j] != '"' && text[j] != '\''))
                return fail("attribute " + attr + " of <" + name + "> not quoted");
            const char quote = text[j];
            const std::size_t v0 = j + 1;
            const std::size_t v1 = text.find(quote, v0);
            if (v1 == std::string::npos) return fail("an unclosed attribute value");
            const std::string value = text.substr(v0, v1 - v0);
            if (value.find('<') != std::string::npos)
                return fail("a '<' in attribute " + attr + " of <" + name + ">");
            for (std::size_t k = 0; k < value.size(); ++k)
                if (value[k] == '&' && !reference_at(value, k))
                    return fail("a bare '&' in attribute " + attr + " of <" + name + ">");
            if (attr == "src" || attr == "href") r.references.push_back(value);
            j = v1 + 1;
        }
        ++r.elements;
        i = j + 1;
        if (self_closing || is_void(name)) continue;
        if (name == "script" || name == "style") {  // raw text up to the end tag
            const std::string end_tag = "</" + name;
            const std::size_t end = text.find(end_tag, i);
            if (end == std::string::npos) return fail("an unclosed <" + name + ">");
            for (std::size_t k = i; k < end; ++k) line += text[k] == '\n';
            const std::size_t gt = text.find('>', end);
            if (gt == std::string::npos) return fail("a malformed </" + name);
            i = gt + 1;
            continue;
        }
        open.push_back(name);
    }
    if (!open.empty()) return fail("<" + open.back() + "> is never closed");
    return r;
}

}  // namespace htmlreport
