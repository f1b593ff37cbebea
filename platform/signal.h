#pragma once

#include <coroutine>
#include <cstdint>
#include <deque>
#include <memory>

class QObject;

namespace platform
{
// Something that steps wait for while another step or a command changes what they look at: a
// step waits with `while (!condition) co_await signal.Wait();`, and whoever changes the
// condition calls Notify. The waiting steps go on from the event loop, never from inside
// Notify, in the order they began to wait. A step given up while it waits is forgotten.
class TSignal
{
  public:
    TSignal();
    ~TSignal();
    TSignal(const TSignal&) = delete;
    TSignal& operator=(const TSignal&) = delete;

    class TWait
    {
      public:
        explicit TWait(TSignal& signal) : signal(signal) {}
        TWait(const TWait&) = delete;
        TWait& operator=(const TWait&) = delete;
        ~TWait();
        bool await_ready() const noexcept { return false; }
        void await_suspend(std::coroutine_handle<> step);
        void await_resume() const noexcept {}

      private:
        friend class TSignal;
        TSignal& signal;
        std::coroutine_handle<> handle;
        std::uint64_t number = 0;
        bool waiting = false;
    };

    TWait Wait() { return TWait(*this); }
    // Every step waiting now goes on once the event loop comes round.
    void Notify();
    // How many notices came so far: a step that looks before it waits can tell whether one came
    // meanwhile, and need not wait.
    std::uint64_t Notices() const { return notices; }

  private:
    void ResumeNotified();

    std::deque<TWait*> waits;
    std::uint64_t nextNumber = 0;
    // Waits numbered below this were there when Notify came.
    std::uint64_t notifiedBelow = 0;
    std::uint64_t notices = 0;
    bool posted = false;
    // Owns the queued call, so that a signal that goes first takes its call with it.
    std::unique_ptr<QObject> context;
    // Cleared when the signal goes: a step it resumes may end the signal's owner.
    std::shared_ptr<bool> alive = std::make_shared<bool>(true);
};
} // namespace platform
