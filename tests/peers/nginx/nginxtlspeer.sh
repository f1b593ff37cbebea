#!/usr/bin/env bash
# Starts or stops the web server the tests fetch https:// addresses from.
#   nginxtlspeer.sh start STATEDIR   make a test authority and certificates with openssl, then
#                                    serve STATEDIR/root on 127.0.0.1 over TLS and over plain HTTP
#   nginxtlspeer.sh stop STATEDIR    stop it and remove STATEDIR
# Written to STATEDIR: port (TLS, a certificate from the test authority for the addresses
# 127.0.0.1 and ::1 only, so "localhost" is a wrong host name), http_port (plain HTTP, same root),
# expired_port (the authority's certificate for 127.0.0.1, expired), untrusted_port (a
# self-signed certificate for 127.0.0.1), names_port (the authority's certificate for the name
# good.test only, on 127.0.0.1 and ::1; its key and certificate are tls/names.key and
# tls/names.pem), ca.pem (the test authority), url (https://127.0.0.1:PORT).
# access.log names the server name each client sent (sni=NAME) and whether the connection took up
# an earlier TLS session (reused=r) or not (reused=.), and the client's port (port=...), which
# tells the requests of one connection.
# The root holds index.html (relative links), files/small.txt, files/large.bin (16 MiB of random
# bytes) and slow/stall.bin, whose first 64 KiB come at once and the rest at a byte a second.
# Under /close/ every answer closes its connection.
# On the plain port /to-https/PATH answers 301 to https://127.0.0.1:PORT/PATH; on the TLS port
# /to-http/PATH answers 302 to http://127.0.0.1:HTTP_PORT/PATH.
set -euo pipefail
source "$(dirname "$0")/../freeport.sh"

action=${1:?start or stop}
state=${2:?state directory}

# A key and a certificate signing request for 127.0.0.1.
request() {
    local name=$1
    openssl req -new -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -subj "/CN=127.0.0.1" \
        -keyout "$state/tls/$name.key" -out "$state/tls/$name.csr" 2>/dev/null
}

make_certificates() {
    local tls=$state/tls
    mkdir -p "$tls/issued"
    printf 'subjectAltName = IP:127.0.0.1, IP:::1\nbasicConstraints = CA:FALSE\nextendedKeyUsage = serverAuth\n' \
        >"$tls/server.ext"
    openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 30 \
        -subj "/CN=Kestrow Test Authority" -keyout "$tls/ca.key" -out "$state/ca.pem" 2>/dev/null

    request server
    openssl x509 -req -in "$tls/server.csr" -CA "$state/ca.pem" -CAkey "$tls/ca.key" -CAcreateserial \
        -days 30 -extfile "$tls/server.ext" -out "$tls/server.pem" 2>/dev/null

    # "openssl x509" cannot date a certificate in the past; "openssl ca" can.
    request expired
    : >"$tls/index.txt"
    cat >"$tls/ca.cnf" <<CNF
[ca]
default_ca = test
[test]
database = $tls/index.txt
new_certs_dir = $tls/issued
serial = $tls/serial
default_md = sha256
policy = any
copy_extensions = none
[any]
commonName = supplied
CNF
    echo 1000 >"$tls/serial"
    openssl ca -batch -config "$tls/ca.cnf" -cert "$state/ca.pem" -keyfile "$tls/ca.key" \
        -startdate 20200101000000Z -enddate 20200201000000Z -extfile "$tls/server.ext" \
        -in "$tls/expired.csr" -out "$tls/expired.pem" 2>/dev/null

    printf 'subjectAltName = DNS:good.test\nbasicConstraints = CA:FALSE\nextendedKeyUsage = serverAuth\n' \
        >"$tls/names.ext"
    request names
    openssl x509 -req -in "$tls/names.csr" -CA "$state/ca.pem" -CAkey "$tls/ca.key" -CAcreateserial \
        -days 30 -extfile "$tls/names.ext" -out "$tls/names.pem" 2>/dev/null

    request untrusted
    openssl x509 -req -in "$tls/untrusted.csr" -signkey "$tls/untrusted.key" -days 30 \
        -extfile "$tls/server.ext" -out "$tls/untrusted.pem" 2>/dev/null
}

# The extra ports are chosen with the main one, so that a retry takes new ones for all.
write_config() {
    local port=$1
    local http_port expired_port untrusted_port names_port
    http_port=$(kestrow_free_port)
    expired_port=$(kestrow_free_port)
    untrusted_port=$(kestrow_free_port)
    names_port=$(kestrow_free_port)
    echo "$http_port" >"$state/http_port"
    echo "$names_port" >"$state/names_port"
    echo "$expired_port" >"$state/expired_port"
    echo "$untrusted_port" >"$state/untrusted_port"
    {
        if [ "$(id -u)" -eq 0 ]; then
            echo "user root;"
        fi
        cat <<CONF
daemon off;
worker_processes 1;
pid $state/nginx.pid;
error_log $state/error.log;
events { worker_connections 64; }
http {
    # The name the client sent for server name indication, for the tests to see.
    log_format sni '\$remote_addr "\$request" \$status sni=\$ssl_server_name reused=\$ssl_session_reused port=\$remote_port';
    access_log $state/access.log sni;
    client_body_temp_path $state/temp/body;
    proxy_temp_path $state/temp/proxy;
    fastcgi_temp_path $state/temp/fastcgi;
    uwsgi_temp_path $state/temp/uwsgi;
    scgi_temp_path $state/temp/scgi;
    types { text/html html; text/plain txt; }
    default_type application/octet-stream;
    sendfile on;
    root $state/root;
    ssl_certificate $state/tls/server.pem;
    ssl_certificate_key $state/tls/server.key;
    server {
        listen 127.0.0.1:$port ssl;
        $(kestrow_nginx_ipv6_listen "$port" ssl)
        location /to-http/ { rewrite ^/to-http(/.*)\$ http://127.0.0.1:$http_port\$1 redirect; }
        location /slow/ { limit_rate_after 64k; limit_rate 1; }
        location /close/ { keepalive_timeout 0; }
    }
    server {
        listen 127.0.0.1:$http_port;
        location /to-https/ { rewrite ^/to-https(/.*)\$ https://127.0.0.1:$port\$1 permanent; }
    }
    server {
        listen 127.0.0.1:$expired_port ssl;
        ssl_certificate $state/tls/expired.pem;
        ssl_certificate_key $state/tls/expired.key;
    }
    server {
        listen 127.0.0.1:$names_port ssl;
        $(kestrow_nginx_ipv6_listen "$names_port" ssl)
        ssl_certificate $state/tls/names.pem;
        ssl_certificate_key $state/tls/names.key;
    }
    server {
        listen 127.0.0.1:$untrusted_port ssl;
        ssl_certificate $state/tls/untrusted.pem;
        ssl_certificate_key $state/tls/untrusted.key;
    }
}
CONF
    } >"$state/nginx.conf"
}

start() {
    kestrow_stop_peer "$state"
    mkdir -p "$state/root/files" "$state/root/slow" "$state/temp"
    make_certificates
    printf '<html><body>\n<a href="files/small.txt">small</a>\n<a href="files/large.bin">large</a>\n</body></html>\n' \
        >"$state/root/index.html"
    printf 'first line\r\nsecond line\r\nthird line without end' >"$state/root/files/small.txt"
    head -c $((16 * 1024 * 1024)) /dev/urandom >"$state/root/files/large.bin"
    head -c $((1024 * 1024)) /dev/urandom >"$state/root/slow/stall.bin"

    kestrow_start_nginx "$state"
    echo "https://127.0.0.1:$(cat "$state/port")" >"$state/url"
    kestrow_write_ipv6_url "$state" url6 "https://[::1]:$(cat "$state/port")"
    echo "nginx with TLS on 127.0.0.1:$(cat "$state/port"), plain HTTP on $(cat "$state/http_port")"
}

kestrow_peer_main "$action" "$state" "$0 start|stop STATEDIR"
