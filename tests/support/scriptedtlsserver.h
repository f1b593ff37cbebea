#pragma once

#include <string>
#include <vector>

#include <QSslCertificate>
#include <QSslKey>
#include <QTcpServer>

class QSslSocket;

// A TLS server on 127.0.0.1 that answers every request with one reply and then ends the
// connection the way the test asks: with close_notify, by a bare TCP close, or by a reset. It
// runs on the test's thread, while the client under test waits in the event loop.
class ScriptedTlsServer : public QTcpServer
{
    Q_OBJECT

  public:
    enum class Ending
    {
        CloseNotify,
        Cut,
        Reset
    };

    // The server's certificate and key, PEM files.
    ScriptedTlsServer(const std::string& certificateFile, const std::string& keyFile);

    void Answer(std::string reply, Ending ending);
    // https://127.0.0.1:PORT followed by path.
    std::string Url(const std::string& path = "/") const;
    int Answered() const { return answered; }
    // The header of every request answered, in order.
    const std::vector<std::string>& Requests() const { return requests; }

  protected:
    void incomingConnection(qintptr descriptor) override;

  private:
    void Reply(QSslSocket* socket);
    // Ends the connection once every byte of the reply has reached the system.
    void EndWhenSent(QSslSocket* socket);

    QSslCertificate certificate;
    QSslKey key;
    std::string reply;
    Ending ending = Ending::CloseNotify;
    int answered = 0;
    std::vector<std::string> requests;
};
