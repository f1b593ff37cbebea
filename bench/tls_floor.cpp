// The least memory any Qt program of ours can fetch a file over https in: an application object
// and a TCP socket of Qt Network, as every client of ours has, and the file fetched with OpenSSL
// straight on a blocking socket into FILE. Its peak memory is the floor the https benchmark
// compares kestrow-cli get with.
//
//   kestrow_bench_tls_floor PORT PATH CA_FILE FILE
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <openssl/ssl.h>

#include <QCoreApplication>
#include <QTcpSocket>

int main(int argc, char** argv)
{
    if (argc != 5)
    {
        std::fprintf(stderr, "usage: %s PORT PATH CA_FILE FILE\n", argv[0]);
        return 2;
    }
    QCoreApplication application(argc, argv);
    const QTcpSocket socketOfQt;

    const int descriptor = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(std::atoi(argv[1])));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(descriptor, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        return 1;
    SSL_CTX* context = SSL_CTX_new(TLS_client_method());
    SSL_CTX_load_verify_locations(context, argv[3], nullptr);
    SSL_CTX_set_verify(context, SSL_VERIFY_PEER, nullptr);
    SSL* ssl = SSL_new(context);
    SSL_set_fd(ssl, descriptor);
    SSL_set1_host(ssl, "127.0.0.1");
    if (SSL_connect(ssl) != 1)
        return 1;
    const std::string request =
        std::string("GET ") + argv[2] + " HTTP/1.0\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
    SSL_write(ssl, request.data(), static_cast<int>(request.size()));

    FILE* out = std::fopen(argv[4], "wb");
    if (!out)
        return 1;
    static char block[64 * 1024];
    // The header is written too: the floor is about memory, the file's length is not checked.
    for (int got; (got = SSL_read(ssl, block, sizeof block)) > 0;)
        std::fwrite(block, 1, static_cast<std::size_t>(got), out);
    std::fclose(out);
    SSL_free(ssl);
    SSL_CTX_free(context);
    close(descriptor);
    return 0;
}
