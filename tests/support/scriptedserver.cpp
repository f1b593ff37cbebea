#include "scriptedserver.h"

#include <sys/socket.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QNetworkProxy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include "platform/pause.h"

ScriptedServer::Script& ScriptedServer::Script::Add(int kind, std::string bytes, std::size_t count,
                                                    Action action)
{
    steps.push_back({static_cast<Step::Kind>(kind), std::move(bytes), count, std::move(action)});
    return *this;
}

ScriptedServer::Script& ScriptedServer::Script::Expect(std::string marker)
{
    return Add(Step::ExpectMarker, std::move(marker));
}

ScriptedServer::Script& ScriptedServer::Script::ExpectBytes(std::size_t count)
{
    return Add(Step::ExpectCount, {}, count);
}

ScriptedServer::Script& ScriptedServer::Script::Send(std::string bytes)
{
    return Add(Step::SendBytes, std::move(bytes));
}

ScriptedServer::Script& ScriptedServer::Script::Flood(std::string unit, std::size_t total)
{
    return Add(Step::FloodBytes, std::move(unit), total);
}

ScriptedServer::Script& ScriptedServer::Script::Pause(int milliseconds)
{
    return Add(Step::PauseFor, {}, static_cast<std::size_t>(milliseconds));
}

ScriptedServer::Script& ScriptedServer::Script::Stall()
{
    return Add(Step::StallHere);
}

ScriptedServer::Script& ScriptedServer::Script::Close()
{
    return Add(Step::CloseGracefully);
}

ScriptedServer::Script& ScriptedServer::Script::Reset()
{
    return Add(Step::ResetNow);
}

ScriptedServer::Script& ScriptedServer::Script::Call(Action action)
{
    return Add(Step::CallAction, {}, 0, std::move(action));
}

ScriptedServer::ScriptedServer(QObject* parent)
    : ScriptedServer(QHostAddress(QHostAddress::LocalHost), 0, parent)
{
    if (!Listening())
        qFatal("scripted server cannot listen: %s", qPrintable(server->errorString()));
}

ScriptedServer::ScriptedServer(const QHostAddress& address, quint16 port, QObject* parent)
    : QObject(parent), server(new QTcpServer(this))
{
    server->setProxy(QNetworkProxy::NoProxy);
    connect(server, &QTcpServer::newConnection, this, &ScriptedServer::Accept);
    server->listen(address, port);
}

bool ScriptedServer::Listening() const
{
    return server->isListening();
}

std::string ScriptedServer::Address() const
{
    const QHostAddress address = server->serverAddress();
    const std::string text = address.toString().toStdString();
    return address.protocol() == QAbstractSocket::IPv6Protocol ? "[" + text + "]" : text;
}

ScriptedServer::~ScriptedServer()
{
    for (auto& connection : connections)
        if (connection->socket)
        {
            connection->socket->disconnect(this);
            connection->socket->abort();
        }
}

void ScriptedServer::AddScript(Script script)
{
    scripts.push_back(std::move(script));
}

quint16 ScriptedServer::Port() const
{
    return server->serverPort();
}

std::string ScriptedServer::Url(const std::string& path) const
{
    return "http://" + Address() + ":" + std::to_string(Port()) + path;
}

std::string ScriptedServer::Received(int connection) const
{
    return connection >= 0 && connection < ConnectionCount() ? connections[connection]->received
                                                             : std::string();
}

bool ScriptedServer::Finished(int connection) const
{
    return connection >= 0 && connection < ConnectionCount() && connections[connection]->finished;
}

bool ScriptedServer::PeerClosed(int connection) const
{
    return connection >= 0 && connection < ConnectionCount() && connections[connection]->peerClosed;
}

const ScriptedServer::Script* ScriptedServer::ScriptFor(std::size_t index) const
{
    if (scripts.empty())
        return nullptr;
    return &scripts[std::min(index, scripts.size() - 1)];
}

ScriptedServer::Script& ScriptedServer::Script::Tunnel(quint16 port)
{
    return Call(
        [port](Connection& connection)
        {
            QTcpSocket* client = connection.socket;
            auto* upstream = new QTcpSocket(client);
            QObject::disconnect(client, &QTcpSocket::readyRead, nullptr, nullptr);
            QObject::connect(client, &QTcpSocket::readyRead, upstream,
                             [client, upstream] { upstream->write(client->readAll()); });
            QObject::connect(upstream, &QTcpSocket::readyRead, client,
                             [client, upstream] { client->write(upstream->readAll()); });
            QObject::connect(upstream, &QTcpSocket::disconnected, client,
                             [client] { client->disconnectFromHost(); });
            QObject::connect(client, &QTcpSocket::disconnected, upstream,
                             [upstream] { upstream->disconnectFromHost(); });
            upstream->connectToHost(QHostAddress::LocalHost, port);
            // What the client sent beyond the CONNECT request goes through too.
            const std::string early = connection.received.substr(connection.expectFrom);
            if (!early.empty())
                upstream->write(early.data(), static_cast<qint64>(early.size()));
        });
}

void ScriptedServer::Accept()
{
    while (QTcpSocket* socket = server->nextPendingConnection())
    {
        connections.push_back(std::make_unique<Connection>());
        Connection* connection = connections.back().get();
        connection->socket = socket;
        connection->index = connections.size() - 1;
        connect(socket, &QTcpSocket::readyRead, this,
                [this, connection]
                {
                    const QByteArray bytes = connection->socket->readAll();
                    connection->received.append(bytes.constData(), static_cast<std::size_t>(bytes.size()));
                    Run(*connection);
                });
        connect(socket, &QTcpSocket::disconnected, this,
                [connection]
                {
                    if (!connection->finished)
                        connection->peerClosed = true;
                });
        Run(*connection);
    }
}

void ScriptedServer::Run(Connection& connection)
{
    const Script* script = ScriptFor(connection.index);
    if (!script || connection.running || connection.finished)
        return;
    connection.running = true;
    while (connection.step < script->steps.size() && !connection.finished)
    {
        const Script::Step& step = script->steps[connection.step];
        switch (step.kind)
        {
        case Script::Step::ExpectMarker:
        {
            const std::size_t at = connection.received.find(step.bytes, connection.expectFrom);
            if (at == std::string::npos)
            {
                connection.running = false;
                return;
            }
            connection.expectFrom = at + step.bytes.size();
            break;
        }
        case Script::Step::ExpectCount:
            if (connection.received.size() - connection.expectFrom < step.count)
            {
                connection.running = false;
                return;
            }
            connection.expectFrom += step.count;
            break;
        case Script::Step::SendBytes:
            connection.socket->write(step.bytes.data(), static_cast<qint64>(step.bytes.size()));
            connection.socket->flush();
            break;
        case Script::Step::FloodBytes:
        {
            if (!connection.flooding)
            {
                connection.flooding = true;
                connect(connection.socket, &QTcpSocket::bytesWritten, this,
                        [this, &connection] { Run(connection); });
            }
            // Little is queued at a time, so the client's pace sets the server's.
            while (connection.flooded < step.count && connection.socket->bytesToWrite() < 256 * 1024 &&
                   connection.socket->state() == QAbstractSocket::ConnectedState)
            {
                const std::size_t n = std::min(step.bytes.size(), step.count - connection.flooded);
                connection.socket->write(step.bytes.data(), static_cast<qint64>(n));
                connection.flooded += n;
            }
            if (connection.flooded < step.count)
            {
                connection.running = false;
                return;
            }
            break;
        }
        case Script::Step::PauseFor:
            ++connection.step;
            QTimer::singleShot(static_cast<int>(step.count), this,
                               [this, &connection]
                               {
                                   connection.running = false;
                                   Run(connection);
                               });
            return;
        case Script::Step::StallHere:
            return;
        case Script::Step::CloseGracefully:
            connection.finished = true;
            connection.socket->disconnectFromHost();
            break;
        case Script::Step::ResetNow:
        {
            connection.finished = true;
            const linger resetOnClose{1, 0};
            setsockopt(static_cast<int>(connection.socket->socketDescriptor()), SOL_SOCKET, SO_LINGER,
                       &resetOnClose, sizeof resetOnClose);
            connection.socket->abort();
            break;
        }
        case Script::Step::CallAction:
            step.action(connection);
            break;
        }
        ++connection.step;
    }
    connection.running = false;
}

bool WaitUntil(const std::function<bool()>& condition, int timeoutMs)
{
    QElapsedTimer elapsed;
    elapsed.start();
    while (!condition())
    {
        if (elapsed.elapsed() >= timeoutMs)
            return false;
        platform::WaitForEvents(5);
    }
    return true;
}
