// FeedState: what the service remembers about fetching one feed over HTTP, kept apart from its items so it
// can be saved and restored as one small record.
#pragma once

#include <cstdint>
#include <string>

namespace newssvc {

struct FeedState {
  std::string url;              // the URL polled: the configured one, or where a permanent redirect led
  std::string etag;             // validators of the last good copy, sent back as If-None-Match ...
  std::string lastModified;     // ... and If-Modified-Since
  std::int64_t nextPollMs = 0;  // wall clock (milliseconds since 1970) of the next fetch; 0: at once
  std::string lastError;        // why the feed last failed; empty while it is fine
  int failures = 0;             // failures in a row, the exponent of the back-off
  bool gone = false;            // the publisher answered 410 Gone: never polled again
};

}  // namespace newssvc
