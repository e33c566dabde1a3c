#include "ChunkWorker.h"

namespace storage {

ChunkWorker::ChunkWorker(std::function<bool(const Chunk&)> work) : m_work(std::move(work))
{
    m_thread = std::thread([this] { Run(); });
}

ChunkWorker::~ChunkWorker()
{
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_stop = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void ChunkWorker::Run()
{
    Chunk chunk;
    for (;;) {
        {
            std::unique_lock<std::mutex> hold(m_lock);
            m_changed.wait(hold, [this] { return m_hasPending || m_stop; });
            if (!m_hasPending)
                return;
            chunk.swap(m_pending);
        }
        bool ok = m_work(chunk);
        chunk.clear();
        {
            std::lock_guard<std::mutex> hold(m_lock);
            m_failed = m_failed || !ok;
            m_hasPending = false;
        }
        m_changed.notify_all();
    }
}

bool ChunkWorker::Hand(Chunk* chunk)
{
    std::unique_lock<std::mutex> hold(m_lock);
    m_changed.wait(hold, [this] { return !m_hasPending; });
    if (!m_failed && !chunk->empty()) {
        chunk->swap(m_pending);
        m_hasPending = true;
        m_changed.notify_all();
    }
    chunk->clear();
    return !m_failed;
}

bool ChunkWorker::Wait()
{
    std::unique_lock<std::mutex> hold(m_lock);
    m_changed.wait(hold, [this] { return !m_hasPending; });
    return !m_failed;
}

}  // namespace storage
