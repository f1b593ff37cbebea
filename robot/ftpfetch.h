#pragma once

#include <functional>
#include <string>

class TNMFTP;
struct TURLParts;

// The robot's FTP sequence for one file: connect to the link's host (port 21 unless the link
// names one), log in, change to the link's folder, binary type, download into localFile, and
// say goodbye. A failure closes the session, so the next file logs in afresh, perhaps on
// another server. Once the whole file is in, a goodbye that the server fumbles does not undo
// it: the failure goes to onQuitFailure, and the call returns. An address that holds a control
// byte raises "Invalid URL" before anything is sent.
void FetchFtpFile(TNMFTP& ftp, const TURLParts& parts, const std::string& localFile,
                  const std::function<void(const std::string& message)>& onQuitFailure = {});
