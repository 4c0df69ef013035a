// Model-based test of the manager: random sequences of registrations, provider list changes, refreshes,
// queries, service events and worker passes run against CRssNewsMgr and against CReferenceModel, which
// keeps the same rules with plain walks. Views may throw, leave from inside their callbacks, or leave and
// register again from inside OnHeadlineClear. After every step both must have made the same service calls
// and view calls, in the same order, with the same results, and hold the same registry; and per booking,
// what the service was asked to book minus what it was asked to unbook must equal what the registry holds.
#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <sstream>
#include <type_traits>

#include "news/RssNewsMgr.h"
#include "tests/fakes/FakeNewsSvc.h"
#include "tests/model/ModelView.h"
#include "tests/model/ReferenceModel.h"
#include "tests/model/RssNewsMgrTestAccess.h"

std::string RegistryState::Describe() const {
  const auto quoted = [](const CString& s) { return "'" + s.str() + "'"; };
  std::ostringstream out;
  out << "providers " << quoted(strProviderIDs) << " ready " << bCategoryReady << " refs " << nRefCount << "\n";
  for (const auto& [key, views] : mapObj) {
    out << "  booking " << quoted(key.strBookingID) << "/" << key.lBookingDate << ":";
    for (const IRSSNewsObjEvent* v : views) out << " " << ViewName(v);
    out << "\n";
  }
  for (const auto& [view, key] : mapObjInfo)
    out << "  info " << ViewName(view) << " -> " << quoted(key.strBookingID) << "/" << key.lBookingDate << "\n";
  for (const NewsChange& c : vecChangeSet)
    out << "  change " << quoted(c.strID) << " " << quoted(c.strSubID) << " " << c.lDate << "\n";
  for (const CString& id : vecPendingIDs) out << "  refreshing " << quoted(id) << "\n";
  for (const auto& [id, view] : vecPendingNotify) out << "  queued " << quoted(id) << " " << ViewName(view) << "\n";
  for (const auto& [id, task] : mapTask) {
    out << "  task " << id << " for " << ViewName(task.pObj) << " " << quoted(task.strIDs) << " awaiting";
    for (const CString& p : task.vecIDs) out << " " << quoted(p);
    out << " holding " << task.vecHeadline.size() << "\n";
  }
  out << "  free slots:";
  for (int i = 0; i < kTaskSlots; ++i)
    if (!bTaskFree[i]) out << " -" << i;
  return out.str() + "\n";
}

namespace {

// splitmix64: a cheap, well-mixed function of one 64-bit value.
uint64_t Mix(uint64_t x) {
  x += 0x9E3779B97F4A7C15ULL;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
  return x ^ (x >> 31);
}

// The scripted service's answers in one step derive from the step's seed: the k-th roll within a step is the same
// on both sides, so two traces that agree up to a call also agree on what that call answered.
struct ModelScript {
  uint64_t stepSeed = 0;
  int categoryCount = 1;
};
constexpr int kFailPercent = 15;

// The fake news service answering from a ModelScript. The manager reaches one through the service library's
// exported functions; the reference model calls another directly. Each records every call in its log, the trace of
// its side, and keeps, per booking ("P list" or "S symbol;date;list"), how often it was asked to book it minus how
// often to unbook it (bookings at zero left out).
class CModelService {
 public:
  explicit CModelService(const ModelScript& script) : m_script(script) {
    // One category with one item, enough for the manager to rebuild its tree.
    m_svc.AddCategory("Market", {{"P1", "Provider one"}});
    m_svc.AnswerWith([this](const std::string& op, const fakes::FakeNewsSvc::Args& args,
                            std::vector<NewsHeadline>* pList, CString* pContent) -> std::optional<int> {
      const bool bBook = op == "BookProviderNews" || op == "BookSymbolNews_Date";
      if (bBook || op == "UnbookProviderNews" || op == "UnbookSymbolNews_Date") {
        const std::string key = args.size() == 3 ? "S " + args[0] + ";" + args[1] + ";" + args[2] : "P " + args[0];
        if ((m_net[key] += bBook ? 1 : -1) == 0) m_net.erase(key);
      }
      if (op == "GetCategoryCount") return m_script.categoryCount;
      if (bBook || op == "UnbookSymbolNews_Date") return NextRoll() < kFailPercent ? 0 : 1;
      if (op == "ReqTotalHeadline" || op == "CancelTotalHeadline") return NextRoll() < kFailPercent ? 1 : 0;
      if (pList) {
        // Status 0 with 0 to 2 records (each with its own block), or a refusal.
        if (NextRoll() < kFailPercent) return 1;
        const int count = NextRoll() % 3;
        for (int i = 0; i < count; ++i) pList->push_back(fakes::MakeHeadline({"", "", std::to_string(i)}));
        return 0;
      }
      if (!pContent) return std::nullopt;
      const int roll = NextRoll();
      *pContent = CString("content-" + std::to_string(roll));
      return roll < 70 ? 0 : roll % 4;
    });
  }

  fakes::FakeNewsSvc& Svc() { return m_svc; }
  // Starts counting the rolls from zero again, as each step does.
  void ResetCounters() { m_rolls = 0; }
  const std::map<std::string, int>& NetBookings() const { return m_net; }

 private:
  // A value in [0, 100) for the next roll of the current step.
  int NextRoll() { return static_cast<int>(Mix(m_script.stepSeed ^ Mix(static_cast<uint64_t>(m_rolls++))) % 100); }

  const ModelScript& m_script;
  int m_rolls = 0;
  std::map<std::string, int> m_net;
  fakes::FakeNewsSvc m_svc;
};

// Symbol texts: letter-case twins, a symbol that lies inside a provider list, Big5 texts whose trail bytes
// are the letters A and a (which must never be case-folded), and the empty text (never booked).
const char* const kSymbols[] = {"S1",       "s1",       "S2",        "P1",        "p2", "1",
                                "\xA4\x41", "\xA4\x61", "a\xA4\x41", "A\xA4\x41", ""};
// Provider lists. No two differ only in letter case, so "the old provider booking" is always one booking.
const char* const kLists[] = {"", "P1,P2", "P2,\xA4\x41", "P1,p3,\xA4\x61"};
// IDs the service reports in its events.
const char* const kReported[] = {"P1", "p1", "P2", "p3", "1", "\xA4\x41", "\xA4\x61", "S1", "s1", "", "P1,P2"};

constexpr int kViews = 6;

int StepsPerSeed() {
  const char* env = std::getenv("VXRSS_MODEL_STEPS");
  return env ? std::atoi(env) : 2000;
}

class ModelRun {
 public:
  explicit ModelRun(uint64_t seed) : m_rng(seed) {
    m_pool.push_back(nullptr);
    for (int i = 0; i < kViews; ++i) {
      m_views.push_back(std::make_unique<CModelView>("v" + std::to_string(i), m_mgrTrace));
      m_pool.push_back(m_views.back().get());
    }
    const bool bReady = Chance(60);
    m_script.categoryCount = bReady ? 1 : 0;
    m_mgrService.Svc().Install();
    m_mgr = std::make_unique<CRssNewsMgr>();
    m_mgr->Init("factory1", "factory2", "config", "session1", "session2", "session3", false, "user");
    CRssNewsMgrTestAccess::StopWorker(*m_mgr);
    m_model = std::make_unique<CReferenceModel>(m_modelService.Svc(), bReady);
    const CString list = Pick(kLists);
    m_mgr->SetProviderIDs(list);
    m_model->SetProviderIDs(list);
    m_script.categoryCount = 1;
  }

  ~ModelRun() { m_mgr->Finit(); }

  // Runs one random step on both sides; false (with a report) when they disagree.
  ::testing::AssertionResult Step(int step) {
    m_script.stepSeed = m_rng();
    m_mgrService.ResetCounters();
    m_modelService.ResetCounters();
    m_mgrTrace.Clear();
    m_modelTrace.Clear();
    const std::string op = RunRandomOperation();
    for (auto& view : m_views) {
      view->Arm(false);
      view->RemoveItselfThrough(nullptr);
      view->ReenterOnClearThrough(nullptr);
    }
    m_history.push_back(op);
    if (m_history.size() > 12) m_history.pop_front();

    // Whatever happened, per booking what the manager's service was asked to book minus what it was asked to
    // unbook equals what the registry holds: the manager's side lists the one, the model's side the other.
    const RegistryState registry = CRssNewsMgrTestAccess::Snapshot(*m_mgr);
    const std::string mgrState = registry.Describe() + AtService(HeldAtService(registry));
    const std::string modelState = m_model->Describe() + AtService(m_mgrService.NetBookings());
    if (m_mgrTrace.Entries() == m_modelTrace.Entries() && mgrState == modelState) return ::testing::AssertionSuccess();
    std::ostringstream report;
    report << "step " << step << " disagrees. Last operations:\n";
    for (const std::string& h : m_history) report << "  " << h << "\n";
    report << "manager calls:\n" << Lines(m_mgrTrace) << "model calls:\n" << Lines(m_modelTrace);
    report << "manager state:\n" << mgrState << "model state:\n" << modelState;
    return ::testing::AssertionFailure() << report.str();
  }

 private:
  static std::string Lines(const CallLog& trace) {
    std::string out;
    for (const std::string& line : trace.Entries()) out += "  " + line + "\n";
    return out;
  }

  // The bookings the service should hold for a registry, keyed as CModelService::NetBookings: each booking of the
  // registry once, none while the provider list is empty.
  static std::map<std::string, int> HeldAtService(const RegistryState& registry) {
    std::map<std::string, int> held;
    const CString& list = registry.strProviderIDs;
    if (list.IsEmpty()) return held;
    for (const auto& [key, views] : registry.mapObj) {
      const bool bProvider = key.strBookingID.CompareNoCase(list) == 0;
      ++held[bProvider ? "P " + list.str()
                       : "S " + key.strBookingID.str() + ";" + std::to_string(key.lBookingDate) + ";" + list.str()];
    }
    return held;
  }

  static std::string AtService(const std::map<std::string, int>& bookings) {
    std::string out;
    for (const auto& [key, n] : bookings) out += "  at the service " + std::to_string(n) + " x " + key + "\n";
    return out;
  }

  bool Chance(int percent) { return static_cast<int>(m_rng() % 100) < percent; }
  template <std::size_t N>
  CString Pick(const char* const (&pool)[N]) {
    return CString(pool[m_rng() % N]);
  }
  IRSSNewsObjEvent* PickView() { return m_pool[m_rng() % m_pool.size()]; }
  long PickDate() { return static_cast<long>(m_rng() % 3); }
  void ArmSome(int percent) {
    for (auto& view : m_views) view->Arm(Chance(percent));
  }
  // Runs one operation on the manager and on the model. What it returns goes into each side's trace, so a
  // result that differs shows where it happened.
  template <typename Call>
  std::string Both(const std::string& op, Call call) {
    if constexpr (std::is_void_v<decltype(call(*m_mgr))>) {
      call(*m_mgr);
      call(*m_model);
    } else {
      std::ostringstream a, b;
      a << op << " returned " << call(*m_mgr);
      m_mgrTrace.Add(a.str());
      b << op << " returned " << call(*m_model);
      m_modelTrace.Add(b.str());
    }
    return op + m_picks;
  }

  std::string RunRandomOperation();

  // Some views leave and register again from inside OnHeadlineClear during this step.
  void ReenterSome(int percent) {
    for (auto& view : m_views) view->ReenterOnClearThrough(Chance(percent) ? m_mgr.get() : nullptr);
  }

  std::mt19937_64 m_rng;
  ModelScript m_script;
  CModelService m_mgrService{m_script};
  CModelService m_modelService{m_script};
  CallLog& m_mgrTrace = m_mgrService.Svc().Log();
  CallLog& m_modelTrace = m_modelService.Svc().Log();
  std::vector<std::unique_ptr<CModelView>> m_views;
  std::vector<IRSSNewsObjEvent*> m_pool;
  std::unique_ptr<CRssNewsMgr> m_mgr;
  std::unique_ptr<CReferenceModel> m_model;
  std::deque<std::string> m_history;
  std::string m_picks;  // what the current operation picked, for the history
};

std::string ModelRun::RunRandomOperation() {
  const int roll = static_cast<int>(m_rng() % 100);
  IRSSNewsObjEvent* const view = PickView();
  const CString symbol = Pick(kSymbols);
  CString id = Pick(kReported);
  const long date = PickDate();
  m_picks = " with view " + ViewName(view) + ", symbol '" + symbol.str() + "', id '" + id.str() + "', date " +
            std::to_string(date);
  if (roll < 16) {
    if (view && Chance(10)) static_cast<CModelView*>(view)->Arm(true);
    return Both("AddNotify(view, symbol, date)", [&](auto& side) { return side.AddNotify(view, symbol, date); });
  }
  if (roll < 24) return Both("AddNotify(view)", [&](auto& side) { return side.AddNotify(view); });
  if (roll < 36) return Both("RemoveNotify(view)", [&](auto& side) { return side.RemoveNotify(view, ""); });
  if (roll < 40) {
    const CString list = Pick(kLists);
    ReenterSome(20);
    return Both("RefreshProviderIDs('" + list.str() + "')", [&](auto& side) { side.RefreshProviderIDs(list); });
  }
  if (roll < 45) return Both("UIRefresh(view)", [&](auto& side) { side.UIRefresh(view); });
  if (roll < 49) {
    // Now and then as many queries as there are task slots, so that every slot is taken.
    const int queries = Chance(10) ? CReferenceModel::kTaskSlots : 1;
    return Both("GetNewsHeadline(view) x" + std::to_string(queries), [&](auto& side) {
      std::string results;
      for (int i = 0; i < queries; ++i) {
        std::vector<NewsHeadline> out;
        const bool bResult = side.GetNewsHeadline(view, out);
        results += std::to_string(bResult) + " " + fakes::TakeTags(out) + ";";
      }
      return results;
    });
  }
  if (roll < 51) return Both("OnCategoryChange()", [&](auto& side) { side.OnCategoryChange(); });
  if (roll < 75) {
    ReenterSome(10);
    if (roll < 63) {
      return Both("OnProviderHeadLineChange_Date(id, date)",
                  [&](auto& side) { side.OnProviderHeadLineChange_Date(id, date); });
    }
    const CString subID = Chance(90) ? symbol : CString();
    return Both(subID.IsEmpty() ? "OnSymbolNewsHeadLineChange_Date(id, '', date)"
                                : "OnSymbolNewsHeadLineChange_Date(id, symbol, date)",
                [&](auto& side) { side.OnSymbolNewsHeadLineChange_Date(id, subID, date); });
  }
  if (roll < 84) {
    int task = Chance(95) ? static_cast<int>(m_rng() % 4) : 99;
    if (Chance(60)) m_model->AwaitedAnswer(m_rng(), id, task);  // most answers are for a task that waits
    ArmSome(15);
    return Both("OnGetTotalHeadLineReq('" + id.str() + "', " + std::to_string(task) + ")",
                [&](auto& side) { side.OnGetTotalHeadLineReq(id, task); });
  }
  if (roll < 88) return Both("OnNewsContentChange(id)", [&](auto& side) { side.OnNewsContentChange(id, 7, 8); });
  if (roll < 91) {
    return Both("OnSymbolNewsContentChange(id, symbol)",
                [&](auto& side) { side.OnSymbolNewsContentChange(id, symbol, 7, 8); });
  }
  ArmSome(10);
  for (auto& each : m_views) each->RemoveItselfThrough(Chance(10) ? m_mgr.get() : nullptr);
  const bool a = CRssNewsMgrTestAccess::DeliverPass(*m_mgr);
  const bool b = m_model->DeliverChangeSet();
  m_mgrTrace.Add("pass " + std::to_string(a));
  m_modelTrace.Add("pass " + std::to_string(b));
  return "worker pass";
}

class ManagerAgreesWithModel : public ::testing::TestWithParam<uint64_t> {};

TEST_P(ManagerAgreesWithModel, AfterEveryStep) {
  ModelRun run(GetParam());
  const int steps = StepsPerSeed();
  for (int step = 0; step < steps; ++step) ASSERT_TRUE(run.Step(step));
}

INSTANTIATE_TEST_SUITE_P(Seeds, ManagerAgreesWithModel, ::testing::Values(1, 2, 3, 4, 5, 6));

}  // namespace
