# Sourced by scripts/test after setup.sh: the other Debian release's Wine, so that every
# machine proves the program on two Wines. A Debian 12 machine runs the end-to-end tests
# also under Debian 13's Wine 10, a Debian 13 machine also under Debian 12's Wine 8, each
# inside a root of that release made once with debootstrap. The root is kept outside the
# clone (CI works in a fresh clone each time), in /var/cache/vantrel unless
# VANTREL_ROOT_CACHE names another folder. The exes and the probe are built on the host
# and reached through a bind mount of the repository at its own path.

# What the end-to-end tests need inside the root; the builds stay on the host.
root_packages=(wine wine64 fonts-wine xvfb xdotool x11-utils imagemagick python3 python3-psutil python3-xvfbwrapper)

# The other release's code name; nothing on machines that are neither.
other_release() {
  local release
  release=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  case "$release" in
    bookworm) echo trixie ;;
    trixie) echo bookworm ;;
    *) return 1 ;;
  esac
}

other_root() { echo "${VANTREL_ROOT_CACHE:-/var/cache/vantrel}/$1-root"; }

# The Debian mirror the host's apt uses, for debootstrap.
debian_mirror() {
  local mirror
  mirror=$(grep -hoE 'https?://[^ ]+/debian/?( |$)' /etc/apt/sources.list /etc/apt/sources.list.d/*.sources \
             /etc/apt/sources.list.d/*.list 2>/dev/null | head -n 1 | tr -d ' ' || true)
  echo "${mirror:-http://deb.debian.org/debian}"
}

# The mount points inside DIR, deepest first.
mounts_under() {
  findmnt -rn -o TARGET | awk -v dir="$1/" 'index($0, dir) == 1' | sort -r
}

# Each pass takes off the mounts in sight; one left over from a run that was killed may
# lie under another on the same folder, so passes go on until none is left.
unmount_root() {  # DIR
  local target passes=0
  while [ -n "$(mounts_under "$1")" ] && [ $((passes += 1)) -le 5 ]; do
    while read -r target; do
      "${sudo[@]}" umount -l "$target" 2>/dev/null || true
    done < <(mounts_under "$1")
  done
}

# Never deletes through a mount that is still there: that would delete the host's files.
remove_root() {  # DIR
  unmount_root "$1"
  [ -z "$(mounts_under "$1")" ] || { echo "$1 still has mounts" >&2; return 1; }
  "${sudo[@]}" rm -rf "$1"
}

# What Wine needs: the kernel's file systems, the devices with a tmpfs on /dev/shm
# (wineboot fails without it), the host's /tmp (so Xvfb displays and their locks are
# shared with the host's, and no two rigs take one display), and the repository.
mount_root() {  # DIR
  local dir=$1
  "${sudo[@]}" mkdir -p "$dir/proc" "$dir/sys" "$dir/dev" "$dir/tmp" "$dir$repo_root"
  "${sudo[@]}" mount -t proc proc "$dir/proc"
  bind_mount /sys "$dir/sys"
  bind_mount /dev "$dir/dev"
  bind_mount /dev/pts "$dir/dev/pts"
  "${sudo[@]}" mount -t tmpfs -o mode=1777 shm "$dir/dev/shm"
  bind_mount /tmp "$dir/tmp"
  bind_mount "$repo_root" "$dir$repo_root"
}

# A slave of the host's mount: where the host's mounts are shared, a mount or unmount
# inside the root (the tmpfs on dev/shm) would otherwise happen to the host's too.
bind_mount() {  # SOURCE TARGET
  "${sudo[@]}" mount --bind "$1" "$2"
  "${sudo[@]}" mount --make-rslave "$2"
}

# Makes the root once: debootstrap, then the packages. A root whose packages list differs
# from today's is made again. Fails (with the reason on stderr) without network or
# debootstrap; the caller skips the stage then.
make_root() {  # RELEASE DIR
  local release=$1 dir=$2 work="$2.building" log="$repo_root/build/$1-root.log"
  [ "$(cat "$dir/.vantrel-root" 2>/dev/null)" = "${root_packages[*]}" ] && return 0
  command -v debootstrap >/dev/null || install_packages debootstrap || return 1
  echo "Making a Debian $release root for the end-to-end tests in $dir (once, a few minutes)"
  remove_root "$work" || return 1
  "${sudo[@]}" mkdir -p "$(dirname "$dir")"
  "${sudo[@]}" debootstrap --variant=minbase "$release" "$work" "$(debian_mirror)" >"$log" 2>&1 \
    || { tail -n 1 "$log" >&2; return 1; }
  "${sudo[@]}" cp /etc/resolv.conf "$work/etc/resolv.conf"
  mount_root "$work"
  local status=0
  "${sudo[@]}" chroot "$work" sh -c "apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
    --no-install-recommends ${root_packages[*]} && apt-get clean" >>"$log" 2>&1 || status=$?
  unmount_root "$work"
  [ "$status" -eq 0 ] || { tail -n 1 "$log" >&2; return 1; }
  echo "${root_packages[*]}" | "${sudo[@]}" tee "$work/.vantrel-root" >/dev/null
  remove_root "$dir" || return 1
  "${sudo[@]}" mv "$work" "$dir"
}

# Makes the other release's root if it is not there yet, and keeps it for this script:
# a second scripts/test on the machine waits. Fails with the reason on stderr.
prepare_other_root() {
  local release
  release=$(other_release) || { echo "this is neither Debian 12 nor Debian 13" >&2; return 1; }
  exec {root_lock}>>"/tmp/vantrel-$release-root.lock"
  flock "$root_lock"
  make_root "$release" "$(other_root "$release")"
}

# run_in_other_root COMMAND...: runs the command in the repository inside the prepared
# root, as the calling user, and unmounts on every exit.
run_in_other_root() {
  local dir
  dir=$(other_root "$(other_release)")
  (
    trap 'unmount_root "$dir"' EXIT
    trap 'exit 130' INT TERM
    mount_root "$dir"
    "${sudo[@]}" chroot --userspec="$(id -u):$(id -g)" "$dir" env -i PATH=/usr/bin:/bin HOME="${HOME:-/root}" \
      LANG=C.UTF-8 sh -c 'cd "$0" && exec "$@"' "$repo_root" "$@"
  )
}
