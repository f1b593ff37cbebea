// Feeds arbitrary control-connection bytes through the receive buffer and the FTP reply
// assembly as the client reads them, and checks that lines come out whole, that every reply can
// be ended by its final line, and that announced sizes are never negative.
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "net/ftpreply.h"
#include "net/receivebuffer.h"
#include "platform/bytetext.h"

namespace
{
void Check(bool condition)
{
    if (!condition)
        std::abort();
}

// "ddd-": the line opens a reply of several lines.
bool OpensReply(std::string_view line)
{
    return line.size() >= 4 && bytetext::IsDigit(line[0]) && bytetext::IsDigit(line[1]) &&
           bytetext::IsDigit(line[2]) && line[3] == '-';
}

// One reply as the client reads it: the first line, then lines while it goes on.
class TReply
{
  public:
    explicit TReply(std::string_view firstLine) : lines(firstLine) { Saw(firstLine); }

    bool GoesOn() const { return lines.GoesOn(); }

    void Next(std::string_view line)
    {
        lines.Next(line);
        Saw(line);
    }

    // The final line that must end the reply: its opening code and a blank, or any final line
    // when no line opened it.
    std::string FinalLine() const { return (openingCode.empty() ? "200" : openingCode) + " end\r\n"; }

  private:
    void Saw(std::string_view line)
    {
        if (openingCode.empty() && OpensReply(line))
            openingCode = line.substr(0, 3);
    }

    ftpreply::TReplyLines lines;
    std::string openingCode;
};

void CheckLine(std::string_view line)
{
    Check(ftpreply::SizeFromReply(line) >= 0);
    Check(ftpreply::AnnouncedSize(line) >= -1 && ftpreply::SizeOfFile(line) >= -1);
    const std::string time = ftpreply::ModificationTime(line);
    Check(time.empty() || (time.size() >= 14 && time.find_first_not_of("0123456789.") == std::string::npos));
    const ftpreply::TCmdType kind = ftpreply::CommandKind(line);
    Check(kind == ftpreply::TCmdType::cmdChangeDir || kind == ftpreply::TCmdType::cmdMakeDir ||
          kind == ftpreply::TCmdType::cmdDelete || kind == ftpreply::TCmdType::cmdRemoveDir ||
          kind == ftpreply::TCmdType::cmdCurrentDir || kind == ftpreply::TCmdType::cmdOther);
    // A listing's name is a part of its line, and never a folder's own "." or "..".
    const std::string mlsd = ftpreply::MlsdFileName(line);
    const std::string nlst = ftpreply::NlstName(line);
    Check(mlsd.size() <= line.size() && nlst.size() <= line.size());
    Check(nlst != "." && nlst != "..");
    // A data port is a port, or none.
    for (const int port : {ftpreply::PassivePort(line), ftpreply::ExtendedPassivePort(line)})
        Check(port >= 0 && port <= 65535);
    for (bool awaitingData : {false, true})
        if (ftpreply::IsServerNotice(line, awaitingData))
            Check(line.starts_with("421") || line.starts_with("426") ||
                  (awaitingData && line.starts_with("425")));
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    // The first byte chooses how the bytes arrive and how soon the taken front is dropped.
    const std::size_t chunk = 1 + data[0] % 32;
    const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
    TReceiveBuffer buffer(data[0] % 16);

    std::string taken;
    std::optional<TReply> reply;
    auto feed = [&](std::string_view line)
    {
        CheckLine(line);
        if (reply && reply->GoesOn())
            reply->Next(line);
        else
            reply.emplace(line);
    };
    for (std::size_t at = 0; at < input.size(); at += chunk)
    {
        buffer.Append(input.substr(at, chunk));
        while (const std::size_t length = buffer.LineLength())
        {
            const std::string line = buffer.Take(length);
            Check(line.back() == '\n' && line.find('\n') == line.size() - 1);
            taken += line;
            feed(line);
        }
    }
    // Nothing is lost or repeated on the way through the buffer.
    Check(taken + std::string(buffer.Unread()) == input);
    Check(buffer.Unread().find('\n') == std::string_view::npos);
    if (!buffer.Empty())
        feed(buffer.Unread());

    if (reply && reply->GoesOn())
    {
        reply->Next(reply->FinalLine());
        Check(!reply->GoesOn());
    }
    return 0;
}
