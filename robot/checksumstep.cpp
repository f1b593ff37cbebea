// The checksum lists of a page: fetched before its files start, and the sums checked as each
// file ends.
#include "robot/downloadrun.h"

#include <map>
#include <set>
#include <unordered_map>

#include <QTemporaryDir>

#include "auth/replycodetext.h"
#include "links/urlresolution.h"
#include "platform/bytetext.h"
#include "platform/exception.h"
#include "platform/filebytes.h"
#include "robot/ftpaddress.h"

namespace
{
// A list is a few lines a file: one bigger than this is no checksum list.
constexpr std::int64_t MostChecksumListBytes = std::int64_t{4} << 20;

// An address without its query and fragment.
std::string_view PathPart(std::string_view address)
{
    return address.substr(0, std::min(address.find('?'), address.find('#')));
}

std::string_view FolderOf(std::string_view address)
{
    const std::string_view path = PathPart(address);
    return path.substr(0, path.rfind('/') + 1);
}

// The file name an address gives, as a checksum list writes it.
std::string FileNameOf(std::string_view address)
{
    const std::string_view path = PathPart(address);
    return PercentDecoded(path.substr(path.rfind('/') + 1));
}

// Whether the list entry's name, taken from the list's folder, leads to the file.
bool NamedAt(std::string_view fileAddress, std::string_view listAddress, std::string_view name)
{
    while (name.starts_with("./"))
        name.remove_prefix(2);
    return PercentDecoded(PathPart(fileAddress)) == PercentDecoded(FolderOf(listAddress)) + std::string(name);
}

int Strength(TChecksumKind kind)
{
    return static_cast<int>(kind);
}

// The sum a file gets, and how close its list is to it: a list beside the file itself comes
// first, then one in its folder, then any; a stronger sum before a weaker one.
struct TChosenSum
{
    int Rank = -1;
    TChecksumKind Kind = TChecksumKind::None;
    std::string Hex;
    // Two sums of one rank disagree: the file is not checked.
    bool Conflict = false;
};
} // namespace

TTask<void> TDownloadRun::FetchChecksumListsAsync(TRun& run, TSlot& slot, TEntryWork& work,
                                                  std::size_t firstJob, std::vector<std::string> listLinks)
{
    // The page's files by the name a list gives them, and by their address.
    std::unordered_map<std::string, std::vector<TFileJob*>> byName;
    std::unordered_map<std::string, TFileJob*> byAddress;
    for (std::size_t i = firstJob; i < run.Files.size(); ++i)
    {
        TFileJob& job = run.Files[i];
        if (job.Entry != work.Index)
            continue;
        byName[FileNameOf(job.Address)].push_back(&job);
        byAddress.emplace(std::string(PathPart(job.Address)), &job);
    }
    std::map<TFileJob*, TChosenSum> chosen;
    std::set<std::string> fetched;
    std::optional<QTemporaryDir> folder;
    for (const std::string& link : listLinks)
    {
        const std::string address = ResolveLink(work.PageAddress, link);
        bool beside = false;
        std::string besideAddress;
        const TChecksumKind kind = ChecksumListKind(address, beside, &besideAddress);
        // A list beside a file is wanted only for a file the run takes.
        TFileJob* besideJob = nullptr;
        if (beside)
        {
            const auto job = byAddress.find(besideAddress);
            if (job == byAddress.end())
                continue;
            besideJob = job->second;
        }
        if (!fetched.insert(address).second)
            continue;
        // Lists come into a folder of their own, never into the output folder.
        if (!folder)
            folder.emplace();
        std::vector<TChecksumEntry> entries;
        try
        {
            if (!folder->isValid())
                throw Exception("Cannot create a temporary folder");
            TFetchRequest request =
                RequestFor(work, address, folder->filePath(QString::number(fetched.size())).toStdString());
            request.MostBytes = MostChecksumListBytes;
            TFetchResult list = co_await slot.Fetch->FetchAsync(request);
            if (list.ErrorAnswer())
                throw Exception(ReplyCodeText(list.ReplyCode));
            entries = ParseChecksumList(ReadFileBytes(list.File.Path(), MostChecksumListBytes), kind,
                                        beside ? FileNameOf(besideAddress) : std::string());
            if (entries.empty())
                throw Exception("no checksums in it");
        }
        catch (const std::exception& error)
        {
            // Stop and Skip URL end the page here; anything else costs only the check.
            if (stopRequested || work.Skipped)
                throw;
            if (LogLevel() >= TLogLevel::URLs)
                Log(slot, "Checksum list " + address + " not read (" +
                              std::string(bytetext::WithoutLineEnd(error.what())) +
                              "): its files are not checked");
            continue;
        }
        int named = 0;
        for (const TChecksumEntry& entry : entries)
        {
            const auto jobs = byName.find(std::string(ChecksumMatchName(entry.Name)));
            if (jobs == byName.end())
                continue;
            for (TFileJob* job : jobs->second)
            {
                // Where the page has several files of that name, the entry is the one at the
                // place it names beside the list; the others are left unchecked rather than
                // failed for another file's sum.
                if (jobs->second.size() > 1 && !NamedAt(job->Address, address, entry.Name))
                    continue;
                const int place = job == besideJob ? 2 : FolderOf(job->Address) == FolderOf(address) ? 1 : 0;
                const int rank = place * 8 + Strength(entry.Kind);
                TChosenSum& sum = chosen[job];
                if (rank > sum.Rank)
                    sum = TChosenSum{rank, entry.Kind, entry.Hex, false};
                else if (rank == sum.Rank && entry.Hex != sum.Hex)
                    sum.Conflict = true;
                ++named;
            }
        }
        if (LogLevel() >= TLogLevel::Files)
            Log(slot, "Checksum list " + address + " names " + std::to_string(named) +
                          (named == 1 ? " file" : " files") + " of this page");
    }
    for (auto& [job, sum] : chosen)
        if (!sum.Conflict)
        {
            job->SumKind = sum.Kind;
            job->SumHex = sum.Hex;
        }
}

void TDownloadRun::CheckSum(TSlot& slot, const TFileJob& job, TFetchResult& fetched)
{
    // The file never takes its name: the retry fetches it afresh, not after these bytes.
    if (fetched.Sum != job.SumHex)
    {
        fetched.File.Discard();
        throw Exception("Checksum mismatch: expected " + job.SumHex + " got " + fetched.Sum);
    }
    if (LogLevel() >= TLogLevel::Files)
        Log(slot, std::string(ChecksumKindName(job.SumKind)) + " checksum matches");
}
