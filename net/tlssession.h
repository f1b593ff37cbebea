#pragma once

#include <functional>
#include <memory>
#include <string>

#include <QByteArray>
#include <QList>
#include <QObject>

class QSocketNotifier;
class TTlsTrust;
struct ssl_st;

// TLS run with OpenSSL straight on a connected socket's descriptor: records are read from the
// socket in large blocks and decrypted into the caller's buffer. The server's certificate must
// chain to an authority the trust names (the system's and any added) and name the host: its
// address when the host is an address, else its name, which also goes out as server name
// indication. Every step of that set-up must succeed, or the session does not start.
class TTlsSession : public QObject
{
    Q_OBJECT

  public:
    // How the peer ended the session.
    enum class TEnd
    {
        Open,
        // The peer's close_notify: all it sent has come.
        CloseNotify,
        // The connection closed without close_notify: what came may be cut short.
        Cut,
        // A reset, or a broken record: what came is incomplete.
        Failed
    };

    // Takes the descriptor over; it is closed with the session.
    explicit TTlsSession(int descriptor, QObject* owner = nullptr);
    ~TTlsSession() override;
    TTlsSession(const TTlsSession&) = delete;
    TTlsSession& operator=(const TTlsSession&) = delete;

    // The certificates of a PEM or DER file, each in DER.
    static QList<QByteArray> ReadCertificates(const QByteArray& bytes);

    // Sends the hello for host (a name, or an address without brackets) at port and goes on with
    // the handshake as the socket allows. A session of an earlier connection to the same host and
    // port under the same trust is offered for resumption. Raises Exception when any part of the
    // set-up fails: nothing is sent then.
    void StartHandshake(const TTlsTrust& trust, const std::string& host, int port);
    bool Established() const { return established; }
    // Why the handshake failed; empty while it has not.
    const std::string& HandshakeError() const { return handshakeError; }
    // The handshake took up a session of an earlier connection.
    bool Resumed() const;

    // Decrypted bytes into buffer: how many, 0 when none are there yet (OnReadable follows when
    // there are), -1 when the session has ended (End says how).
    long Read(char* buffer, long size);
    // Bytes taken for sending: how many, 0 when the socket is full (OnWritable follows), -1
    // when the session has ended.
    long Write(const char* bytes, long size);
    TEnd End() const { return end; }
    // The system's error number of a failed session, 0 if none.
    int EndErrno() const { return endErrno; }
    // OpenSSL's reason for a session that failed after the handshake (a broken record, an
    // alert); empty when it has none.
    const std::string& EndReason() const { return endReason; }
    // Reading stops while the reader has no room; the socket is not watched meanwhile.
    void WatchReading(bool enabled);
    // Ends the session at once: close_notify if it is open, and the descriptor is closed. What
    // is left of the object may then be deleted later, also from inside one of its handlers.
    void Close();

    // After the handshake: bytes can be read, room to send has come.
    std::function<void()> OnReadable;
    std::function<void()> OnWritable;
    // The handshake has moved on: it may have ended, either way.
    std::function<void()> OnHandshakeStep;

    // The socket as the session's BIO sees it.
    struct TSocketState;

  private:
    void Notified(bool readable);
    void ContinueHandshake();
    // Handles the failure of an OpenSSL call; true when it only waits for the socket.
    bool Waits(int result, bool reading);
    void FailHandshake();
    // The session has failed after the handshake: the socket's error and OpenSSL's reason kept.
    void Fail(TEnd how);

    std::unique_ptr<TSocketState> socketState;
    ssl_st* ssl = nullptr;
    QSocketNotifier* readNotifier;
    QSocketNotifier* writeNotifier;
    bool established = false;
    bool verifying = true;
    bool readingWanted = true;
    // A read that waits for room to send, and a send that waits for bytes to read.
    bool readWaitsForWrite = false;
    bool writeWaitsForRead = false;
    TEnd end = TEnd::Open;
    int endErrno = 0;
    std::string endReason;
    std::string handshakeError;
};
