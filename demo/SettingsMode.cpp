#include "demo/SettingsMode.h"

#include <string>
#include <vector>

#include "demo/Console.h"
#include "demo/HeadlineView.h"
#include "demo/SettingsFrontEnd.h"
#include "demo/Workspace.h"
#include "news/RssNewsMgr.h"

namespace demo {

namespace {

void PrintSelectionHeadlines(CRssNewsMgr& manager) {
  std::vector<NewsHeadline> list;
  manager.PullProviderNewsHeadline_Date(manager.GetProviderIDs(), 0, list);
  SortNewestFirst(list);
  PrintLine(std::to_string(list.size()) + " headlines of the selection:");
  for (std::size_t i = 0; i < list.size() && i < 5; ++i) PrintLine("  " + FormatHeadline(list[i]));
  FreeBlocks(list);
}

}  // namespace

int RunSettings(const DemoOptions& options) {
  Workspace workspace;
  std::string error;
  if (!workspace.Prepare(options, error)) {
    PrintLine(error);
    return 1;
  }
  CRssNewsMgr manager;
  const CString userRoot(workspace.UserRoot());
  if (!manager.Init("", "", CString(workspace.ConfigRoot()), "", "vxrss-demo", "", true, userRoot)) {
    PrintLine("the news manager cannot start: is " + workspace.ConfigRoot() + "/Config/RSSNewsSvc.xml there?");
    return 1;
  }
  // The view registers after the dialog, so that its first list does not draw over the dialog.
  HeadlineView view(manager, "headlines");
  {
    const SettingsFrontEnd frontEnd;
    if (manager.ShowRSSNewsSettingDlg(nullptr, userRoot)) {
      CString selection;
      manager.GetRSSNewsSel(selection);
      PrintLine("selection saved: " + Utf8(selection));
      manager.AddNotify(&view);
      manager.RefreshProviderIDs(selection);  // the views clear and reload
      PrintSelectionHeadlines(manager);
    } else {
      PrintLine("cancelled; the selection stays " + Utf8(manager.GetProviderIDs()));
      manager.AddNotify(&view);
    }
  }
  manager.RemoveNotify(&view, "");
  manager.Finit();
  return 0;
}

}  // namespace demo
