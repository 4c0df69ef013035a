// The module as the client finds it: a host program that links nothing of the module, loads vxRSS.dll with
// LoadLibrary (which brings in QMDBRSSNews.dll, the news service it imports), finds the exported members of
// CRssNewsMgr by their names and drives one manager against the service reading a feed file, up to the
// settings dialog, which it owns. The host only includes the module's headers, for the class's size and its
// virtual interfaces. It also reads the resources the client finds in the DLL.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <new>
#include <string_view>

#include "libs/vxcommon/Wnd.h"
#include "news/RssNewsMgr.h"
#include "tests/settings/SettingsFileTest.h"
#include "tests/win32/DialogDriver.h"

namespace win32test {
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

  const Module dll(LoadLibraryW(L"vxRSS.dll"));
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
      const Step whileOpen = [&](HWND hDialog) {
        EXPECT_EQ(GetWindow(hDialog, GW_OWNER), host.get());
        EXPECT_FALSE(IsWindowEnabled(host.get()));
        SetForegroundWindow(other.get());
        EXPECT_FALSE(exports.showSettings(mgr.Get(), pParent, user));
        EXPECT_EQ(GetForegroundWindow(), hDialog);
      };
      EXPECT_EQ(RunWithUser([&] { return exports.showSettings(mgr.Get(), pParent, user) ? IDOK : IDCANCEL; },
                            {whileOpen, ExpectTree({"- [x] " + groupName, "      [x] Stocks"}), Press(IDOK)}),
                IDOK);
      EXPECT_EQ(ReadBytes(settingsFile), SettingsXml("TWSTK"));
    }

    EXPECT_TRUE(mgr.Subject().RemoveNotify(&view, ""));
    exports.finit(mgr.Get());
  }
}

// Resource types.
constexpr WORD kBitmap = 2;
constexpr WORD kDialog = 5;

std::vector<WORD> Languages(HMODULE hModule, WORD type, WORD id) {
  std::vector<WORD> languages;
  EnumResourceLanguagesW(
      hModule, MAKEINTRESOURCEW(type), MAKEINTRESOURCEW(id),
      [](HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR param) -> BOOL {
        reinterpret_cast<std::vector<WORD>*>(param)->push_back(language);
        return TRUE;
      },
      reinterpret_cast<LONG_PTR>(&languages));
  return languages;
}

std::string Bytes(HMODULE hModule, WORD type, WORD id, WORD language) {
  const HRSRC hInfo = FindResourceExW(hModule, MAKEINTRESOURCEW(type), MAKEINTRESOURCEW(id), language);
  if (hInfo == nullptr) return std::string();
  const auto* data = static_cast<const char*>(LockResource(LoadResource(hModule, hInfo)));
  return std::string(data, SizeofResource(hModule, hInfo));
}

// A dialog template in its extended form, written field by field as the dialog manager reads it.
struct CTemplateWriter {
  // Each value as `size` bytes, little-endian.
  CTemplateWriter& Put(std::size_t size, std::initializer_list<std::uint32_t> values) {
    for (const std::uint32_t value : values) bytes.append(reinterpret_cast<const char*>(&value), size);
    return *this;
  }
  // A text in UTF-16, ended by a zero; u"" for none.
  CTemplateWriter& Text(std::u16string_view text) {
    for (const char16_t c : text) Put(2, {c});
    return Put(2, {0});
  }
  // On a DWORD: help ID, extended style, style, place, ID, class by ordinal, text and no creation data.
  CTemplateWriter& Control(std::uint32_t style, std::initializer_list<std::uint32_t> place, std::uint32_t id,
                           std::uint16_t classOrdinal, std::u16string_view text) {
    bytes.resize((bytes.size() + 3) & ~std::size_t{3});
    Put(4, {0, 0, style}).Put(2, place).Put(4, {id}).Put(2, {0xFFFF, classOrdinal});
    return Text(text).Put(2, {0});
  }

  std::string bytes;
};

// An FNV-1a digest of a resource's bytes, in hexadecimal.
std::string Digest(const std::string& bytes) {
  std::uint64_t digest = 14695981039346656037u;
  for (const char c : bytes) digest = (digest ^ static_cast<unsigned char>(c)) * 1099511628211u;
  char text[20];
  std::snprintf(text, sizeof text, "%016llX", static_cast<unsigned long long>(digest));
  return text;
}

// The settings dialog's template and its two bitmaps, each under exactly the two Chinese languages. The
// template is compared with one written here field by field; the bitmaps by a digest of their bytes, so that
// any change to them shows here.
TEST(ModuleResources, TheSettingsDialogAndItsBitmapsUnderBothChineseLanguages) {
  // Loaded as data: its resources only, no code run.
  const Module dll(LoadLibraryExW(L"vxRSS.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
  ASSERT_NE(dll, nullptr) << "vxRSS.dll not found: " << GetLastError();
  // Version 1 of the extended form, no help ID or extended style; popup, caption, system menu, modal frame,
  // font; three controls; 206 by 150 units; no menu, the standard class, the caption RSS新聞設定; then the
  // font: 9 points, normal, upright, character set 1, 新細明體.
  CTemplateWriter dialog;
  dialog.Put(2, {1, 0xFFFF}).Put(4, {0, 0, 0x80C800C0}).Put(2, {3, 0, 0, 206, 150}).Text(u"").Text(u"");
  dialog.Text(u"RSS\u65B0\u805E\u8A2D\u5B9A").Put(2, {9, 0}).Put(1, {0, 1}).Text(u"\u65B0\u7D30\u660E\u9AD4");
  // The prompt (static) 請勾選要訂閱的RSS新聞類別:, OK (default push button) 確定(&K) and Cancel 取消(&C).
  dialog.Control(0x50020000, {6, 6, 105, 8}, 0xFFFFFFFF, 0x82,
                 u"\u8ACB\u52FE\u9078\u8981\u8A02\u95B1\u7684RSS\u65B0\u805E\u985E\u5225:");
  dialog.Control(0x50010001, {93, 133, 50, 14}, IDOK, 0x80, u"\u78BA\u5B9A(&K)");
  dialog.Control(0x50010000, {149, 133, 50, 14}, IDCANCEL, 0x80, u"\u53D6\u6D88(&C)");
  const std::vector<WORD> bothLanguages{1028, 2052};  // traditional and simplified Chinese
  for (const WORD id : {26305, 26306, 26307}) {
    EXPECT_EQ(Languages(dll.get(), id == 26305 ? kDialog : kBitmap, id), bothLanguages) << id;
  }
  for (const WORD language : bothLanguages) {
    SCOPED_TRACE(language);
    const std::string bytes = Bytes(dll.get(), kDialog, 26305, language);
    const auto differ = std::mismatch(bytes.begin(), bytes.end(), dialog.bytes.begin(), dialog.bytes.end());
    EXPECT_EQ(bytes, dialog.bytes) << "first difference at byte " << differ.first - bytes.begin();
    // Four 13-pixel check states, 52x13 at 4 bits; two 16-pixel folders, 32x16 at 4 bits.
    EXPECT_EQ(Digest(Bytes(dll.get(), kBitmap, 26306, language)), "39C984E4038CC2C7");
    EXPECT_EQ(Digest(Bytes(dll.get(), kBitmap, 26307, language)), "BAB39DCC872088D5");
  }
}

}  // namespace
}  // namespace win32test
