#include "robot/transferfile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/exception.h"

namespace
{
constexpr std::size_t MaxNameStem = 200;
}

std::string CreateTransferFile(const std::string& outputPath)
{
    const std::filesystem::path output(outputPath);
    std::string stem = output.filename().string().substr(0, MaxNameStem);
    std::string pattern = (output.parent_path() / ("." + stem + ".part-XXXXXX")).string();
    const int descriptor = mkostemp(pattern.data(), O_CLOEXEC);
    if (descriptor < 0)
        throw Exception(FileCreateErrorText(pattern, errno));
    // mkostemp makes the file private; the finished download gets the usual permissions.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(descriptor, 0666 & ~mask);
    close(descriptor);
    return pattern;
}

TTransferFile::TTransferFile(std::string outputPath)
    : outputPath(std::move(outputPath)), path(CreateTransferFile(this->outputPath))
{
}

TTransferFile::~TTransferFile()
{
    Discard();
}

TTransferFile::TTransferFile(TTransferFile&& other) noexcept
    : outputPath(std::move(other.outputPath)), path(std::exchange(other.path, std::string()))
{
}

TTransferFile& TTransferFile::operator=(TTransferFile&& other) noexcept
{
    if (this != &other)
    {
        Discard();
        outputPath = std::move(other.outputPath);
        path = std::exchange(other.path, std::string());
    }
    return *this;
}

void TTransferFile::Commit()
{
    const std::string transfer = std::exchange(path, std::string());
    if (std::rename(transfer.c_str(), outputPath.c_str()) != 0)
    {
        const int error = errno;
        DiscardFile(transfer);
        throw Exception(FileCreateErrorText(outputPath, error));
    }
}

void TTransferFile::Discard()
{
    DiscardFile(std::exchange(path, std::string()));
}

void KeepAnnouncedLength(const std::string& path, std::int64_t announced)
{
    if (announced <= 0)
        return;
    const std::int64_t saved = FileSize(path);
    if (saved < announced)
        throw Exception("Transfer incomplete: " + std::to_string(std::max<std::int64_t>(saved, 0)) + " of " +
                        std::to_string(announced) + " bytes");
    if (saved > announced && truncate(path.c_str(), static_cast<off_t>(announced)) != 0)
        throw Exception(FileWriteErrorText(path, std::strerror(errno)));
}

void DiscardFile(const std::string& path)
{
    if (!path.empty())
        std::remove(path.c_str());
}

bool CanCreateFile(const std::string& path)
{
    const int descriptor = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (descriptor < 0)
        return false;
    close(descriptor);
    std::remove(path.c_str());
    return true;
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
