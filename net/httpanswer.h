#pragma once

#include <cstdint>
#include <string>

// What one request brought back: the final answer's status and header, what the header says of
// the file it carries, and where its body went. A value: it stays as it was whatever the client
// does next.
struct THttpAnswer
{
    int Status = 0;
    // The status line without its line end, and the whole header as it came.
    std::string StatusLine;
    std::string Header;
    // The address the request went to, whole (scheme, host, port and path), and its scheme, host
    // and port as OriginOf gives them; the host alone as it was connected to.
    std::string Address;
    std::string Origin;
    std::string Host;
    // The Location header as the server sent it; empty when it had none.
    std::string Location;
    // The validators of the file the answer carries, and its Content-Range: where the part
    // starts and the whole file's size (-1 when it had none).
    std::string ETag;
    std::string LastModified;
    std::int64_t ContentRangeStart = -1;
    std::int64_t ContentRangeTotal = -1;
    // The announced length of the body (also of a HEAD's); 0 when none was announced.
    std::int64_t Announced = 0;
    // Where the body went on in the body file (-1 when it started the file afresh), and how many
    // of its bytes arrived.
    std::int64_t ContinuedFrom = -1;
    std::int64_t Received = 0;
    // Where the body is: the body file's name, or the body itself when it was kept in memory.
    std::string Body;
    bool BodyInFile = false;
};
