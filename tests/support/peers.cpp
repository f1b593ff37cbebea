#include "peers.h"

#include <fstream>
#include <stdexcept>

std::string PeerStateDir(const std::string& peer)
{
    return std::string(KESTROW_PEERS_DIR) + "/" + peer + "/";
}

std::string PeerValue(const std::string& peer, const std::string& name)
{
    std::ifstream file(PeerStateDir(peer) + name);
    std::string value;
    if (!file || !std::getline(file, value))
        throw std::runtime_error("the " + peer + " peer is not running (" + PeerStateDir(peer) + name +
                                 " is missing); run the tests through ctest, which starts it");
    return value;
}

int PeerPort(const std::string& peer)
{
    return std::stoi(PeerValue(peer, "port"));
}
