#!/usr/bin/env bash
# Starts or stops Apache httpd, the second web server the tests fetch from.
#   apachepeer.sh start STATEDIR   serve STATEDIR/root (a link into a shared folder: see
#                                  kestrow_shared_folder) on 127.0.0.1 at a free port; the port is
#                                  written to STATEDIR/port, the process id to STATEDIR/pid, the
#                                  Basic-auth login of /private/ to STATEDIR/user and STATEDIR/password
#   apachepeer.sh stop STATEDIR    stop it and remove STATEDIR
# Every folder without an index.html is listed (FancyIndexing, with its sort links). Apache builds
# the address of its redirects from the Host header the client sent:
#   /redirect/PATH  302 to /PATH, with moved.html as the redirect's page (its first link is a
#                   stylesheet, its second one leads elsewhere: only the Location is right)
#   /moved/PATH     301 to /PATH, with Apache's own page, whose link names host and port
#   /files          a folder asked for without its final "/": 301 to /files/
# access.log gives each request with the Host header it came with (host=...) and the client's
# port (port=...), which tells the requests of one connection.
set -euo pipefail
source "$(dirname "$0")/../freeport.sh"

action=${1:?start or stop}
state=${2:?state directory}
user=kestrow
password=apache-pass
modules=/usr/lib/apache2/modules
shared=

write_config() {
    local port=$1
    {
        cat <<CONF
ServerRoot "$state"
DefaultRuntimeDir "$shared"
PidFile "$state/httpd.pid"
Mutex file:$shared default
Listen 127.0.0.1:$port
ServerName 127.0.0.1
ErrorLog "$state/error.log"
LogLevel warn
LogFormat "%h \"%r\" %>s host=%{Host}i port=%{remote}p" hosts
CustomLog "$state/access.log" hosts
CONF
        for module in mpm_event authz_core authz_user authn_core authn_file auth_basic alias autoindex dir mime; do
            echo "LoadModule ${module}_module $modules/mod_$module.so"
        done
        # As root Apache must hand its workers to a user of their own, who reaches the shared folder.
        if [ "$(id -u)" -eq 0 ]; then
            printf 'User www-data\nGroup www-data\n'
        fi
        cat <<CONF
StartServers 1
ServerLimit 1
ThreadsPerChild 16
MaxRequestWorkers 16
MinSpareThreads 1
MaxSpareThreads 16
Timeout 30
TypesConfig /dev/null
AddType text/html .html
AddType text/plain .txt
DocumentRoot "$shared/root"
DirectoryIndex index.html
IndexOptions FancyIndexing HTMLTable VersionSort NameWidth=*
<Directory "$shared/root">
    Options Indexes
    AllowOverride None
    Require all granted
</Directory>
<Location "/private/">
    AuthType Basic
    AuthName "Kestrow tests"
    AuthUserFile "$shared/htpasswd"
    Require valid-user
</Location>
RedirectMatch 302 ^/redirect(/.*)\$ \$1
RedirectMatch 301 ^/moved(/.*)\$ \$1
ErrorDocument 302 /moved.html
CONF
    } >"$state/httpd.conf"
}

start() {
    kestrow_stop_peer "$state"
    mkdir -p "$state"
    # The pages and the password file are read by the workers; the tests write through root/.
    shared=$(kestrow_shared_folder "$state")
    mkdir -p "$shared/root/files" "$shared/root/private"
    ln -s "$shared/root" "$state/root"
    printf '<html><body>\n<a href="files/small.txt">small</a>\n</body></html>\n' >"$state/root/index.html"
    printf 'first line\r\nsecond line\r\nthird line without end' >"$state/root/files/small.txt"
    printf '<html><head><link rel="stylesheet" href="/site.css"></head>\n<body>This page has moved: <a href="/elsewhere.html">elsewhere</a></body></html>\n' \
        >"$state/root/moved.html"
    printf 'body { color: navy; }\n' >"$state/root/site.css"
    printf '<html><body>not the page asked for</body></html>\n' >"$state/root/elsewhere.html"
    printf 'the secret page' >"$state/root/private/secret.txt"
    printf '%s:%s\n' "$user" "$(openssl passwd -apr1 "$password")" >"$shared/htpasswd"
    echo "$user" >"$state/user"
    echo "$password" >"$state/password"

    # Apache listens before it reads all of its configuration: a fault in it would pass for a start.
    write_config "$(kestrow_free_port)"
    if ! /usr/sbin/apache2 -d "$state" -f "$state/httpd.conf" -t >"$state/log" 2>&1; then
        echo "Apache's configuration is not valid:" >&2
        cat "$state/log" >&2
        exit 1
    fi
    kestrow_start_or_explain "$state" Apache error.log write_config \
        /usr/sbin/apache2 -d "$state" -f "$state/httpd.conf" -DFOREGROUND
    echo "Apache on 127.0.0.1:$(cat "$state/port") serving $state/root"
}

kestrow_peer_main "$action" "$state" "$0 start|stop STATEDIR"
