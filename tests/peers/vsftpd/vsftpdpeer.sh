#!/usr/bin/env bash
# Starts or stops vsftpd, the second anonymous FTP server the tests download from.
#   vsftpdpeer.sh start STATEDIR   serve STATEDIR/root read-only to anonymous users on 127.0.0.1 at
#                                  a free port, passive and active data connections alike; the port
#                                  is written to STATEDIR/port, the process id to STATEDIR/pid
#   vsftpdpeer.sh stop STATEDIR    stop it and remove STATEDIR
# vsftpd knows no MLSD: a folder is listed with NLST. It must run as root (it locks each session
# into the root folder). The root holds small.txt (a few known lines); tests write their own
# folders below it. vsftpd.log has each command the server received.
set -euo pipefail
source "$(dirname "$0")/../freeport.sh"

action=${1:?start or stop}
state=${2:?state directory}

write_config() {
    local port=$1
    cat >"$state/vsftpd.conf" <<CONF
listen=YES
listen_address=127.0.0.1
listen_port=$port
background=NO
anonymous_enable=YES
no_anon_password=YES
anon_root=$state/root
local_enable=NO
write_enable=NO
pasv_enable=YES
port_enable=YES
connect_from_port_20=NO
secure_chroot_dir=$state/empty
seccomp_sandbox=NO
isolate=NO
isolate_network=NO
syslog_enable=NO
xferlog_enable=YES
log_ftp_protocol=YES
vsftpd_log_file=$state/vsftpd.log
max_per_ip=0
max_clients=0
CONF
}

start() {
    kestrow_stop_peer "$state"
    if [ "$(id -u)" -ne 0 ]; then
        echo "vsftpd needs root" >&2
        exit 1
    fi
    mkdir -p "$state/root" "$state/empty"
    printf 'first line\r\nsecond line\r\nthird line without end' >"$state/root/small.txt"
    kestrow_start_or_explain "$state" vsftpd vsftpd.log write_config /usr/sbin/vsftpd "$state/vsftpd.conf"
    echo "vsftpd on 127.0.0.1:$(cat "$state/port") serving $state/root"
}

kestrow_peer_main "$action" "$state" "$0 start|stop STATEDIR"
