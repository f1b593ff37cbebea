#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Checksum lists as servers publish them beside their files: SHA256SUMS, SHA512SUMS, MD5SUMS,
// and NAME.sha256 / NAME.sha512 / NAME.md5 for the one file NAME. Plain functions over bytes.

enum class TChecksumKind
{
    None,
    Md5,
    Sha256,
    Sha512,
};

// One file a list names: its name as the list writes it (escapes undone), how it is summed,
// and the sum in lower-case hex.
struct TChecksumEntry
{
    std::string Name;
    TChecksumKind Kind = TChecksumKind::None;
    std::string Hex;
};

// "MD5", "SHA256", "SHA512" (the names OpenSSL's digests go by); empty for None.
const char* ChecksumKindName(TChecksumKind kind);
// Hex digits of a sum of that kind (0 for None).
std::size_t ChecksumHexDigits(TChecksumKind kind);

// Whether a link leads to a checksum list, and of which kind; beside is set for NAME.sha256 and
// its like, a list of the one file NAME (then besideName is the link without that ending).
// Query and fragment play no part.
TChecksumKind ChecksumListKind(std::string_view link, bool& beside, std::string* besideName = nullptr);

// The entries of a list of the given kind (None: each line's sum tells by its length). Takes
// the GNU form ("HEX  NAME", "HEX *NAME", "\HEX  NAME" with \\ and \n in the name), the BSD
// form ("SHA256 (NAME) = HEX", whose line names its own kind) and, for a list beside one file,
// a lone HEX that stands for besideName. Lines that are none of these are passed over.
std::vector<TChecksumEntry> ParseChecksumList(std::string_view bytes, TChecksumKind kind,
                                              std::string_view besideName = {});

// The file name a list entry is matched by: its last path segment ("./a.iso", "dir/a.iso" and
// "a.iso" all give "a.iso").
std::string_view ChecksumMatchName(std::string_view name);
