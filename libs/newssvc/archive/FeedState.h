// FeedState: what the service remembers about one feed between polls and across restarts, so that the
// first poll after a restart can be conditional and a permanent redirect is not followed again.
#pragma once

#include <string>

#include "libs/newssvc/FeedDate.h"

namespace newssvc {

struct FeedState {
  std::string etag;          // the validator the source gave last (HTTP ETag; a file's size)
  std::string lastModified;  // HTTP Last-Modified as sent; a file's modification time
  std::string url;           // where the feed lives after permanent redirects; empty: as configured
  UtcSeconds nextPoll = 0;   // not before this instant; 0: at the next poll
  std::string lastError;     // empty when the last read succeeded

  bool operator==(const FeedState& other) const {
    return etag == other.etag && lastModified == other.lastModified && url == other.url && nextPoll == other.nextPoll &&
           lastError == other.lastError;
  }
  bool operator!=(const FeedState& other) const { return !(*this == other); }
};

}  // namespace newssvc
