#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Builds real APKs with aapt for the APK reader's tests, and what `aapt dump badging` reads from
each, into OUT:

  apk/NN.apk        APKs of many kinds: labels as text or as resources in several locales (with
                    and without a default one), chains of references, versionName as text or a
                    resource, UTF-8 and UTF-16 string pools, long and non-ASCII labels
  expected.tsv      per APK: file, package, versionCode, versionName, label as aapt reads them
                    (the label: aapt's default one, or its English one when it has no default)
  rom.zip           a ROM zip holding the APKs in every layout, stored, plus a deflated one,
                    one that isn't a zip and one cut short; rom.tsv says where each one lies
  apk/cycle.apk, apk/system-label.apk   labels that can't be resolved from the APK alone
  apk/literal-only.apk   a label as text, and no resources.arsc
  manifest.bin, resources.arsc   the two files of one APK, for the tests that break them

Usage: make_apk_fixtures.py OUT
"""
import os
import shutil
import subprocess
import sys
import tempfile
import zipfile

FRAMEWORK = "/usr/share/android-framework-res/framework-res.apk"
COUNT = 48


def xml_text(text):
    return text.replace("&", "&amp;").replace("<", "&lt;").replace("'", "\\'")


def write(path, text):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", encoding="utf-8") as file:
        file.write(text)


def strings(path, pairs):
    body = "".join(f'  <string name="{name}">{xml_text(value)}</string>\n'
                   for name, value in pairs)
    write(path, f"<resources>\n{body}</resources>\n")


def build(number, work):
    """Writes the sources of APK `number` into `work`, returns aapt's extra arguments."""
    label_kind = number % 5
    name = f"App {number}"
    if number % 6 == 0:
        name = "Ünïcödé 日本語 " + name
    if number % 7 == 0:
        name = f"A long label {number} " + "x" * 300
    default, extra = [], {}
    if number % 3 == 1:
        default.append(("ver", f"{number}.{number % 4}-res"))
        version = ' android:versionName="@string/ver"'
    elif number % 3 == 0:
        version = f' android:versionName="{number}.0 text"'
    else:
        version = ""
    if label_kind == 0:
        label = f' android:label="{xml_text(name)}"'
        # aapt shows a label only when the APK has a resource table.
        default.append(("unused", "unused"))
    elif label_kind == 1:
        default.append(("app_name", name))
        extra = {"fr": [("app_name", "Fr " + name)], "de": [("app_name", "De " + name)],
                 "en-rGB": [("app_name", "GB " + name)]}
        label = ' android:label="@string/app_name"'
    elif label_kind == 2:
        # No default: the English label is the one shown.
        extra = {"en": [("app_name", "En " + name)], "fr": [("app_name", "Fr " + name)],
                 "ja": [("app_name", "Ja " + name)]}
        label = ' android:label="@string/app_name"'
    elif label_kind == 3:
        # A label that names a string that names another.
        default += [("app_name", "@string/real_name"), ("real_name", "Real " + name)]
        extra = {"es": [("real_name", "Es " + name)]}
        label = ' android:label="@string/app_name"'
    else:
        label = ""
    for index in range(number % 4 * 30):
        default.append((f"filler{index}", f"filler text {index} of app {number}"))
    write(os.path.join(work, "AndroidManifest.xml"),
          '<manifest xmlns:android="http://schemas.android.com/apk/res/android"'
          f' package="org.slimkit.test{number}.app" android:versionCode="{number * 37 + 1}"'
          f'{version}>\n  <application{label}/>\n</manifest>\n')
    os.makedirs(os.path.join(work, "res"), exist_ok=True)
    if default:
        strings(os.path.join(work, "res", "values", "strings.xml"), default)
    for locale, pairs in extra.items():
        strings(os.path.join(work, "res", f"values-{locale}", "strings.xml"), pairs)
    return ["--utf16"] if number % 2 else []


def badging(apk):
    # Without a default label aapt stops with an error after the lines read here.
    text = subprocess.run(["aapt", "dump", "badging", apk], capture_output=True,
                          text=True, encoding="utf-8").stdout
    if not text.startswith("package: "):
        sys.exit(f"aapt can't read {apk}")
    values = {}
    labels = {}
    for line in text.splitlines():
        if line.startswith("package: "):
            for field in ("name", "versionCode", "versionName"):
                marker = f" {field}='"
                start = line.find(marker)
                if start >= 0:
                    start += len(marker)
                    values[field] = line[start:line.index("'", start)]
        elif line.startswith("application-label"):
            key, _, value = line.partition(":")
            labels[key] = value[1:-1]
    label = labels.get("application-label") or labels.get("application-label-en", "")
    return [values.get("name", ""), values.get("versionCode", ""),
            values.get("versionName", ""), label]


def main():
    out = sys.argv[1]
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(os.path.join(out, "apk"))
    rows = []
    with tempfile.TemporaryDirectory() as scratch:
        for number in range(COUNT):
            work = os.path.join(scratch, str(number))
            os.makedirs(work)
            options = build(number, work)
            apk = os.path.join(out, "apk", f"{number:02d}.apk")
            command = ["aapt", "package", "-f", "-M", os.path.join(work, "AndroidManifest.xml"),
                       "-S", os.path.join(work, "res"), "-I", FRAMEWORK, "-F", apk] + options
            subprocess.run(command, check=True, capture_output=True)
            rows.append([f"{number:02d}.apk"] + badging(apk))
        # Labels no reader can resolve alone: two strings naming each other, and one of the
        # system's own strings; and a label as text in an APK without a resource table, which
        # aapt doesn't show.
        for name, label, pairs in [
                ("cycle", "@string/app_name",
                 [("app_name", "@string/loop"), ("loop", "@string/app_name")]),
                ("system-label", "@android:string/ok", [("unused", "unused")]),
                ("literal-only", "Literal Only", [])]:
            work = os.path.join(scratch, name)
            write(os.path.join(work, "AndroidManifest.xml"),
                  '<manifest xmlns:android="http://schemas.android.com/apk/res/android"'
                  f' package="org.slimkit.{name.replace("-", "")}" android:versionCode="5"'
                  f' android:versionName="5.0">\n  <application android:label="{label}"/>\n'
                  '</manifest>\n')
            resources = []
            if pairs:
                strings(os.path.join(work, "res", "values", "strings.xml"), pairs)
                resources = ["-S", os.path.join(work, "res")]
            subprocess.run(["aapt", "package", "-f", "-M",
                            os.path.join(work, "AndroidManifest.xml"), "-I", FRAMEWORK, "-F",
                            os.path.join(out, "apk", f"{name}.apk")] + resources,
                           check=True, capture_output=True)
    with open(os.path.join(out, "expected.tsv"), "w", encoding="utf-8") as file:
        for row in rows:
            file.write("\t".join(row) + "\n")

    first = os.path.join(out, "apk", "01.apk")
    with zipfile.ZipFile(first) as apk:
        with open(os.path.join(out, "manifest.bin"), "wb") as file:
            file.write(apk.read("AndroidManifest.xml"))
        with open(os.path.join(out, "resources.arsc"), "wb") as file:
            file.write(apk.read("resources.arsc"))

    # The ROM: each layout once, stored as ROM zips store APKs; then the faulty ones.
    layouts = ["system/app/{n}.apk", "system/app/{n}/{n}.apk", "system/priv-app/{n}/{n}.apk",
               "system/vendor/app/{n}.apk", "system/product/priv-app/{n}/{n}.apk",
               "vendor/app/{n}/{n}.apk", "data/app/org.slimkit.{n}-1/base.apk",
               "preload/{n}/{n}.apk"]
    placed = []
    with zipfile.ZipFile(os.path.join(out, "rom.zip"), "w") as rom:
        rom.writestr("META-INF/com/google/android/updater-script", "# installs the ROM\n")
        for index, layout in enumerate(layouts):
            apk = f"{index:02d}.apk"
            path = layout.format(n=f"Test{index}")
            rom.write(os.path.join(out, "apk", apk), path, compress_type=zipfile.ZIP_STORED)
            placed.append([path, apk])
        deflated = "system/app/Deflated/Deflated.apk"
        rom.write(os.path.join(out, "apk", "09.apk"), deflated,
                  compress_type=zipfile.ZIP_DEFLATED)
        placed.append([deflated, "09.apk"])
        rom.writestr(zipfile.ZipInfo("system/app/Text.apk"), "not an APK at all\n")
        with open(os.path.join(out, "apk", "10.apk"), "rb") as file:
            whole = file.read()
        rom.writestr(zipfile.ZipInfo("system/app/Cut/Cut.apk"), whole[: len(whole) // 2])
    with open(os.path.join(out, "rom.tsv"), "w", encoding="utf-8") as file:
        for row in placed:
            file.write("\t".join(row) + "\n")


if __name__ == "__main__":
    main()
