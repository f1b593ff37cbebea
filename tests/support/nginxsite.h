#pragma once

#include <string>

// A folder of pages and files under the local nginx's root, emptied when made, so that a
// test serves exactly what it writes.
struct NginxSite
{
    std::string root; // the folder, ending with "/"
    std::string url;  // its address, ending with "/"

    // The folder is ROOT/area/name/ and answers at http://127.0.0.1:PORT/area/name/, or at the
    // address the peer wrote to its "url" (https://127.0.0.1:PORT for nginx_tls).
    NginxSite(const std::string& area, const std::string& name, const std::string& peer = "nginx");
    void Write(const std::string& relative, const std::string& bytes) const;
};

// The name of the running test, for naming what it makes.
std::string CurrentTestName();
