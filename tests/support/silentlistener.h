#pragma once

#include <cstdint>

// A listening socket on 127.0.0.1 that never accepts and never reads. With fillers = 0 a
// connect succeeds (the system queues the connection) but nothing sent is ever taken, so a
// large send stalls once the buffers are full. With fillers = 1 the queue is already full and
// a connect hangs without an answer, as with an unreachable host.
class SilentListener
{
  public:
    explicit SilentListener(int fillers = 0);
    ~SilentListener();
    SilentListener(const SilentListener&) = delete;
    SilentListener& operator=(const SilentListener&) = delete;

    std::uint16_t Port() const { return port; }

  private:
    int listener = -1;
    int filler = -1;
    std::uint16_t port = 0;
};
