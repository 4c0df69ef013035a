"""A Python host over the C interface through ctypes: python_host.py LIBRARY DATA_FOLDER.

It opens a session on a copy of the demo's data, watches the providers, reads lists in UTF-8 and in the ANSI
form (Big5), puts a selection in force and closes. Watches ended inside a callback or from another thread, and
content, are the C host's part. Exit status 0 when all holds."""
import ctypes as C
import sys
import time

OK, E_ARGUMENT, E_UNSUPPORTED = 0, 1, 6
UTF8, ANSI = 0, 1

lib = C.CDLL(sys.argv[1])
folder = sys.argv[2]


class Options(C.Structure):
    _fields_ = [(name, C.c_char_p) for name in ("service_arg1", "service_arg2", "config_root", "session_arg1",
                                                "session_arg2", "session_arg3")] + [
        ("authorized", C.c_int), ("user_root", C.c_char_p), ("encoding", C.c_int)]


class Headline(C.Structure):
    _fields_ = [(name, C.c_char_p) for name in ("provider_id", "title", "link", "symbols", "date", "time")] + [
        ("key1", C.c_int32), ("key2", C.c_int32)]


CHANGE = C.CFUNCTYPE(None, C.c_void_p, C.c_char_p, C.c_int32)
SYMBOL = C.CFUNCTYPE(None, C.c_void_p, C.c_char_p, C.c_char_p, C.c_int32)
CONTENT = C.CFUNCTYPE(None, C.c_void_p, C.c_char_p, C.c_int32, C.c_int32, C.c_char_p)
SYMBOL_CONTENT = C.CFUNCTYPE(None, C.c_void_p, C.c_char_p, C.c_char_p, C.c_int32, C.c_int32, C.c_char_p)
CLEAR = C.CFUNCTYPE(None, C.c_void_p, C.c_char_p)
TOTAL = C.CFUNCTYPE(None, C.c_void_p, C.c_void_p)
READY = C.CFUNCTYPE(None, C.c_void_p)


class Callbacks(C.Structure):
    _fields_ = [("provider", CHANGE), ("symbol", SYMBOL), ("content", CONTENT), ("symbol_content", SYMBOL_CONTENT),
                ("clear", CLEAR), ("total", TOTAL), ("ready", READY)]


def check(status, what):
    if status != OK:
        error = C.c_char_p()
        lib.vxrss_last_error(C.byref(error))
        sys.exit(f"FAILED {what}: status {status} [{error.value.decode(errors='replace')}]")


def take_text(pointer):
    text = C.cast(pointer, C.c_char_p).value
    lib.vxrss_text_free(pointer)
    return text


def read_list(lst):
    count = C.c_size_t()
    check(lib.vxrss_list_count(lst, C.byref(count)), "list_count")
    items = []
    for i in range(count.value):
        item = Headline()
        check(lib.vxrss_list_item(lst, C.c_size_t(i), C.byref(item)), "list_item")
        items.append((item.provider_id, item.title, item.link, item.key1, item.key2))
    return items


def open_session(encoding):
    options = Options(config_root=folder.encode(), user_root=(folder + "/User").encode(), session_arg1=b"200",
                      session_arg2=b"python-host", authorized=1, encoding=encoding)
    session = C.c_void_p()
    check(lib.vxrss_open(C.byref(options), C.byref(session)), "open")
    return session


def symbol_news(session, symbol):
    """The symbol's list, once the service's first poll has reached it (within 60 s)."""
    for _ in range(600):
        lst = C.c_void_p()
        check(lib.vxrss_headlines_by_symbol(session, None, symbol, 0, C.byref(lst)), "headlines_by_symbol")
        items = read_list(lst)
        lib.vxrss_list_free(lst)
        if items:
            return items
        time.sleep(0.1)
    sys.exit("FAILED: no news of the symbol within 60 s")


lib.vxrss_headlines_by_symbol.argtypes = [C.c_void_p, C.c_char_p, C.c_char_p, C.c_int32, C.c_void_p]
lib.vxrss_list_count.argtypes = [C.c_void_p, C.c_void_p]
lib.vxrss_list_item.argtypes = [C.c_void_p, C.c_size_t, C.c_void_p]
lib.vxrss_text_free.argtypes = [C.c_void_p]
for name in ("vxrss_close", "vxrss_watch_end", "vxrss_list_free"):
    getattr(lib, name).argtypes = [C.c_void_p]

session = open_session(UTF8)
heard = {"provider": 0, "provider_ids": set()}


def on_total(_context, lst):
    heard["provider"] += len(read_list(lst))


def on_provider(_context, provider_id, _date):
    heard["provider_ids"].add(provider_id)


provider_callbacks = Callbacks(provider=CHANGE(on_provider), total=TOTAL(on_total))
providers = C.c_void_p()
check(lib.vxrss_watch_providers(session, C.byref(provider_callbacks), None, C.byref(providers)), "watch_providers")

# Titles are UTF-8 text; the same item's title in the ANSI form is its Big5 bytes.
items = symbol_news(session, b"2330")
title = items[0][1]
assert title.decode("utf-8") and any(ord(ch) > 0x7F for ch in title.decode("utf-8")), title
selection = C.c_void_p()
check(lib.vxrss_selection_get(session, C.byref(selection)), "selection_get")
selection = take_text(selection)
assert lib.vxrss_headlines_by_symbol(session, None, b"\xff", 0, C.byref(C.c_void_p())) == E_ARGUMENT
error = C.c_char_p()
assert lib.vxrss_last_error(C.byref(error)) == OK and b"vxrss_headlines_by_symbol" in error.value
assert lib.vxrss_settings_dialog(session, None, None) == E_UNSUPPORTED

ansi = open_session(ANSI)
ansi_items = symbol_news(ansi, b"2330")
assert any(t.decode("cp950") == title.decode("utf-8") for _, t, _, _, _ in ansi_items)
check(lib.vxrss_close(ansi), "close the ANSI session")

# The selection's text goes in and comes back, through vxrss_selection_get and the callbacks, as the same UTF-8.
odd = selection + ",測試".encode()
check(lib.vxrss_selection_set(session, odd), "selection_set")
odd_back = C.c_void_p()
check(lib.vxrss_selection_get(session, C.byref(odd_back)), "selection_get")
assert take_text(odd_back) == odd and odd in heard["provider_ids"], heard
check(lib.vxrss_close(session), "close")
print(f"python host: ok ({len(items)} items of 2330, {heard['provider']} in the providers' whole lists)")
