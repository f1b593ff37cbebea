#pragma once

#include <string>

struct TFtpGetOptions
{
    std::string url; // ftp://HOST[:PORT]/DIR/FILE
    std::string file;
    int timeoutSeconds = 60;
    bool verbose = false;
};

// kestrow-cli get for ftp:// addresses: the robot's FTP sequence as an anonymous user.
// Returns the exit status: 0 fetched, 2 failed (the reason, or the server's reply, on stderr).
int GetFtp(const TFtpGetOptions& options);
