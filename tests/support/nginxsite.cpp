#include "nginxsite.h"

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "peers.h"

namespace
{
std::string PeerUrl(const std::string& peer)
{
    if (std::filesystem::exists(PeerStateDir(peer) + "url"))
        return PeerValue(peer, "url");
    return "http://127.0.0.1:" + std::to_string(PeerPort(peer));
}
} // namespace

NginxSite::NginxSite(const std::string& area, const std::string& name, const std::string& peer)
    : root(PeerStateDir(peer) + "root/" + area + "/" + name + "/"),
      url(PeerUrl(peer) + "/" + area + "/" + name + "/")
{
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root);
}

void NginxSite::Write(const std::string& relative, const std::string& bytes) const
{
    std::filesystem::create_directories(std::filesystem::path(root + relative).parent_path());
    std::ofstream(root + relative, std::ios::binary) << bytes;
}

std::string CurrentTestName()
{
    return ::testing::UnitTest::GetInstance()->current_test_info()->name();
}
