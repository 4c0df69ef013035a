// The C interface's sessions: open and close, the server time, the categories, the selection and the
// settings dialog.
#include "capi/CApiInternal.h"
#include "libs/vxcommon/VxCommon.h"
#include "libs/vxcommon/Wnd.h"

using vxrss_capi::Fail;
using vxrss_capi::Guarded;
using vxrss_capi::InText;

namespace {

vxrss_status ReturnText(const CString& text, vxrss_text_encoding encoding, char** out) {
  *out = vxrss_capi::NewHostText(vxrss_capi::OutText(text, encoding).Take());
  return VXRSS_OK;
}

}  // namespace

extern "C" {

vxrss_status VXRSS_CALL vxrss_open(const vxrss_open_options* options, vxrss_session** session) {
  return Guarded("vxrss_open", [&] {
    if (!session) return Fail(VXRSS_E_ARGUMENT, "vxrss_open: session is null");
    *session = nullptr;
    if (!options) return Fail(VXRSS_E_ARGUMENT, "vxrss_open: options is null");
    if (options->encoding != VXRSS_TEXT_UTF8 && options->encoding != VXRSS_TEXT_ANSI)
      return Fail(VXRSS_E_ARGUMENT, "vxrss_open: unknown text encoding");
    const vxrss_text_encoding encoding = options->encoding;
    CString args[6], configRoot;
    auto opened = std::make_unique<vxrss_session>();
    const bool valid =
        InText(options->service_arg1, encoding, args[0]) && InText(options->service_arg2, encoding, args[1]) &&
        InText(options->session_arg1, encoding, args[2]) && InText(options->session_arg2, encoding, args[3]) &&
        vxrss_capi::InPath(options->session_arg3, encoding, args[4]) &&
        vxrss_capi::InPath(options->config_root, encoding, configRoot) &&
        vxrss_capi::InPath(options->user_root, encoding, opened->userRoot);
    if (!valid) return Fail(VXRSS_E_ARGUMENT, "vxrss_open: a text is not valid in the session's encoding");
    opened->encoding = encoding;
    if (!opened->mgr.Init(args[0], args[1], configRoot, args[2], args[3], args[4], options->authorized != 0,
                          opened->userRoot))
      return Fail(VXRSS_E_FAILED, "vxrss_open: the news service cannot open a session on " + configRoot.str());
    *session = opened.release();
    return VXRSS_OK;
  });
}

vxrss_status VXRSS_CALL vxrss_close(vxrss_session* session) {
  return Guarded("vxrss_close", [&] {
    if (!session) return VXRSS_OK;
    if (vxrss_capi::InCallbackOfSession(session))
      return Fail(VXRSS_E_IN_CALLBACK, "vxrss_close: called inside a callback of the session");
    std::set<vxrss_watch*> watches;
    {
      const std::lock_guard<std::mutex> lock(session->mtxWatches);
      watches.swap(session->watches);
    }
    for (vxrss_watch* watch : watches) {
      session->mgr.RemoveNotify(watch, "");
      delete watch;
    }
    delete session;  // the manager's destructor stops the worker and closes the service session
    return VXRSS_OK;
  });
}

vxrss_status VXRSS_CALL vxrss_set_server_time(vxrss_session* session, int32_t value1, int32_t value2) {
  return Guarded("vxrss_set_server_time", [&] {
    if (!session) return Fail(VXRSS_E_ARGUMENT, "vxrss_set_server_time: session is null");
    if (!session->mgr.SetServerTime(value1, value2))
      return Fail(VXRSS_E_FAILED, "vxrss_set_server_time: no open session");
    return VXRSS_OK;
  });
}

vxrss_status VXRSS_CALL vxrss_categories_ready(vxrss_session* session, int* ready) {
  return Guarded("vxrss_categories_ready", [&] {
    if (!session || !ready) return Fail(VXRSS_E_ARGUMENT, "vxrss_categories_ready: session or ready is null");
    *ready = session->mgr.IsCategoryReady() ? 1 : 0;
    return VXRSS_OK;
  });
}

vxrss_status VXRSS_CALL vxrss_provider_name(vxrss_session* session, const char* provider_id, char** name) {
  return Guarded("vxrss_provider_name", [&] {
    if (!session || !name) return Fail(VXRSS_E_ARGUMENT, "vxrss_provider_name: session or name is null");
    *name = nullptr;
    CString id, text;
    if (!InText(provider_id, session->encoding, id))
      return Fail(VXRSS_E_ARGUMENT, "vxrss_provider_name: the ID is not valid in the session's encoding");
    if (!session->mgr.GetNewsProviderName(id, text))
      return Fail(VXRSS_E_NOT_FOUND, "vxrss_provider_name: no provider " + id.str() + " in the categories");
    return ReturnText(text, session->encoding, name);
  });
}

vxrss_status VXRSS_CALL vxrss_selection_get(vxrss_session* session, char** provider_ids) {
  return Guarded("vxrss_selection_get", [&] {
    if (!session || !provider_ids) return Fail(VXRSS_E_ARGUMENT, "vxrss_selection_get: session or out is null");
    return ReturnText(session->mgr.GetProviderIDs(), session->encoding, provider_ids);
  });
}

vxrss_status VXRSS_CALL vxrss_selection_set(vxrss_session* session, const char* provider_ids) {
  return Guarded("vxrss_selection_set", [&] {
    CString ids;
    if (!session || !InText(provider_ids, session->encoding, ids))
      return Fail(VXRSS_E_ARGUMENT, "vxrss_selection_set: no session, or IDs not valid in its encoding");
    session->mgr.RefreshProviderIDs(ids);
    return VXRSS_OK;
  });
}

vxrss_status VXRSS_CALL vxrss_settings_dialog(vxrss_session* session, void* parent, char** saved_selection) {
  return Guarded("vxrss_settings_dialog", [&] {
    if (saved_selection) *saved_selection = nullptr;
    if (!session) return Fail(VXRSS_E_ARGUMENT, "vxrss_settings_dialog: session is null");
    if (vxrss_capi::InCallbackOfSession(session))
      return Fail(VXRSS_E_IN_CALLBACK, "vxrss_settings_dialog: called inside a callback of the session");
    // The Windows library installs its dialog front end when it loads; elsewhere there is none to show it.
    if (!GetModalFrontEnd())
      return Fail(VXRSS_E_UNSUPPORTED, "vxrss_settings_dialog: this platform has no settings dialog");
    CWnd parentWnd(static_cast<HWND>(parent));
    if (!session->mgr.ShowRSSNewsSettingDlg(&parentWnd, session->userRoot))
      return Fail(VXRSS_E_CANCELLED, "vxrss_settings_dialog: cancelled, not saved, or a dialog is already open");
    if (!saved_selection) return VXRSS_OK;
    CString selection;
    session->mgr.GetRSSNewsSel(selection);
    return ReturnText(selection, session->encoding, saved_selection);
  });
}

}  // extern "C"
