// CReferenceModel: the manager's registry, provider list, change set, refresh marks, task table and
// registration queue, kept the plain way: every lookup walks the containers exactly as the rules read.
// Single-threaded, no locks, no indexes. It calls its own scripted service and, instead of calling views,
// writes the callbacks it would make into the trace (throwing where an armed view would throw).
//
// The model test drives a CRssNewsMgr and this model with the same operations and compares what both did.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "tests/fakes/FakeNewsSvc.h"
#include "tests/model/ModelView.h"
#include "tests/model/RssNewsMgrTestAccess.h"

// Splits an ID list at "," the way the manager does: empty pieces kept, no empty last piece.
inline std::vector<CString> SplitList(const CString& strList) {
  std::vector<CString> pieces;
  std::istringstream in(strList.str());
  for (std::string piece; std::getline(in, piece, ',');) pieces.emplace_back(piece);
  return pieces;
}

template <typename Container, typename Value>
bool Contains(const Container& container, const Value& value) {
  return std::find(std::begin(container), std::end(container), value) != std::end(container);
}

class CReferenceModel : private RegistryState {
 public:
  using RegistryState::Describe;
  using RegistryState::kTaskSlots;

  CReferenceModel(fakes::FakeNewsSvc& service, bool bReady) : m_svc(service) {
    bCategoryReady = bReady;
    std::fill(std::begin(bTaskFree), std::end(bTaskFree), true);
  }
  ~CReferenceModel() {
    for (auto& [id, task] : mapTask) fakes::TakeTags(task.vecHeadline);
  }
  CReferenceModel(const CReferenceModel&) = delete;
  CReferenceModel& operator=(const CReferenceModel&) = delete;

  void SetProviderIDs(const CString& strIDs) { strProviderIDs = strIDs; }
  bool AddNotify(IRSSNewsObjEvent* pObj, const CString& strID, long lDate) {
    return !strID.IsEmpty() && Register(pObj, strID, lDate);
  }
  bool AddNotify(IRSSNewsObjEvent* pObj) { return Register(pObj, CString(), 0); }

  bool RemoveNotify(IRSSNewsObjEvent* pObj, const CString& = CString()) {
    // After RemoveNotify no call reaches the view until it registers again, and a registration it queued
    // before the category tree was ready is not replayed.
    m_closed.insert(pObj);
    ++m_removals[pObj];
    vecPendingNotify.erase(std::remove_if(vecPendingNotify.begin(), vecPendingNotify.end(),
                                          [&](const auto& queued) { return queued.second == pObj; }),
                           vecPendingNotify.end());
    // A cancelled task is gone and its slot free again.
    for (auto it = mapTask.begin(); it != mapTask.end();) {
      if (it->second.pObj != pObj) {
        ++it;
        continue;
      }
      if (m_svc.CancelTotalHeadline(it->first) != 0) return false;
      fakes::TakeTags(it->second.vecHeadline);
      bTaskFree[it->first] = true;
      it = mapTask.erase(it);
    }
    bool bTakenOut = false;
    for (auto it = mapObj.begin(); it != mapObj.end(); ++it) {
      auto& views = it->second;
      const auto pos = std::find(views.begin(), views.end(), pObj);
      bTakenOut = bTakenOut || pos != views.end();
      if (pos != views.end()) views.erase(pos);
      if (!bTakenOut || !views.empty()) continue;
      // The emptied booking is what goes, at the service too, whatever the service answers.
      const CBookingInfo emptied = it->first;
      mapObj.erase(it);
      if (strProviderIDs.IsEmpty()) return true;
      --nRefCount;
      const bool bProvider = emptied.strBookingID.CompareNoCase(strProviderIDs) == 0;
      const int nAnswer = bProvider
                              ? m_svc.UnbookProviderNews(emptied.strBookingID)
                              : m_svc.UnbookSymbolNews_Date(emptied.strBookingID, emptied.lBookingDate, strProviderIDs);
      return bProvider || nAnswer != 0;
    }
    return true;
  }

  void RefreshProviderIDs(const CString& strNew) {
    const CString strOld = strProviderIDs;
    if (FindFirstByID(strOld) != mapObj.end() && !strOld.IsEmpty()) {
      --nRefCount;
      m_svc.UnbookProviderNews(strOld);
    }
    auto oldProvider = mapObj.end();
    for (auto it = mapObj.begin(); it != mapObj.end(); ++it) {
      if (it->first.strBookingID.Compare(strNew) == 0) continue;
      if (it->first.strBookingID.CompareNoCase(strOld) == 0) {
        auto& target = mapObj[CBookingInfo(strNew, 0)];
        target.insert(target.end(), it->second.begin(), it->second.end());
        oldProvider = it;
      } else if (!strOld.IsEmpty()) {
        --nRefCount;
        m_svc.UnbookSymbolNews_Date(it->first.strBookingID, it->first.lBookingDate, strOld);
      }
    }
    if (oldProvider != mapObj.end()) mapObj.erase(oldProvider);
    for (auto& [view, key] : mapObjInfo)
      if (key.strBookingID.Compare(strOld) == 0) key.strBookingID = strNew;
    strProviderIDs = strNew;
    // Every booking is made again before the views are told to clear, so views that register again from
    // their OnHeadlineClear meet a registry that agrees with the service.
    if (!strNew.IsEmpty()) {
      for (const auto& [key, views] : mapObj) {
        ++nRefCount;
        if (key.strBookingID.CompareNoCase(strNew) == 0)
          m_svc.BookProviderNews(strNew);
        else
          m_svc.BookSymbolNews_Date(key.strBookingID, key.lBookingDate, strNew);
      }
    }
    NotifyClear(CString(), EVENT_ALL);
    if (strNew.IsEmpty()) return;
    EachView([&](IRSSNewsObjEvent* v, const CBookingInfo& key) {
      if (key.strBookingID.Compare(strProviderIDs) == 0) {
        CallView(v, "OnProviderHeadlineChange", {key.strBookingID.str(), "0"});
        return;
      }
      for (const CString& p : SplitList(strProviderIDs))
        CallView(v, "OnSymbolHeadlineChange", {p.str(), key.strBookingID.str(), "0"});
    });
  }

  void UIRefresh(IRSSNewsObjEvent* pObj) {
    const auto it = BookingOf(pObj);
    if (it == mapObj.end() || Contains(vecPendingIDs, it->first.strBookingID)) return;
    const CString& text = it->first.strBookingID;
    vecPendingIDs.push_back(text);
    if (text.CompareNoCase(strProviderIDs) == 0)
      m_svc.Record("UpdateProviderCache", {});
    else
      m_svc.Record("UpdateSymbolCache", {text.str(), std::to_string(it->first.lBookingDate)});
  }

  bool GetNewsHeadline(IRSSNewsObjEvent* pObj, std::vector<NewsHeadline>& out) {
    // A view that holds no booking (it has left) gets nothing.
    const auto info = mapObjInfo.find(pObj);
    if (!pObj || BookingOf(pObj) == mapObj.end() || info == mapObjInfo.end()) return false;
    if (Contained(info->second.strBookingID)) return RequestTotal(pObj, false);
    bool bResult = true;
    for (const CString& provider : SplitList(strProviderIDs)) {
      std::vector<NewsHeadline> list;
      if (m_svc.GetSymbolHeadline(provider, info->second.strBookingID, list) != 0) bResult = false;
      out.insert(out.end(), list.begin(), list.end());
    }
    return bResult;
  }

  void OnCategoryChange() {
    bCategoryReady = true;
    for (int i = 0, n = m_svc.GetCategoryCount(); i < n; ++i)
      if (IRSSNewsCategory* const pCategory = m_svc.GetCategory(i)) pCategory->Release();
    // One at a time from the live queue: a view removed during the replay loses its later registrations.
    while (!vecPendingNotify.empty()) {
      const auto [id, view] = vecPendingNotify.front();
      vecPendingNotify.erase(vecPendingNotify.begin());
      const auto info = mapObjInfo.find(view);
      Register(view, id, info == mapObjInfo.end() ? 0 : info->second.lBookingDate);
    }
    EachView([&](IRSSNewsObjEvent* v, const CBookingInfo&) { CallView(v, "OnCategoryReady", {}); });
  }

  void OnProviderHeadLineChange_Date(const CString& strProviderID, long lDate) {
    if (strProviderID.IsEmpty() || (FindFirstByID(strProviderID) == mapObj.end() && !Contained(strProviderID))) return;
    std::vector<NewsHeadline> list;
    if (m_svc.GetProviderHeadline_Date(strProviderID, lDate, list) != 0) return;
    if (list.empty()) NotifyClear(strProviderID, EVENT_PROVIDER);
    const CString key = Contained(strProviderID) ? strProviderIDs : strProviderID;
    if (FindFirstByID(key) != mapObj.end()) AddChange(NewsChange{strProviderID, CString(), lDate});
    vecPendingIDs.erase(std::remove(vecPendingIDs.begin(), vecPendingIDs.end(), key), vecPendingIDs.end());
    fakes::TakeTags(list);
  }

  void OnSymbolNewsHeadLineChange_Date(const CString& strProviderID, const CString& strSymbolID, long lDate) {
    std::vector<NewsHeadline> list;
    if (FindFirstByID(strSymbolID) == mapObj.end() ||
        m_svc.GetSymbolHeadline_Date(strProviderID, strSymbolID, lDate, list) != 0) {
      return;
    }
    if (list.empty()) NotifyClear(strProviderID, EVENT_SYMBOL);
    AddChange(NewsChange{strProviderID, strSymbolID, lDate});
    vecPendingIDs.erase(std::remove(vecPendingIDs.begin(), vecPendingIDs.end(), strSymbolID), vecPendingIDs.end());
    fakes::TakeTags(list);
  }

  void OnGetTotalHeadLineReq(const CString& strProviderID, int nTaskID) {
    const auto it = mapTask.find(nTaskID);
    std::vector<NewsHeadline> list;
    if (it == mapTask.end() || !Contains(it->second.vecIDs, strProviderID) ||
        m_svc.GetTotalHeadline(strProviderID, list) != 0) {
      return;
    }
    TaskInfo& task = it->second;
    task.vecHeadline.insert(task.vecHeadline.end(), list.begin(), list.end());
    task.vecIDs.erase(std::remove(task.vecIDs.begin(), task.vecIDs.end(), strProviderID), task.vecIDs.end());
    if (!task.vecIDs.empty()) return;
    // The view frees the blocks it receives (the tags taken for the trace stand in for it).
    IRSSNewsObjEvent* const pObj = task.pObj;
    const bool bFailed = CallView(pObj, "OnTotalHeadline", {fakes::TakeTags(task.vecHeadline)}, true);
    mapTask.erase(it);
    bTaskFree[nTaskID] = true;
    if (bFailed) RemoveNotify(pObj);
  }

  void OnNewsContentChange(const CString& strProviderID, long lKey1, long lKey2) {
    const CString key = Contained(strProviderID) ? strProviderIDs : strProviderID;
    CString content;
    if (FindFirstByID(key) == mapObj.end() || m_svc.GetNewsContent(strProviderID, lKey1, lKey2, content) != 0) return;
    CallViewsOf(key, "OnNewsContentArrive",
                {strProviderID.str(), std::to_string(lKey1), std::to_string(lKey2), content.str()});
  }

  void OnSymbolNewsContentChange(const CString& strProviderID, const CString& strSymbolID, long lKey1, long lKey2) {
    CString content;
    if (FindFirstByID(strSymbolID) == mapObj.end() ||
        m_svc.GetSymbolNewsContent(strProviderID, strSymbolID, lKey1, lKey2, content) != 0) {
      return;
    }
    CallViewsOf(strSymbolID, "OnSymbolNewsContentArrive",
                {strProviderID.str(), strSymbolID.str(), std::to_string(lKey1), std::to_string(lKey2), content.str()});
  }

  // One pass of the worker.
  bool DeliverChangeSet() {
    // The whole pass is planned before the first call: a view that removes itself inside its callback
    // changes the registry, not the pass, and only the calls to it that have not started are dropped.
    std::vector<std::pair<NewsChange, IRSSNewsObjEvent*>> pass;
    for (const NewsChange& c : vecChangeSet) {
      CString key = c.strSubID.IsEmpty() ? c.strID : c.strSubID;
      if (Contained(key)) key = strProviderIDs;
      const auto booking = FindFirstByID(key);
      if (booking == mapObj.end()) continue;
      for (IRSSNewsObjEvent* v : booking->second) pass.emplace_back(c, v);
    }
    vecChangeSet.clear();
    bool bResult = true;
    std::vector<IRSSNewsObjEvent*> failed;
    for (const auto& [c, v] : pass) {
      if (!v) failed.push_back(v);
      if (!v || m_closed.count(v) != 0) continue;
      const bool bThrew =
          c.strSubID.IsEmpty()
              ? CallView(v, "OnProviderHeadlineChange", {c.strID.str(), std::to_string(c.lDate)}, true)
              : CallView(v, "OnSymbolHeadlineChange", {c.strID.str(), c.strSubID.str(), std::to_string(c.lDate)}, true);
      if (AsModelView(v)->RemovesItself()) RemoveNotify(v);
      if (bThrew) failed.push_back(v);
      bResult = bResult && !bThrew;
    }
    for (IRSSNewsObjEvent* view : failed) RemoveNotify(view);
    return bResult;
  }

  // A provider answer some task awaits, picked by `roll`; false (nothing changed) when no task awaits one.
  bool AwaitedAnswer(uint64_t roll, CString& strProviderID, int& nTaskID) const {
    std::vector<std::pair<CString, int>> awaited;
    for (const auto& [id, task] : mapTask)
      for (const CString& provider : task.vecIDs) awaited.emplace_back(provider, id);
    if (awaited.empty()) return false;
    std::tie(strProviderID, nTaskID) = awaited[roll % awaited.size()];
    return true;
  }

 private:
  using Registry = std::map<CBookingInfo, std::vector<IRSSNewsObjEvent*>>;
  enum EventType { EVENT_PROVIDER, EVENT_SYMBOL, EVENT_ALL };

  bool Contained(const CString& strID) const { return strProviderIDs.Find(strID) >= 0; }
  Registry::iterator FindFirstByID(const CString& strID) {
    return std::find_if(mapObj.begin(), mapObj.end(),
                        [&](const auto& entry) { return entry.first.strBookingID.CompareNoCase(strID) == 0; });
  }
  Registry::iterator BookingOf(IRSSNewsObjEvent* pObj) {
    return std::find_if(mapObj.begin(), mapObj.end(), [&](const auto& entry) { return Contains(entry.second, pObj); });
  }
  // Calls `call(view, booking)` for every view but null of every booking, in the registry's order.
  template <typename Call>
  void EachView(Call call) {
    for (const auto& [key, views] : mapObj)
      for (IRSSNewsObjEvent* v : views)
        if (v) call(v, key);
  }
  void CallViewsOf(const CString& strKey, const char* op, const std::vector<std::string>& args) {
    EachView([&](IRSSNewsObjEvent* v, const CBookingInfo& key) {
      if (key.strBookingID.CompareNoCase(strKey) == 0) CallView(v, op, args);
    });
  }
  // Writes a view call into the trace unless the view has left; true when the view threw.
  bool CallView(IRSSNewsObjEvent* pObj, const char* op, const std::vector<std::string>& args, bool bCanThrow = false) {
    if (m_closed.count(pObj) != 0) return false;
    m_svc.Log().Add(ViewCall(pObj, op, args));
    return bCanThrow && AsModelView(pObj)->Armed();
  }
  void AddChange(const NewsChange& change) {
    if (!Contains(vecChangeSet, change)) vecChangeSet.push_back(change);
  }

  // A symbol booking for `strID`, or with an empty `strID` the provider booking (the whole provider list), which
  // also starts a task for every provider's headlines.
  bool Register(IRSSNewsObjEvent* pObj, const CString& strID, long lDate) {
    m_closed.erase(pObj);
    if (!bCategoryReady) {
      vecPendingNotify.emplace_back(strID, pObj);
      return true;
    }
    const bool bProvider = strID.IsEmpty();
    const CBookingInfo key(bProvider ? strProviderIDs : strID, bProvider ? 0 : static_cast<int32_t>(lDate));
    auto& views = mapObj[key];
    const bool bNewKey = views.empty();
    if (Contains(views, pObj)) return false;
    views.push_back(pObj);
    // A provider registration keeps the date the view last registered with.
    CBookingInfo& info = mapObjInfo[pObj];
    info = bProvider ? CBookingInfo(strProviderIDs, info.lBookingDate) : key;
    if (bNewKey && !strProviderIDs.IsEmpty()) {
      ++nRefCount;
      const int nBooked =
          bProvider ? m_svc.BookProviderNews(strProviderIDs) : m_svc.BookSymbolNews_Date(strID, lDate, strProviderIDs);
      if (nBooked == 0) return false;
    }
    if (bProvider) return RequestTotal(pObj, true);
    const bool bThrew =
        pObj && CallView(pObj, "OnSymbolHeadlineChange", {strProviderIDs.str(), strID.str(), "0"}, true);
    if (bThrew) RemoveNotify(pObj);
    return !bThrew;
  }

  // Opens a task in the first free slot and asks every provider for its headlines.
  bool RequestTotal(IRSSNewsObjEvent* pObj, bool bStopAtRefusal) {
    const auto free = std::find(std::begin(bTaskFree), std::end(bTaskFree), true);
    if (!pObj || free == std::end(bTaskFree)) return false;
    *free = false;
    const int nTaskID = static_cast<int>(free - std::begin(bTaskFree));
    mapTask[nTaskID] = TaskInfo{strProviderIDs, SplitList(strProviderIDs), {}, pObj};
    bool bResult = true;
    for (const CString& id : SplitList(strProviderIDs)) {
      if (m_svc.ReqTotalHeadline(id, nTaskID) == 0) continue;
      bResult = false;
      if (bStopAtRefusal) break;
    }
    return bResult;
  }

  void NotifyClear(const CString& strText, EventType eEvent) {
    // Planned whole before the first call: a view that leaves (and perhaps registers again) from its callback
    // gets none of the calls planned for it that have not started.
    std::vector<std::pair<IRSSNewsObjEvent*, int>> planned;
    EachView([&](IRSSNewsObjEvent* v, const CBookingInfo& key) {
      const bool bProvider = key.strBookingID.Compare(strProviderIDs) == 0;
      if (bProvider ? eEvent != EVENT_SYMBOL : eEvent != EVENT_PROVIDER) planned.emplace_back(v, m_removals[v]);
    });
    for (const auto& [v, removals] : planned) {
      if (m_removals[v] != removals || m_closed.count(v) != 0) continue;
      CallView(v, "OnHeadlineClear", {strText.str()});
      if (AsModelView(v)->ReentersOnClear()) {
        RemoveNotify(v);
        AddNotify(v);
      }
    }
  }

  fakes::FakeNewsSvc& m_svc;  // its log is the model's trace
  // Views that called RemoveNotify and have not registered since: no call reaches them.
  std::set<IRSSNewsObjEvent*> m_closed;
  // How often each view has been removed: a call planned before a removal of its view does not start.
  std::map<IRSSNewsObjEvent*, int> m_removals;
};
