// NewsChange: one headline change waiting for the worker's next delivery pass.
#pragma once

#include "port/CString.h"

struct NewsChange {
  CString strID;     // the provider ID the service reported
  CString strSubID;  // the symbol ID, empty for a provider change
  long lDate = 0;    // the reported date, unchanged

  // Byte-for-byte equal texts and the same date.
  friend bool operator==(const NewsChange& a, const NewsChange& b) {
    return a.strID == b.strID && a.strSubID == b.strSubID && a.lDate == b.lDate;
  }
};
