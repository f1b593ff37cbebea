#pragma once

#include <string>

// Where the harness (tests/peers) started a real server such as "nginx" or "tinyproxy": its
// state folder, and the values its script wrote there ("port", "user", "password"). Raises
// std::runtime_error when the peer was not started, i.e. the test did not run under ctest.
std::string PeerStateDir(const std::string& peer);
std::string PeerValue(const std::string& peer, const std::string& name);
int PeerPort(const std::string& peer);
