// IRssSubject: how a view registers with the news manager.
#pragma once

#include "module/VxRssExport.h"
#include "news/RSSNewsObjEvent.h"
#include "port/CString.h"

class VXRSS_API IRssSubject {
 public:
  // Book the news of one symbol for one date.
  virtual bool AddNotify(IRSSNewsObjEvent* pObj, const CString& strIDs, long lDate) = 0;
  // Book provider news and ask for the full headline list of every provider.
  virtual bool AddNotify(IRSSNewsObjEvent* pObj) = 0;
  // Take the view out of the registry; strIDs is not used.
  virtual bool RemoveNotify(IRSSNewsObjEvent* pObj, const CString& strIDs) = 0;
  virtual ~IRssSubject() = default;
};
