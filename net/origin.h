#pragma once

#include <string>
#include <string_view>

// The scheme, host and port a request goes to, as "http://host:80": what logins and cookies
// are kept for, so that one server's never go to another. Letter case does not count.
// url is the request's address as the client keeps it; host and port are those it connects
// to. An address without a scheme is taken as http.
std::string OriginOf(std::string_view url, std::string_view host, int port);

// The same for an absolute address alone; empty when it names no host or no valid port.
std::string OriginOf(std::string_view address);
