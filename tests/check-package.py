#!/usr/bin/env python3
"""`make package` (scripts/package.sh) on a copy of the distribution folder:

- run twice, the second time on a copy made in the reverse order with other
  times and modes, it gives the same archive and manifests byte for byte;
- the archive holds exactly the folder's files with their bytes, each with
  the commit's time; the .sha256 file and the manifest's InstallerSha256 are
  its hash, InstallerUrl is KR_RELEASE_URL;
- a folder with a stray file or without one of its files, and a URL that is
  not https or holds a blank, are refused, and what an earlier run made
  is gone;
- the three manifests parse and hold what winget's community repository
  requires;
- setup.exe, extracted from the archive, takes the switches as winget
  composes them (SilentWithProgress, Log, then InstallLocation last, the
  tokens replaced by paths with blanks) under Wine: exit code 0, the log ends in
  "Exit code 0", the files are in the folder, the Apps list entry is the
  manifest's; its QuietUninstallString then removes the entry.

Usage: check-package.py BUILD_DIR DIST_DIR WORK_DIR
"""
import hashlib
import os
import re
import shutil
import subprocess
import sys
import time
import zipfile

import yaml

here = os.path.dirname(os.path.abspath(__file__))
src = os.path.dirname(here)
build, dist, work = (os.path.abspath(a) for a in sys.argv[1:4])
url = "https://example.invalid/kestrune/releases/"
failures = []


def check(ok, message):
    if not ok:
        failures.append(message)
        print("FAIL: " + message)
    return ok


def package(folder, out, release_url=url):
    env = dict(os.environ, KR_RELEASE_URL=release_url)
    return subprocess.run(["sh", os.path.join(src, "scripts", "package.sh"), folder, out], env=env,
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)


def read(path):
    with open(path, "rb") as f:
        return f.read()


shutil.rmtree(work, ignore_errors=True)
os.makedirs(work)
names = sorted(os.listdir(dist))

# Two runs: the second copy is made in the reverse order, with other times
# and modes.
first = os.path.join(work, "dist")
shutil.copytree(dist, first)
result = package(first, os.path.join(work, "a"))
print(result.stdout, end="")
if not check(result.returncode == 0, "package.sh failed"):
    sys.exit(1)
second = os.path.join(work, "dist-again")
os.makedirs(second)
for i, name in enumerate(reversed(names)):
    path = os.path.join(second, name)
    shutil.copyfile(os.path.join(dist, name), path)
    os.chmod(path, 0o600 if i % 2 else 0o755)
    os.utime(path, (1234567890 + 3601 * i, 1234567890 + 3601 * i))
check(package(second, os.path.join(work, "b")).returncode == 0, "package.sh failed on a copy")
for folder, _, files in os.walk(os.path.join(work, "a")):
    for name in files:
        made = os.path.relpath(os.path.join(folder, name), os.path.join(work, "a"))
        other = os.path.join(work, "b", made)
        check(os.path.exists(other) and read(other) == read(os.path.join(folder, name)),
              "differs between two runs: " + made)

# The archive: the folder's files, sorted, with their bytes and the commit's
# time (DOS times hold even seconds).
# The version the program installs, as the code and the resources have it.
kr_version = re.search(r'#define KR_VERSION "([^"]+)"',
                       read(os.path.join(src, "res", "version.h")).decode()).group(1)
version_folder = os.path.join(work, "a", "winget", "manifests", "t", "Tovak", "Kestrune2",
                              kr_version)
manifests = {}
for name in sorted(os.listdir(version_folder)):
    with open(os.path.join(version_folder, name), encoding="utf-8") as f:
        manifest = yaml.safe_load(f)
    manifests[manifest["ManifestType"]] = manifest
check(sorted(manifests) == ["defaultLocale", "installer", "version"],
      "the manifests are not the version, installer and defaultLocale ones: %s" % sorted(manifests))
version, installer = manifests["version"], manifests["installer"]
locale = manifests["defaultLocale"]
archive_name = "Kestrune2-%s.zip" % version["PackageVersion"]
archive = os.path.join(work, "a", archive_name)
sha256 = hashlib.sha256(read(archive)).hexdigest()
commit = int(subprocess.check_output(["git", "-C", src, "log", "-1", "--format=%ct"], text=True))
stamp = time.gmtime(commit - commit % 2)[:6]
with zipfile.ZipFile(archive) as z:
    entries = z.infolist()
    check([e.filename for e in entries] == names,
          "the archive holds %s, the folder %s" % ([e.filename for e in entries], names))
    for e in entries:
        if e.filename in names:
            check(z.read(e) == read(os.path.join(dist, e.filename)),
                  "other bytes in the archive: " + e.filename)
        check((e.date_time, e.compress_type, e.extra, e.create_system, e.external_attr) ==
              (stamp, zipfile.ZIP_DEFLATED, b"", 0, 0x20),
              "%s: time %s, method %d, extra %r, system %d, attributes %#x" %
              (e.filename, e.date_time, e.compress_type, e.extra, e.create_system, e.external_attr))
check(read(archive + ".sha256").decode() == "%s  %s\n" % (sha256, archive_name),
      "the .sha256 file is not the archive's hash")
print("%s: %d bytes, %d files, SHA-256 %s, entries dated %s UTC" %
      (archive_name, os.path.getsize(archive), len(entries), sha256,
       time.strftime("%Y-%m-%d %H:%M:%S", time.gmtime(commit - commit % 2))))

# Refusals: nothing is written.
stray = os.path.join(work, "dist-stray")
shutil.copytree(dist, stray)
with open(os.path.join(stray, "Kestrune 2 Setup.log"), "w") as f:
    f.write("Exit code 0\n")
lacking = os.path.join(work, "dist-lacking")
shutil.copytree(dist, lacking)
os.remove(os.path.join(lacking, "kr.exe"))
for case, folder, release_url, expected in [
        ("a stray file", stray, url, "unexpected: Kestrune 2 Setup.log"),
        ("a file missing", lacking, url, "missing: kr.exe"),
        ("a plain http URL", first, "http://example.invalid/kestrune.zip", "KR_RELEASE_URL must"),
        ("a blank in the URL", first, "https://example.invalid/k 2.zip", "KR_RELEASE_URL must")]:
    out = os.path.join(work, "refused")
    shutil.copytree(os.path.join(work, "a"), out)
    result = package(folder, out, release_url)
    check(result.returncode != 0 and expected in result.stdout,
          "%s: exit code %d, output %r" % (case, result.returncode, result.stdout))
    check(os.listdir(out) == [], "%s: left %s" % (case, os.listdir(out)))
    shutil.rmtree(out)

# The manifests: the fields the community repository requires, one package,
# the archive's URL and hash, setup.exe as the nested installer.
for manifest in manifests.values():
    same = ("PackageIdentifier", "PackageVersion", "ManifestVersion")
    check([manifest.get(field) for field in same] == [version[field] for field in same],
          "%s manifest: another package or schema" % manifest["ManifestType"])
check(tuple(int(n) for n in version["ManifestVersion"].split(".")) >= (1, 6, 0),
      "schema %s is older than 1.6.0" % version["ManifestVersion"])
check(locale["PackageLocale"] == version["DefaultLocale"], "the locale is not the default one")
for field in ("Publisher", "PackageName", "License", "ShortDescription"):
    check(isinstance(locale.get(field), str) and len(locale[field]) >= 3,
          "defaultLocale lacks " + field)
check(len(installer["Installers"]) == 1, "not one installer")
merged = dict(installer, **installer["Installers"][0])
expected = {
    "InstallerType": "zip", "NestedInstallerType": "exe", "Scope": "machine", "Architecture": "x86",
    "ElevationRequirement": "elevatesSelf", "InstallerUrl": url + archive_name,
    "NestedInstallerFiles": [{"RelativeFilePath": "setup.exe"}],
    "ProductCode": "KR2",
    "AppsAndFeaturesEntries": [{"DisplayName": locale["PackageName"],
                                "Publisher": locale["Publisher"],
                                "DisplayVersion": version["PackageVersion"],
                                "ProductCode": "KR2"}],
}
for field, value in expected.items():
    check(merged.get(field) == value, "%s: %r, not %r" % (field, merged.get(field), value))
check(str(merged.get("InstallerSha256")).lower() == sha256, "InstallerSha256 is not the archive's")
check({"interactive", "silent", "silentWithProgress"} <= set(merged.get("InstallModes", [])),
      "InstallModes lack one")
codes = {c["InstallerReturnCode"]: c["ReturnResponse"]
         for c in merged.get("ExpectedReturnCodes", [])}
expected_codes = {1618: "installInProgress", 1603: "contactSupport", 1639: "invalidParameter",
                  3010: "rebootRequiredToFinish"}
check(expected_codes.items() <= codes.items(), "ExpectedReturnCodes: %s" % codes)
switches = merged.get("InstallerSwitches", {})
check("Log" in switches, "no Log switch: %s" % switches)

# setup.exe with the switches as winget gives them, from the extracted
# archive, under Wine.
drive_c = os.path.join(build, "wine", "prefix", "drive_c")
root = os.path.join(drive_c, "kr-package")
root_win = "C:\\kr-package"
dest_win = root_win + "\\Program Files\\Kestrune 2"
log_win = root_win + "\\my logs\\Kestrune 2 setup.log"


def native(path_win):
    return os.path.join(drive_c, *path_win[3:].split("\\"))


def wine(*args):
    return subprocess.run([os.path.join(here, "wine-run.sh"), build] + list(args),
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, timeout=300)


def run_line(command_line, name):
    """Runs a command line as it is, through a batch file (wine would quote
    the arguments it is given anew), and returns its exit code. The code
    comes through a file: wine's own exit status keeps only its low byte."""
    code_file = os.path.join(root, name + ".code")
    with open(os.path.join(root, name + ".bat"), "w", newline="\r\n") as f:
        f.write('@echo off\n%s\n>"%s\\%s.code" echo %%ERRORLEVEL%%\n' %
                (command_line, root_win, name))
    wine("cmd", "/c", "%s\\%s.bat" % (root_win, name))
    code = int(read(code_file)) if os.path.exists(code_file) else None
    print("%s -> exit code %s" % (command_line, code))
    return code


def uninstall_entry():
    key = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KR2"
    result = wine("reg", "query", key)
    values = {}
    for line in result.stdout.splitlines():
        fields = line.strip("\r\n").split("    ")
        if len(fields) == 4 and fields[0] == "" and fields[2].startswith("REG_"):
            values[fields[1]] = fields[3]
    return values


shutil.rmtree(root, ignore_errors=True)
try:
    with zipfile.ZipFile(archive) as z:
        z.extractall(os.path.join(root, "archive"))
    # Folders that exist: setup.exe makes the install folder itself, not its
    # parent.
    os.makedirs(os.path.dirname(native(log_win)))
    os.makedirs(os.path.dirname(native(dest_win)))
    # winget's order: the silent switch, Log, Custom, the user's --custom,
    # then InstallLocation last.
    line = " ".join(switches[name] for name in
                    ("SilentWithProgress", "Log", "Custom", "InstallLocation") if name in switches)
    line = line.replace("<LOGPATH>", log_win).replace("<INSTALLPATH>", dest_win)
    code = run_line('"%s\\archive\\setup.exe" %s' % (root_win, line), "install")
    check(code == 0, "the silent install ended with %s" % code)
    log = native(log_win)
    last = ["(no log)"]
    if os.path.exists(log):
        last = read(log).decode("utf-8", "replace").splitlines()[-1:]
    check(last == ["Exit code 0"], "the log's last line: %s" % last)
    dest = native(dest_win)
    installed = sorted(os.listdir(dest)) if os.path.isdir(dest) else []
    check({"setup.exe", "kr.exe"} <= set(installed), "installed: %s" % installed)
    for name in installed:
        path = os.path.join(dest, name)
        check(name in names and os.path.isfile(path) and
              read(path) == read(os.path.join(dist, name)),
              "installed, not from the archive: " + name)
    entry = uninstall_entry()
    apps = merged["AppsAndFeaturesEntries"][0]
    for field in ("DisplayName", "Publisher", "DisplayVersion"):
        check(entry.get(field) == apps[field], "the Apps list's %s: %r" % (field, entry.get(field)))
    quiet = entry.get("QuietUninstallString", "")
    if check(quiet, "no QuietUninstallString: %s" % entry):
        check(run_line(quiet, "uninstall") == 0, "the quiet uninstall failed")
        check(uninstall_entry() == {}, "the uninstall entry is still there")
finally:
    shutil.rmtree(root, ignore_errors=True)

# What a failure leaves in WORK_DIR stays there to be looked at.
if not failures:
    shutil.rmtree(work)
print("package: %s" % ("%d checks failed" % len(failures) if failures else "all checks passed"))
sys.exit(1 if failures else 0)
