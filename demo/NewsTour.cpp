#include "demo/NewsTour.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>
#include <memory>
#include <thread>
#include <vector>

#include "demo/Console.h"
#include "demo/FeedWebServer.h"
#include "demo/HeadlineView.h"
#include "demo/LiveFeed.h"
#include "demo/Workspace.h"
#include "libs/newssvc/WTRSSNewsSvc.h"
#include "libs/newssvc/query/HeadlineRecord.h"
#include "news/RssNewsMgr.h"
#include "port/CodePage.h"
#include "port/Path.h"

namespace demo {

namespace {

using Clock = std::chrono::steady_clock;

// The news service reads the feeds every half second in the demo (its session's poll interval).
const char kPollMilliseconds[] = "500";
const char* const kSymbols[] = {"2330", "2317"};
// The week before the sample feeds' own news (data/History): found in the news service's archive only.
const long kEarlierDays[] = {20261127, 20261128, 20261129, 20261130, 20261201, 20261202, 20261203};
constexpr int kShownHeadlines = 8;
// A two-character word of the archived week, which only the archive's index finds inside runs of Chinese.
const char kSearchWord[] = "營收";
constexpr auto kLiveItemEvery = std::chrono::seconds(3);

void Heading(const std::string& title) { PrintLine("\n== " + title + " =="); }

// The category groups as the news service lists them, through a session of its own.
void PrintCategoryGroups(const CString& configRoot) {
  Heading("類別 category groups");
  IWTRSSNewsSvc* service = QMGetWTRSSNewsSvc("", "", port::JoinPath(configRoot, "Config"));
  if (!service) {
    PrintLine("(the news service cannot read its configuration)");
    return;
  }
  for (int i = 0; i < service->GetCategoryCount(); ++i) {
    IRSSNewsCategory* group = service->GetCategory(i);
    if (!group) continue;
    std::string line = Utf8(group->GetName()) + ":";
    for (int item = 0; item < group->GetItemCount(); ++item)
      line += "  " + Utf8(group->GetItemID(item)) + " " + Utf8(group->GetItemName(item));
    PrintLine(line);
    group->Release();
  }
  QMReleaseWTRSSNewsSvc(&service);
}

void PrintList(std::vector<NewsHeadline>& list) {
  if (list.empty()) PrintLine("(none)");
  for (std::size_t i = 0; i < list.size() && i < static_cast<std::size_t>(kShownHeadlines); ++i)
    PrintLine(FormatHeadline(list[i]));
}

// The link the service puts in front of the content: <a href='URL'>.
std::string UrlOf(const CString& content) {
  const std::string text = content.str();
  const std::size_t start = text.find("<a href='");
  if (start == std::string::npos) return std::string();
  const std::size_t end = text.find('\'', start + 9);
  return end == std::string::npos ? std::string() : text.substr(start + 9, end - start - 9);
}

// The newest headline of the selection, and then its content.
void PrintHeadlinesAndNewestContent(CRssNewsMgr& manager) {
  Heading("頭條 headlines of the selection, newest first");
  std::vector<NewsHeadline> list;
  manager.PullProviderNewsHeadline_Date(manager.GetProviderIDs(), 0, list);
  SortNewestFirst(list);
  PrintList(list);
  if (!list.empty()) {
    Heading("內容 content of the newest item");
    const NewsHeadline& newest = list.front();
    CString content;
    if (manager.GetNewsContent(newest.szProviderID, newest.lKey1, newest.lKey2, content) == 1) {
      PrintLine("URL: " + Utf8(CString(UrlOf(content))));
      PrintLine(Utf8(content));
    } else {
      PrintLine("(no content)");
    }
  }
  FreeBlocks(list);
}

// An item whose publisher wrote markup into its title and description (data/Config/feeds/industry.xml): a
// script, event handlers, a frame, an object, a form, a refresh, a javascript: link and references. The
// headline shows its text; the content keeps only what an HTML view may show, the item's link first.
void PrintMarkedUpItem(CRssNewsMgr& manager) {
  Heading("標記 an item whose feed wrote scripts and frames into its title and description");
  const std::string url = "https://news.example.tw/ind-1205-03";
  std::vector<NewsHeadline> list;
  manager.PullProviderNewsHeadline_Date("TWIND", 20261205, list);
  bool shown = false;
  for (const NewsHeadline& headline : list) {
    CString content;
    if (shown || manager.GetNewsContent(headline.szProviderID, headline.lKey1, headline.lKey2, content) != 1 ||
        UrlOf(content) != url)
      continue;
    PrintLine(FormatHeadline(headline));
    PrintLine(Utf8(content));
    shown = true;
  }
  if (!shown) PrintLine("(not in the selection)");
  FreeBlocks(list);
}

void PrintSymbolNews(CRssNewsMgr& manager) {
  for (const char* symbol : kSymbols) {
    Heading(std::string("個股新聞 news of ") + symbol);
    std::vector<NewsHeadline> list;
    manager.PullSymbolNewsHeadline_Date("", symbol, 0, list);
    SortNewestFirst(list);
    PrintList(list);
    FreeBlocks(list);
  }
}

// The symbol's news of the earlier days, which no feed lists any more: the archive answers by date.
void PrintSymbolHistory(CRssNewsMgr& manager, const char* symbol) {
  Heading(std::string("歷史 news of ") + symbol + " from earlier days (the archive)");
  std::vector<NewsHeadline> list;
  for (const long date : kEarlierDays) {
    std::vector<NewsHeadline> day;
    manager.PullSymbolNewsHeadline_Date(manager.GetProviderIDs(), symbol, date, day);
    list.insert(list.end(), day.begin(), day.end());
  }
  SortNewestFirst(list);
  PrintList(list);
  FreeBlocks(list);
}

// A search of the archive, every provider, newest first, each item with its snippet: the matches the
// service marks with 0x02 and 0x03 are shown in 【】.
void PrintSearch(CRssNewsMgr& manager, const std::string& words, long from, long to) {
  std::vector<NewsHeadline> list;
  if (!manager.SearchNewsHeadline(port::Big5FromUtf8(words), "", "", from, to, kShownHeadlines, list))
    PrintLine("(the archive cannot be searched now)");
  if (list.empty()) PrintLine("(none)");
  for (const NewsHeadline& record : list) {
    std::string snippet = Utf8(newssvc::BlockSnippet(record));
    for (std::size_t at = 0; (at = snippet.find_first_of("\x02\x03", at)) != std::string::npos;)
      snippet.replace(at, 1, snippet[at] == '\x02' ? "【" : "】");
    PrintLine(FormatHeadline(record));
    PrintLine("    " + snippet);
  }
  FreeBlocks(list);
}

// Fetches run in the background: the tour waits (a few seconds at most) until the selection has news.
void WaitForFirstFetch(CRssNewsMgr& manager) {
  const Clock::time_point end = Clock::now() + std::chrono::seconds(5);
  for (;;) {
    std::vector<NewsHeadline> list;
    manager.PullProviderNewsHeadline_Date(manager.GetProviderIDs(), 0, list);
    const bool any = !list.empty();
    FreeBlocks(list);
    if (any || Clock::now() >= end) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

void PrintWebCounts(const FeedWebServer& web) {
  const WebCounts counts = web.Counts();
  PrintLine("web server: " + std::to_string(counts.full) + " x 200 (feed sent), " + std::to_string(counts.notModified) +
            " x 304 Not Modified, " + std::to_string(counts.other) + " other");
}

// The last exchanges of the news service's own log, where --web has it write every one.
void PrintServiceLog(std::size_t lines) {
  const std::string path = port::JoinPath(port::JoinPath(port::ExecutableFolder(), "LOG"), "VX_RSSNewsSvc.log").str();
  std::ifstream in(path);
  std::vector<std::string> tail;
  for (std::string line; std::getline(in, line);) {
    tail.push_back(line);
    if (tail.size() > lines) tail.erase(tail.begin());
  }
  Heading("新聞服務日誌 the news service's log (" + path + "), last lines");
  for (const std::string& line : tail) PrintLine(line);
}

// Adds an item to the bundled feed every few seconds until the time is up; the views print what the
// worker delivers meanwhile. The titles of the items added, in UTF-8.
std::vector<std::string> GoLive(const Workspace& workspace, int seconds, const FeedWebServer* web) {
  std::vector<std::string> published;
  Heading("即時 live for " + std::to_string(seconds) + " seconds");
  std::unique_ptr<LiveFeed> feed;
  if (!workspace.LiveFeedPath().empty()) feed = std::make_unique<LiveFeed>(workspace.LiveFeedPath());
  const Clock::time_point end = Clock::now() + std::chrono::seconds(seconds);
  Clock::time_point nextItem = Clock::now() + std::chrono::seconds(1);
  while (Clock::now() < end) {
    if (feed && Clock::now() >= nextItem) {
      std::string title;
      const bool added = feed->AddItem(title);
      PrintLine(added ? "publisher adds: " + title : "publisher cannot write the feed");
      if (added) published.push_back(title);
      if (web) PrintWebCounts(*web);
      nextItem += kLiveItemEvery;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return published;
}

}  // namespace

int RunNewsTour(const DemoOptions& options) {
  Workspace workspace;
  std::string error;
  if (!workspace.Prepare(options, error)) {
    PrintLine(error);
    return 1;
  }
  FeedWebServer web;
  if (options.web) {
    if (!web.Start(workspace.FeedsFolder()) || !workspace.ReadFeedsFrom(web.BaseUrl())) {
      PrintLine("the demo cannot serve the feeds over HTTP in this build");
      return 1;
    }
    Heading("網路 the feeds come from a web server at " + web.BaseUrl());
  }
  const CString configRoot(workspace.ConfigRoot());
  PrintCategoryGroups(configRoot);

  CRssNewsMgr manager;
  // Session values of the news service: feeds folder (the Config folder), poll interval, user name.
  if (!manager.Init("", "", configRoot, kPollMilliseconds, "vxrss-demo", "", true, CString(workspace.UserRoot()))) {
    PrintLine("the news manager cannot start: is " + workspace.ConfigRoot() + "/Config/RSSNewsSvc.xml there?");
    return 1;
  }
  HeadlineView providerView(manager, "headlines");
  HeadlineView symbolViews[] = {{manager, kSymbols[0]}, {manager, kSymbols[1]}};
  // The service reads the feeds with its first poll, on its own thread; the full list the view asks for is
  // answered after that poll.
  if (manager.AddNotify(&providerView) && !manager.GetProviderIDs().IsEmpty() &&
      !providerView.WaitForTotalHeadline(std::chrono::seconds(30)))
    PrintLine("(the news service has not answered the selection's headlines)");
  if (options.web) WaitForFirstFetch(manager);
  if (workspace.LoadsHistory()) {
    // The service read the week of earlier news with its first poll and archived it; the feed now lists
    // only its latest items, as a publisher's feed does.
    const bool restored = workspace.RestoreLiveFeed();
    PrintLine(restored ? "\n(first run: a week of earlier news went into the archive; the feed lists only its latest "
                         "items again)"
                       : "\n(the working feed cannot be put back)");
  }
  if (!options.search.empty()) {
    Heading("搜尋 search of the archive: " + options.search);
    PrintSearch(manager, options.search, 0, 0);
    manager.RemoveNotify(&providerView, "");
    manager.Finit();
    return 0;
  }
  Heading("已選 selection (the settings file's provider IDs)");
  PrintLine(Utf8(manager.GetProviderIDs()));

  for (std::size_t i = 0; i < 2; ++i) manager.AddNotify(&symbolViews[i], kSymbols[i], 0);

  PrintHeadlinesAndNewestContent(manager);
  PrintMarkedUpItem(manager);
  PrintSymbolNews(manager);
  PrintSymbolHistory(manager, kSymbols[0]);
  Heading(std::string("搜尋 search of the archived week for ") + kSearchWord);
  PrintSearch(manager, kSearchWord, kEarlierDays[0], kEarlierDays[std::size(kEarlierDays) - 1]);
  const std::vector<std::string> published = GoLive(workspace, options.seconds, options.web ? &web : nullptr);

  manager.RemoveNotify(&providerView, "");
  for (HeadlineView& view : symbolViews) manager.RemoveNotify(&view, "");
  manager.Finit();

  // The first poll's news reached the view too: only the publisher's items count as live updates.
  const auto updates = std::count_if(published.begin(), published.end(),
                                     [&](const std::string& title) { return providerView.Delivered(title); });
  if (options.web) {
    PrintServiceLog(8);
    PrintWebCounts(web);
  }
  PrintLine("\n" + std::to_string(updates) + " live update(s) delivered by the worker" +
            (options.web ? ", fetched over HTTP" : ""));
  return options.UsesBundledFeeds() && updates == 0 ? 1 : 0;
}

}  // namespace demo
