// The module as the client uses it: a host program that links nothing of the module, loads vxRSS.dll with
// LoadLibrary (which brings in QMDBRSSNews.dll, the news service it imports), finds the exported members of
// CRssNewsMgr by their names and drives one manager against the service reading a feed file, up to the
// settings dialog, which it owns. The host only includes the module's headers, for the class's size and its virtual
// interfaces.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <type_traits>
#include <vector>

#include "libs/vxcommon/Wnd.h"
#include "news/RssNewsMgr.h"
#include "tests/settings/SettingsFileTest.h"
#include "tests/win32/DialogDriver.h"

namespace {

namespace fs = std::filesystem;

// An exported function by its (mangled) name, as the type the caller gives; null when missing. On x86-64
// Windows a member function is called as a plain function taking `this` first, so members that return no
// class by value are reached this way.
template <typename Fn>
Fn Find(HMODULE hModule, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(hModule, name)));
}

// The exported members the host calls by name.
struct ManagerExports {
  using Call = void (*)(CRssNewsMgr*);
  using InitFn = bool (*)(CRssNewsMgr*, const CString&, const CString&, const CString&, const CString&, const CString&,
                          const CString&, bool, const CString&);
  using ShowFn = bool (*)(CRssNewsMgr*, CWnd*, const CString&);

  bool Complete() const { return construct && destruct && init && finit && isCategoryReady && showSettings; }

  HMODULE dll;
  Call construct = Find<Call>(dll, "_ZN11CRssNewsMgrC1Ev");
  Call destruct = Find<Call>(dll, "_ZN11CRssNewsMgrD1Ev");
  InitFn init = Find<InitFn>(dll, "_ZN11CRssNewsMgr4InitERK7CStringS2_S2_S2_S2_S2_bS2_");
  Call finit = Find<Call>(dll, "_ZN11CRssNewsMgr5FinitEv");
  bool (*isCategoryReady)(CRssNewsMgr*) = Find<bool (*)(CRssNewsMgr*)>(dll, "_ZN11CRssNewsMgr15IsCategoryReadyEv");
  ShowFn showSettings = Find<ShowFn>(dll, "_ZN11CRssNewsMgr21ShowRSSNewsSettingDlgEP4CWndRK7CString");
};

// One manager made by the DLL's constructor in the host's storage, destroyed by the DLL's destructor.
class CHostedManager {
 public:
  explicit CHostedManager(const ManagerExports& exports) : m_exports(exports) { m_exports.construct(Get()); }
  ~CHostedManager() { m_exports.destruct(Get()); }
  CHostedManager(const CHostedManager&) = delete;
  CHostedManager& operator=(const CHostedManager&) = delete;

  CRssNewsMgr* Get() { return std::launder(reinterpret_cast<CRssNewsMgr*>(m_storage)); }
  // The registration interface is virtual: the host calls it through the object's own table.
  IRssSubject& Subject() { return *Get(); }

 private:
  const ManagerExports& m_exports;
  alignas(CRssNewsMgr) unsigned char m_storage[sizeof(CRssNewsMgr)];
};

// A host view that keeps the full headline lists it receives.
class CWaitingView : public IRSSNewsObjEvent {
 public:
  std::vector<std::string> Titles() {
    const std::lock_guard<std::mutex> lock(m_mtx);
    return m_titles;
  }

  void OnTotalHeadline(std::vector<NewsHeadline>& vecHeadline) override {
    const std::lock_guard<std::mutex> lock(m_mtx);
    for (NewsHeadline& record : vecHeadline) {
      m_titles.push_back(std::string(record.szDate) + " " + record.szProviderID);
      operator delete(record.pBlock);  // the view owns the records' blocks
      record.pBlock = nullptr;
    }
  }
  void OnProviderHeadlineChange(const CString&, long) override {}
  void OnSymbolHeadlineChange(const CString&, const CString&, long) override {}
  void OnNewsContentArrive(const CString&, long, long, const CString&) override {}
  void OnSymbolNewsContentArrive(const CString&, const CString&, long, long, const CString&) override {}
  void OnHeadlineClear(const CString&) override {}
  void OnCategoryReady() override {}

 private:
  std::mutex m_mtx;
  std::vector<std::string> m_titles;
};

// A window of the host: top-level without a parent, else a child (a view) in it.
struct WindowDestroy {
  void operator()(HWND hWnd) const { DestroyWindow(hWnd); }
};
using Window = std::unique_ptr<std::remove_pointer_t<HWND>, WindowDestroy>;
Window MakeWindow(HWND hParent) {
  const DWORD style = (hParent != nullptr ? WS_CHILD : WS_OVERLAPPEDWINDOW) | WS_VISIBLE;
  return Window(CreateWindowExW(0, L"STATIC", L"host", style, 0, 0, 300, 200, hParent, nullptr, nullptr, nullptr));
}

bool WaitUntil(const std::function<bool()>& ready) {
  for (int i = 0; i < 200 && !ready(); ++i) Sleep(50);
  return ready();
}

TEST(HostLoadsTheDll, DrivesTheManagerAgainstTheServiceDll) {
  TempDir dir;
  const std::string groupName = "\xE5\x8F\xB0\xE7\x81\xA3\xE8\xB2\xA1\xE7\xB6\x93";  // 台灣財經
  const fs::path settingsFile = dir.path() / "User" / "Data" / CRSSNewsDataMgr::kFileName;
  fs::create_directories(dir.path() / "Config");
  fs::create_directories(settingsFile.parent_path());
  WriteBytes(dir.path() / "Config" / "RSSNewsSvc.xml",
             "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<RSSNewsService pollMilliseconds=\"100\" "
             "timeZone=\"+08:00\"><Category name=\"" +
                 groupName +
                 "\"><Provider id=\"TWSTK\" name=\"Stocks\" source=\"tw.xml\"/></Category></RSSNewsService>");
  WriteBytes(dir.path() / "Config" / "tw.xml",
             "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<rss version=\"2.0\"><channel><title>t</title><item>"
             "<guid>n1</guid><title>n1</title><link>http://news.example/n1</link><description>body</description>"
             "<pubDate>Sat, 05 Dec 2026 09:30:00 +0800</pubDate></item></channel></rss>\n");
  WriteBytes(settingsFile, SettingsXml("TWSTK"));

  const win32test::Module dll(LoadLibraryW(L"vxRSS.dll"));
  ASSERT_NE(dll, nullptr) << "LoadLibrary failed: " << GetLastError();
  EXPECT_NE(GetModuleHandleW(L"QMDBRSSNews.dll"), nullptr) << "the service DLL came in with the module";
  const ManagerExports exports{dll.get()};
  ASSERT_TRUE(exports.Complete());

  CWaitingView view;
  {
    CHostedManager mgr(exports);
    const CString user((dir.path() / "User").string());
    ASSERT_TRUE(exports.init(mgr.Get(), "", "", CString(dir.path().string()), "", "", "", true, user));
    EXPECT_TRUE(WaitUntil([&] { return exports.isCategoryReady(mgr.Get()); }));

    // Provider news for the stored selection: the view receives the full list it asked for.
    EXPECT_TRUE(mgr.Subject().AddNotify(&view));
    ASSERT_TRUE(WaitUntil([&] { return !view.Titles().empty(); }));
    EXPECT_EQ(view.Titles(), std::vector<std::string>{"20261205 TWSTK"});

    // The settings dialog comes from the DLL's own resources and runs as a Windows dialog, modal to the
    // host's frame: named through a view of it, or when none is named, as the active window. Meanwhile a
    // second request only brings it back to the front. OK stores what is checked.
    const Window host = MakeWindow(nullptr);
    const Window other = MakeWindow(nullptr);
    const Window viewWindow = MakeWindow(host.get());  // goes first
    CWnd hostView(viewWindow.get());
    for (CWnd* pParent : {&hostView, static_cast<CWnd*>(nullptr)}) {
      SCOPED_TRACE(pParent != nullptr ? "a view given" : "none given");
      SetForegroundWindow(pParent != nullptr ? other.get() : host.get());
      const win32test::Step whileOpen = [&](HWND hDialog) {
        EXPECT_EQ(GetWindow(hDialog, GW_OWNER), host.get());
        EXPECT_FALSE(IsWindowEnabled(host.get()));
        SetForegroundWindow(other.get());
        EXPECT_FALSE(exports.showSettings(mgr.Get(), pParent, user));
        EXPECT_EQ(GetForegroundWindow(), hDialog);
      };
      EXPECT_EQ(win32test::RunWithUser([&] { return exports.showSettings(mgr.Get(), pParent, user) ? IDOK : IDCANCEL; },
                                       {whileOpen, win32test::ExpectTree({"- [x] " + groupName, "      [x] Stocks"}),
                                        win32test::Press(IDOK)}),
                IDOK);
      EXPECT_EQ(ReadBytes(settingsFile), SettingsXml("TWSTK"));
    }

    EXPECT_TRUE(mgr.Subject().RemoveNotify(&view, ""));
    exports.finit(mgr.Get());
  }
}

}  // namespace
