#!/usr/bin/env bash
# Starts or stops the web server the tests fetch from.
#   nginxpeer.sh start STATEDIR   serve STATEDIR/root on 127.0.0.1 at a free port; the port is
#                                 written to STATEDIR/port, the process id to STATEDIR/pid, the
#                                 Basic-auth login of /private/ to STATEDIR/user and STATEDIR/password;
#                                 the same on [::1] and the same port where the machine has IPv6 on
#                                 its loopback: STATEDIR/url6 is http://[::1]:PORT, or "none"
#   nginxpeer.sh stop STATEDIR    stop it and remove STATEDIR
# The root holds index.html, files/small.txt, files/large.bin (24 MiB of random bytes), a file
# under a path longer than 256 characters, and private/secret.txt behind Basic auth.
# /moved answers 301 with an absolute Location, /found 302 with a relative one, /loop 302 to itself,
# /redirect/PATH 302 to /PATH. nginx's own redirect pages hold no link.
set -euo pipefail
source "$(dirname "$0")/../freeport.sh"

action=${1:?start or stop}
state=${2:?state directory}
user=kestrow
password=robot-pass

write_config() {
    local port=$1
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
    # The client's port tells which requests came over one connection.
    log_format ports '\$remote_addr "\$request" \$status port=\$remote_port';
    access_log $state/access.log ports;
    client_body_temp_path $state/temp/body;
    proxy_temp_path $state/temp/proxy;
    fastcgi_temp_path $state/temp/fastcgi;
    uwsgi_temp_path $state/temp/uwsgi;
    scgi_temp_path $state/temp/scgi;
    types { text/html html; text/plain txt; }
    default_type application/octet-stream;
    sendfile on;
    server {
        listen 127.0.0.1:$port;
        $(kestrow_nginx_ipv6_listen "$port")
        server_name localhost;
        root $state/root;
        location = /moved { return 301 /index.html; }
        location = /found { absolute_redirect off; return 302 /files/small.txt; }
        location = /loop { absolute_redirect off; return 302 /loop; }
        location /redirect/ { absolute_redirect off; rewrite ^/redirect(/.*)\$ \$1 redirect; }
        location /private/ {
            auth_basic "Kestrow tests";
            auth_basic_user_file $state/htpasswd;
        }
    }
}
CONF
    } >"$state/nginx.conf"
}

start() {
    kestrow_stop_peer "$state"
    mkdir -p "$state/root/files" "$state/root/private" "$state/temp"
    printf '<html><body>\n<a href="files/small.txt">small</a>\n<a href="files/large.bin">large</a>\n</body></html>\n' \
        >"$state/root/index.html"
    printf 'first line\r\nsecond line\r\nthird line without end' >"$state/root/files/small.txt"
    head -c $((24 * 1024 * 1024)) /dev/urandom >"$state/root/files/large.bin"
    local long="$state/root/files/$(printf 'd%.0s' $(seq 100))/$(printf 'e%.0s' $(seq 100))"
    mkdir -p "$long"
    printf 'found by its whole path' >"$long/$(printf 'f%.0s' $(seq 100)).txt"
    printf 'the secret page' >"$state/root/private/secret.txt"
    # nginx reads {SHA} entries itself, so no tool beyond python is needed to write one.
    /usr/bin/python3 -c 'import base64, hashlib, sys
print(sys.argv[1] + ":{SHA}" + base64.b64encode(hashlib.sha1(sys.argv[2].encode()).digest()).decode())' \
        "$user" "$password" >"$state/htpasswd"
    echo "$user" >"$state/user"
    echo "$password" >"$state/password"

    kestrow_start_nginx "$state"
    kestrow_write_ipv6_url "$state" url6 "http://[::1]:$(cat "$state/port")"
    echo "nginx on 127.0.0.1:$(cat "$state/port") serving $state/root"
}

kestrow_peer_main "$action" "$state" "$0 start|stop STATEDIR"
