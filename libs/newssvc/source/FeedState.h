// FeedState: what the service remembers about reading one feed, kept apart from its items so that it can
// be saved in the archive and restored as one small record: the first poll after a restart is then
// conditional, a permanent redirect is not followed again and a gone feed stays unpolled.
#pragma once

#include <cstdint>
#include <string>

namespace newssvc {

struct FeedState {
  std::string source;           // the configured source this state belongs to
  std::string url;              // the URL polled: the configured one, or where a permanent redirect led
  std::string etag;             // validators of the last good copy, sent back as If-None-Match (a file: its size)
  std::string lastModified;     // ... and If-Modified-Since (a file: its modification time)
  std::int64_t nextPollMs = 0;  // wall clock (milliseconds since 1970) of the next fetch; 0: at once
  std::string lastError;        // why the feed last failed; empty while it is fine
  int failures = 0;             // failures in a row, the exponent of the back-off
  bool gone = false;            // the publisher answered 410 Gone: never polled again

  // Equal but for the schedule: a state that differs only in its next poll is not worth a write.
  bool SameButSchedule(const FeedState& other) const {
    return source == other.source && url == other.url && etag == other.etag && lastModified == other.lastModified &&
           lastError == other.lastError && failures == other.failures && gone == other.gone;
  }
  bool operator==(const FeedState& other) const { return SameButSchedule(other) && nextPollMs == other.nextPollMs; }
  bool operator!=(const FeedState& other) const { return !(*this == other); }
};

}  // namespace newssvc
