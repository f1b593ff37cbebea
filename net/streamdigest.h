#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include <QByteArray>

#include "platform/signal.h"
#include "platform/task.h"

class QObject;

// Sums a file's bytes as they are written, so that no second read of the file is needed. The
// hashing runs on a helper thread of its own: on loopback a transfer brings bytes about as fast
// as one core hashes them, and hashing on the event loop's thread would halve the transfer's
// speed. Blocks are handed over shared (no copy) through a short queue; the caller waits only
// when the queue is full, so memory stays flat however big the file. Everything else about the
// transfer stays on the one thread: this class alone holds a lock.
class TStreamDigest
{
  public:
    // algorithm: "MD5", "SHA256" or "SHA512". Raises Exception for one that is not known.
    explicit TStreamDigest(const std::string& algorithm);
    // Whatever is still queued is dropped.
    ~TStreamDigest();
    TStreamDigest(const TStreamDigest&) = delete;
    TStreamDigest& operator=(const TStreamDigest&) = delete;

    // The file is written again after its first keptBytes (0: from its start): the sum starts
    // afresh, with those bytes read from the file first.
    void Begin(const std::string& fileName, std::int64_t keptBytes);
    // The next bytes written after those before. The block is handed over (moved in), so that
    // Spare can give its buffer back, unshared, for the bytes that follow.
    void Feed(QByteArray block);
    // An empty block whose buffer the digest is done with (a new one when there is none), so
    // that a long transfer does not take fresh memory for every block.
    QByteArray Spare();
    // The sum of the bytes since the last Begin, in lower-case hex, once the helper has caught
    // up: the step waits in the event loop meanwhile (reading the kept bytes of a big file may
    // take a while). Raises Exception when the kept bytes could not be read.
    TTask<std::string> FinishAsync();

  private:
    struct TJob
    {
        enum Kind
        {
            Start,
            Block,
            End,
        } Kind;
        QByteArray Bytes;
        std::string FileName;
        std::int64_t Kept = 0;
    };
    // Blocks queued at the most: a few MiB of the capture's batches.
    static constexpr std::size_t MostQueued = 8;

    void Post(TJob job);
    void Work();

    const void* md = nullptr;
    std::thread worker;
    std::mutex lock;
    std::condition_variable wake;
    std::condition_variable room;
    std::deque<TJob> queue;
    std::deque<QByteArray> spare;
    bool quit = false;
    // Read without the lock while the kept bytes are read, so that the helper stops early.
    std::atomic<bool> quitting = false;
    bool resultReady = false;
    std::string result;
    std::string failure;
    // The helper's word that the sum is ready reaches the event loop's thread through this.
    platform::TSignal ready;
    std::unique_ptr<QObject> context;
};
