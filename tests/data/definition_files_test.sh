#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks the shipped definition files as data: plain ASCII with LF line ends, lower-case file
# names, the groups and keys the program reads, paths that a CWM ROM zip can hold (relative,
# with '/', each package with its .odex beside it), a widget group exactly for widget entries,
# names that stay apart when lower-cased, since removal lists find entries by that name, and
# package names given once each.
#
#   definition_files_test.sh DEFINITION_FOLDER
set -eu
definitions=$1

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

count=0
for file in "$definitions"/*.ini; do
  [ -f "$file" ] || continue
  count=$((count + 1))
  name=${file##*/}
  case $name in
    *[!a-z0-9_.-]*) fail "$name: file name is not lower-case ASCII" ;;
  esac
done
[ $count -gt 0 ] || { fail "no definition files in $definitions"; exit 1; }

for name in $(LC_ALL=C grep -l '[^ -~]' "$definitions"/*.ini | sed 's|.*/||'); do
  fail "$name: holds a byte that is not printable ASCII (CR, tab, byte-order mark, ...)"
done
# The last byte of every file, one character per file: anything but line feeds is a file whose
# last line has no line end.
if [ -n "$(tail -q -c 1 "$definitions"/*.ini | tr -d '\n')" ]; then
  for file in "$definitions"/*.ini; do
    [ -z "$(tail -c 1 "$file" | tr -d '\n')" ] || fail "${file##*/}: does not end with a line feed"
  done
fi

LC_ALL=C awk '
  function problem(text) { print "FAIL: " shortname ": " text; bad++ }
  function finish(   i, stem, path) {
    if (shortname == "") return
    if (!seen_main) problem("has no [main] group")
    if (appname == "") problem("has no appname")
    if (description == "") problem("has no description")
    if (enabled != "0" && enabled != "1") problem("enabled is not 0 or 1")
    if (widget != "0" && widget != "1") problem("widget is not 0 or 1")
    if (nfiles == 0) problem("[files] names no path")
    if (widget == "1" && nwidget == 0) problem("widget = 1 but [widget_files] names no path")
    if (widget != "1" && seen_widget) problem("has [widget_files] but widget is not 1")
    for (path in listed) {
      stem = path
      if (sub(/\.apk$/, "", stem) && !((stem ".odex") in listed)) problem(path " has no .odex beside it")
      stem = path
      if (sub(/\.odex$/, "", stem) && !((stem ".apk") in listed)) problem(path " has no .apk beside it")
    }
    lower = tolower(appname)
    if (lower != "" && (lower in owner)) problem("appname \"" appname "\" is also the name in " owner[lower])
    if (lower != "") owner[lower] = shortname
  }
  FNR == 1 {
    finish()
    shortname = FILENAME; sub(/.*\//, "", shortname)
    group = ""; seen_main = seen_widget = 0; appname = description = enabled = widget = ""
    nfiles = nwidget = 0; split("", listed)
    if ($0 != "[main]") problem("does not begin with [main]")
  }
  /^\[/ {
    group = substr($0, 2, length($0) - 2)
    if ($0 !~ /^\[[a-z_]+\]$/) problem("malformed group header " $0)
    else if (group == "main") seen_main = 1
    else if (group == "widget_files") seen_widget = 1
    else if (group != "files") problem("unknown group [" group "]")
    next
  }
  {
    eq = index($0, " = ")
    if (eq == 0) { problem("line \"" $0 "\" is not \"key = value\""); next }
    key = substr($0, 1, eq - 1); value = substr($0, eq + 3)
    if (group == "") { problem("key " key " before the first group"); next }
    if (group == "main") {
      if (key == "appname") appname = value
      else if (key == "description") description = value
      else if (key == "enabled") enabled = value
      else if (key == "widget") widget = value
      else if (key == "package") {
        if (value !~ /^[a-z][a-z0-9_]*(\.[a-z][a-z0-9_]*)+$/) problem("package \"" value "\" is not a package name")
        if (value in packageOwner) problem("package " value " is also the package in " packageOwner[value])
        packageOwner[value] = shortname
      }
      else problem("unknown key " key " in [main]")
      next
    }
    if (value !~ /^system\/(app|priv-app)\/[A-Za-z0-9_.-]+\.(apk|odex)$/)
      problem("path \"" value "\" is not system/app/ or system/priv-app/ and a .apk or .odex")
    if (group == "files") {
      if (key != nfiles + 1) problem("key " key " in [files] is not " nfiles + 1)
      nfiles++
      if (value in listed) problem("lists " value " twice")
      listed[value] = 1
    } else {
      if (key != nwidget + 1) problem("key " key " in [widget_files] is not " nwidget + 1)
      nwidget++
    }
  }
  END { finish(); exit bad ? 1 : 0 }
' "$definitions"/*.ini || failures=$((failures + 1))

if [ $failures -ne 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "$count definition files, all checks passed"
