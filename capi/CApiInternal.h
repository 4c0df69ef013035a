// What the C interface's functions share: the objects behind its handles, text at the boundary, and the
// wrapper that turns every C++ failure into a status and a thread's error text.
#pragma once

#include <cstddef>
#include <exception>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "news/RssNewsMgr.h"
#include "port/CString.h"
#include "vxrss/vxrss.h"

namespace vxrss_capi {

// Text from the module to the host: the module's bytes themselves when they need no conversion (ANSI
// sessions, and ASCII, which most IDs are), otherwise the UTF-8 form.
class OutText {
 public:
  // Inline: every callback of a watch makes one or more.
  OutText(const CString& text, vxrss_text_encoding encoding) : m_pText(text.GetString()) {
    if (encoding == VXRSS_TEXT_ANSI) return;
    for (const char* p = m_pText; *p; ++p) {
      if (static_cast<unsigned char>(*p) < 0x80) continue;
      Convert(text);
      return;
    }
  }
  OutText(const OutText&) = delete;
  OutText& operator=(const OutText&) = delete;
  const char* c_str() const { return m_pText; }
  std::string Take() && { return m_pText == m_converted.c_str() ? std::move(m_converted) : std::string(m_pText); }

 private:
  void Convert(const CString& text);

  std::string m_converted;
  const char* m_pText;
};

// Text from the host to the module; false for text that is not valid UTF-8 in a UTF-8 session. Null is "".
bool InText(const char* text, vxrss_text_encoding encoding, CString& out);
// A folder path from the host, in the form the module's file calls read.
bool InPath(const char* path, vxrss_text_encoding encoding, CString& out);

// A text the host frees with vxrss_text_free.
char* NewHostText(const std::string& text);

// Records `text` as the calling thread's last error and returns `status`.
vxrss_status Fail(vxrss_status status, const std::string& text);

// Runs `body`, which returns a status, and turns what it throws into a status with an error text.
template <typename Body>
vxrss_status Guarded(const char* function, Body&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return Fail(VXRSS_E_NO_MEMORY, std::string(function) + ": out of memory");
  } catch (const std::exception& e) {
    return Fail(VXRSS_E_INTERNAL, std::string(function) + ": " + e.what());
  } catch (...) {
    return Fail(VXRSS_E_INTERNAL, std::string(function) + ": unexpected failure");
  }
}

// The callbacks of the watches running on the calling thread, innermost first; a watch ended inside one
// of its own callbacks is freed when the outermost of them returns.
bool InCallbackOf(const vxrss_watch* watch);
bool InCallbackOfSession(const vxrss_session* session);

}  // namespace vxrss_capi

struct vxrss_session {
  CRssNewsMgr mgr;
  vxrss_text_encoding encoding = VXRSS_TEXT_UTF8;
  CString userRoot;
  std::mutex mtxWatches;
  std::set<vxrss_watch*> watches;  // owned: each freed by vxrss_watch_end or vxrss_close
};

// One watch: a view of the manager that hands every call on to the host's C callbacks.
struct vxrss_watch final : IRSSNewsObjEvent {
  vxrss_watch(vxrss_session& s, bool bProviders, const vxrss_callbacks& c, void* ctx)
      : session(s), providers(bProviders), callbacks(c), context(ctx) {}

  void OnProviderHeadlineChange(const CString& strProviderID, long lDate) override;
  void OnSymbolHeadlineChange(const CString& strProviderID, const CString& strSymbolID, long lDate) override;
  void OnNewsContentArrive(const CString& strProviderID, long lKey1, long lKey2, const CString& strContent) override;
  void OnSymbolNewsContentArrive(const CString& strProviderID, const CString& strSymbolID, long lKey1, long lKey2,
                                 const CString& strContent) override;
  void OnHeadlineClear(const CString& strProviderID) override;
  void OnTotalHeadline(std::vector<NewsHeadline>& vecHeadline) override;
  void OnCategoryReady() override;

  vxrss_session& session;
  const bool providers;  // a watch of the selection's providers, not of symbols
  const vxrss_callbacks callbacks;
  void* const context;
  bool ended = false;  // ended inside its own callback; written and read on that callback's thread only
};

struct vxrss_list {
  struct Texts {
    std::string providerID, title, link, symbols, date, time, snippet;
  };
  std::vector<Texts> texts;
  std::vector<vxrss_headline> items;
};

namespace vxrss_capi {
// A list of the host's text form made from records whose blocks it frees; `snippets`: the records come from
// a search, whose blocks hold a snippet after the link.
std::unique_ptr<vxrss_list> ListFromHeadlines(std::vector<NewsHeadline>& vecHeadline, vxrss_text_encoding encoding,
                                              bool snippets = false);
}  // namespace vxrss_capi
