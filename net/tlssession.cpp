#include "net/tlssession.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <type_traits>
#include <utility>

#include <dlfcn.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <QHostAddress>
#include <QSocketNotifier>
#include <QUrl>

#include "net/tlstrust.h"
#include "platform/exception.h"

namespace
{
// The OpenSSL 3 library of the system; its functions of libcrypto come with it.
constexpr const char* OpenSslLibrary = "libssl.so.3";

// OpenSSL reads this much from the socket at once and decrypts the records in it one by one:
// one system call for many records instead of two for each.
constexpr int ReadBlock = 64 * 1024;

// The OpenSSL functions sessions call, taken from the system's library when TLS is first needed
// rather than linked: a program that never speaks TLS does not pay for mapping OpenSSL.
struct TOpenSsl
{
    decltype(&::TLS_client_method) ClientMethod;
    decltype(&::SSL_CTX_new) CtxNew;
    decltype(&::SSL_CTX_free) CtxFree;
    decltype(&::SSL_CTX_ctrl) CtxCtrl;
    decltype(&::SSL_CTX_set_default_read_buffer_len) CtxSetReadBufferLen;
    decltype(&::SSL_CTX_set_verify) CtxSetVerify;
    decltype(&::SSL_CTX_set_default_verify_paths) CtxSetDefaultVerifyPaths;
    decltype(&::SSL_CTX_get_cert_store) CtxGetCertStore;
    decltype(&::X509_STORE_add_cert) StoreAddCert;
    decltype(&::d2i_X509) D2iX509;
    decltype(&::X509_free) X509Free;
    decltype(&::SSL_new) New;
    decltype(&::SSL_free) Free;
    decltype(&::SSL_set_bio) SetBio;
    decltype(&::SSL_ctrl) Ctrl;
    decltype(&::SSL_get0_param) Get0Param;
    decltype(&::X509_VERIFY_PARAM_set1_ip_asc) ParamSetIp;
    decltype(&::SSL_set_hostflags) SetHostFlags;
    decltype(&::SSL_set1_host) SetHost;
    decltype(&::SSL_connect) Connect;
    decltype(&::SSL_read) Read;
    decltype(&::SSL_write) Write;
    decltype(&::SSL_get_error) GetError;
    decltype(&::SSL_shutdown) Shutdown;
    decltype(&::SSL_get_verify_result) GetVerifyResult;
    decltype(&::X509_verify_cert_error_string) VerifyErrorString;
    decltype(&::ERR_clear_error) ErrClear;
    decltype(&::ERR_get_error) ErrGet;
    decltype(&::ERR_peek_error) ErrPeek;
    decltype(&::ERR_error_string_n) ErrString;
    decltype(&::BIO_get_new_index) BioNewIndex;
    decltype(&::BIO_meth_new) BioMethNew;
    decltype(&::BIO_meth_set_write) BioMethSetWrite;
    decltype(&::BIO_meth_set_read) BioMethSetRead;
    decltype(&::BIO_meth_set_puts) BioMethSetPuts;
    decltype(&::BIO_meth_set_ctrl) BioMethSetCtrl;
    decltype(&::BIO_new) BioNew;
    decltype(&::BIO_get_data) BioGetData;
    decltype(&::BIO_set_data) BioSetData;
    decltype(&::BIO_set_init) BioSetInit;
    decltype(&::BIO_set_flags) BioSetFlags;
    decltype(&::BIO_clear_flags) BioClearFlags;
    decltype(&::BIO_new_mem_buf) BioNewMemBuf;
    decltype(&::BIO_free) BioFree;
    decltype(&::PEM_read_bio_X509) PemReadX509;
    decltype(&::i2d_X509) I2dX509;
    decltype(&::X509_STORE_load_path) StoreLoadPath;
    decltype(&::X509_get_default_cert_dir) DefaultCertDir;
    decltype(&::X509_get_default_cert_dir_env) DefaultCertDirEnv;

    BIO_METHOD* socketMethod = nullptr;
};

TOpenSsl openSsl;

// Takes every function from the library; the first one missing is the reason, if any.
std::string ResolveOpenSsl(void* library)
{
    std::string missing;
    const auto take = [&](auto& function, const char* name)
    {
        function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(dlsym(library, name));
        if (!function && missing.empty())
            missing = name;
    };
    take(openSsl.ClientMethod, "TLS_client_method");
    take(openSsl.CtxNew, "SSL_CTX_new");
    take(openSsl.CtxFree, "SSL_CTX_free");
    take(openSsl.CtxCtrl, "SSL_CTX_ctrl");
    take(openSsl.CtxSetReadBufferLen, "SSL_CTX_set_default_read_buffer_len");
    take(openSsl.CtxSetVerify, "SSL_CTX_set_verify");
    take(openSsl.CtxSetDefaultVerifyPaths, "SSL_CTX_set_default_verify_paths");
    take(openSsl.CtxGetCertStore, "SSL_CTX_get_cert_store");
    take(openSsl.StoreAddCert, "X509_STORE_add_cert");
    take(openSsl.D2iX509, "d2i_X509");
    take(openSsl.X509Free, "X509_free");
    take(openSsl.New, "SSL_new");
    take(openSsl.Free, "SSL_free");
    take(openSsl.SetBio, "SSL_set_bio");
    take(openSsl.Ctrl, "SSL_ctrl");
    take(openSsl.Get0Param, "SSL_get0_param");
    take(openSsl.ParamSetIp, "X509_VERIFY_PARAM_set1_ip_asc");
    take(openSsl.SetHostFlags, "SSL_set_hostflags");
    take(openSsl.SetHost, "SSL_set1_host");
    take(openSsl.Connect, "SSL_connect");
    take(openSsl.Read, "SSL_read");
    take(openSsl.Write, "SSL_write");
    take(openSsl.GetError, "SSL_get_error");
    take(openSsl.Shutdown, "SSL_shutdown");
    take(openSsl.GetVerifyResult, "SSL_get_verify_result");
    take(openSsl.VerifyErrorString, "X509_verify_cert_error_string");
    take(openSsl.ErrClear, "ERR_clear_error");
    take(openSsl.ErrGet, "ERR_get_error");
    take(openSsl.ErrPeek, "ERR_peek_error");
    take(openSsl.ErrString, "ERR_error_string_n");
    take(openSsl.BioNewIndex, "BIO_get_new_index");
    take(openSsl.BioMethNew, "BIO_meth_new");
    take(openSsl.BioMethSetWrite, "BIO_meth_set_write");
    take(openSsl.BioMethSetRead, "BIO_meth_set_read");
    take(openSsl.BioMethSetPuts, "BIO_meth_set_puts");
    take(openSsl.BioMethSetCtrl, "BIO_meth_set_ctrl");
    take(openSsl.BioNew, "BIO_new");
    take(openSsl.BioGetData, "BIO_get_data");
    take(openSsl.BioSetData, "BIO_set_data");
    take(openSsl.BioSetInit, "BIO_set_init");
    take(openSsl.BioSetFlags, "BIO_set_flags");
    take(openSsl.BioClearFlags, "BIO_clear_flags");
    take(openSsl.BioNewMemBuf, "BIO_new_mem_buf");
    take(openSsl.BioFree, "BIO_free");
    take(openSsl.PemReadX509, "PEM_read_bio_X509");
    take(openSsl.I2dX509, "i2d_X509");
    take(openSsl.StoreLoadPath, "X509_STORE_load_path");
    take(openSsl.DefaultCertDir, "X509_get_default_cert_dir");
    take(openSsl.DefaultCertDirEnv, "X509_get_default_cert_dir_env");
    return missing;
}
} // namespace

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

TSocketState& StateOf(BIO* bio)
{
    return *static_cast<TSocketState*>(openSsl.BioGetData(bio));
}

void ClearRetry(BIO* bio)
{
    openSsl.BioClearFlags(bio, BIO_FLAGS_RWS | BIO_FLAGS_SHOULD_RETRY);
}

void SetRetry(BIO* bio, int direction)
{
    openSsl.BioSetFlags(bio, direction | BIO_FLAGS_SHOULD_RETRY);
}

// Sending never raises SIGPIPE: a peer that has gone is an error of the call, not the end of the
// program. OpenSSL's own socket BIO writes with write(), which would.
int SocketWrite(BIO* bio, const char* bytes, int size)
{
    ClearRetry(bio);
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
            SetRetry(bio, BIO_FLAGS_WRITE);
        return -1;
    }
}

int SocketRead(BIO* bio, char* bytes, int size)
{
    ClearRetry(bio);
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
            SetRetry(bio, BIO_FLAGS_READ);
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

BIO_METHOD* MakeSocketMethod()
{
    BIO_METHOD* made =
        openSsl.BioMethNew(openSsl.BioNewIndex() | BIO_TYPE_SOURCE_SINK, "socket without SIGPIPE");
    if (made)
    {
        openSsl.BioMethSetWrite(made, SocketWrite);
        openSsl.BioMethSetRead(made, SocketRead);
        openSsl.BioMethSetPuts(made, SocketPuts);
        openSsl.BioMethSetCtrl(made, SocketControl);
    }
    return made;
}

// OpenSSL's errors as Qt's TLS backend lists them: "error:...:reason", separated by ", ".
std::string OpenSslErrors()
{
    std::string text;
    while (const unsigned long code = openSsl.ErrGet())
    {
        char line[256];
        openSsl.ErrString(code, line, sizeof line);
        if (!text.empty())
            text += ", ";
        text += line;
    }
    return text;
}

bool IsUnexpectedEof(unsigned long code)
{
    return ERR_GET_LIB(code) == ERR_LIB_SSL && ERR_GET_REASON(code) == SSL_R_UNEXPECTED_EOF_WHILE_READING;
}

// A certificate check's failure in the words Qt's TLS socket uses for it; OpenSSL's own words
// for the rest.
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
    return openSsl.VerifyErrorString(code);
}

// Said of a connection that closed or was reset under the handshake, as Qt's socket says it.
constexpr const char* RemoteClosed = "The remote host closed the connection";
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
    // The peer hears that nothing was cut off on our side; it is not waited for.
    if (ssl && established && end == TEnd::Open)
    {
        openSsl.ErrClear();
        openSsl.Shutdown(ssl);
        openSsl.ErrClear();
    }
    if (end == TEnd::Open)
        end = TEnd::Failed;
    if (ssl)
        openSsl.Free(ssl);
    ssl = nullptr;
    if (context)
        openSsl.CtxFree(context);
    context = nullptr;
    if (socketState->descriptor >= 0)
        ::close(socketState->descriptor);
    socketState->descriptor = -1;
}

std::string TTlsSession::Unavailable()
{
    static const std::string reason = []() -> std::string
    {
        void* library = dlopen(OpenSslLibrary, RTLD_NOW | RTLD_LOCAL);
        if (!library)
        {
            const char* why = dlerror();
            return std::string("cannot load ") + OpenSslLibrary + (why ? std::string(" (") + why + ")" : "");
        }
        if (const std::string missing = ResolveOpenSsl(library); !missing.empty())
            return std::string(OpenSslLibrary) + " has no " + missing;
        openSsl.socketMethod = MakeSocketMethod();
        if (!openSsl.socketMethod)
            return "OpenSSL cannot make a socket BIO";
        return {};
    }();
    return reason;
}

QList<QByteArray> TTlsSession::ReadCertificates(const QByteArray& bytes)
{
    QList<QByteArray> found;
    if (!Unavailable().empty() || bytes.size() > INT32_MAX)
        return found;
    const auto keep = [&found](X509* certificate)
    {
        if (const int length = openSsl.I2dX509(certificate, nullptr); length > 0)
        {
            QByteArray der(length, Qt::Uninitialized);
            auto* out = reinterpret_cast<unsigned char*>(der.data());
            if (openSsl.I2dX509(certificate, &out) == length)
                found.append(der);
        }
        openSsl.X509Free(certificate);
    };
    if (BIO* pem = openSsl.BioNewMemBuf(bytes.constData(), static_cast<int>(bytes.size())))
    {
        while (X509* certificate = openSsl.PemReadX509(pem, nullptr, nullptr, nullptr))
            keep(certificate);
        openSsl.BioFree(pem);
    }
    if (found.isEmpty())
    {
        const auto* der = reinterpret_cast<const unsigned char*>(bytes.constData());
        if (X509* certificate = openSsl.D2iX509(nullptr, &der, static_cast<long>(bytes.size())))
            keep(certificate);
    }
    openSsl.ErrClear();
    return found;
}

void TTlsSession::StartHandshake(const TTlsTrust& trust, const std::string& host)
{
    if (const std::string reason = Unavailable(); !reason.empty())
        throw Exception(reason);
    const auto fail = [](const std::string& what) { throw Exception(what + ": " + OpenSslErrors()); };
    context = openSsl.CtxNew(openSsl.ClientMethod());
    if (!context)
        fail("Cannot set up TLS");
    // What Qt's TLS socket allows by default: TLS 1.2 and later.
    openSsl.CtxCtrl(context, SSL_CTRL_SET_MIN_PROTO_VERSION, TLS1_2_VERSION, nullptr);
    openSsl.CtxCtrl(context, SSL_CTRL_MODE,
                    SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER, nullptr);
    openSsl.CtxCtrl(context, SSL_CTRL_SET_READ_AHEAD, 1, nullptr);
    openSsl.CtxSetReadBufferLen(context, ReadBlock);
    const bool verify = !trust.AcceptAnyCertificate;
    if (verify)
    {
        openSsl.CtxSetVerify(context, SSL_VERIFY_PEER, nullptr);
        // The system's authorities are looked up in its hashed folder when a chain needs them, as
        // Qt does, rather than all read from the bundle file first.
        X509_STORE* store = openSsl.CtxGetCertStore(context);
        const char* folder = std::getenv(openSsl.DefaultCertDirEnv());
        if (openSsl.StoreLoadPath(store, folder && *folder ? folder : openSsl.DefaultCertDir()) != 1)
            fail("Cannot read the system's certificate authorities");
        for (const QByteArray& der : trust.AddedAuthorities())
        {
            const auto* bytes = reinterpret_cast<const unsigned char*>(der.constData());
            X509* certificate = openSsl.D2iX509(nullptr, &bytes, der.size());
            if (!certificate)
                fail("Cannot take over a certificate authority");
            openSsl.StoreAddCert(store, certificate);
            openSsl.X509Free(certificate);
        }
    }
    else
        openSsl.CtxSetVerify(context, SSL_VERIFY_NONE, nullptr);

    ssl = openSsl.New(context);
    if (!ssl)
        fail("Cannot set up TLS");
    BIO* bio = openSsl.BioNew(openSsl.socketMethod);
    if (!bio)
        fail("Cannot set up TLS");
    openSsl.BioSetData(bio, socketState.get());
    openSsl.BioSetInit(bio, 1);
    openSsl.SetBio(ssl, bio, bio);

    // An address is checked against the certificate's addresses and sent as no server name; a
    // name goes in its ASCII form, as Qt sends it.
    QHostAddress address;
    if (address.setAddress(QString::fromStdString(host)))
    {
        if (verify)
            openSsl.ParamSetIp(openSsl.Get0Param(ssl), host.c_str());
    }
    else
    {
        QByteArray ace = QUrl::toAce(QString::fromStdString(host));
        if (ace.isEmpty())
            ace = QByteArray::fromStdString(host);
        openSsl.Ctrl(ssl, SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name,
                     const_cast<char*>(ace.constData()));
        if (verify)
        {
            openSsl.SetHostFlags(ssl, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
            openSsl.SetHost(ssl, ace.constData());
        }
    }
    ContinueHandshake();
}

void TTlsSession::ContinueHandshake()
{
    openSsl.ErrClear();
    const int result = openSsl.Connect(ssl);
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
    if (const long verified = openSsl.GetVerifyResult(ssl); verified != X509_V_OK)
    {
        openSsl.ErrClear();
        handshakeError = VerifyErrorText(verified);
        return;
    }
    const unsigned long first = openSsl.ErrPeek();
    if (first == 0 || IsUnexpectedEof(first))
    {
        openSsl.ErrClear();
        handshakeError = RemoteClosed;
        return;
    }
    handshakeError = "Error during SSL handshake: " + OpenSslErrors();
}

bool TTlsSession::Waits(int result, bool reading)
{
    switch (openSsl.GetError(ssl, result))
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

long TTlsSession::Read(char* buffer, long size)
{
    if (end != TEnd::Open)
        return -1;
    if (!established || size <= 0)
        return 0;
    openSsl.ErrClear();
    const int got = openSsl.Read(ssl, buffer, static_cast<int>(std::min<long>(size, INT32_MAX)));
    if (got > 0)
        return got;
    const int error = openSsl.GetError(ssl, got);
    if (Waits(got, true))
        return 0;
    readNotifier->setEnabled(false);
    writeNotifier->setEnabled(false);
    if (error == SSL_ERROR_ZERO_RETURN)
        end = TEnd::CloseNotify;
    else
    {
        const int lastErrno = socketState->lastErrno;
        const unsigned long code = openSsl.ErrPeek();
        // A bare close of the connection: OpenSSL 3 reports it as an error of its own, older
        // releases as a failed call without an errno.
        const bool eof = IsUnexpectedEof(code) ||
                         (error == SSL_ERROR_SYSCALL && code == 0 && lastErrno == 0 && socketState->eof);
        end = eof ? TEnd::Cut : TEnd::Failed;
        endErrno = eof ? 0 : lastErrno;
        openSsl.ErrClear();
    }
    return -1;
}

long TTlsSession::Write(const char* bytes, long size)
{
    if (end != TEnd::Open || !established)
        return -1;
    if (size <= 0)
        return 0;
    openSsl.ErrClear();
    const int sent = openSsl.Write(ssl, bytes, static_cast<int>(std::min<long>(size, INT32_MAX)));
    if (sent > 0)
        return sent;
    if (Waits(sent, false))
        return 0;
    readNotifier->setEnabled(false);
    writeNotifier->setEnabled(false);
    end = TEnd::Failed;
    endErrno = socketState->lastErrno;
    openSsl.ErrClear();
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
