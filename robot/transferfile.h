#pragma once

#include <cstdint>
#include <string>

// A download goes into a fresh file beside its output file and replaces that file only once
// the transfer succeeded, so a failed or skipped transfer never costs the user the old file.

// What the bytes kept of an unfinished transfer are: the address they came from, the server's
// validator of that version of the file (an HTTP ETag or Last-Modified, an FTP modification
// time) and its whole size (-1 when unknown). Kept in a small side file beside the partial one.
struct TPartialInfo
{
    std::string Address;
    std::string Validator;
    std::int64_t Total = -1;

    bool operator==(const TPartialInfo&) const = default;
};

// The file a transfer is written into, beside its output file: ".NAME.part", which only this
// process works on while it holds it (another process that wants it fails). An earlier attempt at
// the same output may have left bytes there, described in ".NAME.part-info"; a transfer of the
// same address and version goes on after them. The file goes when the object does, unless
// Commit put it in the output file's place or KeepForLater left it for a later attempt.
class TTransferFile
{
  public:
    // Raises Exception when no transfer file can be created.
    explicit TTransferFile(std::string outputPath);
    ~TTransferFile();
    TTransferFile(TTransferFile&& other) noexcept;
    TTransferFile& operator=(TTransferFile&& other) noexcept;
    TTransferFile(const TTransferFile&) = delete;
    TTransferFile& operator=(const TTransferFile&) = delete;

    const std::string& Path() const { return path; }
    const std::string& OutputPath() const { return outputPath; }
    // The bytes an earlier attempt left for this address, and what they are; 0 when there are
    // none worth going on from (then the file is empty).
    std::int64_t KeptBytes(const std::string& address, TPartialInfo& info);
    // Records what the bytes being written are, so that a later attempt can go on after them.
    // The description is written beside them once WriteDescription is called (when the bytes
    // are many enough that a killed process should not lose them), or when they are kept.
    void Describe(const TPartialInfo& info);
    void WriteDescription();
    // Cuts the bytes back to their first size (0: none), as they were before what came since.
    // Raises Exception when the file cannot be cut.
    void CutBack(std::int64_t size);
    // Puts the finished transfer in the output file's place in one step. Raises Exception, and
    // the transfer is gone either way.
    void Commit();
    // What arrived is left for a later attempt when this object goes, if it was described.
    void KeepForLater();
    // Gives the transfer up at once.
    void Discard();

  private:
    // Leaves the file as KeepForLater asked, or gives it up.
    void Keep();
    void Release();

    std::string outputPath;
    std::string path;
    // The descriptor that holds the lock on the file while this object works on it.
    int lock = -1;
    TPartialInfo description;
    bool described = false;
    bool infoWritten = false;
    bool keep = false;
};

// Holds a body saved in path to the length its header announced (0: none announced): bytes
// beyond it are cut off, and a body short of it raises "Transfer incomplete: N of M bytes".
void KeepAnnouncedLength(const std::string& path, std::int64_t announced);

// Holds a file to exactly the size whole: one short of it raises "Transfer incomplete: N of M
// bytes", a longer one "Transfer too long: N of M bytes".
void HoldWholeLength(const std::string& path, std::int64_t whole);

// Removes a file, quietly; for transfer files that are given up.
void DiscardFile(const std::string& path);

// Whether a file of that name can be made in its folder: the name fits the file system and
// the folder takes new files.
bool CanCreateFile(const std::string& path);

bool FileExists(const std::string& path);

// Whether a folder between directory and path (below directory, path itself included) is a
// symbolic link: writing there would land wherever the link points.
bool HasLinkBelow(const std::string& directory, const std::string& path);
// The size of a file, or -1 when it cannot be read.
std::int64_t FileSize(const std::string& path);
