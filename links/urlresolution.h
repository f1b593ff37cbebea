#pragma once

#include <string>
#include <string_view>

// The parts of an address, each empty when absent. Letter case is kept.
struct TURLParts
{
    std::string Scheme; // up to and including "://"
    std::string User;
    std::string Password;
    std::string Host;
    std::string Port;
    std::string Directory; // begins with "/" when not empty
    std::string FileName;
};

// Cuts an address into its parts by plain text rules, never by a URL grammar.
TURLParts SplitURL(std::string_view address);

// Scheme + host + optional ":" port + directory + file name; "http://" when there is no scheme.
std::string StripCredentials(std::string_view address);

// The address with the password of its user part, if any, shown as "****"; for what the log and
// the window show. Nothing else changes.
std::string MaskPassword(std::string_view address);

// Turns a File List entry into an absolute address against the page it came from. A link that
// begins with "//" names its own server and takes the page's scheme. Blanks in a web address
// go out as "%20"; the entry itself, and so the saved name, keeps them.
std::string ResolveLink(std::string_view pageAddress, std::string_view entry);
// The same against a page address split beforehand, for resolving many links of one page; the
// last form reuses the result's room from one link to the next.
std::string ResolveLink(const TURLParts& page, std::string_view entry);
void ResolveLink(const TURLParts& page, std::string_view entry, std::string& result);

// Where an absolute address leads, in a form that compares: scheme and host in upper case, the
// port (the scheme's own when none is written), and the path without query, blanks as "%20",
// "." and ".." segments resolved. All empty for an address without a scheme.
struct TPlace
{
    std::string Scheme;
    std::string Host;
    std::string Port;
    std::string Path;
};
TPlace PlaceOf(std::string_view address);

// Whether an absolute address names the page itself (with or without another query) or a folder
// holding it, on the same server; the path compares exactly.
bool LeadsBackTo(const TPlace& page, std::string_view address);
bool LeadsBackTo(std::string_view pageAddress, std::string_view address);

// The local file name of an entry; absolute http:// and https:// links are named after their
// whole address.
std::string LinkFileName(std::string_view entry);

// The relative local directory of an entry, ending in "/" or empty. "." and ".." segments are
// resolved without ever climbing above the output directory.
std::string LinkDirectory(std::string_view entry);

// Turns each of / : < > , * ? and every control byte (below 0x20, and 0x7F) into "-".
std::string SafeFileName(std::string text);

// Collapses every run of slashes into one; "/" is also the local separator here.
std::string SlashesToBackslashes(std::string_view text);
