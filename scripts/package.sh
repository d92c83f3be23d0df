#!/bin/sh
# `make package`: the release archive of the distribution folder, its
# SHA-256, and the winget manifests filled in for it.
#   OUT_DIR/Kestrune2-<version>.zip         setup.exe and the product's files
#   OUT_DIR/Kestrune2-<version>.zip.sha256  its hash, as sha256sum -c reads it
#   OUT_DIR/winget/manifests/t/Tovak/Kestrune2/<version>/
#                                           packaging/winget/ with the
#                                           archive's URL and SHA-256
# KR_RELEASE_URL is the URL the archive is downloaded from (one ending in
# "/" names its folder); without it the manifest names a placeholder under
# https://release-url-not-set.invalid/, which no host answers.
# Two runs on the same commit give the same bytes: the entries are sorted,
# carry fixed attributes and all the time of the commit (see below).
# Usage: package.sh [DIST_DIR [OUT_DIR]]   (default: build/i686/dist and
# build/i686)
set -eu
src=$(cd "$(dirname "$0")/.." && pwd -P)
dist=${1:-$src/build/i686/dist}
out=${2:-$src/build/i686}

# Every entry's time. The installer takes a macro list in the destination
# with the last-write time and size of the shipped one for the same file and
# leaves it as it is, so a release's files must not carry the times of an
# older release's: with a fixed date (1980, say) a shipped list changed
# without changing its size would never be installed over the old one. They
# carry the time of the commit they were built from; outside a git checkout
# SOURCE_DATE_EPOCH gives it, else a fixed time.
if [ "$(git -C "$src" rev-parse --show-toplevel 2>/dev/null)" = "$src" ]; then
    epoch=$(git -C "$src" log -1 --format=%ct)
elif [ -n "${SOURCE_DATE_EPOCH:-}" ]; then
    epoch=$SOURCE_DATE_EPOCH
else
    epoch=1735689600
    echo "package: not a git checkout and no SOURCE_DATE_EPOCH: the files carry the time" \
        "2025-01-01 00:00:00 UTC" >&2
fi

mkdir -p "$out"
python3 - "$dist" "$out" "$src" "$epoch" "${KR_RELEASE_URL:-}" <<'PY'
import glob, hashlib, json, os, re, shutil, subprocess, sys, time, zipfile
import yaml

dist, out, src, epoch, url = sys.argv[1:6]
templates = os.path.join(src, "packaging", "winget")

def fail(message):
    sys.exit("package: " + message)

manifests = {}
for path in sorted(glob.glob(os.path.join(templates, "*.yaml"))):
    with open(path, encoding="utf-8") as f:
        text = f.read()
    manifests[yaml.safe_load(text)["ManifestType"]] = (os.path.basename(path), text)
if sorted(manifests) != ["defaultLocale", "installer", "version"]:
    fail("%s must hold the version, installer and defaultLocale manifests" % templates)
version = yaml.safe_load(manifests["version"][1])
identifier, release = version["PackageIdentifier"], version["PackageVersion"]
archive = "%s-%s.zip" % (identifier.split(".")[-1], release)
path = os.path.join(out, archive)
# The community repository's layout: manifests/<first letter>/<identifier
# split at its dots>/<version>/.
folder = os.path.join(out, "winget", "manifests", identifier[0].lower(), *identifier.split("."),
                      release)

# What an earlier run made goes first: a refused run leaves nothing to
# upload by mistake.
for old in (path, path + ".sha256"):
    if os.path.exists(old):
        os.remove(old)
shutil.rmtree(os.path.join(out, "winget"), ignore_errors=True)

check = subprocess.run(["sh", os.path.join(src, "tests", "check-dist.sh"), "--exact", dist],
                       stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
if check.returncode != 0:
    print("".join(line for line in check.stdout.splitlines(True) if "checks passed" not in line),
          end="", file=sys.stderr)
    fail("%s must hold the distribution's files and nothing else (make build restores missing"
         " ones; remove what does not belong)" % dist)

if not url:
    url = "https://release-url-not-set.invalid/"
    print("package: KR_RELEASE_URL is not set: the manifest names a placeholder URL",
          file=sys.stderr)
if url.endswith("/"):
    url += archive
# winget downloads over HTTPS only.
if not re.fullmatch(r"https://[!-~]+", url):
    fail("KR_RELEASE_URL must be an https:// URL without blanks: %r" % url)

# DOS times have no zone and count from 1980; the time is written in UTC.
if not epoch.isdigit() or not 315532800 <= int(epoch) < 4354819200:
    fail("the time %r is no time that a zip entry can hold (1980 to 2107, in seconds)" % epoch)
stamp = time.gmtime(int(epoch))[:6]

# Sorted names, MS-DOS attributes "archive" whatever the file's mode here, no
# extra fields (no Unix times or owners), one compression level.
with zipfile.ZipFile(path + ".tmp", "w") as z:
    for name in sorted(os.listdir(dist)):
        info = zipfile.ZipInfo(name, stamp)
        info.create_system = 0
        info.external_attr = 0x20
        with open(os.path.join(dist, name), "rb") as f:
            z.writestr(info, f.read(), zipfile.ZIP_DEFLATED, 9)
os.replace(path + ".tmp", path)
with open(path, "rb") as f:
    sha256 = hashlib.sha256(f.read()).hexdigest()
with open(path + ".sha256", "w") as f:
    f.write("%s  %s\n" % (sha256, archive))

os.makedirs(folder)
fills = {'"@INSTALLER_URL@"': json.dumps(url), '"@INSTALLER_SHA256@"': '"%s"' % sha256.upper()}
for kind, (name, text) in manifests.items():
    if kind == "installer":
        for placeholder, value in fills.items():
            if text.count(placeholder) != 1:
                fail("%s must hold %s once" % (name, placeholder))
            text = text.replace(placeholder, value)
    yaml.safe_load(text)
    with open(os.path.join(folder, name), "w", encoding="utf-8") as f:
        f.write(text)

print("%s: %d bytes, SHA-256 %s" % (path, os.path.getsize(path), sha256))
print("%s: the winget manifests for %s" % (folder, url))
PY
