// vxrss.hpp: a C++17 layer over the C interface of vxrss.h, compiled by the host itself, so that no C++
// type crosses the library's boundary: RAII sessions and watches, std::string text, exceptions for
// failures, and views with the module's familiar callbacks.
//
// Threads and text are as vxrss.h says: a view's callbacks run on the module's threads, and text is UTF-8
// unless the session was opened for the ANSI code page.
#ifndef VXRSS_VXRSS_HPP
#define VXRSS_VXRSS_HPP

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "vxrss/vxrss.h"

namespace vxrss {

// A failed call: the C interface's status and the library's text for it.
class Error : public std::runtime_error {
 public:
  Error(vxrss_status status, const std::string& text) : std::runtime_error(text), m_status(status) {}
  vxrss_status status() const { return m_status; }

 private:
  vxrss_status m_status;
};

inline void Check(vxrss_status status) {
  if (status == VXRSS_OK) return;
  const char* text = "";
  vxrss_last_error(&text);
  throw Error(status, text);
}

struct Headline {
  std::string providerId, title, link, symbols, date, time;
  std::int32_t key1 = 0, key2 = 0;
  std::string snippet;  // a search's: the matches between '\x02' and '\x03'
};

inline std::vector<Headline> ToHeadlines(const vxrss_list* list) {
  std::size_t count = 0;
  Check(vxrss_list_count(list, &count));
  std::vector<Headline> headlines;
  headlines.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    vxrss_headline h;
    Check(vxrss_list_item(list, i, &h));
    const char* snippet = "";
    Check(vxrss_list_snippet(list, i, &snippet));
    headlines.push_back({h.provider_id, h.title, h.link, h.symbols, h.date, h.time, h.key1, h.key2, snippet});
  }
  return headlines;
}

// A news view: the host overrides the callbacks it wants. An exception that leaves a callback cannot
// cross the C interface: it is dropped there.
class NewsView {
 public:
  virtual ~NewsView() = default;
  virtual void OnProviderHeadlineChange(const std::string& /*providerId*/, std::int32_t /*date*/) {}
  virtual void OnSymbolHeadlineChange(const std::string& /*providerId*/, const std::string& /*symbolId*/,
                                      std::int32_t /*date*/) {}
  virtual void OnNewsContentArrive(const std::string& /*providerId*/, std::int32_t /*key1*/, std::int32_t /*key2*/,
                                   const std::string& /*content*/) {}
  virtual void OnSymbolNewsContentArrive(const std::string& /*providerId*/, const std::string& /*symbolId*/,
                                         std::int32_t /*key1*/, std::int32_t /*key2*/, const std::string& /*content*/) {
  }
  virtual void OnHeadlineClear(const std::string& /*providerId*/) {}
  virtual void OnTotalHeadline(const std::vector<Headline>& /*headlines*/) {}
  virtual void OnCategoryReady() {}
};

namespace detail {

template <typename Call>
void Safely(Call&& call) noexcept {
  try {
    call();
  } catch (...) {
  }
}

inline NewsView& ViewOf(void* context) { return *static_cast<NewsView*>(context); }

// The C callbacks that hand each call to the view given as the context.
inline const vxrss_callbacks& Bridge() {
  static const vxrss_callbacks callbacks = {
      [](void* c, const char* p, std::int32_t d) { Safely([&] { ViewOf(c).OnProviderHeadlineChange(p, d); }); },
      [](void* c, const char* p, const char* s, std::int32_t d) {
        Safely([&] { ViewOf(c).OnSymbolHeadlineChange(p, s, d); });
      },
      [](void* c, const char* p, std::int32_t k1, std::int32_t k2, const char* t) {
        Safely([&] { ViewOf(c).OnNewsContentArrive(p, k1, k2, t); });
      },
      [](void* c, const char* p, const char* s, std::int32_t k1, std::int32_t k2, const char* t) {
        Safely([&] { ViewOf(c).OnSymbolNewsContentArrive(p, s, k1, k2, t); });
      },
      [](void* c, const char* p) { Safely([&] { ViewOf(c).OnHeadlineClear(p); }); },
      [](void* c, const vxrss_list* l) { Safely([&] { ViewOf(c).OnTotalHeadline(ToHeadlines(l)); }); },
      [](void* c) { Safely([&] { ViewOf(c).OnCategoryReady(); }); },
  };
  return callbacks;
}

struct ListFree {
  void operator()(vxrss_list* list) const { vxrss_list_free(list); }
};
using ListPtr = std::unique_ptr<vxrss_list, ListFree>;

inline std::vector<Headline> TakeList(vxrss_list* list) { return ToHeadlines(ListPtr(list).get()); }

inline std::string TakeText(char* text) {
  const std::unique_ptr<char, vxrss_status (*)(char*)> owned(text, vxrss_text_free);
  return text ? std::string(text) : std::string();
}

}  // namespace detail

// A running watch; ending it (or destroying it) keeps the RemoveNotify guarantee of vxrss_watch_end. A
// watch must end before its session closes.
class Watch {
 public:
  Watch() = default;
  explicit Watch(vxrss_watch* watch) : m_watch(watch) {}
  Watch(Watch&& other) noexcept : m_watch(std::exchange(other.m_watch, nullptr)) {}
  Watch& operator=(Watch&& other) noexcept {
    if (this != &other) {
      End();
      m_watch = std::exchange(other.m_watch, nullptr);
    }
    return *this;
  }
  ~Watch() { End(); }

  void End() noexcept { vxrss_watch_end(std::exchange(m_watch, nullptr)); }
  vxrss_watch* get() const { return m_watch; }

  // A symbol watch's whole list; none for a provider watch, whose list reaches OnTotalHeadline.
  std::optional<std::vector<Headline>> Total() const {
    vxrss_list* list = nullptr;
    Check(vxrss_headlines_total(m_watch, &list));
    if (!list) return std::nullopt;
    return detail::TakeList(list);
  }

 private:
  vxrss_watch* m_watch = nullptr;
};

class Session {
 public:
  explicit Session(const vxrss_open_options& options) { Check(vxrss_open(&options, &m_session)); }
  Session(Session&& other) noexcept : m_session(std::exchange(other.m_session, nullptr)) {}
  Session& operator=(Session&&) = delete;
  ~Session() { vxrss_close(m_session); }

  static std::string Version() {
    const char* version = "";
    Check(vxrss_version(&version));
    return version;
  }

  vxrss_session* get() const { return m_session; }
  void SetServerTime(std::int32_t value1, std::int32_t value2) {
    Check(vxrss_set_server_time(m_session, value1, value2));
  }

  // The view must outlive the watch.
  Watch WatchProviders(NewsView& view) {
    vxrss_watch* watch = nullptr;
    Check(vxrss_watch_providers(m_session, &detail::Bridge(), &view, &watch));
    return Watch(watch);
  }
  Watch WatchSymbols(NewsView& view, const std::string& symbolIds, std::int32_t date = 0) {
    vxrss_watch* watch = nullptr;
    Check(vxrss_watch_symbols(m_session, symbolIds.c_str(), date, &detail::Bridge(), &view, &watch));
    return Watch(watch);
  }

  std::vector<Headline> Search(const std::string& words, const std::string& providerIds = "",
                               const std::string& symbolId = "", std::int32_t fromDate = 0, std::int32_t toDate = 0,
                               std::int32_t maxItems = 0) {
    vxrss_list* list = nullptr;
    Check(vxrss_search(m_session, words.c_str(), providerIds.c_str(), symbolId.c_str(), fromDate, toDate, maxItems,
                       &list));
    return detail::TakeList(list);
  }
  std::vector<Headline> HeadlinesByProvider(const std::string& providerIds, std::int32_t date = 0) {
    vxrss_list* list = nullptr;
    Check(vxrss_headlines_by_provider(m_session, providerIds.c_str(), date, &list));
    return detail::TakeList(list);
  }
  std::vector<Headline> HeadlinesBySymbol(const std::string& providerIds, const std::string& symbolIds,
                                          std::int32_t date = 0) {
    vxrss_list* list = nullptr;
    Check(vxrss_headlines_by_symbol(m_session, providerIds.c_str(), symbolIds.c_str(), date, &list));
    return detail::TakeList(list);
  }

  std::string Content(const Headline& item, const std::string& symbolId = std::string()) {
    char* text = nullptr;
    Check(vxrss_news_content(m_session, item.providerId.c_str(), symbolId.c_str(), item.key1, item.key2, &text));
    return detail::TakeText(text);
  }
  std::string Url(const Headline& item, const std::string& symbolId = std::string()) {
    char* text = nullptr;
    Check(vxrss_news_url(m_session, item.providerId.c_str(), symbolId.c_str(), item.key1, item.key2, &text));
    return detail::TakeText(text);
  }

  bool CategoriesReady() {
    int ready = 0;
    Check(vxrss_categories_ready(m_session, &ready));
    return ready != 0;
  }
  std::string ProviderName(const std::string& providerId) {
    char* text = nullptr;
    Check(vxrss_provider_name(m_session, providerId.c_str(), &text));
    return detail::TakeText(text);
  }
  std::string Selection() {
    char* text = nullptr;
    Check(vxrss_selection_get(m_session, &text));
    return detail::TakeText(text);
  }
  void SetSelection(const std::string& providerIds) { Check(vxrss_selection_set(m_session, providerIds.c_str())); }

  // The saved selection on OK; none when the user cancels. Throws Error elsewhere (VXRSS_E_UNSUPPORTED
  // outside Windows).
  std::optional<std::string> SettingsDialog(void* parentWindow = nullptr) {
    char* text = nullptr;
    const vxrss_status status = vxrss_settings_dialog(m_session, parentWindow, &text);
    if (status == VXRSS_E_CANCELLED) return std::nullopt;
    Check(status);
    return detail::TakeText(text);
  }

 private:
  vxrss_session* m_session = nullptr;
};

}  // namespace vxrss

#endif  // VXRSS_VXRSS_HPP
