#include "news/PendingChangeIndex.h"

#include <functional>

std::size_t CPendingChangeIndex::Hash::operator()(const NewsChange& change) const {
  const std::hash<CString> text;
  std::size_t hash = text(change.strID);
  hash = hash * 31 + text(change.strSubID);
  return hash * 31 + std::hash<long>()(change.lDate);
}
