#include "platform/workerthread.h"

#include <utility>

#include "platform/winmsg.h"

namespace {
// Marks the body finished however it leaves.
struct FinishedMark {
  std::shared_ptr<std::atomic<bool>> finished;
  ~FinishedMark() { finished->store(true, std::memory_order_release); }
};
}  // namespace

CWorkerThread::~CWorkerThread() {
  if (!m_thread.joinable()) return;
  if (IsCurrentThread()) {
    // Destroyed by its own body: the thread cannot wait for itself.
    m_thread.detach();
    m_id.store(std::thread::id());
    return;
  }
  Join();
}

bool CWorkerThread::Start(std::function<void()> body) {
  if (IsRunning()) return false;
  if (m_thread.joinable()) {
    if (IsCurrentThread()) {
      m_thread.detach();
    } else {
      m_thread.join();  // its body has returned
    }
    m_id.store(std::thread::id());
  }
  auto finished = std::make_shared<std::atomic<bool>>(false);
  m_finished = finished;
  std::atomic<std::thread::id>* id = &m_id;
  // The body may destroy this object (detaching the thread), so the wrapper
  // touches `this` only before the body runs.
  m_thread = std::thread([body = std::move(body), finished = std::move(finished), id] {
    FinishedMark mark{finished};
    id->store(std::this_thread::get_id());
    body();
  });
  m_id.store(m_thread.get_id());
  return true;
}

bool CWorkerThread::IsRunning() const { return m_finished && !m_finished->load(std::memory_order_acquire); }

void CWorkerThread::Join() {
  if (!m_thread.joinable() || IsCurrentThread()) return;
  const std::shared_ptr<std::atomic<bool>> finished = m_finished;
  WaitPumpingSentMessages([&finished] { return finished->load(std::memory_order_acquire); });
  m_thread.join();
  m_id.store(std::thread::id());
}

bool CWorkerThread::IsCurrentThread() const { return m_id.load() == std::this_thread::get_id(); }
