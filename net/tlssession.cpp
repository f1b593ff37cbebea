#include "net/tlssession.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <utility>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <QSocketNotifier>

#include "net/tlsidentity.h"
#include "net/tlstrust.h"
#include "platform/exception.h"

// What the socket of a session knows besides its descriptor: the error of its last call, which
// later OpenSSL calls may overwrite in errno.
struct TTlsSession::TSocketState
{
    int descriptor;
    int lastErrno = 0;
    // The peer has closed its side: OpenSSL asks, to tell a cut connection from a failed call.
    bool eof = false;
};

namespace
{
using TSocketState = TTlsSession::TSocketState;

// OpenSSL reads this much from the socket at once and decrypts the records in it one by one:
// one system call for many records instead of two for each.
constexpr int ReadBlock = 64 * 1024;
// Sessions kept for resumption per trust; beyond it the oldest are let go.
constexpr std::size_t MaxKeptSessions = 256;

TSocketState& StateOf(BIO* bio)
{
    return *static_cast<TSocketState*>(BIO_get_data(bio));
}

// Sending never raises SIGPIPE: a peer that has gone is an error of the call, not the end of the
// program. OpenSSL's own socket BIO writes with write(), which would.
int SocketWrite(BIO* bio, const char* bytes, int size)
{
    BIO_clear_retry_flags(bio);
    TSocketState& state = StateOf(bio);
    state.lastErrno = 0;
    for (;;)
    {
        const ssize_t sent = ::send(state.descriptor, bytes, static_cast<std::size_t>(size), MSG_NOSIGNAL);
        if (sent >= 0)
            return static_cast<int>(sent);
        if (errno == EINTR)
            continue;
        state.lastErrno = errno;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            BIO_set_retry_write(bio);
        return -1;
    }
}

int SocketRead(BIO* bio, char* bytes, int size)
{
    BIO_clear_retry_flags(bio);
    TSocketState& state = StateOf(bio);
    state.lastErrno = 0;
    for (;;)
    {
        const ssize_t got = ::recv(state.descriptor, bytes, static_cast<std::size_t>(size), 0);
        if (got == 0 && size > 0)
            state.eof = true;
        if (got >= 0)
            return static_cast<int>(got);
        if (errno == EINTR)
            continue;
        state.lastErrno = errno;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            BIO_set_retry_read(bio);
        return -1;
    }
}

long SocketControl(BIO* bio, int command, long, void*)
{
    // Nothing is buffered here; everything else OpenSSL may ask is not supported.
    if (command == BIO_CTRL_EOF)
        return StateOf(bio).eof ? 1 : 0;
    return command == BIO_CTRL_FLUSH ? 1 : 0;
}

int SocketPuts(BIO* bio, const char* text)
{
    return SocketWrite(bio, text, static_cast<int>(std::strlen(text)));
}

BIO_METHOD* SocketMethod()
{
    static BIO_METHOD* const method = []
    {
        BIO_METHOD* made = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "socket without SIGPIPE");
        if (made && (BIO_meth_set_write(made, SocketWrite) != 1 || BIO_meth_set_read(made, SocketRead) != 1 ||
                     BIO_meth_set_puts(made, SocketPuts) != 1 || BIO_meth_set_ctrl(made, SocketControl) != 1))
        {
            BIO_meth_free(made);
            made = nullptr;
        }
        return made;
    }();
    return method;
}

// OpenSSL's queued errors, "error:...:reason", separated by ", "; the queue is left empty.
std::string OpenSslErrors()
{
    std::string text;
    while (const unsigned long code = ERR_get_error())
    {
        char line[256];
        ERR_error_string_n(code, line, sizeof line);
        if (!text.empty())
            text += ", ";
        text += line;
    }
    return text;
}

[[noreturn]] void FailSetUp(const std::string& what)
{
    const std::string reasons = OpenSslErrors();
    throw Exception(reasons.empty() ? what : what + ": " + reasons);
}

bool IsUnexpectedEof(unsigned long code)
{
    return ERR_GET_LIB(code) == ERR_LIB_SSL && ERR_GET_REASON(code) == SSL_R_UNEXPECTED_EOF_WHILE_READING;
}

// The refusal texts of the certificate check; OpenSSL's own words for the rest.
std::string VerifyErrorText(long code)
{
    static constexpr struct
    {
        long code;
        const char* text;
    } words[] = {
        {X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT, "The issuer certificate could not be found"},
        {X509_V_ERR_UNABLE_TO_DECRYPT_CERT_SIGNATURE, "The certificate signature could not be decrypted"},
        {X509_V_ERR_UNABLE_TO_DECODE_ISSUER_PUBLIC_KEY,
         "The public key in the certificate could not be read"},
        {X509_V_ERR_CERT_SIGNATURE_FAILURE, "The signature of the certificate is invalid"},
        {X509_V_ERR_CERT_NOT_YET_VALID, "The certificate is not yet valid"},
        {X509_V_ERR_CERT_HAS_EXPIRED, "The certificate has expired"},
        {X509_V_ERR_ERROR_IN_CERT_NOT_BEFORE_FIELD,
         "The certificate's notBefore field contains an invalid time"},
        {X509_V_ERR_ERROR_IN_CERT_NOT_AFTER_FIELD,
         "The certificate's notAfter field contains an invalid time"},
        {X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT, "The certificate is self-signed, and untrusted"},
        {X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN,
         "The root certificate of the certificate chain is self-signed, and untrusted"},
        {X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY,
         "The issuer certificate of a locally looked up certificate could not be found"},
        {X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE, "No certificates could be verified"},
        {X509_V_ERR_INVALID_CA, "One of the CA certificates is invalid"},
        {X509_V_ERR_PATH_LENGTH_EXCEEDED, "The basicConstraints path length parameter has been exceeded"},
        {X509_V_ERR_INVALID_PURPOSE, "The supplied certificate is unsuitable for this purpose"},
        {X509_V_ERR_CERT_UNTRUSTED, "The root CA certificate is not trusted for this purpose"},
        {X509_V_ERR_CERT_REJECTED, "The root CA certificate is marked to reject the specified purpose"},
        {X509_V_ERR_HOSTNAME_MISMATCH,
         "The host name did not match any of the valid hosts for this certificate"},
        {X509_V_ERR_IP_ADDRESS_MISMATCH,
         "The host name did not match any of the valid hosts for this certificate"},
    };
    for (const auto& word : words)
        if (word.code == code)
            return word.text;
    return X509_verify_cert_error_string(code);
}

// Said of a connection that closed or was reset under the handshake.
constexpr const char* RemoteClosed = "The remote host closed the connection";

// The client context of one trust, made once and shared by its connections: the authorities are
// loaded once, and the sessions servers give are kept by host and port for resumption.
class TClientContext
{
  public:
    explicit TClientContext(const TTlsTrust& trust) : context(SSL_CTX_new(TLS_client_method()))
    {
        if (!context)
            FailSetUp("Cannot set up TLS");
        // A set-up that fails (authorities that cannot be read) leaves no context behind.
        try
        {
            SetUp(trust);
        }
        catch (...)
        {
            SSL_CTX_free(context);
            throw;
        }
    }
    ~TClientContext()
    {
        for (auto& [place, session] : sessions)
            SSL_SESSION_free(session);
        SSL_CTX_free(context);
    }
    TClientContext(const TClientContext&) = delete;
    TClientContext& operator=(const TClientContext&) = delete;

    SSL_CTX* Context() const { return context; }

    // The session to offer to place, or nullptr.
    SSL_SESSION* SessionFor(const std::string& place) const
    {
        const auto kept = sessions.find(place);
        return kept != sessions.end() && SSL_SESSION_is_resumable(kept->second) ? kept->second : nullptr;
    }

    // Where a connection goes, for the sessions it is given.
    static int PlaceIndex()
    {
        static const int index = SSL_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
        return index;
    }

  private:
    void SetUp(const TTlsTrust& trust)
    {
        if (SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION) != 1)
            FailSetUp("Cannot require TLS 1.2");
        SSL_CTX_set_mode(context, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
        SSL_CTX_set_read_ahead(context, 1);
        SSL_CTX_set_default_read_buffer_len(context, ReadBlock);
        if (!trust.AcceptAnyCertificate)
        {
            SSL_CTX_set_verify(context, SSL_VERIFY_PEER, nullptr);
            LoadAuthorities(trust);
        }
        else
            SSL_CTX_set_verify(context, SSL_VERIFY_NONE, nullptr);
        SSL_CTX_set_session_cache_mode(context, SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
        SSL_CTX_sess_set_new_cb(context, &TClientContext::SessionIssued);
        if (SSL_CTX_set_ex_data(context, ContextIndex(), this) != 1)
            FailSetUp("Cannot set up TLS");
    }

    static int ContextIndex()
    {
        static const int index = SSL_CTX_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
        return index;
    }

    // The system's authorities as OpenSSL programs find them (SSL_CERT_DIR, else the system's
    // hashed folder, looked up when a chain needs them; SSL_CERT_FILE as well when set), and those
    // the user added.
    void LoadAuthorities(const TTlsTrust& trust)
    {
        X509_STORE* store = SSL_CTX_get_cert_store(context);
        const char* folder = std::getenv(X509_get_default_cert_dir_env());
        if (X509_STORE_load_path(store, folder && *folder ? folder : X509_get_default_cert_dir()) != 1)
            FailSetUp("Cannot read the system's certificate authorities");
        if (const char* file = std::getenv(X509_get_default_cert_file_env()); file && *file)
            if (X509_STORE_load_file(store, file) != 1)
                FailSetUp(std::string("Cannot read the certificate authorities of ") + file);
        for (const QByteArray& der : trust.AddedAuthorities())
        {
            const auto* bytes = reinterpret_cast<const unsigned char*>(der.constData());
            X509* certificate = d2i_X509(nullptr, &bytes, der.size());
            if (!certificate)
                FailSetUp("Cannot take over a certificate authority");
            const int added = X509_STORE_add_cert(store, certificate);
            X509_free(certificate);
            if (added != 1)
                FailSetUp("Cannot take over a certificate authority");
        }
    }

    // A server has given a session (with TLS 1.3 after the handshake): it is kept for the place
    // the connection went to, in place of an older one.
    static int SessionIssued(SSL* ssl, SSL_SESSION* session)
    {
        auto* self = static_cast<TClientContext*>(SSL_CTX_get_ex_data(SSL_get_SSL_CTX(ssl), ContextIndex()));
        const auto* place = static_cast<const std::string*>(SSL_get_ex_data(ssl, PlaceIndex()));
        if (!self || !place)
            return 0;
        if (self->sessions.size() >= MaxKeptSessions && !self->sessions.contains(*place))
        {
            SSL_SESSION_free(self->sessions.begin()->second);
            self->sessions.erase(self->sessions.begin());
        }
        SSL_SESSION*& kept = self->sessions[*place];
        if (kept)
            SSL_SESSION_free(kept);
        kept = session;
        return 1;
    }

    SSL_CTX* context;
    std::map<std::string, SSL_SESSION*> sessions;
};

// The context of a trust: one for every distinct set of authorities and checking, for the life
// of the program. The environment that names the system's authorities is part of it.
TClientContext& ContextFor(const TTlsTrust& trust)
{
    static std::map<std::string, std::unique_ptr<TClientContext>> contexts;
    std::string key = trust.AcceptAnyCertificate ? "any" : "checked";
    for (const char* variable : {X509_get_default_cert_dir_env(), X509_get_default_cert_file_env()})
    {
        const char* value = std::getenv(variable);
        key += '\n' + std::string(value ? value : "");
    }
    for (const QByteArray& der : trust.AddedAuthorities())
        key += '\n' + der.toHex().toStdString();
    std::unique_ptr<TClientContext>& context = contexts[key];
    if (!context)
    {
        try
        {
            context = std::make_unique<TClientContext>(trust);
        }
        catch (...)
        {
            contexts.erase(key);
            throw;
        }
    }
    return *context;
}
} // namespace

TTlsSession::TTlsSession(int descriptor, QObject* owner)
    : QObject(owner), socketState(new TSocketState{descriptor}),
      readNotifier(new QSocketNotifier(descriptor, QSocketNotifier::Read, this)),
      writeNotifier(new QSocketNotifier(descriptor, QSocketNotifier::Write, this))
{
    // Each record goes out when it is written: a request's last record must not wait for the
    // server's delayed acknowledgement of the one before, which costs 40 ms a request.
    const int noDelay = 1;
    setsockopt(descriptor, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
    writeNotifier->setEnabled(false);
    readNotifier->setEnabled(false);
    connect(readNotifier, &QSocketNotifier::activated, this, [this] { Notified(true); });
    connect(writeNotifier, &QSocketNotifier::activated, this, [this] { Notified(false); });
}

TTlsSession::~TTlsSession()
{
    Close();
}

void TTlsSession::Close()
{
    readNotifier->setEnabled(false);
    writeNotifier->setEnabled(false);
    // The peer hears that nothing was cut off on our side (and its own close_notify is
    // answered); it is not waited for. A session ended so stays resumable.
    if (ssl && established && (end == TEnd::Open || end == TEnd::CloseNotify))
    {
        ERR_clear_error();
        SSL_shutdown(ssl);
        ERR_clear_error();
    }
    if (end == TEnd::Open)
        end = TEnd::Failed;
    if (ssl)
    {
        delete static_cast<std::string*>(SSL_get_ex_data(ssl, TClientContext::PlaceIndex()));
        SSL_free(ssl);
    }
    ssl = nullptr;
    if (socketState->descriptor >= 0)
        ::close(socketState->descriptor);
    socketState->descriptor = -1;
}

QList<QByteArray> TTlsSession::ReadCertificates(const QByteArray& bytes)
{
    QList<QByteArray> found;
    if (bytes.size() > INT32_MAX)
        return found;
    const auto keep = [&found](X509* certificate)
    {
        if (const int length = i2d_X509(certificate, nullptr); length > 0)
        {
            QByteArray der(length, Qt::Uninitialized);
            auto* out = reinterpret_cast<unsigned char*>(der.data());
            if (i2d_X509(certificate, &out) == length)
                found.append(der);
        }
        X509_free(certificate);
    };
    if (BIO* pem = BIO_new_mem_buf(bytes.constData(), static_cast<int>(bytes.size())))
    {
        while (X509* certificate = PEM_read_bio_X509(pem, nullptr, nullptr, nullptr))
            keep(certificate);
        BIO_free(pem);
    }
    if (found.isEmpty())
    {
        const auto* der = reinterpret_cast<const unsigned char*>(bytes.constData());
        if (X509* certificate = d2i_X509(nullptr, &der, static_cast<long>(bytes.size())))
            keep(certificate);
    }
    ERR_clear_error();
    return found;
}

void TTlsSession::StartHandshake(const TTlsTrust& trust, const std::string& host, int port)
{
    ERR_clear_error();
    TClientContext& context = ContextFor(trust);
    verifying = !trust.AcceptAnyCertificate;
    ssl = SSL_new(context.Context());
    if (!ssl)
        FailSetUp("Cannot set up TLS");
    BIO* bio = SocketMethod() ? BIO_new(SocketMethod()) : nullptr;
    if (!bio)
        FailSetUp("Cannot set up TLS");
    BIO_set_data(bio, socketState.get());
    BIO_set_init(bio, 1);
    SSL_set_bio(ssl, bio, bio);

    // The identity is part of where a session may be resumed: a session checked for one name is
    // never offered for another.
    const TTlsIdentity identity = TlsIdentityOf(host);
    auto* place = new std::string(
        (identity.address.isEmpty() ? identity.name : identity.address.toHex().toStdString()) + ":" +
        std::to_string(port));
    if (SSL_set_ex_data(ssl, TClientContext::PlaceIndex(), place) != 1)
    {
        delete place;
        FailSetUp("Cannot set up TLS");
    }
    if (identity.address.isEmpty())
    {
        if (SSL_set_tlsext_host_name(ssl, identity.name.c_str()) != 1)
            FailSetUp("Cannot send the server name " + identity.name);
        if (verifying)
        {
            SSL_set_hostflags(ssl, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
            if (SSL_set1_host(ssl, identity.name.c_str()) != 1)
                FailSetUp("Cannot check the certificate for " + identity.name);
        }
    }
    // An address is checked against the certificate's addresses and sent as no server name.
    else if (verifying &&
             X509_VERIFY_PARAM_set1_ip(SSL_get0_param(ssl),
                                       reinterpret_cast<const unsigned char*>(identity.address.constData()),
                                       static_cast<std::size_t>(identity.address.size())) != 1)
        FailSetUp("Cannot check the certificate for " + host);
    if (SSL_SESSION* session = context.SessionFor(*place))
        if (SSL_set_session(ssl, session) != 1)
            ERR_clear_error();
    ContinueHandshake();
}

bool TTlsSession::Resumed() const
{
    return ssl && SSL_session_reused(ssl) == 1;
}

void TTlsSession::ContinueHandshake()
{
    ERR_clear_error();
    const int result = SSL_connect(ssl);
    if (result == 1)
    {
        established = true;
        writeNotifier->setEnabled(false);
        readNotifier->setEnabled(readingWanted);
        return;
    }
    if (!Waits(result, true))
        FailHandshake();
}

void TTlsSession::FailHandshake()
{
    readNotifier->setEnabled(false);
    writeNotifier->setEnabled(false);
    end = TEnd::Failed;
    // Without checking, a certificate's faults are no reason: the handshake's own failure is.
    if (const long verified = SSL_get_verify_result(ssl); verifying && verified != X509_V_OK)
    {
        ERR_clear_error();
        handshakeError = VerifyErrorText(verified);
        return;
    }
    const unsigned long first = ERR_peek_error();
    if (first == 0 || IsUnexpectedEof(first))
    {
        ERR_clear_error();
        handshakeError = RemoteClosed;
        return;
    }
    handshakeError = "Error during SSL handshake: " + OpenSslErrors();
}

bool TTlsSession::Waits(int result, bool reading)
{
    switch (SSL_get_error(ssl, result))
    {
    case SSL_ERROR_WANT_READ:
        if (!reading)
            writeWaitsForRead = true;
        readNotifier->setEnabled(true);
        return true;
    case SSL_ERROR_WANT_WRITE:
        if (reading && established)
            readWaitsForWrite = true;
        writeNotifier->setEnabled(true);
        return true;
    default:
        return false;
    }
}

void TTlsSession::Fail(TEnd how)
{
    readNotifier->setEnabled(false);
    writeNotifier->setEnabled(false);
    end = how;
    endErrno = how == TEnd::Failed ? socketState->lastErrno : 0;
    endReason = how == TEnd::Failed ? OpenSslErrors() : std::string();
    ERR_clear_error();
}

long TTlsSession::Read(char* buffer, long size)
{
    if (end != TEnd::Open)
        return -1;
    if (!established || size <= 0)
        return 0;
    ERR_clear_error();
    const int got = SSL_read(ssl, buffer, static_cast<int>(std::min<long>(size, INT32_MAX)));
    if (got > 0)
        return got;
    const int error = SSL_get_error(ssl, got);
    if (Waits(got, true))
        return 0;
    if (error == SSL_ERROR_ZERO_RETURN)
    {
        Fail(TEnd::CloseNotify);
        return -1;
    }
    // A bare close of the connection: OpenSSL 3 reports it as an error of its own, older
    // releases as a failed call without an errno.
    const unsigned long code = ERR_peek_error();
    const bool eof = IsUnexpectedEof(code) || (error == SSL_ERROR_SYSCALL && code == 0 &&
                                               socketState->lastErrno == 0 && socketState->eof);
    Fail(eof ? TEnd::Cut : TEnd::Failed);
    return -1;
}

long TTlsSession::Write(const char* bytes, long size)
{
    if (end != TEnd::Open || !established)
        return -1;
    if (size <= 0)
        return 0;
    ERR_clear_error();
    const int sent = SSL_write(ssl, bytes, static_cast<int>(std::min<long>(size, INT32_MAX)));
    if (sent > 0)
        return sent;
    if (Waits(sent, false))
        return 0;
    Fail(TEnd::Failed);
    return -1;
}

void TTlsSession::WatchReading(bool enabled)
{
    readingWanted = enabled;
    if (end == TEnd::Open)
        readNotifier->setEnabled(enabled || writeWaitsForRead || !established);
}

void TTlsSession::Notified(bool readable)
{
    if (end != TEnd::Open || !ssl)
    {
        readNotifier->setEnabled(false);
        writeNotifier->setEnabled(false);
        return;
    }
    if (!established)
    {
        ContinueHandshake();
        if (OnHandshakeStep)
            OnHandshakeStep();
        return;
    }
    if (readable)
    {
        readNotifier->setEnabled(readingWanted);
        if (std::exchange(writeWaitsForRead, false) && OnWritable)
            OnWritable();
        if (end == TEnd::Open && readingWanted && OnReadable)
            OnReadable();
    }
    else
    {
        writeNotifier->setEnabled(false);
        if (std::exchange(readWaitsForWrite, false) && OnReadable)
            OnReadable();
        if (end == TEnd::Open && OnWritable)
            OnWritable();
    }
}
