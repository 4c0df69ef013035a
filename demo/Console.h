// Terminal output of the demo: whole lines in UTF-8, from any thread.
#pragma once

#include <string>
#include <vector>

#include "libs/newssvc/NewsHeadline.h"
#include "port/CString.h"

namespace demo {

// Writes one line; lines from different threads never mix.
void PrintLine(const std::string& utf8);
// The module's Big5 text as UTF-8.
std::string Utf8(const CString& big5);
// "2026-12-05 09:30  [TWSTK] title" for a record of the news service (title from its block).
std::string FormatHeadline(const NewsHeadline& record);
// Newest first by the records' date and time.
void SortNewestFirst(std::vector<NewsHeadline>& list);
// Frees the blocks of the records and empties the list.
void FreeBlocks(std::vector<NewsHeadline>& list);

}  // namespace demo
