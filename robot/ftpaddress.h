#pragma once

#include <string>
#include <string_view>
#include <vector>

class TLinkList;
enum class TFilterMode;

// An ftp:// address as the FTP client takes it.
struct TFtpAddress
{
    std::string Host;
    // The port as written; empty for the default.
    std::string Port;
    // The folder to change to, "/" at both ends (or empty), and the file in it (empty for a folder).
    std::string Folder;
    std::string File;
};

// Splits an ftp:// address: its last part is the file unless the address ends in "/". Folder and
// file are percent-decoded, since the server knows its names only as they are; a decoded control
// byte (a CR LF would reach the server as a command of its own) raises Exception "Invalid URL".
TFtpAddress SplitFtpAddress(std::string_view address);

// "%" with two hexadecimal digits becomes the byte they name; anything else stays as it is.
std::string PercentDecoded(std::string_view text);

// Clears the list, then appends a link for each file of the folder listing in listingFile (MLSD's
// lines when machineListing, else NLST's names) that passes the filter, each once, in the
// server's order. A link is the file's name relative to the folder, escaped only where it would
// not come back from SplitFtpAddress as the server gave it. Raises Exception when the file cannot
// be read. Given checksumLists, the links to checksum lists (see ChecksumListKind) are added to
// it too, whatever the filter.
void FolderLinks(const std::string& listingFile, bool machineListing, std::string_view filterText,
                 TFilterMode mode, TLinkList& list, std::vector<std::string>* checksumLists = nullptr);
