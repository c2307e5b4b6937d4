#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Flashes an undo zip in a simulated recovery and checks what it did to the partitions.
#
#   recovery_case.sh <case>   (environment: UNDO_TEMPLATE, USERLAND, UNDO_ZIP_MAKER: CMakeLists.txt)
#
# Each run gets its own mount namespace and a throw-away recovery root: /sbin holds busybox (or
# mksh) unpacked from Debian packages, /dev a tmpfs with nodes for loop devices that stand in for
# the system and data partitions (ext4 images), /etc/fstab as TWRP writes it. The installer is run
# as a recovery runs it, `update_binary 3 <fd> <zip>`; every line it sends down the pipe must be
# one the recovery understands. Exit 77 means the machine can't run the case.
set -euo pipefail

readonly SKIP=77
case_name=$1
here=$(cd "$(dirname "$0")" && pwd)

skip() {
  echo "SKIP: $*"
  exit $SKIP
}

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# ---------------------------------------------------------------------------------------------
# Outside the namespace: check the machine, make the work folder, detach every loop device.

if [ "${2-}" != --inner ]; then
  [ "$(id -u)" -eq 0 ] || skip "needs root for mount namespaces, loop devices and chroot"
  for tool in unshare chroot losetup mke2fs e2fsck mount umount mknod 7z zip unzip python3 \
              timeout md5sum stat; do
    command -v "$tool" >/dev/null || skip "needs $tool (scripts/deps/recovery.txt)"
  done
  [ -n "${UNDO_TEMPLATE-}" ] && [ -f "$UNDO_TEMPLATE" ] || fail "UNDO_TEMPLATE is not a file"
  if [ ! -f "${USERLAND-}/stamp" ]; then
    skip "no recovery userland: $(cat "${USERLAND-}/unavailable" 2>/dev/null || echo "not fetched")"
  fi
  unshare -m --propagation private true 2>/dev/null || skip "unshare -m does not work here"

  work=$(mktemp -d "${TMPDIR:-/tmp}/slimkit-recovery.XXXXXX")
  cleanup_outer() {
    local dev
    if [ -f "$work/loops" ]; then
      while read -r dev; do losetup -d "$dev" 2>/dev/null || true; done <"$work/loops"
    fi
    rm -rf "$work"
  }
  trap cleanup_outer EXIT
  trap 'exit 143' INT TERM HUP
  truncate -s 1M "$work/probe.img"
  probe=$(losetup -f --show "$work/probe.img" 2>&1) || skip "can't attach a loop device: $probe"
  losetup -d "$probe"
  rm -f "$work/probe.img"

  status=0
  unshare -m --propagation private -- bash "$0" "$case_name" --inner "$work" || status=$?
  exit $status
fi

# ---------------------------------------------------------------------------------------------
# Inside the namespace: everything mounted here vanishes with it.

work=$3
root=$work/root
files=$work/files
messages=$work/messages
declare -A loop_of     # image name -> loop device
declare -A node_of     # image name -> block device path inside the recovery root
next_partition=20

cleanup_inner() {
  local mp
  for mp in $(cut -d' ' -f2 /proc/self/mounts | grep "^$work/" | sort -r); do
    umount "$mp" 2>/dev/null || umount -l "$mp" 2>/dev/null || true
  done
}
trap cleanup_inner EXIT
trap 'exit 143' INT TERM HUP

# A recovery root with the shell and tools of one userland:
#   busybox        busybox ash as /sbin/sh, every applet linked in /sbin (TWRP-like)
#   mksh           mksh as /sbin/sh, busybox in /sbin but no unzip applet: busybox unzip is used
#   mksh-nounzip   mksh as /sbin/sh, applets linked from outside PATH, no unzip at all
# The mksh userlands have no awk and no tr either: the installer must not need them.
#   infozip        busybox ash, with Info-ZIP unzip (Debian's, with its libraries) as unzip
make_root() {
  local userland=$1 busybox=$USERLAND/busybox-static/bin/busybox mksh at=/sbin/busybox
  mkdir -p "$root"/{sbin,etc,tmp,proc,dev,sdcard,system,data}
  mount -t proc proc "$root/proc"
  if [ "$userland" != busybox ]; then
    mksh=$(compgen -G "$USERLAND/mksh/usr/lib/*-linux-musl/bin/mksh" ||
           compgen -G "$USERLAND/mksh/usr/lib/klibc/bin/mksh") || fail "no static mksh"
    cp "${mksh%%$'\n'*}" "$root/sbin/mksh"
    ln -s mksh "$root/sbin/sh"
    [ "$userland" = mksh-nounzip ] && at=/lib/toolbox/busybox
  fi
  mkdir -p "$root${at%/*}"
  cp "$busybox" "$root$at"
  chroot "$root" "$at" --install -s /sbin
  case $userland in
    mksh) rm -f "$root/sbin"/{ash,unzip,awk,tr} ;;
    mksh-nounzip) rm -f "$root/sbin"/{ash,unzip,awk,tr,busybox} ;;
    infozip)
      local unzip lib
      unzip=$(command -v unzip)
      cp -L --parents "$unzip" "$root"
      for lib in $(ldd "$unzip" | grep -o '/[^ ]*'); do cp -L --parents "$lib" "$root"; done
      ln -sf "$unzip" "$root/sbin/unzip"
      ;;
  esac
  ln -s /proc/mounts "$root/etc/mtab"
  : >"$root/etc/fstab"
  mount -t tmpfs -o mode=0755 dev "$root/dev"
  mknod -m 666 "$root/dev/null" c 1 3
  mknod -m 666 "$root/dev/zero" c 1 5
  mknod -m 666 "$root/dev/urandom" c 1 9
  mkdir -p "$root/dev/block"
}

# An ext4 image named $1 of $2 MiB holding the tree $3 (empty when not given).
make_image() {
  local name=$1 size=$2 tree=${3-}
  if [ -z "$tree" ]; then tree=$work/empty-tree; mkdir -p "$tree"; fi
  truncate -s "${size}M" "$work/$name.img"
  mke2fs -q -F -t ext4 -d "$tree" "$work/$name.img"
}

# Attaches image $1 and gives it a partition node in the recovery's /dev/block.
attach() {
  local name=$1 dev major minor
  dev=$(losetup -f --show "$work/$name.img")
  echo "$dev" >>"$work/loops"
  loop_of[$name]=$dev
  major=$((16#$(stat -c %t "$dev")))
  minor=$((16#$(stat -c %T "$dev")))
  node_of[$name]=/dev/block/mmcblk0p$next_partition
  next_partition=$((next_partition + 1))
  mknod -m 600 "$root${node_of[$name]}" b "$major" "$minor"
}

# /dev/block/bootdevice/by-name/<partition> -> the node of image $2
name_partition() {
  mkdir -p "$root/dev/block/bootdevice/by-name"
  ln -s "${node_of[$2]}" "$root/dev/block/bootdevice/by-name/$1"
}

# TWRP writes one line per partition it knows.
fstab_entry() {
  echo "${node_of[$2]} $1 ext4 rw 0 0" >>"$root/etc/fstab"
}

# A system tree as a ROM installs it, at $1.
system_tree() {
  local tree=$1
  mkdir -p "$tree"/{app,bin,etc,framework}
  echo "ro.build.display.id=slimmed-test" >"$tree/build.prop"
  echo "old content" >"$tree/app/Keep.apk"
  echo "#!/system/bin/sh" >"$tree/bin/existing"
  chmod 0755 "$tree/bin/existing"
  chown 0:2000 "$tree/bin" "$tree/bin/existing"
  chmod 0644 "$tree/build.prop" "$tree/app/Keep.apk"
}

random_file() {
  mkdir -p "$(dirname "$1")"
  head -c "$2" /dev/urandom >"$1"
}

# The files a customize run removes, at their in-ROM paths: blanks, brackets (with a file that
# an unescaped pattern would match instead), a file without a dot, an empty one, new folders.
removed_system_files() {
  random_file "$files/system/app/Email.apk" 30000
  random_file "$files/system/app/Name With Blanks.apk" 1200
  random_file "$files/system/app/Brackets[1].apk" 700
  random_file "$files/system/app/Brackets1.apk" 900
  random_file "$files/system/app/Keep.apk" 4000
  random_file "$files/system/app/Browser/Browser.apk" 50000
  random_file "$files/system/bin/tool" 3000
  random_file "$files/system/xbin/helper" 2000
  random_file "$files/system/etc/hosts" 64
  mkdir -p "$files/system/etc"
  : >"$files/system/etc/empty.conf"
}

removed_data_files() {
  random_file "$files/data/app/com.example.notes-1.apk" 40000
  random_file "$files/data/app/Some App [beta].apk" 1500
}

# The undo zip as the program writes it: a copy of the template, then the archiver adds the
# extraction folder's content from inside it.
undo_zip_7z() {
  cp "$UNDO_TEMPLATE" "$root/sdcard/undo.zip"
  (cd "$files" && 7z a -bd -y -r "$root/sdcard/undo.zip" '*' >"$work/7z.log") ||
    fail "7z could not add to the undo zip: $(cat "$work/7z.log")"
}

undo_zip_zip() {
  cp "$UNDO_TEMPLATE" "$root/sdcard/undo.zip"
  (cd "$files" && zip -q -r "$root/sdcard/undo.zip" ./*) || fail "zip could not add to the undo zip"
}

# Runs the installer as the recovery does and reads its pipe (descriptor 27: above 9 on purpose).
# $1: the zip's path in the recovery, /sdcard/undo.zip when not given.
flash() {
  local zip=${1:-/sdcard/undo.zip}
  unzip -p "$root$zip" META-INF/com/google/android/update-binary >"$root/tmp/update_binary"
  chmod 0755 "$root/tmp/update_binary"
  local chroot_program
  chroot_program=$(command -v chroot)
  set +e
  timeout 60 env -i PATH=/sbin "$chroot_program" "$root" /tmp/update_binary 3 27 "$zip" \
    27>&1 >"$work/stdout" 2>"$work/stderr" | cat >"$work/pipe"
  exit_status=${PIPESTATUS[0]}
  set -e
  echo "--- installer exit status $exit_status; its pipe:"
  cat -A "$work/pipe"
  if [ -s "$work/stderr" ]; then
    echo "--- its error stream:"
    cat "$work/stderr"
  fi
  check_pipe
}

# Only what a recovery understands: ui_print with printable text, progress, set_progress.
check_pipe() {
  local line text
  : >"$messages"
  [ -s "$work/pipe" ] || fail "the installer sent nothing to the recovery"
  [ "$(tail -c 1 "$work/pipe" | od -An -c | tr -d ' ')" = '\n' ] || fail "last line is not ended"
  while IFS= read -r line; do
    if [ "$line" = ui_print ]; then
      continue
    elif [[ $line == "ui_print "* ]]; then
      text=${line#ui_print }
      [[ $text =~ [[:cntrl:]] ]] && fail "control character in: $(printf %q "$line")"
      echo "$text" >>"$messages"
    elif [[ $line =~ ^set_progress\ (0\.[0-9]+|1\.0+)$ ]]; then
      continue
    elif [[ $line =~ ^progress\ (0\.[0-9]+|1\.0+)\ [0-9]+$ ]]; then
      continue
    else
      fail "a line the recovery would not understand: $(printf %q "$line")"
    fi
  done <"$work/pipe"
}

expect_status() {
  [ "$exit_status" -eq "$1" ] || fail "installer exit status $exit_status, expected $1"
}

expect_message() {
  grep -Fxq -- "$1" "$messages" || fail "no message: $1"
}

# Nothing the installer mounted may stay mounted; $@ are mounts the case made itself.
expect_nothing_mounted() {
  local mp allowed
  for mp in $(cut -d' ' -f2 /proc/self/mounts | grep "^$root/" || true); do
    for allowed in "$root/proc" "$root/proc/cmdline" "$root/dev" "$@"; do
      [ "$mp" = "$allowed" ] && continue 2
    done
    fail "left mounted: ${mp#"$root"}"
  done
}

# Checks the image's file system and mounts it read-only at $work/inspect/<name>.
inspect() {
  local name=$1 out
  out=$(e2fsck -fn "${loop_of[$name]}" 2>&1) || fail "$name is not clean after the run: $out"
  mkdir -p "$work/inspect/$name"
  mount -o ro "${loop_of[$name]}" "$work/inspect/$name"
}

# expect_file <path in image> <mode> <uid:gid> <file it must equal>
expect_file() {
  local path=$1 mode=$2 owner=$3 source=$4 got
  [ -f "$path" ] || fail "not restored: ${path#"$work/inspect/"}"
  cmp -s "$path" "$source" || fail "wrong content: ${path#"$work/inspect/"}"
  got=$(stat -c '%a %u:%g' "$path")
  [ "$got" = "${mode#0} $owner" ] || fail "${path#"$work/inspect/"} is $got, expected $mode $owner"
}

expect_folder() {
  local path=$1 mode=$2 owner=$3 got
  [ -d "$path" ] || fail "no folder ${path#"$work/inspect/"}"
  got=$(stat -c '%a %u:%g' "$path")
  [ "$got" = "${mode#0} $owner" ] || fail "${path#"$work/inspect/"} is $got, expected $mode $owner"
}

# Every removed file under system/ is back in the tree $1 with the owner and mode of its folder,
# the tree's own files are as they were, and nothing half-written is left.
expect_system_restored() {
  local tree=$1 file rel
  while IFS= read -r -d '' file; do
    rel=${file#"$files/system/"}
    case $rel in
      bin/* | xbin/*) expect_file "$tree/$rel" 0755 0:2000 "$file" ;;
      *) expect_file "$tree/$rel" 0644 0:0 "$file" ;;
    esac
    expect_message "Restored system/$rel"
  done < <(find "$files/system" -type f -print0)
  expect_folder "$tree/app/Browser" 0755 0:0
  expect_folder "$tree/xbin" 0755 0:2000
  expect_folder "$tree/bin" 0755 0:2000
  grep -qx "ro.build.display.id=slimmed-test" "$tree/build.prop" || fail "build.prop changed"
  cmp -s "$tree/bin/existing" <(echo "#!/system/bin/sh") || fail "an unrelated file changed"
  expect_no_leftovers "$tree"
}

expect_data_restored() {
  local tree=$1 file rel
  expect_folder "$tree/app" 0771 1000:1000
  while IFS= read -r -d '' file; do
    rel=${file#"$files/data/"}
    expect_file "$tree/$rel" 0644 1000:1000 "$file"
    expect_message "Restored data/$rel"
  done < <(find "$files/data" -type f -print0)
  expect_no_leftovers "$tree"
}

expect_no_leftovers() {
  local left
  left=$(find "$1" -name '*.slimkit-undo*')
  [ -z "$left" ] || fail "half-written files left: $left"
}

count_files() {
  find "$files" -type f | wc -l
}

image_sums() {
  (cd "$work" && md5sum ./*.img)
}

# ---------------------------------------------------------------------------------------------
# Cases

# busybox ash, an undo zip written by 7z as the program writes it, system only, /system in the
# fstab and not mounted.
case_busybox_7z_system() {
  make_root busybox
  system_tree "$work/system-tree"
  make_image system 32 "$work/system-tree"
  attach system
  fstab_entry /system system
  removed_system_files
  undo_zip_7z
  flash
  expect_status 0
  expect_message "Restored $(count_files) file(s)."
  grep -q '^set_progress 1.000$' "$work/pipe" || fail "progress never reached 1.000"
  expect_nothing_mounted
  inspect system
  expect_system_restored "$work/inspect/system"
}

# mksh with busybox unzip, an undo zip written by zip, system and data with /data freshly wiped;
# SELinux present, so every restored file and created folder gets its label (chcon records them).
case_mksh_zip_system_data() {
  make_root mksh
  mkdir -p "$root/sys/fs/selinux"
  echo 1 >"$root/sys/fs/selinux/enforce"
  rm -f "$root/sbin/chcon"
  cat >"$root/sbin/chcon" <<'EOF'
#!/sbin/sh
printf '%s %s %s\n' "$(stat -c '%d:%i' "$2")" "$1" "$2" >>/tmp/labels
EOF
  chmod 0755 "$root/sbin/chcon"
  system_tree "$work/system-tree"
  make_image system 32 "$work/system-tree"
  make_image data 32
  attach system
  attach data
  fstab_entry /system system
  fstab_entry /data data
  removed_system_files
  removed_data_files
  undo_zip_zip
  flash
  expect_status 0
  expect_message "Restored $(count_files) file(s)."
  expect_nothing_mounted
  inspect system
  inspect data
  expect_system_restored "$work/inspect/system"
  expect_data_restored "$work/inspect/data"

  local path want got
  while IFS= read -r -d '' path; do
    case $path in
      "$files"/data/*) path=$work/inspect/data/${path#"$files/data/"}; want=apk_data_file ;;
      "$files"/system/*) path=$work/inspect/system/${path#"$files/system/"}; want=system_file ;;
      *) want=system_file ;;
    esac
    got=$(grep "^$(stat -c '%d:%i' "$path") " "$root/tmp/labels" | cut -d' ' -f2 | tail -n 1)
    [ "$got" = "u:object_r:$want:s0" ] || fail "${path#"$work/inspect/"} labelled '$got' ($want)"
  done < <(find "$files" -type f -print0
           printf '%s\0' "$work/inspect/system/app/Browser" "$work/inspect/system/xbin" \
                         "$files/data/app")
}

# No fstab entry for /system: the installer finds the partition by name, with the slot suffix
# the boot loader passed; the other slot's system (also a valid system tree) stays untouched.
case_by_name_slot() {
  make_root busybox
  system_tree "$work/system-tree"
  make_image system_a 32 "$work/system-tree"
  make_image system_b 32 "$work/system-tree"
  attach system_a
  attach system_b
  name_partition system_a system_a
  name_partition system_b system_b
  echo "console=ttyMSM0 androidboot.hardware=qcom androidboot.slot_suffix=_b quiet" \
    >"$work/cmdline"
  mount --bind "$work/cmdline" "$root/proc/cmdline"
  removed_system_files
  local before
  before=$(md5sum <"$work/system_a.img")
  undo_zip_7z
  flash
  expect_status 0
  expect_message "Restored $(count_files) file(s)."
  expect_nothing_mounted
  [ "$(md5sum <"$work/system_a.img")" = "$before" ] || fail "the inactive slot was written"
  inspect system_b
  expect_system_restored "$work/inspect/system_b"
}

# The undo zip as the program makes it: createUndoZip extracts the ticked paths from a ROM zip
# and adds them to a fresh copy of the template. A ROM file that stays must not reach it.
undo_zip_from_program() {
  local rom=$work/rom program=$work/program path paths=()
  [ -x "${UNDO_ZIP_MAKER-}" ] || fail "UNDO_ZIP_MAKER is not a program"
  mkdir -p "$rom/META-INF/com/google/android" "$rom/system/app" "$program/app/undo/files"
  echo "# the ROM's own installer script" >"$rom/META-INF/com/google/android/updater-script"
  cp -a "$files"/. "$rom"/
  random_file "$rom/system/app/Stays.apk" 3000
  (cd "$rom" && zip -q -r "$work/rom.zip" .) || fail "zip could not write the ROM zip"
  cp "$UNDO_TEMPLATE" "$program/app/undo/undo.zip"
  while IFS= read -r -d '' path; do paths+=("${path#"$files/"}"); done \
    < <(find "$files" -type f -print0)
  "$UNDO_ZIP_MAKER" "$program" "$work/rom.zip" "${paths[@]}" || fail "createUndoZip failed"
  [ -z "$(ls -A "$program/app/undo/files")" ] || fail "createUndoZip left files to extract"
  cp "$work/rom.zip_undo.zip" "$root/sdcard/undo.zip"
}

# System-as-root: TWRP mounts the partition at /system_root and build.prop is at system/; with
# data files too, on a freshly wiped /data; the undo zip made by the program itself.
case_system_as_root() {
  make_root busybox
  mkdir -p "$root/system_root" "$work/root-tree"
  mkdir -p "$work/root-tree"/{dev,proc,sys}
  echo "init" >"$work/root-tree/init"
  system_tree "$work/root-tree/system"
  make_image system 32 "$work/root-tree"
  make_image data 32
  attach system
  attach data
  fstab_entry /system_root system
  fstab_entry /data data
  removed_system_files
  removed_data_files
  undo_zip_from_program
  flash
  expect_status 0
  expect_message "System tree: /system_root/system"
  expect_message "Restored $(count_files) file(s)."
  expect_nothing_mounted
  inspect system
  inspect data
  expect_system_restored "$work/inspect/system/system"
  expect_data_restored "$work/inspect/data"
  [ ! -e "$work/inspect/system/app" ] || fail "files written beside the system tree"
  [ ! -e "$work/inspect/system/system/app/Stays.apk" ] || fail "a file that stays was restored"
}

# /system already mounted read-only and /data read-write by the recovery, as TWRP leaves them:
# files restored to both, /system read-only again afterwards and both still mounted.
case_readonly_mounted() {
  make_root mksh
  system_tree "$work/system-tree"
  make_image system 32 "$work/system-tree"
  make_image data 32
  attach system
  attach data
  fstab_entry /system system
  fstab_entry /data data
  mount -o ro "${loop_of[system]}" "$root/system"
  mount -o rw "${loop_of[data]}" "$root/data"
  removed_system_files
  removed_data_files
  undo_zip_7z
  flash
  expect_status 0
  expect_nothing_mounted "$root/system" "$root/data"
  local options
  options=$(grep " $root/system " /proc/self/mounts | cut -d' ' -f4) ||
    fail "/system is no longer mounted"
  [[ ,$options, == *,ro,* ]] || fail "/system left mounted $options"
  options=$(grep " $root/data " /proc/self/mounts | cut -d' ' -f4) ||
    fail "/data is no longer mounted"
  [[ ,$options, == *,rw,* ]] || fail "/data left mounted $options"
  umount "$root/system" "$root/data"
  inspect system
  inspect data
  expect_system_restored "$work/inspect/system"
  expect_data_restored "$work/inspect/data"
}

# An undo zip of a run that removed nothing: the template alone. Nothing is mounted.
case_nothing_to_restore() {
  make_root busybox
  system_tree "$work/system-tree"
  make_image system 16 "$work/system-tree"
  attach system
  fstab_entry /system system
  mkdir -p "$files"
  undo_zip_7z
  local before
  before=$(image_sums)
  flash
  expect_status 0
  expect_message "This undo zip holds no files to restore."
  expect_nothing_mounted
  [ "$(image_sums)" = "$before" ] || fail "an image changed"
}

# /system can't be mounted (no file system on it): exit 1 before anything is written, /data
# never touched.
case_unmountable() {
  make_root busybox
  truncate -s 16M "$work/system.img"
  make_image data 16
  attach system
  attach data
  fstab_entry /system system
  fstab_entry /data data
  name_partition system system
  removed_system_files
  removed_data_files
  undo_zip_7z
  local before
  before=$(image_sums)
  flash
  expect_status 1
  expect_message "No file was changed."
  expect_nothing_mounted
  [ "$(image_sums)" = "$before" ] || fail "an image changed"
}

# Too little room on /system for the files: exit 1 before the first write.
case_no_space() {
  make_root busybox
  system_tree "$work/system-tree"
  random_file "$work/system-tree/framework/framework.jar" $((5 * 1024 * 1024))
  make_image system 8 "$work/system-tree"
  attach system
  fstab_entry /system system
  random_file "$files/system/app/Big.apk" $((3 * 1024 * 1024))
  random_file "$files/system/app/Small.apk" 1000
  undo_zip_7z
  flash
  expect_status 1
  grep -q "^Not enough space on /system: " "$messages" || fail "no message about the space"
  expect_message "No file was changed."
  expect_nothing_mounted
  inspect system
  [ ! -e "$work/inspect/system/app/Big.apk" ] && [ ! -e "$work/inspect/system/app/Small.apk" ] ||
    fail "files written although the space was too little"
  expect_no_leftovers "$work/inspect/system"
}

# The zip at $root/sdcard/undo.zip gains entries named $2... holding the file $1.
add_raw_entries() {
  python3 -W ignore - "$root/sdcard/undo.zip" "$@" <<'EOF_PY'
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], "a", zipfile.ZIP_DEFLATED) as z:
    data = open(sys.argv[2], "rb").read()
    for name in sys.argv[3:]:
        z.writestr(zipfile.ZipInfo(name), data)
EOF_PY
}

# busybox unzip lists and writes 'system/../sbin/x' as 'sbin/x' and '/system/x' as 'system/x';
# it says so, and the installer then trusts no name of the zip and writes nothing.
case_unsafe_names_busybox() {
  make_root busybox
  system_tree "$work/system-tree"
  make_image system 32 "$work/system-tree"
  attach system
  fstab_entry /system system
  removed_system_files
  undo_zip_7z
  echo "must never be written" >"$work/payload"
  add_raw_entries "$work/payload" system/../sbin/x /system/app/Abs.apk
  local before
  before=$(image_sums)
  flash
  expect_status 1
  expect_message "Refused: this zip holds names with '..' or a leading '/'."
  expect_message "No file was changed."
  expect_nothing_mounted
  [ ! -e "$root/sbin/x" ] || fail "wrote /sbin/x"
  [ "$(image_sums)" = "$before" ] || fail "an image changed"
}

# Info-ZIP unzip lists names as they are: each unsafe entry is refused on its own (a '..' or
# '.' component, an absolute name, a place outside system/ and data/, a folder in the way, a
# name with a CR, a name held twice), every other file is restored, and the count says how many
# were not.
case_unsafe_names_infozip() {
  make_root infozip
  system_tree "$work/system-tree"
  mkdir -p "$work/system-tree/app/Folder"
  make_image system 32 "$work/system-tree"
  attach system
  fstab_entry /system system
  removed_system_files
  undo_zip_7z
  echo "must never be written" >"$work/payload"
  add_raw_entries "$work/payload" system/../sbin/x system/./app/Dot.apk /system/app/Abs.apk \
    vendor/app/V.apk system/app/Folder system/app/../../../tmp/escape \
    "system/app/Cr"$'\r'"Name.apk" \
    system/app/Twice.apk system/app/Twice.apk
  flash
  expect_status 1
  expect_message "Refused: system/../sbin/x (unsafe path)"
  expect_message "Refused: system/./app/Dot.apk (unsafe path)"
  expect_message "Refused: /system/app/Abs.apk (unsafe path)"
  expect_message "Refused: system/app/../../../tmp/escape (unsafe path)"
  expect_message "Refused: vendor/app/V.apk (not under system/ or data/)"
  expect_message "Failed: system/app/Folder (a folder is in the way)"
  grep -q "^Failed: system/app/Cr.*Name.apk (" "$messages" || fail "the CR name was not reported"
  grep -q "^Failed: system/app/Twice.apk (wrote [0-9]* bytes of [0-9]*)$" "$messages" ||
    fail "the name held twice was not reported"
  expect_message "9 of $(($(count_files) + 9)) file(s) could not be restored."
  [ ! -e "$root/sbin/x" ] && [ ! -e "$root/tmp/escape" ] || fail "wrote outside the system tree"
  expect_nothing_mounted
  inspect system
  expect_system_restored "$work/inspect/system"
  [ -d "$work/inspect/system/app/Folder" ] || fail "the folder in the way was replaced"
  [ ! -e "$work/inspect/system/app/Twice.apk" ] || fail "a name held twice was written"
  local written
  written=$(grep -rl "must never be written" "$work/inspect/system" "$root"/{sbin,tmp,system,data} \
             2>/dev/null || true)
  [ -z "$written" ] || fail "refused entries written: $written"
}

# No unzip and no busybox on PATH: a clear message, nothing mounted or written. The zip's name
# holds a CR and a LF with a recovery command after them: the message shows it on one line.
case_no_unzip() {
  make_root mksh-nounzip
  system_tree "$work/system-tree"
  make_image system 16 "$work/system-tree"
  attach system
  fstab_entry /system system
  removed_system_files
  undo_zip_7z
  local before zip=/sdcard/undo$'\r\n'"progress 0.5 1.zip"
  mv "$root/sdcard/undo.zip" "$root$zip"
  before=$(image_sums)
  flash "$zip"
  expect_status 1
  expect_message \
    "Neither unzip nor busybox unzip can read /sdcard/undoprogress 0.5 1.zip in this recovery."
  expect_message "No file was changed."
  expect_nothing_mounted
  [ "$(image_sums)" = "$before" ] || fail "an image changed"
}

# What the installer can't give back is never put in an undo zip: a symbolic link (it would come
# back as a file holding the link's text) and an encrypted entry (7z would wait for a password).
# The program refuses the run before it writes anything, and says why for each.
case_unrestorable_entries() {
  local rom=$work/rom program=$work/program
  [ -x "${UNDO_ZIP_MAKER-}" ] || fail "UNDO_ZIP_MAKER is not a program"
  mkdir -p "$rom/system/bin" "$program/app/undo/files"
  random_file "$rom/system/bin/toolbox" 3000
  ln -s toolbox "$rom/system/bin/ls"
  (cd "$rom" && zip -q -y -r "$work/rom.zip" .) || fail "zip could not write the ROM zip"
  random_file "$work/Secret.apk" 2000
  (cd "$work" && zip -q -P secret "$work/rom.zip" Secret.apk) || fail "zip could not encrypt"
  cp "$UNDO_TEMPLATE" "$program/app/undo/undo.zip"
  local status=0
  "$UNDO_ZIP_MAKER" "$program" "$work/rom.zip" system/bin/ls Secret.apk system/bin/toolbox \
    </dev/null 2>"$work/maker.err" || status=$?
  [ "$status" = 1 ] || fail "the maker ended with $status: $(cat "$work/maker.err")"
  grep -q "system/bin/ls: it is a symbolic link, which the undo zip can't restore" \
    "$work/maker.err" || fail "the link was not refused: $(cat "$work/maker.err")"
  grep -q "Secret.apk: it is encrypted" "$work/maker.err" ||
    fail "the encrypted entry was not refused: $(cat "$work/maker.err")"
  [ ! -e "$work/rom.zip_undo.zip" ] || fail "an undo zip was written"
  [ -z "$(ls -A "$program/app/undo/files")" ] || fail "files were extracted"
}

# A block-based ROM zip: the program removes the files inside its system image and writes the
# slimmed image's blocks; written onto the partition as block_image_update writes them (new, zero,
# erase, which leaves the blocks' old content), the file system is clean and lacks exactly them;
# then the undo zip brings them back.
case_block_image() {
  make_root busybox
  system_tree "$work/system-tree"
  removed_system_files
  cp -r "$files/system/." "$work/system-tree/"
  mke2fs -q -F -t ext4 -b 4096 -d "$work/system-tree" "$work/rom-system.img" 32M
  local rom=$work/rom program=$work/program path paths=(system/app/Browser system/xbin)
  mkdir -p "$rom/META-INF/com/google/android" "$program/app/undo/files"
  echo 'block_image_update("/dev/block/bootdevice/by-name/system", package_extract_file("system.transfer.list"), "system.new.dat", "system.patch.dat");' \
    >"$rom/META-INF/com/google/android/updater-script"
  python3 - "$work/rom-system.img" "$rom" <<'EOF'
import sys
image = open(sys.argv[1], "rb").read()
count = len(image) // 4096
open(sys.argv[2] + "/system.new.dat", "wb").write(image)
open(sys.argv[2] + "/system.transfer.list", "w").write(
    "4\n%d\n0\n0\nerase 2,0,%d\nnew 2,0,%d\n" % (count, count, count))
EOF
  (cd "$rom" && zip -q -r "$work/rom.zip" .) || fail "zip could not write the ROM zip"
  cp "$UNDO_TEMPLATE" "$program/app/undo/undo.zip"
  while IFS= read -r -d '' path; do
    case $path in "$files"/system/app/Browser/* | "$files"/system/xbin/*) continue ;; esac
    paths+=("${path#"$files/"}")
  done < <(find "$files" -type f -print0)
  "$UNDO_ZIP_MAKER" --run "$program" "$work/rom.zip" "${paths[@]}" || fail "the run failed"

  # The partition as the recovery leaves it: what the list erases keeps its old content.
  head -c "$(stat -c %s "$work/rom-system.img")" /dev/urandom >"$work/system.img"
  unzip -p "$work/rom.zip" system.transfer.list >"$work/system.transfer.list"
  unzip -p "$work/rom.zip" system.new.dat >"$work/system.new.dat"
  python3 - "$work/system.transfer.list" "$work/system.new.dat" "$work/system.img" <<'EOF'
import sys
lines = open(sys.argv[1]).read().split("\n")
assert lines[0] == "4", lines[0]
data = open(sys.argv[2], "rb").read()
image = open(sys.argv[3], "r+b")
used = 0
for line in filter(None, lines[4:]):
    command, ranges = line.split(" ")
    numbers = [int(n) for n in ranges.split(",")]
    assert numbers[0] == len(numbers) - 1
    for first, end in zip(numbers[1::2], numbers[2::2]):
        image.seek(first * 4096)
        if command == "new":
            image.write(data[used:used + (end - first) * 4096])
            used += (end - first) * 4096
        elif command == "zero":
            image.write(bytes((end - first) * 4096))
        else:
            assert command == "erase", line
assert used == len(data), (used, len(data))
EOF
  [ "$(stat -c %s "$work/system.new.dat")" -lt "$(stat -c %s "$work/rom-system.img")" ] ||
    fail "the new data is not smaller than the whole image"
  e2fsck -fn "$work/system.img" >"$work/fsck.log" 2>&1 || fail "not clean: $(cat "$work/fsck.log")"
  for path in "${paths[@]}" system/app/Browser system/xbin; do
    debugfs -R "stat \"/${path#system/}\"" "$work/system.img" 2>&1 | grep -q "File not found" ||
      fail "still in the image: $path"
  done
  debugfs -R "cat /bin/existing" "$work/system.img" 2>/dev/null | cmp -s - <(echo "#!/system/bin/sh") ||
    fail "a file that stays changed"

  attach system
  fstab_entry /system system
  cp "$work/rom.zip_undo.zip" "$root/sdcard/undo.zip"
  flash
  expect_status 0
  expect_message "Restored $(count_files) file(s)."
  expect_nothing_mounted
  inspect system
  expect_system_restored "$work/inspect/system"
}

declare -F "case_$case_name" >/dev/null || fail "no case $case_name"
"case_$case_name"
echo "PASS: $case_name"
