// Feeds arbitrary side files to the transfer file that goes on after an earlier attempt's bytes:
// what it reads must either describe the kept bytes of the address asked for, or leave nothing
// to go on from. And a description it writes is read back as it was, whatever bytes it holds.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

#include "platform/bytetext.h"
#include "robot/resumerules.h"
#include "robot/transferfile.h"

namespace
{
const std::string& Folder()
{
    static const std::string folder = []
    {
        static char name[] = "/tmp/kestrow-fuzz-XXXXXX";
        if (!mkdtemp(name))
            std::abort();
        std::atexit([] { std::filesystem::remove_all(name); });
        return std::string(name) + "/";
    }();
    return folder;
}

void Write(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    const std::string output = Folder() + "file.zip";
    const std::string partial = Folder() + ".file.zip.part";
    const std::size_t kept = 1 + data[0];
    const std::string side(reinterpret_cast<const char*>(data) + 2, size - 2);
    // The address asked for is sometimes the one the side file names.
    std::string address = "http://h/file.zip";
    if (data[1] & 1)
    {
        const std::size_t first = side.find('\n');
        const std::size_t second = first == std::string::npos ? first : side.find('\n', first + 1);
        if (second != std::string::npos)
            address = side.substr(first + 1, second - first - 1);
    }

    Write(partial, std::string(kept, 'k'));
    Write(partial + "-info", side);
    {
        TTransferFile file(output);
        TPartialInfo info;
        const std::int64_t from = file.KeptBytes(address, info);
        if (from != 0 &&
            (from != static_cast<std::int64_t>(kept) || info.Address != address ||
             !resumerules::UsableValidator(info.Validator) || (info.Total >= 0 && from >= info.Total)))
            std::abort();
        if (from == 0 && (FileSize(partial) != 0 || FileExists(partial + "-info")))
            std::abort();
    }

    // The side file's own lines as a description: written, kept and read back.
    TPartialInfo described;
    described.Address = address;
    const std::size_t cut = side.find('\0');
    described.Validator = side.substr(0, cut);
    described.Total = (data[1] & 2) ? -1 : static_cast<std::int64_t>(kept) + data[1];
    {
        TTransferFile file(output);
        TPartialInfo ignored;
        file.KeptBytes(address, ignored);
        Write(file.Path(), std::string(kept, 'k'));
        file.Describe(described);
        file.KeepForLater();
    }
    TTransferFile again(output);
    TPartialInfo read;
    const std::int64_t from = again.KeptBytes(address, read);
    // Only a strong validator without control bytes, for an address without them, is kept.
    const bool describable =
        resumerules::UsableValidator(described.Validator) && !bytetext::HasControlByte(address);
    const bool usable =
        describable && (described.Total < 0 || static_cast<std::int64_t>(kept) < described.Total);
    if (usable != (from == static_cast<std::int64_t>(kept)) || (usable && !(read == described)))
        std::abort();
    again.Discard();
    return 0;
}
