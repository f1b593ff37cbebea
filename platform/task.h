#pragma once

#include <coroutine>
#include <exception>
#include <functional>
#include <optional>
#include <utility>

// A step of a transfer that may have to wait for the network: a coroutine that starts when it
// is awaited (or driven by RunToEnd) and hands its result, or what it raised, to whoever awaits
// it. While it waits, nothing of it is on the stack: socket, timer and lookup events resume it
// from the one event loop.
// A co_await stands alone or as an initialiser, never inside a condition or beside && and ||
// (g++ 12 then never resumes the step), and its operands hold no ?: that makes a temporary
// (g++ 12 destroys it twice).
template <typename T = void> class [[nodiscard]] TTask
{
  public:
    struct promise_type;
    using THandle = std::coroutine_handle<promise_type>;

    struct TPromiseBase
    {
        std::coroutine_handle<> continuation;
        // The awaiting step is suspended and waits to be resumed: false while the task runs
        // inside its awaiter's await_suspend, which then goes on by itself.
        bool awaited = false;
        std::exception_ptr error;
        // Told when a task that nobody awaits has ended.
        std::function<void()> onEnd;

        std::suspend_always initial_suspend() noexcept { return {}; }
        auto final_suspend() noexcept
        {
            struct TFinal
            {
                bool await_ready() noexcept { return false; }
                std::coroutine_handle<> await_suspend(std::coroutine_handle<promise_type> self) noexcept
                {
                    TPromiseBase& promise = self.promise();
                    if (promise.continuation)
                        return promise.awaited ? promise.continuation : std::noop_coroutine();
                    if (promise.onEnd)
                        std::exchange(promise.onEnd, nullptr)();
                    return std::noop_coroutine();
                }
                void await_resume() noexcept {}
            };
            return TFinal{};
        }
        void unhandled_exception() noexcept { error = std::current_exception(); }
    };

    struct promise_type : TPromiseBase
    {
        std::optional<T> value;
        TTask get_return_object() { return TTask(THandle::from_promise(*this)); }
        template <typename U> void return_value(U&& result) { value.emplace(std::forward<U>(result)); }
    };

    TTask(TTask&& other) noexcept : handle(std::exchange(other.handle, {})) {}
    TTask& operator=(TTask&& other) noexcept
    {
        if (this != &other)
        {
            Destroy();
            handle = std::exchange(other.handle, {});
        }
        return *this;
    }
    TTask(const TTask&) = delete;
    TTask& operator=(const TTask&) = delete;
    ~TTask() { Destroy(); }

    bool Done() const { return !handle || handle.done(); }

    // Runs the task up to its first wait; onEnd is told when it ends later.
    void Start(std::function<void()> onEnd)
    {
        handle.promise().onEnd = std::move(onEnd);
        handle.resume();
    }

    // The result of an ended task, or what it raised.
    T Result()
    {
        if (handle.promise().error)
            std::rethrow_exception(handle.promise().error);
        if constexpr (!std::is_void_v<T>)
            return std::move(*handle.promise().value);
    }

    auto operator co_await() && noexcept
    {
        struct TAwaiter
        {
            THandle handle;
            bool await_ready() noexcept { return handle.done(); }
            // A task that ends without waiting (a line that is already there) lets the caller go
            // on without suspending: a loop of such steps never deepens the stack.
            bool await_suspend(std::coroutine_handle<> caller)
            {
                handle.promise().continuation = caller;
                handle.resume();
                if (handle.done())
                    return false;
                handle.promise().awaited = true;
                return true;
            }
            T await_resume()
            {
                if (handle.promise().error)
                    std::rethrow_exception(handle.promise().error);
                if constexpr (!std::is_void_v<T>)
                    return std::move(*handle.promise().value);
            }
        };
        return TAwaiter{handle};
    }

  private:
    explicit TTask(THandle own) : handle(own) {}
    void Destroy()
    {
        if (handle)
            std::exchange(handle, {}).destroy();
    }

    THandle handle;
};

template <> struct TTask<void>::promise_type : TTask<void>::TPromiseBase
{
    TTask get_return_object() { return TTask(THandle::from_promise(*this)); }
    void return_void() {}
};

// Drives one task to its end for a caller that needs a blocking call: the event loop runs until
// the task has ended, and its result (or what it raised) comes back.
namespace taskdriver
{
// Calls start with the function that says the work has ended, and handles events until it has.
void RunEventsUntilEnded(const std::function<void(std::function<void()> ended)>& start);
} // namespace taskdriver

template <typename T> T RunToEnd(TTask<T> task)
{
    taskdriver::RunEventsUntilEnded([&](std::function<void()> ended) { task.Start(std::move(ended)); });
    return task.Result();
}
