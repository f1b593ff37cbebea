#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include <QHostAddress>

#include "scriptedserver.h"

class QTcpServer;
class QTcpSocket;

// The pieces of an FTP server for scripted servers: the login, and the server's side of an
// active-mode transfer, which connects to the address the client named in PORT.

// The address and port named by the last PORT line the client sent.
struct PortTarget
{
    std::string line;
    QHostAddress address;
    quint16 port = 0;
};

PortTarget LastPortTarget(const std::string& received);

// What the server does on the data connection once the reply to RETR has gone out.
struct DataPlan
{
    DataPlan(std::string payload, std::string closing = "226 Transfer complete.\r\n")
        : payload(std::move(payload)), closing(std::move(closing))
    {
    }

    std::string payload;
    std::string closing;
    // When set, only this much of the payload is sent, then notice on the control connection,
    // and the data connection stalls.
    std::size_t stallAfter = std::string::npos;
    std::string notice;
    // When set, the payload is sent again and again, at the pace the client reads, until this
    // many bytes have gone (a listing without end); the data connection then stays open.
    std::size_t floodTotal = 0;
    // When set, another local process (bound to 127.0.0.2) connects first and sends these bytes.
    std::string thiefBytes;
    std::shared_ptr<bool> thiefClosed = std::make_shared<bool>(false);
};

// A script step that plays the plan: connects to the client's PORT address and sends the
// payload, then the closing reply on the control connection once the data connection is done.
ScriptedServer::Action ServeData(DataPlan plan);

// The server's side of a passive-mode transfer: a data port on 127.0.0.1 that the client is told
// of, and the connections that came to it.
struct PassivePort
{
    PassivePort();
    ~PassivePort();
    quint16 Port() const;
    // Connections the client made to the port, in order.
    std::vector<QTcpSocket*> connections;
    QTcpServer* listener;
};

// A script step that answers EPSV or PASV with reply, in which "{port}" becomes the data port
// ("{p1},{p2}" its two bytes, as PASV names them).
ScriptedServer::Action OfferPassive(std::shared_ptr<PassivePort> port, std::string reply);

// A script step that plays the plan on the client's connection to the data port (waiting for it
// if need be): the payload, then the closing reply on the control connection.
ScriptedServer::Action ServePassiveData(std::shared_ptr<PassivePort> port, DataPlan plan);

// Greeting of three lines, USER answered 331, PASS answered 230.
ScriptedServer::Script& FtpLogin(ScriptedServer::Script& script);
// The login, the folder changed to and binary type set: where a transfer begins.
ScriptedServer::Script& FtpInBinaryType(ScriptedServer::Script& script);
