#include "demo/LiveFeed.h"

#include <chrono>
#include <fstream>
#include <sstream>

#include "port/CodePage.h"
#include "port/FileMove.h"

namespace demo {

namespace {

struct SampleNews {
  const char* title;
  const char* symbol;
};

const SampleNews kSamples[] = {
    {"快訊：台積電盤中創新高 外資加碼", "2330"}, {"快訊：鴻海宣布擴大電動車布局", "2317"},
    {"快訊：加權指數盤中漲逾百點", ""},          {"快訊：台積電美國新廠進度超前", "2330"},
    {"快訊：鴻海與輝達合作AI工廠", "2317"},
};

// Reads the whole file and closes it again: Windows does not replace a file that is still open.
bool ReadWhole(const std::string& path, std::string& bytes) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  bytes = buffer.str();
  return static_cast<bool>(in);
}

}  // namespace

LiveFeed::LiveFeed(std::string path)
    : m_path(std::move(path)),
      m_llRun(std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
                  .count()) {}

bool LiveFeed::AddItem(std::string& titleUtf8) {
  std::string feed;
  if (!ReadWhole(m_path, feed)) return false;
  const std::size_t firstItem = feed.find("<item>");
  if (firstItem == std::string::npos) return false;

  const SampleNews& sample = kSamples[m_nAdded % (sizeof kSamples / sizeof kSamples[0])];
  // The run's start in the identity: an item of an earlier run is in the archive already and would not be
  // news again.
  const std::string guid = "twstk-live-" + std::to_string(m_llRun) + "-" + std::to_string(++m_nAdded);
  titleUtf8 = sample.title;
  std::string item = "<item>\n<guid isPermaLink=\"false\">" + guid + "</guid>\n<title>" + titleUtf8 +
                     "</title>\n<link>https://news.example.tw/" + guid + "</link>\n<description>" + titleUtf8 +
                     "</description>\n";
  if (*sample.symbol) item += std::string("<category domain=\"symbol\">") + sample.symbol + "</category>\n";
  item += "</item>\n";
  std::string big5;
  if (!port::EncodeFromUtf8(item, "big5", big5)) return false;
  feed.insert(firstItem, big5);

  const std::string temporary = m_path + ".new";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << feed;
    if (!out) return false;
  }
  return port::MoveFileOver(CString(temporary), CString(m_path));
}

}  // namespace demo
