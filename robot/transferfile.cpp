#include "robot/transferfile.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <utility>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/bytetext.h"
#include "platform/exception.h"
#include "platform/filebytes.h"
#include "robot/resumerules.h"

namespace
{
constexpr std::size_t MaxNameStem = 200;
// The first line of a partial file's side file; a side file of any other form is not ours.
constexpr const char* InfoMark = "Kestrow partial file 1";
// A side file is four short lines; a larger one is none of ours, and is not read whole.
constexpr std::int64_t MaxInfoBytes = 64 * 1024;

std::string PartialPath(const std::string& outputPath)
{
    const std::filesystem::path output(outputPath);
    const std::string stem = output.filename().string().substr(0, MaxNameStem);
    return (output.parent_path() / ("." + stem + ".part")).string();
}

std::string InfoPath(const std::string& partialPath)
{
    return partialPath + "-info";
}

// Where a side file is written before it takes its name.
std::string FreshInfoPath(const std::string& partialPath)
{
    return InfoPath(partialPath) + ".new";
}

void RemoveInfo(const std::string& partialPath)
{
    std::remove(InfoPath(partialPath).c_str());
    std::remove(FreshInfoPath(partialPath).c_str());
}

// Writes a side file as the transfer file is written: into a file made afresh, never through a
// link, which then replaces whatever had the name (a link planted there included) in one step.
bool WriteInfo(const std::string& partialPath, const std::string& text)
{
    const std::string fresh = FreshInfoPath(partialPath);
    std::remove(fresh.c_str());
    const int descriptor = open(fresh.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (descriptor < 0)
        return false;
    bool written = write(descriptor, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    written = close(descriptor) == 0 && written;
    if (written && std::rename(fresh.c_str(), InfoPath(partialPath).c_str()) == 0)
        return true;
    std::remove(fresh.c_str());
    return false;
}

// Opens a file to work on and takes its lock, without waiting and without following a link;
// -1 with errno set when it cannot, EWOULDBLOCK when another process holds it.
int Claim(const std::string& path)
{
    const int descriptor = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0666);
    if (descriptor < 0)
        return -1;
    struct stat status;
    if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode) ||
        flock(descriptor, LOCK_EX | LOCK_NB) != 0)
    {
        const int error = S_ISREG(status.st_mode) ? errno : EINVAL;
        close(descriptor);
        errno = error;
        return -1;
    }
    return descriptor;
}

// Transfer files of an older form (".NAME.part-XXXXXX") that a killed process left beside the
// output. Each folder is looked through once a process, so that a run over many files of one
// folder does not read it again for each.
void RemoveLeftTransfers(const std::string& outputPath)
{
    static std::set<std::string> looked;
    const std::filesystem::path output(outputPath);
    const std::string folder = output.parent_path().string();
    if (!looked.insert(folder).second)
        return;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder.empty() ? "." : folder, error))
    {
        const std::string name = entry.path().filename().string();
        const std::size_t mark = name.rfind(".part-");
        if (name.empty() || name[0] != '.' || mark == std::string::npos || name.size() != mark + 12)
            continue;
        // Only a file nobody works on: a live transfer holds its lock.
        const int descriptor = open(entry.path().c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
        if (descriptor < 0)
            continue;
        struct stat status;
        if (fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode) &&
            flock(descriptor, LOCK_EX | LOCK_NB) == 0)
            std::filesystem::remove(entry.path(), error);
        close(descriptor);
    }
}

// A side file of ours: a regular file (never a link, a FIFO or a device) of four lines, whose
// validator can tell a version.
bool ReadInfo(const std::string& path, TPartialInfo& info)
{
    std::string text;
    try
    {
        text = ReadFileBytes(path, MaxInfoBytes, false);
    }
    catch (const Exception&)
    {
        return false;
    }
    std::string_view rest = text;
    const auto line = [&rest](std::string_view& taken)
    {
        const std::size_t end = rest.find('\n');
        if (end == std::string_view::npos)
            return false;
        taken = rest.substr(0, end);
        rest.remove_prefix(end + 1);
        return true;
    };
    std::string_view mark, address, validator, total;
    if (!line(mark) || mark != InfoMark || !line(address) || !line(validator) || !line(total) ||
        !rest.empty() || bytetext::HasControlByte(address) || !resumerules::UsableValidator(validator))
        return false;
    info.Address = address;
    info.Validator = validator;
    const auto [end, error] = std::from_chars(total.data(), total.data() + total.size(), info.Total);
    return error == std::errc() && end == total.data() + total.size();
}
} // namespace

TTransferFile::TTransferFile(std::string outputPath)
    : outputPath(std::move(outputPath)), path(PartialPath(this->outputPath))
{
    RemoveLeftTransfers(this->outputPath);
    lock = Claim(path);
    if (lock < 0)
    {
        const int error = errno;
        path.clear();
        if (error == EWOULDBLOCK)
            throw Exception("Cannot create file " + this->outputPath + ". Another transfer is writing it");
        throw Exception(FileCreateErrorText(PartialPath(this->outputPath), error));
    }
}

TTransferFile::~TTransferFile()
{
    Keep();
}

TTransferFile::TTransferFile(TTransferFile&& other) noexcept
    : outputPath(std::move(other.outputPath)), path(std::exchange(other.path, std::string())),
      lock(std::exchange(other.lock, -1)), description(std::move(other.description)),
      described(other.described), infoWritten(other.infoWritten), keep(other.keep)
{
}

TTransferFile& TTransferFile::operator=(TTransferFile&& other) noexcept
{
    if (this != &other)
    {
        Keep();
        outputPath = std::move(other.outputPath);
        path = std::exchange(other.path, std::string());
        lock = std::exchange(other.lock, -1);
        description = std::move(other.description);
        described = other.described;
        infoWritten = other.infoWritten;
        keep = other.keep;
    }
    return *this;
}

std::int64_t TTransferFile::KeptBytes(const std::string& address, TPartialInfo& info)
{
    info = {};
    const std::int64_t size = FileSize(path);
    if (size == 0)
        return 0;
    if (ReadInfo(InfoPath(path), info) && info.Address == address && (info.Total < 0 || size < info.Total))
    {
        description = info;
        described = infoWritten = true;
        return size;
    }
    // Bytes of another address, of no known version or beyond the whole, or a side file that is
    // not ours: nothing to go on from.
    info = {};
    CutBack(0);
    RemoveInfo(path);
    return 0;
}

void TTransferFile::Describe(const TPartialInfo& info)
{
    if (infoWritten)
        RemoveInfo(path);
    infoWritten = false;
    description = info;
    described = resumerules::UsableValidator(info.Validator) && !bytetext::HasControlByte(info.Address);
}

void TTransferFile::WriteDescription()
{
    if (!described || infoWritten || path.empty())
        return;
    infoWritten =
        WriteInfo(path, std::string(InfoMark) + '\n' + description.Address + '\n' + description.Validator +
                            '\n' + std::to_string(description.Total) + '\n');
}

void TTransferFile::CutBack(std::int64_t size)
{
    if (lock >= 0 && ftruncate(lock, static_cast<off_t>(size)) != 0)
        throw Exception(FileWriteErrorText(path, std::strerror(errno)));
}

void TTransferFile::Commit()
{
    if (path.empty())
        throw Exception("Cannot create file " + outputPath);
    const std::string transfer = std::exchange(path, std::string());
    if (infoWritten)
        RemoveInfo(transfer);
    const int renamed = std::rename(transfer.c_str(), outputPath.c_str());
    const int error = errno;
    if (renamed != 0)
        DiscardFile(transfer);
    Release();
    if (renamed != 0)
        throw Exception(FileCreateErrorText(outputPath, error));
}

void TTransferFile::KeepForLater()
{
    keep = true;
}

void TTransferFile::Keep()
{
    // Only described bytes can be gone on from; anything else is given up.
    if (keep && described && !path.empty() && FileSize(path) > 0)
    {
        WriteDescription();
        path.clear();
        Release();
        return;
    }
    Discard();
}

void TTransferFile::Discard()
{
    if (!path.empty())
    {
        if (infoWritten)
            RemoveInfo(path);
        DiscardFile(std::exchange(path, std::string()));
    }
    Release();
}

void TTransferFile::Release()
{
    if (lock >= 0)
        close(lock);
    lock = -1;
}

void KeepAnnouncedLength(const std::string& path, std::int64_t announced)
{
    if (announced <= 0)
        return;
    const std::int64_t saved = FileSize(path);
    if (saved < announced)
        HoldWholeLength(path, announced);
    if (saved > announced && truncate(path.c_str(), static_cast<off_t>(announced)) != 0)
        throw Exception(FileWriteErrorText(path, std::strerror(errno)));
}

void HoldWholeLength(const std::string& path, std::int64_t whole)
{
    const std::int64_t saved = std::max<std::int64_t>(FileSize(path), 0);
    if (saved != whole)
        throw Exception(std::string(saved < whole ? "Transfer incomplete: " : "Transfer too long: ") +
                        std::to_string(saved) + " of " + std::to_string(whole) + " bytes");
}

void DiscardFile(const std::string& path)
{
    if (!path.empty())
        std::remove(path.c_str());
}

bool CanCreateFile(const std::string& path)
{
    // Asked of the folder rather than by making the file: the file system's limit of a name, and
    // whether the folder takes new files.
    const std::filesystem::path file(path);
    const std::string folder = file.has_parent_path() ? file.parent_path().string() : std::string(".");
    const long nameMax = pathconf(folder.c_str(), _PC_NAME_MAX);
    const std::string name = file.filename().string();
    return !name.empty() && !FileExists(path) &&
           (nameMax < 0 || name.size() <= static_cast<std::size_t>(nameMax)) && path.size() < PATH_MAX &&
           access(folder.c_str(), W_OK | X_OK) == 0;
}

bool FileExists(const std::string& path)
{
    std::error_code error;
    return std::filesystem::exists(std::filesystem::symlink_status(path, error));
}

std::int64_t FileSize(const std::string& path)
{
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    return error ? -1 : static_cast<std::int64_t>(size);
}

bool HasLinkBelow(const std::string& directory, const std::string& path)
{
    std::string top = directory;
    while (top.size() > 1 && top.back() == '/')
        top.pop_back();
    if (path.compare(0, top.size(), top) != 0)
        return false;
    // Every existing step below the directory is looked at without following it.
    for (std::size_t slash = path.find('/', top.size() + 1);; slash = path.find('/', slash + 1))
    {
        const std::string step = path.substr(0, slash);
        struct stat status;
        if (step.size() > top.size() && lstat(step.c_str(), &status) == 0 && S_ISLNK(status.st_mode))
            return true;
        if (slash == std::string::npos)
            return false;
    }
}
