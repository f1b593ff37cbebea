#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// A command line that is not right, with what is wrong in words.
struct TUsageError
{
    std::string message;
};

// text as a whole number from low to high; raises TUsageError naming the option otherwise.
int WholeNumber(std::string_view option, std::string_view text, int low, int high);

// text as bytes per second: N, Nk (KiB/s) or NM (MiB/s), the suffix in either case, N whole or
// with a decimal part; 0 is no limit. Raises TUsageError naming the option otherwise.
std::int64_t ByteRate(std::string_view option, std::string_view text);

// Walks the arguments of one command: options with and without a value, and plain words.
class TArguments
{
  public:
    TArguments(int argc, char* argv[]) : count(argc), values(argv) {}

    // Whether any argument asks for the command's help.
    bool WantsHelp() const;
    // Moves to the next argument; false at the end.
    bool Next() { return ++at < count; }
    std::string_view Current() const { return values[at]; }
    // The value that follows the current option; raises TUsageError when there is none.
    std::string Value();
    // A whole number from low to high as the value of the current option; raises TUsageError.
    int Number(int low, int high);
    // The current argument as an option nobody expected.
    TUsageError Unexpected() const { return {"unexpected argument '" + std::string(Current()) + "'"}; }

  private:
    int count;
    char** values;
    int at = -1;
};
