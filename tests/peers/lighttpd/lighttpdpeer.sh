#!/usr/bin/env bash
# Starts or stops lighttpd, a web server that honours Range only in HTTP/1.1 requests.
#   lighttpdpeer.sh start STATEDIR   serve STATEDIR/root on 127.0.0.1 at a free port; the port is
#                                    written to STATEDIR/port, the process id to STATEDIR/pid
#   lighttpdpeer.sh stop STATEDIR    stop it and remove STATEDIR
# Under /slow/ every connection gets 1 MiB a second. access.log gives each request with its
# status and the client's port (port=...).
set -euo pipefail
source "$(dirname "$0")/../freeport.sh"

action=${1:?start or stop}
state=${2:?state directory}

write_config() {
    local port=$1
    cat >"$state/lighttpd.conf" <<CONF
server.document-root = "$state/root"
server.bind = "127.0.0.1"
server.port = $port
server.errorlog = "$state/error.log"
server.modules = ("mod_accesslog")
accesslog.filename = "$state/access.log"
accesslog.format = "%h \"%r\" %>s port=%{remote}p"
mimetype.assign = (".html" => "text/html", ".txt" => "text/plain", "" => "application/octet-stream")
\$HTTP["url"] =~ "^/slow/" { connection.kbytes-per-second = 1024 }
CONF
}

start() {
    kestrow_stop_peer "$state"
    mkdir -p "$state/root/slow"
    printf '<html><body>\n<a href="files/small.txt">small</a>\n</body></html>\n' >"$state/root/index.html"
    kestrow_start_or_explain "$state" lighttpd error.log write_config /usr/sbin/lighttpd -D -f "$state/lighttpd.conf"
    echo "lighttpd on 127.0.0.1:$(cat "$state/port") serving $state/root"
}

kestrow_peer_main "$action" "$state" "$0 start|stop STATEDIR"
