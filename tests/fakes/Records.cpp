// The records a scripted service hands out and the spelling of a recorded call, shared by the fake service
// and the recording views (which a test may link without the fake service).
#include <cstring>

#include "tests/fakes/FakeNewsSvc.h"

namespace fakes {

NewsHeadline MakeHeadline(const ScriptedHeadline& headline) {
  NewsHeadline record{};
  std::strncpy(record.szDate, headline.date.c_str(), sizeof(record.szDate) - 1);
  std::strncpy(record.szTime, headline.time.c_str(), sizeof(record.szTime) - 1);
  char* const block = static_cast<char*>(::operator new(headline.tag.size() + 1));
  std::memcpy(block, headline.tag.c_str(), headline.tag.size() + 1);
  record.pBlock = block;
  return record;
}

std::string HeadlineTag(const NewsHeadline& record) {
  return record.pBlock ? std::string(static_cast<const char*>(record.pBlock)) : std::string();
}

std::string TakeTags(std::vector<NewsHeadline>& list) {
  std::string tags;
  for (NewsHeadline& record : list) {
    tags += (tags.empty() ? "" : ",") + HeadlineTag(record);
    ::operator delete(record.pBlock);
    record.pBlock = nullptr;
  }
  list.clear();
  return tags;
}

std::string FakeNewsSvc::Format(const std::string& op, const Args& args) {
  std::string call = op + "(";
  for (std::size_t i = 0; i < args.size(); ++i) call += (i ? ";" : "") + args[i];
  return call + ")";
}

}  // namespace fakes
