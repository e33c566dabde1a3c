// A thread of its own that takes full chunks from one producer, in order and one at a
// time, and works on each (checksums it, writes it) while the producer fills the next.
// Pure C++, for the storage writer of a large database.
#pragma once
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace storage {

using Chunk = std::vector<uint8_t>;

class ChunkWorker {
public:
    // work answers false when it failed; the worker then takes no more chunks.
    explicit ChunkWorker(std::function<bool(const Chunk&)> work);
    // Finishes the chunk it holds first.
    ~ChunkWorker();
    ChunkWorker(const ChunkWorker&) = delete;
    ChunkWorker& operator=(const ChunkWorker&) = delete;

    // Waits for the chunk before, then takes this one; *chunk is left empty (with room
    // to fill again). False once work failed.
    bool Hand(Chunk* chunk);
    // Waits until every chunk handed over is done. False once work failed.
    bool Wait();

private:
    void Run();
    std::function<bool(const Chunk&)> m_work;
    std::mutex m_lock;
    std::condition_variable m_changed;
    Chunk m_pending;
    bool m_hasPending = false, m_stop = false, m_failed = false;
    std::thread m_thread;
};

}  // namespace storage
