#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "net/httpparse.h"

// When the bytes an earlier attempt left may be gone on from, and when what a server sends makes
// the file whole: plain rules over values, so that they can be tested without a server.
namespace resumerules
{
// A validator that tells one version of a file from every other: not empty, not weak ("W/"), and
// without a control byte, since it goes out in an If-Range line and is kept as a line of its own.
bool UsableValidator(std::string_view validator);

// The validator of the version an HTTP answer carries when it is strong enough to go on from, or
// empty: a strong ETag, else a Last-Modified at least a second before the answer's Date (a file
// may change twice within the second its time names, and without a Date nobody knows).
std::string HttpValidator(std::string_view etag, std::string_view lastModified, std::string_view date);

// What a 206 answer is to a request for the file from byte from on (0: a request without a
// range) while the bytes before it are of the version validator and of a file of total bytes
// (-1: not known).
enum class TPartVerdict
{
    // Exactly the rest of that version: its range runs from from to the end, and its length
    // (-1: not announced) is the range's.
    Rest,
    // Another version, another file or a part from elsewhere: the file comes again from its
    // start. Only when a range was asked for.
    OtherVersion,
    // A part that cannot make the file whole however it is taken.
    Bad,
};
TPartVerdict JudgePart(const httpparse::TContentRange& range, std::int64_t length,
                       std::string_view answerValidator, std::int64_t from, std::string_view validator,
                       std::int64_t total);

// The whole size of an FTP file that kept bytes are gone on from, against which the file is held
// once the rest has come: the server's SIZE and the size described with the bytes, which must
// agree when both are known; -1 when neither is known or they disagree, and then the file comes
// afresh, since a server that ignored REST would be found out by nothing else.
std::int64_t FtpWholeSize(std::int64_t describedTotal, std::int64_t serverSize);
} // namespace resumerules
