// The C interface's watches: a view of the manager per watch, handing each call on to the host's callbacks.
#include "capi/CApiInternal.h"

using vxrss_capi::Fail;
using vxrss_capi::Guarded;
using vxrss_capi::OutText;

namespace vxrss_capi {

namespace {

// One running callback of a watch on this thread; the innermost is t_pInnermost.
struct CallbackFrame {
  const vxrss_watch* watch;
  const CallbackFrame* outer;
};
thread_local const CallbackFrame* t_pInnermost = nullptr;

bool AnyFrame(bool (*matches)(const vxrss_watch&, const void*), const void* what) {
  for (const CallbackFrame* frame = t_pInnermost; frame; frame = frame->outer)
    if (matches(*frame->watch, what)) return true;
  return false;
}

// Runs one callback of `watch` (when the host gave it) and frees the watch afterwards if the host ended it
// inside and no other of its callbacks is running further out on this thread.
template <typename Call>
void Deliver(vxrss_watch* watch, bool given, Call&& call) {
  if (!given) return;
  const CallbackFrame frame{watch, t_pInnermost};
  t_pInnermost = &frame;
  call();
  t_pInnermost = frame.outer;
  if (watch->ended && !InCallbackOf(watch)) delete watch;
}

}  // namespace

bool InCallbackOf(const vxrss_watch* watch) {
  return AnyFrame([](const vxrss_watch& w, const void* what) { return &w == what; }, watch);
}

bool InCallbackOfSession(const vxrss_session* session) {
  return AnyFrame([](const vxrss_watch& w, const void* what) { return &w.session == what; }, session);
}

}  // namespace vxrss_capi

using vxrss_capi::Deliver;

void vxrss_watch::OnProviderHeadlineChange(const CString& strProviderID, long lDate) {
  Deliver(this, callbacks.provider_headline_change, [&] {
    callbacks.provider_headline_change(context, OutText(strProviderID, session.encoding).c_str(),
                                       static_cast<int32_t>(lDate));
  });
}

void vxrss_watch::OnSymbolHeadlineChange(const CString& strProviderID, const CString& strSymbolID, long lDate) {
  Deliver(this, callbacks.symbol_headline_change, [&] {
    callbacks.symbol_headline_change(context, OutText(strProviderID, session.encoding).c_str(),
                                     OutText(strSymbolID, session.encoding).c_str(), static_cast<int32_t>(lDate));
  });
}

void vxrss_watch::OnNewsContentArrive(const CString& strProviderID, long lKey1, long lKey2, const CString& strContent) {
  Deliver(this, callbacks.news_content_arrive, [&] {
    callbacks.news_content_arrive(context, OutText(strProviderID, session.encoding).c_str(),
                                  static_cast<int32_t>(lKey1), static_cast<int32_t>(lKey2),
                                  OutText(strContent, session.encoding).c_str());
  });
}

void vxrss_watch::OnSymbolNewsContentArrive(const CString& strProviderID, const CString& strSymbolID, long lKey1,
                                            long lKey2, const CString& strContent) {
  Deliver(this, callbacks.symbol_news_content_arrive, [&] {
    callbacks.symbol_news_content_arrive(context, OutText(strProviderID, session.encoding).c_str(),
                                         OutText(strSymbolID, session.encoding).c_str(), static_cast<int32_t>(lKey1),
                                         static_cast<int32_t>(lKey2), OutText(strContent, session.encoding).c_str());
  });
}

void vxrss_watch::OnHeadlineClear(const CString& strProviderID) {
  Deliver(this, callbacks.headline_clear,
          [&] { callbacks.headline_clear(context, OutText(strProviderID, session.encoding).c_str()); });
}

void vxrss_watch::OnTotalHeadline(std::vector<NewsHeadline>& vecHeadline) {
  // The records' blocks are the view's to free, whether or not the host listens.
  const std::unique_ptr<vxrss_list> list = vxrss_capi::ListFromHeadlines(vecHeadline, session.encoding);
  Deliver(this, callbacks.total_headline, [&] { callbacks.total_headline(context, list.get()); });
}

void vxrss_watch::OnCategoryReady() {
  Deliver(this, callbacks.category_ready, [&] { callbacks.category_ready(context); });
}

namespace {

// Registers a new watch with `add`; a refused registration is undone, since the manager may keep a view it
// refused (all its total-headline slots taken).
template <typename Add>
vxrss_status StartWatch(const char* function, vxrss_session* session, bool providers, const vxrss_callbacks* callbacks,
                        void* context, vxrss_watch** watch, Add&& add) {
  if (!session || !callbacks || !watch) return Fail(VXRSS_E_ARGUMENT, std::string(function) + ": a null argument");
  *watch = nullptr;
  auto started = std::make_unique<vxrss_watch>(*session, providers, *callbacks, context);
  {
    const std::lock_guard<std::mutex> lock(session->mtxWatches);
    session->watches.insert(started.get());
  }
  if (!add(started.get())) {
    session->mgr.RemoveNotify(started.get(), "");
    const std::lock_guard<std::mutex> lock(session->mtxWatches);
    session->watches.erase(started.get());
    return Fail(VXRSS_E_FAILED, std::string(function) + ": the manager refused the watch");
  }
  *watch = started.release();
  return VXRSS_OK;
}

}  // namespace

extern "C" {

vxrss_status VXRSS_CALL vxrss_watch_providers(vxrss_session* session, const vxrss_callbacks* callbacks, void* context,
                                              vxrss_watch** watch) {
  return Guarded("vxrss_watch_providers", [&] {
    return StartWatch("vxrss_watch_providers", session, true, callbacks, context, watch,
                      [&](vxrss_watch* w) { return session->mgr.AddNotify(w); });
  });
}

vxrss_status VXRSS_CALL vxrss_watch_symbols(vxrss_session* session, const char* symbol_ids, int32_t date,
                                            const vxrss_callbacks* callbacks, void* context, vxrss_watch** watch) {
  return Guarded("vxrss_watch_symbols", [&] {
    CString ids;
    if (!session || !vxrss_capi::InText(symbol_ids, session->encoding, ids) || ids.IsEmpty())
      return Fail(VXRSS_E_ARGUMENT, "vxrss_watch_symbols: no session, or no valid symbol ID");
    return StartWatch("vxrss_watch_symbols", session, false, callbacks, context, watch,
                      [&](vxrss_watch* w) { return session->mgr.AddNotify(w, ids, date); });
  });
}

vxrss_status VXRSS_CALL vxrss_watch_end(vxrss_watch* watch) {
  return Guarded("vxrss_watch_end", [&] {
    if (!watch) return VXRSS_OK;
    vxrss_session& session = watch->session;
    // After RemoveNotify no call of the watch starts, and those on other threads have ended.
    session.mgr.RemoveNotify(watch, "");
    {
      const std::lock_guard<std::mutex> lock(session.mtxWatches);
      session.watches.erase(watch);
    }
    if (vxrss_capi::InCallbackOf(watch))
      watch->ended = true;  // freed when its callback returns
    else
      delete watch;
    return VXRSS_OK;
  });
}

vxrss_status VXRSS_CALL vxrss_headlines_total(vxrss_watch* watch, vxrss_list** list) {
  return Guarded("vxrss_headlines_total", [&] {
    if (!watch || !list) return Fail(VXRSS_E_ARGUMENT, "vxrss_headlines_total: watch or list is null");
    *list = nullptr;
    std::vector<NewsHeadline> headlines;
    const bool answered = watch->session.mgr.GetNewsHeadline(watch, headlines);
    std::unique_ptr<vxrss_list> built = vxrss_capi::ListFromHeadlines(headlines, watch->session.encoding);
    if (!answered) return Fail(VXRSS_E_FAILED, "vxrss_headlines_total: the service did not answer for every ID");
    // A provider watch's list comes through its callback; the call returns none.
    if (!watch->providers) *list = built.release();
    return VXRSS_OK;
  });
}

}  // extern "C"
