#include "scriptedftp.h"

#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include <QNetworkProxy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace
{
constexpr auto npos = std::string::npos;

void Write(QTcpSocket* socket, const std::string& bytes)
{
    socket->write(bytes.data(), static_cast<qint64>(bytes.size()));
    socket->flush();
}
} // namespace

PortTarget LastPortTarget(const std::string& received)
{
    PortTarget target;
    const std::size_t at = received.rfind("PORT ");
    if (at == npos)
        return target;
    const std::size_t end = received.find("\r\n", at);
    target.line = received.substr(at, end == npos ? npos : end - at);
    std::vector<int> numbers;
    std::string field;
    for (char c : target.line.substr(5) + ",")
        if (c == ',')
        {
            numbers.push_back(field.empty() ? -1 : std::stoi(field));
            field.clear();
        }
        else
            field += c;
    if (numbers.size() != 6)
        return target;
    target.address =
        QHostAddress(QString("%1.%2.%3.%4").arg(numbers[0]).arg(numbers[1]).arg(numbers[2]).arg(numbers[3]));
    target.port = static_cast<quint16>(numbers[4] * 256 + numbers[5]);
    return target;
}

ScriptedServer::Action ServeData(DataPlan plan)
{
    return [plan](ScriptedServer::Connection& control)
    {
        const PortTarget target = LastPortTarget(control.received);
        QTcpSocket* controlSocket = control.socket;
        auto sendReal = [plan, target, controlSocket]
        {
            auto* data = new QTcpSocket(controlSocket);
            QObject::connect(
                data, &QTcpSocket::connected, data,
                [plan, data, controlSocket]
                {
                    if (plan.floodTotal > 0)
                    {
                        auto sent = std::make_shared<std::size_t>(0);
                        auto more = [plan, data, sent]
                        {
                            while (data->bytesToWrite() < (1 << 20) && *sent < plan.floodTotal)
                            {
                                data->write(plan.payload.data(), static_cast<qint64>(plan.payload.size()));
                                *sent += plan.payload.size();
                            }
                        };
                        QObject::connect(data, &QTcpSocket::bytesWritten, data, more);
                        more();
                        return;
                    }
                    if (plan.stallAfter == npos)
                    {
                        Write(data, plan.payload);
                        data->disconnectFromHost();
                        return;
                    }
                    Write(data, plan.payload.substr(0, plan.stallAfter));
                    if (!plan.notice.empty())
                        QTimer::singleShot(50, controlSocket,
                                           [plan, controlSocket] { Write(controlSocket, plan.notice); });
                });
            QObject::connect(data, &QTcpSocket::disconnected, controlSocket,
                             [plan, controlSocket]
                             {
                                 if (plan.stallAfter == npos)
                                     Write(controlSocket, plan.closing);
                             });
            data->connectToHost(target.address, target.port);
        };
        if (plan.thiefBytes.empty())
        {
            sendReal();
            return;
        }
        auto* thief = new QTcpSocket(controlSocket);
        if (!thief->bind(QHostAddress("127.0.0.2")))
            ADD_FAILURE() << "cannot bind to 127.0.0.2";
        QObject::connect(thief, &QTcpSocket::connected, thief,
                         [plan, thief, sendReal]
                         {
                             Write(thief, plan.thiefBytes);
                             QTimer::singleShot(50, thief, sendReal);
                         });
        QObject::connect(thief, &QTcpSocket::disconnected, thief, [plan] { *plan.thiefClosed = true; });
        thief->connectToHost(target.address, target.port);
    };
}

PassivePort::PassivePort() : listener(new QTcpServer())
{
    listener->setProxy(QNetworkProxy::NoProxy);
    if (!listener->listen(QHostAddress::LocalHost, 0))
        ADD_FAILURE() << "cannot open a data port";
    QObject::connect(listener, &QTcpServer::newConnection, listener,
                     [this]
                     {
                         while (QTcpSocket* connection = listener->nextPendingConnection())
                             connections.push_back(connection);
                     });
}

PassivePort::~PassivePort()
{
    delete listener;
}

quint16 PassivePort::Port() const
{
    return listener->serverPort();
}

ScriptedServer::Action OfferPassive(std::shared_ptr<PassivePort> port, std::string reply)
{
    return [port, reply](ScriptedServer::Connection& control)
    {
        std::string text = reply;
        auto replace = [&text](const std::string& name, int value)
        {
            if (const std::size_t at = text.find(name); at != npos)
                text.replace(at, name.size(), std::to_string(value));
        };
        replace("{port}", port->Port());
        replace("{p1}", port->Port() >> 8);
        replace("{p2}", port->Port() & 0xff);
        Write(control.socket, text);
    };
}

ScriptedServer::Action ServePassiveData(std::shared_ptr<PassivePort> port, DataPlan plan)
{
    return [port, plan](ScriptedServer::Connection& control)
    {
        QTcpSocket* controlSocket = control.socket;
        auto serve = [port, plan, controlSocket]
        {
            QTcpSocket* data = port->connections.back();
            QObject::connect(data, &QTcpSocket::disconnected, controlSocket,
                             [plan, controlSocket] { Write(controlSocket, plan.closing); });
            Write(data, plan.payload);
            data->disconnectFromHost();
        };
        if (!port->connections.empty())
        {
            serve();
            return;
        }
        QObject::connect(port->listener, &QTcpServer::newConnection, controlSocket, serve,
                         Qt::SingleShotConnection);
    };
}

ScriptedServer::Script& FtpLogin(ScriptedServer::Script& script)
{
    return script.Send("220-Welcome to the scripted server\r\n220-Second line\r\n220 Ready\r\n")
        .ExpectLine()
        .Send("331 Password required\r\n")
        .ExpectLine()
        .Send("230 Logged in\r\n");
}

ScriptedServer::Script& FtpInBinaryType(ScriptedServer::Script& script)
{
    return FtpLogin(script).ExpectLine().Send("250 CWD ok\r\n").ExpectLine().Send("200 Type set to I\r\n");
}
