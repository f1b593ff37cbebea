#include "scriptedftp.h"

#include <vector>

#include <gtest/gtest.h>

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
            QObject::connect(data, &QTcpSocket::connected, data,
                             [plan, data, controlSocket]
                             {
                                 if (plan.stallAfter == npos)
                                 {
                                     Write(data, plan.payload);
                                     data->disconnectFromHost();
                                     return;
                                 }
                                 Write(data, plan.payload.substr(0, plan.stallAfter));
                                 if (!plan.notice.empty())
                                     QTimer::singleShot(50, controlSocket,
                                                        [plan, controlSocket]
                                                        { Write(controlSocket, plan.notice); });
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

ScriptedServer::Script& FtpLogin(ScriptedServer::Script& script)
{
    return script.Send("220-Welcome to the scripted server\r\n220-Second line\r\n220 Ready\r\n")
        .ExpectLine()
        .Send("331 Password required\r\n")
        .ExpectLine()
        .Send("230 Logged in\r\n");
}
