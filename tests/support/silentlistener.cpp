#include "silentlistener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

SilentListener::SilentListener(int fillers)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    listener = ::socket(AF_INET, SOCK_STREAM, 0);
    socklen_t length = sizeof(address);
    // A backlog of 0 queues one connection; further ones get no answer while it waits.
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        ::listen(listener, fillers > 0 ? 0 : 16) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("cannot open a silent listener");
    port = ntohs(address.sin_port);
    if (fillers > 0)
    {
        filler = ::socket(AF_INET, SOCK_STREAM, 0);
        if (filler < 0 || ::connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0)
            throw std::runtime_error("cannot fill the silent listener's queue");
    }
}

SilentListener::~SilentListener()
{
    if (filler >= 0)
        ::close(filler);
    if (listener >= 0)
        ::close(listener);
}
