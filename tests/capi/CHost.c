/* A host written in C99 over the C interface alone: it opens a session on the demo's sample data (copied to
 * the folder given as its argument), watches the providers and two symbols, reads lists and content, ends
 * one watch inside its own callback and another from a second thread, and closes. Exit 0 when all holds. */
#define _POSIX_C_SOURCE 200809L
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "vxrss/vxrss.h"

#define CHECK(cond)                                                 \
  do {                                                              \
    if (!(cond)) {                                                  \
      const char* error_ = "";                                      \
      vxrss_last_error(&error_);                                    \
      printf("FAILED line %d: %s [%s]\n", __LINE__, #cond, error_); \
      exit(1);                                                      \
    }                                                               \
  } while (0)

/* What one watch has seen; its callbacks run on the module's threads. */
typedef struct Seen {
  pthread_mutex_t lock;
  vxrss_watch* self; /* set once the watch has started */
  vxrss_session* session;
  int changes;        /* headline changes and clears */
  size_t total_items; /* items of the last whole list */
  int closed_inside;  /* what vxrss_close answered inside a callback */
  int end_inside;     /* end the watch inside its next callback */
} Seen;

static void Note(Seen* seen, size_t total) {
  pthread_mutex_lock(&seen->lock);
  ++seen->changes;
  if (total) seen->total_items = total;
  pthread_mutex_unlock(&seen->lock);
}

static int Changes(Seen* seen) {
  int n;
  pthread_mutex_lock(&seen->lock);
  n = seen->changes;
  pthread_mutex_unlock(&seen->lock);
  return n;
}

static void VXRSS_CALL OnProvider(void* context, const char* provider_id, int32_t date) {
  (void)provider_id;
  (void)date;
  Note((Seen*)context, 0);
}

static void VXRSS_CALL OnSymbol(void* context, const char* provider_id, const char* symbol_id, int32_t date) {
  Seen* seen = (Seen*)context;
  vxrss_watch* end;
  (void)provider_id;
  (void)symbol_id;
  (void)date;
  Note(seen, 0);
  pthread_mutex_lock(&seen->lock);
  end = seen->end_inside ? seen->self : NULL;
  if (end) seen->self = NULL;
  if (end) seen->closed_inside = vxrss_close(seen->session);
  pthread_mutex_unlock(&seen->lock);
  if (end) CHECK(vxrss_watch_end(end) == VXRSS_OK);
}

static void VXRSS_CALL OnClear(void* context, const char* provider_id) {
  (void)provider_id;
  Note((Seen*)context, 0);
}

static void VXRSS_CALL OnTotal(void* context, const vxrss_list* list) {
  size_t count = 0;
  CHECK(vxrss_list_count(list, &count) == VXRSS_OK);
  Note((Seen*)context, count);
}

static const vxrss_callbacks kCallbacks = {OnProvider, OnSymbol, NULL, NULL, OnClear, OnTotal, NULL};

/* Waits up to 60 s for the service's first poll to reach the lists: the session may open before it. */
static vxrss_list* WaitForSymbolNews(vxrss_session* session, const char* symbol) {
  int tries;
  for (tries = 0; tries < 600; ++tries) {
    vxrss_list* list = NULL;
    size_t count = 0;
    struct timespec pause = {0, 100000000};
    CHECK(vxrss_headlines_by_symbol(session, NULL, symbol, 0, &list) == VXRSS_OK);
    CHECK(vxrss_list_count(list, &count) == VXRSS_OK);
    if (count > 0) return list;
    vxrss_list_free(list);
    nanosleep(&pause, NULL);
  }
  CHECK(!"no news of the symbol within 60 s");
  return NULL;
}

static void* EndFromThread(void* watch) {
  CHECK(vxrss_watch_end((vxrss_watch*)watch) == VXRSS_OK);
  return NULL;
}

int main(int argc, char** argv) {
  Seen providers = {PTHREAD_MUTEX_INITIALIZER, NULL, NULL, 0, 0, 0, 0};
  Seen symbol = {PTHREAD_MUTEX_INITIALIZER, NULL, NULL, 0, 0, 0, 0};
  Seen ending = {PTHREAD_MUTEX_INITIALIZER, NULL, NULL, 0, 0, 0, 0};
  vxrss_open_options options;
  vxrss_session* session = NULL;
  vxrss_list* list = NULL;
  vxrss_headline item;
  char user_root[1024];
  char *selection = NULL, *content = NULL, *url = NULL, *stale = NULL;
  const char *version = NULL, *snippet = NULL;
  size_t count = 0;
  pthread_t thread;
  int ending_changes;

  CHECK(argc == 2);
  CHECK(vxrss_version(&version) == VXRSS_OK && strlen(version) > 0);
  snprintf(user_root, sizeof user_root, "%s/User", argv[1]);
  memset(&options, 0, sizeof options);
  options.config_root = argv[1];
  options.user_root = user_root;
  options.session_arg1 = "200"; /* poll every 200 ms */
  options.session_arg2 = "c-host";
  options.authorized = 1;
  CHECK(vxrss_open(&options, &session) == VXRSS_OK);
  providers.session = symbol.session = ending.session = session;

  CHECK(vxrss_set_server_time(session, 20260101, 93000) == VXRSS_OK);
  CHECK(vxrss_selection_get(session, &selection) == VXRSS_OK);
  CHECK(strcmp(selection, "TWSTK,TWIND,GLOBAL") == 0);
  CHECK(vxrss_watch_providers(session, &kCallbacks, &providers, &providers.self) == VXRSS_OK);
  CHECK(vxrss_watch_symbols(session, "2330", 0, &kCallbacks, &symbol, &symbol.self) == VXRSS_OK);
  CHECK(vxrss_watch_symbols(session, "2317", 0, &kCallbacks, &ending, &ending.self) == VXRSS_OK);

  /* The categories, and lists and content. */
  {
    int ready = 0;
    char* name = NULL;
    CHECK(vxrss_categories_ready(session, &ready) == VXRSS_OK && ready == 1);
    CHECK(vxrss_provider_name(session, "TWSTK", &name) == VXRSS_OK && strlen(name) > 0);
    vxrss_text_free(name);
    CHECK(vxrss_provider_name(session, "NO-SUCH", &name) == VXRSS_E_NOT_FOUND && name == NULL);
  }
  list = WaitForSymbolNews(session, "2330");
  vxrss_list_free(list);
  CHECK(vxrss_headlines_total(providers.self, &list) == VXRSS_OK && !list); /* it comes through OnTotal */
  CHECK(vxrss_headlines_total(symbol.self, &list) == VXRSS_OK && list);
  CHECK(vxrss_list_count(list, &count) == VXRSS_OK && count > 0);
  CHECK(vxrss_list_item(list, 0, &item) == VXRSS_OK && strstr(item.symbols, "2330"));
  CHECK(vxrss_list_item(list, count, &item) == VXRSS_E_RANGE);
  vxrss_list_free(list);
  CHECK(vxrss_headlines_by_provider(session, selection, 0, &list) == VXRSS_OK);
  CHECK(vxrss_list_count(list, &count) == VXRSS_OK && count > 0);
  CHECK(vxrss_list_item(list, 0, &item) == VXRSS_OK && strlen(item.title) > 0 && strlen(item.date) == 8);
  CHECK(vxrss_news_content(session, item.provider_id, NULL, item.key1, item.key2, &content) == VXRSS_OK);
  CHECK(vxrss_news_url(session, item.provider_id, NULL, item.key1, item.key2, &url) == VXRSS_OK);
  CHECK(strcmp(url, item.link) == 0 && strstr(content, url));
  stale = selection; /* a failed call leaves no pointer behind */
  CHECK(vxrss_news_url(session, item.provider_id, NULL, -1, -1, &stale) != VXRSS_OK && stale == NULL);
  vxrss_list_free(list);
  /* A search of the archive for a two-character word of the sample news, the match marked in its snippet. */
  CHECK(vxrss_search(session, "鴻海", NULL, NULL, 0, 0, 5, &list) == VXRSS_OK);
  CHECK(vxrss_list_count(list, &count) == VXRSS_OK && count > 0 && count <= 5);
  CHECK(vxrss_list_snippet(list, 0, &snippet) == VXRSS_OK && strstr(snippet, "\x02鴻海\x03"));
  CHECK(vxrss_list_snippet(list, count, &snippet) == VXRSS_E_RANGE);
  CHECK(vxrss_list_snippet(list, 0, NULL) == VXRSS_E_ARGUMENT);
  vxrss_list_free(list);

  /* Putting the selection in force again calls every watch on this thread: the third ends itself inside. */
  pthread_mutex_lock(&ending.lock);
  ending.end_inside = 1;
  pthread_mutex_unlock(&ending.lock);
  CHECK(vxrss_selection_set(session, selection) == VXRSS_OK);
  pthread_mutex_lock(&ending.lock);
  CHECK(ending.self == NULL && ending.closed_inside == VXRSS_E_IN_CALLBACK);
  pthread_mutex_unlock(&ending.lock);
  ending_changes = Changes(&ending);

  /* The provider watch ends from another thread; neither it nor the third hears anything after. */
  CHECK(pthread_create(&thread, NULL, EndFromThread, providers.self) == 0);
  CHECK(pthread_join(thread, NULL) == 0);
  {
    const int provider_changes = Changes(&providers), symbol_changes = Changes(&symbol);
    CHECK(vxrss_selection_set(session, selection) == VXRSS_OK);
    CHECK(Changes(&providers) == provider_changes && Changes(&ending) == ending_changes);
    CHECK(Changes(&symbol) > symbol_changes);
  }

  vxrss_text_free(selection);
  vxrss_text_free(content);
  vxrss_text_free(url);
  CHECK(vxrss_close(session) == VXRSS_OK); /* ends the symbol watch too */
  printf("c host: ok (%d provider callbacks, %lu items in the last whole list)\n", Changes(&providers),
         (unsigned long)providers.total_items);
  return 0;
}
