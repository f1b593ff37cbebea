#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// FTP reply and command text, as plain functions over bytes so they can be tested and fuzzed
// without a connection.
namespace ftpreply
{
// TCmdType: the kind of transaction passed to the FTP client's events.
enum class TCmdType : int
{
    cmdChangeDir = 0,
    cmdMakeDir = 1,
    cmdDelete = 2,
    cmdRemoveDir = 3,
    cmdList = 4,
    cmdDownload = 8,
    cmdNList = 13,
    cmdOther = 14,
    cmdCurrentDir = 15,
};

// The kind of a command line, from its first word (any letter case).
TCmdType CommandKind(std::string_view commandLine);

// A line that does not end a reply by the short rule: it starts with a blank, or its fourth
// character is "-".
bool IsContinuation(std::string_view line);

// Follows the lines of one reply, fed one by one as they are read, and tells whether more
// lines belong to it. A reply opened by "ddd-" ends only at a line beginning with the same
// three digits and a blank, so the free text lines a server may put in between are read as
// part of it; otherwise the short rule of IsContinuation decides.
class TReplyLines
{
  public:
    // A reply longer than this is no reply a client can wait for: a server may send lines for ever.
    static constexpr std::size_t MaxLines = 1000;
    static constexpr std::size_t MaxBytes = 1024 * 1024;

    explicit TReplyLines(std::string_view firstLine);
    void Next(std::string_view line);
    bool GoesOn() const { return goesOn; }
    // More than MaxLines lines or MaxBytes bytes so far.
    bool TooLong() const { return lines > MaxLines || bytes > MaxBytes; }

  private:
    std::string openingCode;
    bool goesOn = false;
    std::size_t lines = 0;
    std::size_t bytes = 0;
};

// The size a reply announces: the run of digits nearest to the left of the first "BYTE" (any
// letter case), or 0 when there is none or it does not fit. "(12345 bytes)" gives 12345.
std::int64_t SizeFromReply(std::string_view line);

// The size a reply to RETR announces in the form "(12345 bytes)" (any letter case, the last
// such group of the line), or -1 when it holds none. Unlike SizeFromReply it never takes a
// number from elsewhere in the line, such as a file name's, for the size.
std::int64_t AnnouncedSize(std::string_view line);

// The size a reply to SIZE gives ("213 12345"), or -1 for any other reply.
std::int64_t SizeOfFile(std::string_view reply);

// The time of change a reply to MDTM gives: "213 YYYYMMDDHHMMSS" with optional fractions of a
// second (".sss"), as that text; empty for any other reply, which tells no version of the file.
std::string ModificationTime(std::string_view reply);

// The file one line of an MLSD listing names ("type=file;size=3; a b.zip" gives "a b.zip"), or
// empty for a folder, a link or a line that names nothing. An entry without a type counts as a file.
std::string MlsdFileName(std::string_view line);

// The name one line of an NLST listing gives: without its line end and without a folder before
// it; empty for "." and "..".
std::string NlstName(std::string_view line);

// The port named by a reply to EPSV, "229 Entering Extended Passive Mode (|||6446|)" (any
// delimiter in place of "|"); 0 when it names none in 1..65535.
int ExtendedPassivePort(std::string_view reply);

// The port named by a reply to PASV: the last two of the six numbers "h1,h2,h3,h4,p1,p2"
// (p1 * 256 + p2). The address is not read: the client connects to the server it talks to.
// 0 when the reply holds no such numbers, or names port 0.
int PassivePort(std::string_view reply);

// Whether the unread bytes of the control connection begin with a notice that ends the wait
// in progress: 421 (service closing) or 426 (transfer aborted), and while a transfer is awaited
// also 425 (the server cannot open the data connection).
bool IsServerNotice(std::string_view buffered, bool awaitingData);
} // namespace ftpreply
