/* vxrss.h: the C interface of the vxRSS news module, the one interface a host built by any compiler or
 * written in any language with a C foreign-function layer uses.
 *
 * Rules that hold for every function here:
 * - Every function returns a vxrss_status; VXRSS_OK is 0. Nothing throws across this interface. After a
 *   status other than VXRSS_OK, vxrss_last_error() gives a text saying why, for the calling thread.
 * - Handles are opaque. Every object the library hands out (session, watch, list, text) is freed by the
 *   library, through the function named beside it; a host never frees one with its own allocator.
 * - Text is UTF-8 by default. A session opened with VXRSS_TEXT_ANSI passes the module's own text unchanged
 *   instead: the system's ANSI code page on Windows (Big5 for the Traditional Chinese hosts the module is
 *   made for), Big5 elsewhere. Folder paths are always in the platform's narrow file name form: UTF-8 with
 *   VXRSS_TEXT_UTF8, the ANSI code page with VXRSS_TEXT_ANSI on Windows; bytes as they are on Linux.
 * - Dates are the service's YYYYMMDD numbers; a date below 1 means every date.
 * - Threads: unless a function says otherwise it may be called from any thread, including from inside a
 *   callback of this library. Callbacks run on the module's threads: the worker thread that delivers
 *   headline changes once a second, the news service's event thread, or the thread that called the
 *   function that caused them (vxrss_watch_symbols announces a symbol watch's news at once, on the calling
 *   thread). A host must make its callbacks safe for that.
 * - Calling convention: VXRSS_CALL, which is __cdecl on 32-bit Windows; names are exported undecorated.
 */
#ifndef VXRSS_VXRSS_H
#define VXRSS_VXRSS_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#define VXRSS_CALL __cdecl
#if defined(VXRSS_C_EXPORTS)
#define VXRSS_C_API __declspec(dllexport)
#else
#define VXRSS_C_API __declspec(dllimport)
#endif
#else
#define VXRSS_CALL
#define VXRSS_C_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef enum vxrss_status {
  VXRSS_OK = 0,
  VXRSS_E_ARGUMENT = 1,    /* a null handle or pointer, or text that is not valid in the session's encoding */
  VXRSS_E_FAILED = 2,      /* the module or the news service refused or failed the request */
  VXRSS_E_NOT_FOUND = 3,   /* the news item is not known to the service */
  VXRSS_E_PENDING = 4,     /* the item's content is not there yet; a content callback brings it */
  VXRSS_E_CANCELLED = 5,   /* the user cancelled the settings dialog, or another one is open */
  VXRSS_E_UNSUPPORTED = 6, /* not available on this platform (the settings dialog outside Windows) */
  VXRSS_E_IN_CALLBACK = 7, /* not allowed inside a callback of the same session */
  VXRSS_E_NO_MEMORY = 8,
  VXRSS_E_INTERNAL = 9, /* an unexpected failure inside the module; the error text says what */
  VXRSS_E_RANGE = 10    /* an index beyond the end of a list */
} vxrss_status;

typedef enum vxrss_text_encoding { VXRSS_TEXT_UTF8 = 0, VXRSS_TEXT_ANSI = 1 } vxrss_text_encoding;

typedef struct vxrss_session vxrss_session;
typedef struct vxrss_watch vxrss_watch;
typedef struct vxrss_list vxrss_list;

/* What a session opens with. Null text counts as empty. With this module's news service:
 * config_root holds the folder Config/ with RSSNewsSvc.xml; user_root holds the folder Data/ with the
 * user's RSSNewsSetting.xml; session_arg1 is the poll interval in milliseconds ("" for the configuration's),
 * session_arg2 the user's name, session_arg3 another feeds folder ("" for the configuration's). */
typedef struct vxrss_open_options {
  const char* service_arg1;
  const char* service_arg2;
  const char* config_root;
  const char* session_arg1;
  const char* session_arg2;
  const char* session_arg3;
  int authorized; /* non-zero: the user's saved selection of providers is read from user_root */
  const char* user_root;
  vxrss_text_encoding encoding;
} vxrss_open_options;

/* One headline of a list. The texts belong to the list and stay valid until the list is freed. */
typedef struct vxrss_headline {
  const char* provider_id;
  const char* title;
  const char* link;
  const char* symbols; /* the symbols the item is tagged with, joined with "," */
  const char* date;    /* "YYYYMMDD" */
  const char* time;    /* "HHMMSS" */
  int32_t key1;        /* the item's keys, as vxrss_news_content takes them */
  int32_t key2;
} vxrss_headline;

/* A watch's callbacks. Any of them may be null. Every one gets the context pointer given with them. The
 * texts and the list are valid during the call only. */
typedef struct vxrss_callbacks {
  void(VXRSS_CALL* provider_headline_change)(void* context, const char* provider_id, int32_t date);
  void(VXRSS_CALL* symbol_headline_change)(void* context, const char* provider_id, const char* symbol_id, int32_t date);
  void(VXRSS_CALL* news_content_arrive)(void* context, const char* provider_id, int32_t key1, int32_t key2,
                                        const char* content);
  void(VXRSS_CALL* symbol_news_content_arrive)(void* context, const char* provider_id, const char* symbol_id,
                                               int32_t key1, int32_t key2, const char* content);
  void(VXRSS_CALL* headline_clear)(void* context, const char* provider_id); /* "" for every provider */
  /* The whole list a vxrss_headlines_total request, or a provider watch's start, asked for. */
  void(VXRSS_CALL* total_headline)(void* context, const vxrss_list* list);
  void(VXRSS_CALL* category_ready)(void* context);
} vxrss_callbacks;

/* --- The library ------------------------------------------------------------------------------------- */

/* The library's version, "major.minor"; static text. */
VXRSS_C_API vxrss_status VXRSS_CALL vxrss_version(const char** version);

/* The text of the calling thread's last failure ("" when none); valid until the thread's next call. */
VXRSS_C_API vxrss_status VXRSS_CALL vxrss_last_error(const char** text);

/* Frees a text the library handed out. Null is allowed. */
VXRSS_C_API vxrss_status VXRSS_CALL vxrss_text_free(char* text);

/* --- Sessions ---------------------------------------------------------------------------------------- */

/* Opens a session of the news service and starts the worker. Headlines may arrive later than the return:
 * wait for a watch's callbacks rather than expect lists at once. On failure *session is null. */
VXRSS_C_API vxrss_status VXRSS_CALL vxrss_open(const vxrss_open_options* options, vxrss_session** session);

/* Ends every watch of the session, stops its worker and closes it. Not inside a callback of the session
 * (VXRSS_E_IN_CALLBACK). Its watches' handles are invalid afterwards. Null is allowed. */
VXRSS_C_API vxrss_status VXRSS_CALL vxrss_close(vxrss_session* session);

/* Hands the server's time to the news service. */
VXRSS_C_API vxrss_status VXRSS_CALL vxrss_set_server_time(vxrss_session* session, int32_t value1, int32_t value2);

/* --- Watches ----------------------------------------------------------------------------------------- */

/* Watches the news of every provider of the selection; the whole list comes through total_headline once
 * the service has answered, on the service's thread; changes come on the worker thread. The callbacks
 * (copied) and the context stay with the watch until it ends. Any thread. */
VXRSS_C_API vxrss_status VXRSS_CALL vxrss_watch_providers(vxrss_session* session, const vxrss_callbacks* callbacks,
                                                          void* context, vxrss_watch** watch);

/* Watches the news of one symbol (or a ","-joined symbol list) on one date (below 1: every date);
 * symbol_headline_change is called at once, on the calling thread (before the handle is returned), and
 * later on the worker thread. Any thread. */
VXRSS_C_API vxrss_status VXRSS_CALL vxrss_watch_symbols(vxrss_session* session, const char* symbol_ids, int32_t date,
                                                        const vxrss_callbacks* callbacks, void* context,
                                                        vxrss_watch** watch);

/* Ends a watch and frees it: when it returns, no callback of the watch runs on another thread or will
 * run. Any thread; called inside one of the watch's own callbacks, that callback finishes and no other
 * follows. It waits for the watch's callbacks running on other threads, so a thread that ends a watch must
 * not hold anything those callbacks wait for. A watch ends once, and not while its session closes. Null is
 * allowed. */
VXRSS_C_API vxrss_status VXRSS_CALL vxrss_watch_end(vxrss_watch* watch);

/* --- Headlines and content --------------------------------------------------------------------------- */

/* The headlines of one provider on a date, or of a ","-joined provider list for every date (date < 1). */
VXRSS_C_API vxrss_status VXRSS_CALL vxrss_headlines_by_provider(vxrss_session* session, const char* provider_ids,
                                                                int32_t date, vxrss_list** list);

/* The headlines of a symbol from the given providers ("" or null: the whole selection). */
VXRSS_C_API vxrss_status VXRSS_CALL vxrss_headlines_by_symbol(vxrss_session* session, const char* provider_ids,
                                                              const char* symbol_ids, int32_t date, vxrss_list** list);

/* The whole list of a watch's booking. For a symbol watch it is returned in *list. For a provider watch
 * the list comes later through the watch's total_headline callback, on the service's thread, and *list is
 * null. Any thread. */
VXRSS_C_API vxrss_status VXRSS_CALL vxrss_headlines_total(vxrss_watch* watch, vxrss_list** list);

/* Searches the news service's archive: at most max_items (below 1: the service's most) items whose title or
 * content text holds every word of `words` (separated by spaces; a phrase in double quotes; Chinese words
 * of one or more characters, Latin words in any case), of the given providers ("" or null: every provider
 * of the service), tagged with symbol_id ("" or null: any), dated from_date to to_date (below 1: open),
 * newest first. Each item's snippet comes from vxrss_list_snippet. */
VXRSS_C_API vxrss_status VXRSS_CALL vxrss_search(vxrss_session* session, const char* words, const char* provider_ids,
                                                 const char* symbol_id, int32_t from_date, int32_t to_date,
                                                 int32_t max_items, vxrss_list** list);

VXRSS_C_API vxrss_status VXRSS_CALL vxrss_list_count(const vxrss_list* list, size_t* count);
VXRSS_C_API vxrss_status VXRSS_CALL vxrss_list_item(const vxrss_list* list, size_t index, vxrss_headline* item);
/* The snippet of a search's item: a few words of its text around the matches, each match between the
 * characters 0x02 and 0x03 (which no feed's text holds); "" for an item of any other list. Valid until the
 * list is freed. */
VXRSS_C_API vxrss_status VXRSS_CALL vxrss_list_snippet(const vxrss_list* list, size_t index, const char** snippet);
/* Null is allowed. Not for the list a total_headline callback gets: the library frees that one. */
VXRSS_C_API vxrss_status VXRSS_CALL vxrss_list_free(vxrss_list* list);

/* An item's content (HTML: a link to the item, its title and its description), freed with vxrss_text_free.
 * symbol_id: null or "" for provider news. */
VXRSS_C_API vxrss_status VXRSS_CALL vxrss_news_content(vxrss_session* session, const char* provider_id,
                                                       const char* symbol_id, int32_t key1, int32_t key2,
                                                       char** content);

/* The target of the first link of an item's content, freed with vxrss_text_free. */
VXRSS_C_API vxrss_status VXRSS_CALL vxrss_news_url(vxrss_session* session, const char* provider_id,
                                                   const char* symbol_id, int32_t key1, int32_t key2, char** url);

/* --- Categories and the selection -------------------------------------------------------------------- */

/* Whether the service's categories are loaded (*ready 1 or 0); a watch's category_ready tells when. */
VXRSS_C_API vxrss_status VXRSS_CALL vxrss_categories_ready(vxrss_session* session, int* ready);

/* The name of a provider of the categories, freed with vxrss_text_free; VXRSS_E_NOT_FOUND if none. */
VXRSS_C_API vxrss_status VXRSS_CALL vxrss_provider_name(vxrss_session* session, const char* provider_id, char** name);

/* The selection in force: the provider IDs, joined with ",", whose news the watches receive. */
VXRSS_C_API vxrss_status VXRSS_CALL vxrss_selection_get(vxrss_session* session, char** provider_ids);

/* Puts a new selection in force: every watch is moved over to it and told to clear and reload, through
 * headline_clear and the headline-change callbacks, on the calling thread. Any thread. */
VXRSS_C_API vxrss_status VXRSS_CALL vxrss_selection_set(vxrss_session* session, const char* provider_ids);

/* Shows the settings dialog, modal, owned by parent (an HWND; null for none). On OK the user's choice is
 * saved in the settings file and, when saved_selection is not null, returned there (put it in force with
 * vxrss_selection_set). VXRSS_E_CANCELLED when the user cancels; VXRSS_E_UNSUPPORTED outside Windows.
 * On the host's user-interface thread only, not inside a callback. */
VXRSS_C_API vxrss_status VXRSS_CALL vxrss_settings_dialog(vxrss_session* session, void* parent, char** saved_selection);

#ifdef __cplusplus
}
#endif

#endif /* VXRSS_VXRSS_H */
