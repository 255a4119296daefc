#include "platform/workerthread.h"

#include <future>
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
  // The body waits until m_thread and m_id are set: it may call
  // IsCurrentThread, or destroy this object (detaching m_thread), at once.
  std::promise<void> published;
  std::future<void> gate = published.get_future();
  m_thread = std::thread([body = std::move(body), finished = std::move(finished), gate = std::move(gate)] {
    FinishedMark mark{finished};
    gate.wait();
    body();
  });
  m_id.store(m_thread.get_id());
  published.set_value();
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
