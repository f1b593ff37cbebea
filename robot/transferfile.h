#pragma once

#include <cstdint>
#include <string>

// A download goes into a fresh file beside its output file and replaces that file only once
// the transfer succeeded, so a failed or skipped transfer never costs the user the old file.

// The file a transfer is written into: created empty with a new name in the output file's
// folder, exclusively (never through an existing name or link), and removed when it goes out of
// scope unless Commit put it in the output file's place.
class TTransferFile
{
  public:
    // Raises Exception when the file cannot be created.
    explicit TTransferFile(std::string outputPath);
    ~TTransferFile();
    TTransferFile(TTransferFile&& other) noexcept;
    TTransferFile& operator=(TTransferFile&& other) noexcept;
    TTransferFile(const TTransferFile&) = delete;
    TTransferFile& operator=(const TTransferFile&) = delete;

    const std::string& Path() const { return path; }
    const std::string& OutputPath() const { return outputPath; }
    // Puts the finished transfer in the output file's place in one step. Raises Exception, and
    // the transfer is gone either way.
    void Commit();
    // Gives the transfer up at once.
    void Discard();

  private:
    std::string outputPath;
    std::string path;
};

// Creates the empty file of a TTransferFile and returns its path. Raises Exception on failure.
std::string CreateTransferFile(const std::string& outputPath);

// Holds a body saved in path to the length its header announced (0: none announced): bytes
// beyond it are cut off, and a body short of it raises "Transfer incomplete: N of M bytes".
void KeepAnnouncedLength(const std::string& path, std::int64_t announced);

// Removes a file, quietly; for transfer files that are given up.
void DiscardFile(const std::string& path);

// Whether a file of that name can be created: it is created exclusively and removed again.
bool CanCreateFile(const std::string& path);

bool FileExists(const std::string& path);

// Whether a folder between directory and path (below directory, path itself included) is a
// symbolic link: writing there would land wherever the link points.
bool HasLinkBelow(const std::string& directory, const std::string& path);
// The size of a file, or -1 when it cannot be read.
std::int64_t FileSize(const std::string& path);
