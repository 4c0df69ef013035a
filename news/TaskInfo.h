// TaskInfo: one open total-headline request, under a task ID from 0 to 99.
#pragma once

#include <vector>

#include "libs/newssvc/NewsHeadline.h"
#include "news/RSSNewsObjEvent.h"
#include "port/CString.h"

struct TaskInfo {
  CString strIDs;                         // the ID list the task was opened for
  std::vector<CString> vecIDs;            // the IDs whose answer is still expected
  std::vector<NewsHeadline> vecHeadline;  // collected so far; the task owns their blocks
  IRSSNewsObjEvent* pObj = nullptr;       // the view that gets the result
};
