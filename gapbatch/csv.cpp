#include "csv.h"

namespace gapbatch {

bool read_record(std::FILE* in, std::vector<std::string>* fields, bool* quote_open) {
    fields->clear();
    *quote_open = false;
    std::string field;
    bool quoted = false, any = false;
    for (;;) {
        const int c = std::fgetc(in);
        if (c == EOF) {
            if (quoted) *quote_open = true;
            if (!any) return false;
            fields->push_back(field);
            return true;
        }
        any = true;
        if (quoted) {
            if (c != '"') {
                field += char(c);
                continue;
            }
            const int next = std::fgetc(in);
            if (next == '"') {
                field += '"';
                continue;
            }
            quoted = false;
            if (next == EOF) continue;
            std::ungetc(next, in);
            continue;
        }
        if (c == '"' && field.empty()) {
            quoted = true;
        } else if (c == ',') {
            fields->push_back(field);
            field.clear();
        } else if (c == '\n') {
            fields->push_back(field);
            return true;
        } else if (c != '\r') {
            field += char(c);
        }
    }
}

}  // namespace gapbatch
