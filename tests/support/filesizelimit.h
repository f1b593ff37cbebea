#pragma once

#include <sys/resource.h>

#include <csignal>

// Lowers the largest file the process may write while the object lives, as a full disk would
// stop it: a write beyond the limit fails with EFBIG instead of ending the process.
class FileSizeLimit
{
  public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &saved);
        previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limited = saved;
        limited.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit()
    {
        Lift();
        std::signal(SIGXFSZ, previousHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    // Room again, before the object goes.
    void Lift() { setrlimit(RLIMIT_FSIZE, &saved); }

  private:
    rlimit saved{};
    void (*previousHandler)(int) = nullptr;
};
