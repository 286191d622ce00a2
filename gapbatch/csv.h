// gapbatch: reading CSV records, as the summary and the manifest write them.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace gapbatch {

// The fields of one CSV record: comma-separated, a field in double quotes may hold commas, line
// ends and doubled quotes; a carriage return before a line end is dropped. False at the end of
// the input; *QUOTE_OPEN when the input ends inside quotes.
bool read_record(std::FILE* in, std::vector<std::string>* fields, bool* quote_open);

}  // namespace gapbatch
