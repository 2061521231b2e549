# A throwaway Samba server on 127.0.0.1 for the shell tests and bench/smb.sh; source it.
#
#   smb_server_start DIR USER PASSWORD   starts smbd -F with its own smb.conf and state under DIR
#                                        (a new, empty folder), a private share "data" for USER
#                                        and a guest share "public"; returns 1 with the reason
#                                        in SMB_REASON when smbd cannot start
#   smb_server_stop                      stops it by its PID (call it from an EXIT trap)
#
# Sets SMB_PORT, SMB_PID, SMB_DATA (the folder behind "data") and SMB_PUBLIC. Needs root: it
# adds USER as a system user when missing.

SMB_PID=""

smb_server_start() {
    local dir=$1 user=$2 password=$3 smbd i
    SMB_REASON=""
    smbd=$(command -v smbd || echo /usr/sbin/smbd)
    if [ ! -x "$smbd" ]; then
        SMB_REASON="smbd is not installed (Debian package samba)"
        return 1
    fi
    if [ "$(id -u)" -ne 0 ]; then
        SMB_REASON="smbd needs root to serve a share as its user"
        return 1
    fi
    # Concurrent tests may add the same user; look again instead of trusting useradd.
    id "$user" >/dev/null 2>&1 || useradd -M -N -s /usr/sbin/nologin "$user" >/dev/null 2>&1 || true
    if ! id "$user" >/dev/null 2>&1; then
        SMB_REASON="cannot add the system user $user"
        return 1
    fi
    chmod 755 "$dir"
    if ! runuser -u "$user" -- test -x "$dir"; then
        SMB_REASON="the user $user cannot reach $dir (a folder above it is closed to others)"
        return 1
    fi
    mkdir -p "$dir/data" "$dir/public" "$dir/private" "$dir/lock" "$dir/state" "$dir/cache" \
        "$dir/pid" "$dir/ncalrpc" "$dir/log"
    chown "$user" "$dir/data" "$dir/public"
    SMB_DATA="$dir/data"
    SMB_PUBLIC="$dir/public"
    SMB_PORT=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    cat >"$dir/smb.conf" <<CONF
[global]
  interfaces = 127.0.0.1
  bind interfaces only = yes
  smb ports = $SMB_PORT
  private dir = $dir/private
  lock directory = $dir/lock
  state directory = $dir/state
  cache directory = $dir/cache
  pid directory = $dir/pid
  ncalrpc dir = $dir/ncalrpc
  log file = $dir/log/log.%m
  server role = standalone server
  passdb backend = tdbsam
  disable netbios = yes
  load printers = no
  printcap name = /dev/null
  disable spoolss = yes
  guest account = $user
[data]
  path = $dir/data
  read only = no
  valid users = $user
[public]
  path = $dir/public
  read only = no
  guest ok = yes
  force user = $user
CONF
    if ! printf '%s\n%s\n' "$password" "$password" | smbpasswd -c "$dir/smb.conf" -s -a "$user" >/dev/null 2>&1; then
        SMB_REASON="smbpasswd -a failed"
        return 1
    fi
    # smbd -F leads its own process group; smb_server_stop ends the group. Should this shell
    # be killed before it can do so, the parent-death signal still stops the server.
    local guard=()
    command -v setpriv >/dev/null && guard=(setpriv --pdeathsig TERM)
    "${guard[@]}" "$smbd" -F -s "$dir/smb.conf" >"$dir/log/smbd.out" 2>&1 &
    SMB_PID=$!
    i=0
    until (exec 3<>"/dev/tcp/127.0.0.1/$SMB_PORT") 2>/dev/null; do
        i=$((i + 1))
        if [ "$i" -gt 300 ] || ! kill -0 "$SMB_PID" 2>/dev/null; then
            SMB_REASON="smbd did not start: $(tail -c 1000 "$dir/log/smbd.out")"
            smb_server_stop
            return 1
        fi
        sleep 0.05
    done
    return 0
}

smb_server_stop() {
    if [ -n "$SMB_PID" ]; then
        kill -TERM "-$SMB_PID" 2>/dev/null || kill -TERM "$SMB_PID" 2>/dev/null || true
        wait "$SMB_PID" 2>/dev/null || true
        SMB_PID=""
    fi
}
