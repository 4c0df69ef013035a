// The C interface's headline lists and news content.
#include "capi/CApiInternal.h"
#include "module/ModuleStrings.h"

using vxrss_capi::Fail;
using vxrss_capi::Guarded;
using vxrss_capi::InText;

namespace {

vxrss_status ReturnList(const char* function, bool answered, std::vector<NewsHeadline>& headlines,
                        vxrss_text_encoding encoding, vxrss_list** list, bool snippets = false) {
  std::unique_ptr<vxrss_list> built = vxrss_capi::ListFromHeadlines(headlines, encoding, snippets);
  if (!answered) return Fail(VXRSS_E_FAILED, std::string(function) + ": the service did not answer for every ID");
  *list = built.release();
  return VXRSS_OK;
}

// The content of an item as the manager answers it.
vxrss_status FetchContent(const char* function, vxrss_session* session, const char* provider_id, const char* symbol_id,
                          int32_t key1, int32_t key2, CString& content) {
  CString provider, symbol;
  if (!session || !InText(provider_id, session->encoding, provider) || !InText(symbol_id, session->encoding, symbol))
    return Fail(VXRSS_E_ARGUMENT, std::string(function) + ": no session, or an ID not valid in its encoding");
  const int code = symbol.IsEmpty() ? session->mgr.GetNewsContent(provider, key1, key2, content)
                                    : session->mgr.GetSymbolNewsContent(provider, symbol, key1, key2, content);
  switch (code) {
    case 1:
      return VXRSS_OK;
    case 2:
      return Fail(VXRSS_E_NOT_FOUND, std::string(function) + ": the service does not know the item");
    case 3:
      return Fail(VXRSS_E_PENDING, std::string(function) + ": the item's content is not there yet");
    default:
      return Fail(VXRSS_E_FAILED, std::string(function) + ": no answer (the provider is not in the selection?)");
  }
}

// The target of the first "<a href='...'" link of the text; empty when there is none.
CString FirstLinkTarget(const CString& text) {
  const int opener = text.Find(VXRSS::LinkOpener());
  if (opener < 0) return CString();
  const CString rest = text.Mid(opener + VXRSS::LinkOpener().GetLength());
  const int closer = rest.Find(VXRSS::LinkCloser());
  return closer < 0 ? CString() : rest.Left(closer);
}

// What vxrss_news_content and vxrss_news_url share: the out argument checked and cleared, the item's content
// fetched, made into what the host gets by `pick` (which may fail), and handed over in the session's encoding.
template <typename Pick>
vxrss_status HostContent(const char* function, const char* outName, vxrss_session* session, const char* provider_id,
                         const char* symbol_id, int32_t key1, int32_t key2, char** out, Pick&& pick) {
  return Guarded(function, [&] {
    if (!out) return Fail(VXRSS_E_ARGUMENT, std::string(function) + ": " + outName + " is null");
    *out = nullptr;
    CString text;
    vxrss_status status = FetchContent(function, session, provider_id, symbol_id, key1, key2, text);
    if (status == VXRSS_OK) status = pick(text);
    if (status == VXRSS_OK) *out = vxrss_capi::NewHostText(vxrss_capi::OutText(text, session->encoding).Take());
    return status;
  });
}

}  // namespace

extern "C" {

vxrss_status VXRSS_CALL vxrss_headlines_by_provider(vxrss_session* session, const char* provider_ids, int32_t date,
                                                    vxrss_list** list) {
  return Guarded("vxrss_headlines_by_provider", [&] {
    CString ids;
    if (!session || !list || !InText(provider_ids, session->encoding, ids))
      return Fail(VXRSS_E_ARGUMENT, "vxrss_headlines_by_provider: a null argument, or IDs not valid text");
    *list = nullptr;
    std::vector<NewsHeadline> headlines;
    const bool answered = session->mgr.PullProviderNewsHeadline_Date(ids, date, headlines);
    return ReturnList("vxrss_headlines_by_provider", answered, headlines, session->encoding, list);
  });
}

vxrss_status VXRSS_CALL vxrss_headlines_by_symbol(vxrss_session* session, const char* provider_ids,
                                                  const char* symbol_ids, int32_t date, vxrss_list** list) {
  return Guarded("vxrss_headlines_by_symbol", [&] {
    CString providers, symbols;
    if (!session || !list || !InText(provider_ids, session->encoding, providers) ||
        !InText(symbol_ids, session->encoding, symbols))
      return Fail(VXRSS_E_ARGUMENT, "vxrss_headlines_by_symbol: a null argument, or IDs not valid text");
    *list = nullptr;
    std::vector<NewsHeadline> headlines;
    const bool answered = session->mgr.PullSymbolNewsHeadline_Date(providers, symbols, date, headlines);
    return ReturnList("vxrss_headlines_by_symbol", answered, headlines, session->encoding, list);
  });
}

vxrss_status VXRSS_CALL vxrss_search(vxrss_session* session, const char* words, const char* provider_ids,
                                     const char* symbol_id, int32_t from_date, int32_t to_date, int32_t max_items,
                                     vxrss_list** list) {
  return Guarded("vxrss_search", [&] {
    CString text, providers, symbol;
    if (!session || !list || !InText(words, session->encoding, text) ||
        !InText(provider_ids, session->encoding, providers) || !InText(symbol_id, session->encoding, symbol))
      return Fail(VXRSS_E_ARGUMENT, "vxrss_search: a null argument, or text not valid in the session's encoding");
    *list = nullptr;
    std::vector<NewsHeadline> headlines;
    const bool answered =
        session->mgr.SearchNewsHeadline(text, providers, symbol, from_date, to_date, max_items, headlines);
    return ReturnList("vxrss_search", answered, headlines, session->encoding, list, true);
  });
}

vxrss_status VXRSS_CALL vxrss_news_content(vxrss_session* session, const char* provider_id, const char* symbol_id,
                                           int32_t key1, int32_t key2, char** content) {
  return HostContent("vxrss_news_content", "content", session, provider_id, symbol_id, key1, key2, content,
                     [](CString&) { return VXRSS_OK; });
}

vxrss_status VXRSS_CALL vxrss_news_url(vxrss_session* session, const char* provider_id, const char* symbol_id,
                                       int32_t key1, int32_t key2, char** url) {
  return HostContent("vxrss_news_url", "url", session, provider_id, symbol_id, key1, key2, url, [](CString& text) {
    text = FirstLinkTarget(text);
    return text.IsEmpty() ? Fail(VXRSS_E_NOT_FOUND, "vxrss_news_url: the item's content has no link") : VXRSS_OK;
  });
}

}  // extern "C"
