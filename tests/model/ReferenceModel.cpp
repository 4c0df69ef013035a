#include "tests/model/ReferenceModel.h"

#include <algorithm>
#include <sstream>
#include <tuple>

#include "tests/model/ModelView.h"

namespace {

std::string Text(const CString& s) { return "'" + s.str() + "'"; }

}  // namespace

std::vector<CString> SplitList(const CString& strList) {
  std::vector<CString> pieces;
  CString rest = strList;
  while (!rest.IsEmpty()) {
    const int comma = rest.Find(',');
    if (comma < 0) {
      pieces.push_back(rest);
      break;
    }
    pieces.push_back(rest.Left(comma));
    rest = rest.Mid(comma + 1);
  }
  return pieces;
}

std::string Describe(const RegistrySnapshot& s) {
  std::ostringstream out;
  out << "providers " << Text(s.strProviderIDs) << " ready " << s.bCategoryReady << " refs " << s.nRefCount << "\n";
  for (const auto& [key, views] : s.mapObj) {
    out << "  booking " << Text(key.strBookingID) << "/" << key.lBookingDate << ":";
    for (const IRSSNewsObjEvent* v : views) out << " " << ViewName(v);
    out << "\n";
  }
  for (const auto& [view, key] : s.mapObjInfo)
    out << "  info " << ViewName(view) << " -> " << Text(key.strBookingID) << "/" << key.lBookingDate << "\n";
  for (const NewsChange& c : s.vecChangeSet)
    out << "  change " << Text(c.strID) << " " << Text(c.strSubID) << " " << c.lDate << "\n";
  for (const CString& id : s.vecPendingIDs) out << "  refreshing " << Text(id) << "\n";
  for (const auto& [id, view] : s.vecPendingNotify) out << "  queued " << Text(id) << " " << ViewName(view) << "\n";
  for (const auto& [id, task] : s.mapTask) {
    out << "  task " << id << " for " << ViewName(task.pObj) << " " << Text(task.strIDs) << " awaiting";
    for (const CString& p : task.vecIDs) out << " " << Text(p);
    out << " holding " << task.vecHeadline.size() << "\n";
  }
  out << "  free slots:";
  for (int i = 0; i < CReferenceModel::kTaskSlots; ++i)
    if (!s.pTaskFree[i]) out << " -" << i;
  out << "\n";
  return out.str();
}

CReferenceModel::CReferenceModel(fakes::FakeNewsSvc& service, bool bCategoryReady)
    : m_svc(service), m_trace(service.Log()), m_bCategoryReady(bCategoryReady) {
  std::fill(std::begin(m_bTaskFree), std::end(m_bTaskFree), true);
}

CReferenceModel::~CReferenceModel() {
  for (auto& [id, task] : m_mapTask) fakes::TakeTags(task.vecHeadline);
}

std::string CReferenceModel::Describe() const {
  return ::Describe(RegistrySnapshot{m_strProviderIDs, m_bCategoryReady, m_mapObj, m_mapObjInfo, m_vecChangeSet,
                                     m_vecPendingIDs, m_vecPendingNotify, m_mapTask, m_bTaskFree, m_nRefCount});
}

bool CReferenceModel::CallView(IRSSNewsObjEvent* pObj, std::string call, bool bCanThrow) {
  if (m_closed.count(pObj) != 0) return false;
  m_trace.Add(std::move(call));
  return bCanThrow && AsModelView(pObj)->Armed();
}

CReferenceModel::Registry::iterator CReferenceModel::FindFirstByID(const CString& strID) {
  return std::find_if(m_mapObj.begin(), m_mapObj.end(),
                      [&](const auto& entry) { return entry.first.strBookingID.CompareNoCase(strID) == 0; });
}

bool CReferenceModel::Insert(const CBookingInfo& key, IRSSNewsObjEvent* pObj, bool& bNewKey) {
  bNewKey = false;
  auto it = m_mapObj.find(key);
  if (it == m_mapObj.end()) {
    m_mapObj.emplace(key, std::vector<IRSSNewsObjEvent*>{pObj});
    bNewKey = true;
    return true;
  }
  if (std::find(it->second.begin(), it->second.end(), pObj) != it->second.end()) return false;
  it->second.push_back(pObj);
  return true;
}

bool CReferenceModel::BuildTaskInfo(int& nTaskID, IRSSNewsObjEvent* pObj, const CString& strIDs) {
  if (!pObj) return false;
  const auto free = std::find(std::begin(m_bTaskFree), std::end(m_bTaskFree), true);
  if (free == std::end(m_bTaskFree)) return false;
  nTaskID = static_cast<int>(free - std::begin(m_bTaskFree));
  *free = false;
  TaskInfo& task = m_mapTask[nTaskID];
  task.strIDs = strIDs;
  task.pObj = pObj;
  for (const CString& id : SplitList(strIDs)) task.vecIDs.push_back(id);
  return true;
}

bool CReferenceModel::AddNotify(IRSSNewsObjEvent* pObj, const CString& strID, long lDate) {
  if (strID.IsEmpty()) return false;
  m_closed.erase(pObj);
  if (!m_bCategoryReady) {
    m_vecPendingNotify.emplace_back(strID, pObj);
    return true;
  }
  const CBookingInfo key(strID, static_cast<int32_t>(lDate));
  bool bNewKey = false;
  if (!Insert(key, pObj, bNewKey)) return false;
  m_mapObjInfo[pObj] = key;
  if (bNewKey && !m_strProviderIDs.IsEmpty()) {
    ++m_nRefCount;
    if (m_svc.BookSymbolNews_Date(strID, lDate, m_strProviderIDs) == 0) return false;
  }
  if (pObj &&
      CallView(pObj, ViewCall(pObj, "OnSymbolHeadlineChange", {m_strProviderIDs.str(), strID.str(), "0"}), true)) {
    RemoveNotify(pObj);
    return false;
  }
  return true;
}

bool CReferenceModel::AddNotify(IRSSNewsObjEvent* pObj) {
  m_closed.erase(pObj);
  if (!m_bCategoryReady) {
    m_vecPendingNotify.emplace_back(CString(), pObj);
    return true;
  }
  const CBookingInfo key(m_strProviderIDs, 0);
  bool bNewKey = false;
  if (!Insert(key, pObj, bNewKey)) return false;
  m_mapObjInfo[pObj].strBookingID = m_strProviderIDs;
  if (bNewKey && !m_strProviderIDs.IsEmpty()) {
    ++m_nRefCount;
    if (m_svc.BookProviderNews(m_strProviderIDs) == 0) return false;
  }
  int nTaskID = 0;
  if (!BuildTaskInfo(nTaskID, pObj, m_strProviderIDs)) return false;
  for (const CString& id : SplitList(m_strProviderIDs))
    if (m_svc.ReqTotalHeadline(id, nTaskID) != 0) return false;
  return true;
}

bool CReferenceModel::RemoveNotify(IRSSNewsObjEvent* pObj, const CString&) {
  // After RemoveNotify no call reaches the view until it registers again, and a registration it queued
  // before the category tree was ready is not replayed.
  m_closed.insert(pObj);
  ++m_removals[pObj];
  m_vecPendingNotify.erase(std::remove_if(m_vecPendingNotify.begin(), m_vecPendingNotify.end(),
                                          [&](const auto& queued) { return queued.second == pObj; }),
                           m_vecPendingNotify.end());
  // A cancelled task is gone and its slot free again.
  for (auto it = m_mapTask.begin(); it != m_mapTask.end();) {
    if (it->second.pObj != pObj) {
      ++it;
      continue;
    }
    if (m_svc.CancelTotalHeadline(it->first) != 0) return false;
    fakes::TakeTags(it->second.vecHeadline);
    m_bTaskFree[it->first] = true;
    it = m_mapTask.erase(it);
  }
  bool bTakenOut = false;
  for (auto it = m_mapObj.begin(); it != m_mapObj.end(); ++it) {
    auto& views = it->second;
    const auto pos = std::find(views.begin(), views.end(), pObj);
    if (pos != views.end()) {
      views.erase(pos);
      bTakenOut = true;
    }
    if (!bTakenOut || !views.empty()) continue;
    // The emptied booking is what goes, at the service too, whatever the service answers.
    const CBookingInfo emptied = it->first;
    m_mapObj.erase(it);
    if (m_strProviderIDs.IsEmpty()) return true;
    --m_nRefCount;
    if (emptied.strBookingID.CompareNoCase(m_strProviderIDs) == 0) {
      m_svc.UnbookProviderNews(emptied.strBookingID);
      return true;
    }
    return m_svc.UnbookSymbolNews_Date(emptied.strBookingID, emptied.lBookingDate, m_strProviderIDs) != 0;
  }
  return true;
}

void CReferenceModel::NotifyClear(const CString& strText, EventType eEvent) {
  // Planned whole before the first call: a view that leaves (and perhaps registers again) from its callback
  // gets none of the calls planned for it that have not started.
  std::vector<std::pair<IRSSNewsObjEvent*, int>> planned;
  for (const auto& [key, views] : m_mapObj) {
    const bool bProvider = key.strBookingID.Compare(m_strProviderIDs) == 0;
    if (bProvider ? eEvent == EVENT_SYMBOL : eEvent == EVENT_PROVIDER) continue;
    for (IRSSNewsObjEvent* v : views)
      if (v) planned.emplace_back(v, m_removals[v]);
  }
  for (const auto& [v, removals] : planned) {
    if (m_removals[v] != removals || m_closed.count(v) != 0) continue;
    CallView(v, ViewCall(v, "OnHeadlineClear", {strText.str()}), false);
    if (AsModelView(v)->ReentersOnClear()) {
      RemoveNotify(v);
      AddNotify(v);
    }
  }
}

void CReferenceModel::NotifyChange() {
  const std::vector<CString> providers = SplitList(m_strProviderIDs);
  for (const auto& [key, views] : m_mapObj) {
    const bool bProvider = key.strBookingID.Compare(m_strProviderIDs) == 0;
    for (IRSSNewsObjEvent* v : views) {
      if (!v) continue;
      if (bProvider) {
        CallView(v, ViewCall(v, "OnProviderHeadlineChange", {key.strBookingID.str(), "0"}), false);
      } else {
        for (const CString& p : providers)
          CallView(v, ViewCall(v, "OnSymbolHeadlineChange", {p.str(), key.strBookingID.str(), "0"}), false);
      }
    }
  }
}

void CReferenceModel::RefreshProviderIDs(const CString& strNew) {
  const CString strOld = m_strProviderIDs;
  if (FindFirstByID(strOld) != m_mapObj.end() && !strOld.IsEmpty()) {
    --m_nRefCount;
    m_svc.UnbookProviderNews(strOld);
  }
  auto oldProvider = m_mapObj.end();
  for (auto it = m_mapObj.begin(); it != m_mapObj.end(); ++it) {
    if (it->first.strBookingID.Compare(strNew) == 0) continue;
    if (it->first.strBookingID.CompareNoCase(strOld) == 0) {
      auto& target = m_mapObj[CBookingInfo(strNew, 0)];
      target.insert(target.end(), it->second.begin(), it->second.end());
      oldProvider = it;
    } else if (!strOld.IsEmpty()) {
      --m_nRefCount;
      m_svc.UnbookSymbolNews_Date(it->first.strBookingID, it->first.lBookingDate, strOld);
    }
  }
  if (oldProvider != m_mapObj.end()) m_mapObj.erase(oldProvider);
  for (auto& [view, key] : m_mapObjInfo)
    if (key.strBookingID.Compare(strOld) == 0) key.strBookingID = strNew;
  m_strProviderIDs = strNew;
  // Every booking is made again before the views are told to clear, so views that register again from
  // their OnHeadlineClear meet a registry that agrees with the service.
  if (!strNew.IsEmpty()) {
    for (const auto& [key, views] : m_mapObj) {
      ++m_nRefCount;
      if (key.strBookingID.CompareNoCase(strNew) == 0)
        m_svc.BookProviderNews(strNew);
      else
        m_svc.BookSymbolNews_Date(key.strBookingID, key.lBookingDate, strNew);
    }
  }
  NotifyClear(CString(), EVENT_ALL);
  if (!strNew.IsEmpty()) NotifyChange();
}

void CReferenceModel::UIRefresh(IRSSNewsObjEvent* pObj) {
  const auto it = std::find_if(m_mapObj.begin(), m_mapObj.end(), [&](const auto& entry) {
    return std::find(entry.second.begin(), entry.second.end(), pObj) != entry.second.end();
  });
  if (it == m_mapObj.end()) return;
  const CString& text = it->first.strBookingID;
  if (std::find(m_vecPendingIDs.begin(), m_vecPendingIDs.end(), text) != m_vecPendingIDs.end()) return;
  m_vecPendingIDs.push_back(text);
  if (text.CompareNoCase(m_strProviderIDs) == 0)
    m_svc.Record("UpdateProviderCache", {});
  else
    m_svc.Record("UpdateSymbolCache", {text.str(), std::to_string(it->first.lBookingDate)});
}

bool CReferenceModel::GetNewsHeadline(IRSSNewsObjEvent* pObj, std::vector<NewsHeadline>& out) {
  if (!pObj) return false;
  // A view that holds no booking (it has left) gets nothing.
  const bool bHeld = std::any_of(m_mapObj.begin(), m_mapObj.end(), [&](const auto& entry) {
    return std::find(entry.second.begin(), entry.second.end(), pObj) != entry.second.end();
  });
  const auto info = m_mapObjInfo.find(pObj);
  if (!bHeld || info == m_mapObjInfo.end()) return false;
  const CString text = info->second.strBookingID;
  bool bResult = true;
  if (Contained(text)) {
    int nTaskID = 0;
    if (!BuildTaskInfo(nTaskID, pObj, m_strProviderIDs)) return false;
    for (const CString& id : SplitList(m_strProviderIDs))
      if (m_svc.ReqTotalHeadline(id, nTaskID) != 0) bResult = false;
    return bResult;
  }
  for (const CString& provider : SplitList(m_strProviderIDs)) {
    std::vector<NewsHeadline> list;
    if (m_svc.GetSymbolHeadline(provider, text, list) != 0) bResult = false;
    out.insert(out.end(), list.begin(), list.end());
  }
  return bResult;
}

void CReferenceModel::InitCategory() {
  const int n = m_svc.GetCategoryCount();
  for (int i = 0; i < n; ++i) {
    if (IRSSNewsCategory* const pCategory = m_svc.GetCategory(i)) pCategory->Release();
  }
}

void CReferenceModel::OnCategoryChange() {
  m_bCategoryReady = true;
  InitCategory();
  // One at a time from the live queue: a view removed during the replay loses its later registrations.
  while (!m_vecPendingNotify.empty()) {
    const auto [id, view] = m_vecPendingNotify.front();
    m_vecPendingNotify.erase(m_vecPendingNotify.begin());
    if (id.IsEmpty()) {
      AddNotify(view);
    } else {
      const auto info = m_mapObjInfo.find(view);
      AddNotify(view, id, info == m_mapObjInfo.end() ? 0 : info->second.lBookingDate);
    }
  }
  for (const auto& [key, views] : m_mapObj)
    for (IRSSNewsObjEvent* v : views)
      if (v) CallView(v, ViewCall(v, "OnCategoryReady", {}), false);
}

void CReferenceModel::AddChange(const NewsChange& change) {
  if (std::find(m_vecChangeSet.begin(), m_vecChangeSet.end(), change) == m_vecChangeSet.end())
    m_vecChangeSet.push_back(change);
}

void CReferenceModel::ClearRefreshMark(const CString& strID) {
  m_vecPendingIDs.erase(std::remove(m_vecPendingIDs.begin(), m_vecPendingIDs.end(), strID), m_vecPendingIDs.end());
}

void CReferenceModel::OnProviderHeadLineChange_Date(const CString& strProviderID, long lDate) {
  if (strProviderID.IsEmpty()) return;
  if (FindFirstByID(strProviderID) == m_mapObj.end() && !Contained(strProviderID)) return;
  std::vector<NewsHeadline> list;
  if (m_svc.GetProviderHeadline_Date(strProviderID, lDate, list) != 0) return;
  if (list.empty()) NotifyClear(strProviderID, EVENT_PROVIDER);
  const CString key = Contained(strProviderID) ? m_strProviderIDs : strProviderID;
  if (FindFirstByID(key) != m_mapObj.end()) AddChange(NewsChange{strProviderID, CString(), lDate});
  ClearRefreshMark(key);
  fakes::TakeTags(list);
}

void CReferenceModel::OnSymbolNewsHeadLineChange_Date(const CString& strProviderID, const CString& strSymbolID,
                                                      long lDate) {
  if (FindFirstByID(strSymbolID) == m_mapObj.end()) return;
  std::vector<NewsHeadline> list;
  if (m_svc.GetSymbolHeadline_Date(strProviderID, strSymbolID, lDate, list) != 0) return;
  if (list.empty()) NotifyClear(strProviderID, EVENT_SYMBOL);
  AddChange(NewsChange{strProviderID, strSymbolID, lDate});
  ClearRefreshMark(strSymbolID);
  fakes::TakeTags(list);
}

void CReferenceModel::OnGetTotalHeadLineReq(const CString& strProviderID, int nTaskID) {
  const auto it = m_mapTask.find(nTaskID);
  if (it == m_mapTask.end()) return;
  TaskInfo& task = it->second;
  if (std::find(task.vecIDs.begin(), task.vecIDs.end(), strProviderID) == task.vecIDs.end()) return;
  std::vector<NewsHeadline> list;
  if (m_svc.GetTotalHeadline(strProviderID, list) != 0) return;
  task.vecHeadline.insert(task.vecHeadline.end(), list.begin(), list.end());
  task.vecIDs.erase(std::remove(task.vecIDs.begin(), task.vecIDs.end(), strProviderID), task.vecIDs.end());
  if (!task.vecIDs.empty()) return;
  IRSSNewsObjEvent* const pObj = task.pObj;
  const bool bFailed =
      !pObj || CallView(pObj, ViewCall(pObj, "OnTotalHeadline", {fakes::TakeTags(task.vecHeadline)}), true);
  // The view frees the blocks it receives (the tags taken for the trace stand in for it); without a view, the model
  // does.
  fakes::TakeTags(task.vecHeadline);
  m_mapTask.erase(it);
  m_bTaskFree[nTaskID] = true;
  if (bFailed) RemoveNotify(pObj);
}

void CReferenceModel::OnNewsContentChange(const CString& strProviderID, long lKey1, long lKey2) {
  const CString key = Contained(strProviderID) ? m_strProviderIDs : strProviderID;
  if (FindFirstByID(key) == m_mapObj.end()) return;
  CString content;
  if (m_svc.GetNewsContent(strProviderID, lKey1, lKey2, content) != 0) return;
  HandContent(key, "OnNewsContentArrive",
              {strProviderID.str(), std::to_string(lKey1), std::to_string(lKey2), content.str()});
}

void CReferenceModel::OnSymbolNewsContentChange(const CString& strProviderID, const CString& strSymbolID, long lKey1,
                                                long lKey2) {
  if (FindFirstByID(strSymbolID) == m_mapObj.end()) return;
  CString content;
  if (m_svc.GetSymbolNewsContent(strProviderID, strSymbolID, lKey1, lKey2, content) != 0) return;
  HandContent(strSymbolID, "OnSymbolNewsContentArrive",
              {strProviderID.str(), strSymbolID.str(), std::to_string(lKey1), std::to_string(lKey2), content.str()});
}

void CReferenceModel::HandContent(const CString& strKey, const char* op, const std::vector<std::string>& args) {
  for (const auto& [booking, views] : m_mapObj) {
    if (booking.strBookingID.CompareNoCase(strKey) != 0) continue;
    for (IRSSNewsObjEvent* v : views)
      if (v) CallView(v, ViewCall(v, op, args), false);
  }
}

bool CReferenceModel::DeliverChangeSet() {
  // The whole pass is planned before the first call: a view that removes itself inside its callback
  // changes the registry, not the pass, and only the calls to it that have not started are dropped.
  struct Planned {
    NewsChange change;
    IRSSNewsObjEvent* pObj;
    CString strText;
  };
  std::vector<Planned> pass;
  for (const NewsChange& c : m_vecChangeSet) {
    CString key = c.strSubID.IsEmpty() ? c.strID : c.strSubID;
    if (Contained(key)) key = m_strProviderIDs;
    const auto booking = FindFirstByID(key);
    if (booking == m_mapObj.end()) continue;
    for (IRSSNewsObjEvent* v : booking->second) pass.push_back({c, v, m_mapObjInfo[v].strBookingID});
  }
  m_vecChangeSet.clear();
  bool bResult = true;
  std::vector<std::pair<CString, IRSSNewsObjEvent*>> failed;
  for (const auto& [c, v, text] : pass) {
    if (!v) {
      failed.emplace_back(text, v);
      continue;
    }
    const std::string call =
        c.strSubID.IsEmpty()
            ? ViewCall(v, "OnProviderHeadlineChange", {c.strID.str(), std::to_string(c.lDate)})
            : ViewCall(v, "OnSymbolHeadlineChange", {c.strID.str(), c.strSubID.str(), std::to_string(c.lDate)});
    if (m_closed.count(v) != 0) continue;
    m_trace.Add(call);
    if (AsModelView(v)->RemovesItself()) RemoveNotify(v);
    if (AsModelView(v)->Armed()) {
      failed.emplace_back(text, v);
      bResult = false;
    }
  }
  for (const auto& [text, view] : failed) RemoveNotify(view);
  return bResult;
}

bool CReferenceModel::AwaitedAnswer(uint64_t roll, CString& strProviderID, int& nTaskID) const {
  std::vector<std::pair<CString, int>> awaited;
  for (const auto& [id, task] : m_mapTask)
    for (const CString& provider : task.vecIDs) awaited.emplace_back(provider, id);
  if (awaited.empty()) return false;
  std::tie(strProviderID, nTaskID) = awaited[roll % awaited.size()];
  return true;
}
