// IRSSNewsObjEvent: the callback interface of the host's news views. The manager uses no result.
#pragma once

#include <vector>

#include "libs/newssvc/NewsHeadline.h"
#include "port/CString.h"

class IRSSNewsObjEvent {
 public:
  virtual void OnProviderHeadlineChange(const CString& strProviderID, long lDate) = 0;
  virtual void OnSymbolHeadlineChange(const CString& strProviderID, const CString& strSymbolID, long lDate) = 0;
  virtual void OnNewsContentArrive(const CString& strProviderID, long lKey1, long lKey2, const CString& strContent) = 0;
  virtual void OnSymbolNewsContentArrive(const CString& strProviderID, const CString& strSymbolID, long lKey1,
                                         long lKey2, const CString& strContent) = 0;
  virtual void OnHeadlineClear(const CString& strProviderID) = 0;
  // The full list of a total-headline request; the view takes over the records' blocks.
  virtual void OnTotalHeadline(std::vector<NewsHeadline>& vecHeadline) = 0;
  virtual void OnCategoryReady() = 0;

 protected:
  ~IRSSNewsObjEvent() = default;
};
