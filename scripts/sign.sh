#!/bin/sh
# `make sign`: signs setup.exe with Authenticode (SHA-256) through
# osslsigncode.
#   KR_SIGN_PFX            the PKCS#12 file with the code-signing key and its
#                          certificate chain (required)
#   KR_SIGN_PASSWORD       its password (may be empty)
#   KR_SIGN_TIMESTAMP_URL  an RFC 3161 time-stamp server (optional; without
#                          one the signature is valid only while the
#                          certificate is)
# Usage: sign.sh [EXE]   (default: build/i686/dist/setup.exe)
# The signature is made into a temporary file beside EXE and moved over it
# only when signing succeeded: on any failure EXE is left as it was.
set -eu
exe=${1:-$(cd "$(dirname "$0")/.." && pwd)/build/i686/dist/setup.exe}

fail() {
    echo "sign: $*" >&2
    exit 1
}

[ -n "${KR_SIGN_PFX:-}" ] ||
    fail "KR_SIGN_PFX is not set: name the PKCS#12 (.pfx/.p12) file with the code-signing key, and its password in KR_SIGN_PASSWORD"
if [ ! -f "$KR_SIGN_PFX" ] || [ ! -r "$KR_SIGN_PFX" ]; then
    fail "cannot read the PKCS#12 file $KR_SIGN_PFX"
fi
[ -f "$exe" ] || fail "no $exe to sign (build it first: make build)"
command -v osslsigncode >/dev/null || fail "osslsigncode is missing (make bootstrap installs it)"

# A signed image names its signature in the header's security directory.
# Signing it again would nest a second signature: sign the unsigned image.
if [ "$(sh "$(dirname "$0")/signature-offset.sh" "$exe")" != 0 ]; then
    fail "$exe is already signed (make build keeps a signed file: delete it and build again, or strip it with osslsigncode remove-signature)"
fi

# The temporary files go on every way out. dash runs no EXIT trap when a
# signal ends it: each signal cleans up, then ends the script by itself
# again, so that the caller sees the signal.
tmp=
err=
cleanup() {
    rm -f "$tmp" "$err"
}
trap cleanup EXIT
trap 'cleanup; trap - HUP EXIT; kill -HUP $$' HUP
trap 'cleanup; trap - INT EXIT; kill -INT $$' INT
trap 'cleanup; trap - TERM EXIT; kill -TERM $$' TERM
tmp=$(mktemp "$exe.sign.XXXXXX")
err=$(mktemp)
rm -f "$tmp" # osslsigncode writes the output file itself

set -- sign -pkcs12 "$KR_SIGN_PFX" -h sha256 -n "Kestrune 2 Setup" -in "$exe" -out "$tmp"
if [ -n "${KR_SIGN_TIMESTAMP_URL:-}" ]; then
    set -- "$@" -ts "$KR_SIGN_TIMESTAMP_URL"
fi
# The password goes through a pipe, never the command line (ps shows that)
# nor a file. osslsigncode reads it from a file name: /dev/stdin works with
# 2.5 (Debian 12) and 2.9 alike, where "-" means standard input only from
# 2.9 on. It cannot read an empty password so (it refuses an empty file),
# and it drops line breaks at the end of one.
password=${KR_SIGN_PASSWORD:-}
case $password in
*"
" | *"$(printf '\r')")
    fail "KR_SIGN_PASSWORD ends in a line break, which osslsigncode would drop: remove it; $exe is unchanged"
    ;;
esac
if [ -n "$password" ]; then
    set -- "$@" -readpass /dev/stdin
fi
# printf is built into the shell: no process of its own shows the password.
if ! printf '%s' "$password" | osslsigncode "$@" >"$err" 2>&1; then
    # The texts of osslsigncode 2.5 and 2.9, with OpenSSL 3.
    if grep -q 'mac verify failure' "$err"; then
        if [ -n "$password" ]; then
            fail "wrong password for $KR_SIGN_PFX (KR_SIGN_PASSWORD); $exe is unchanged"
        fi
        fail "$KR_SIGN_PFX needs a password: KR_SIGN_PASSWORD is empty; $exe is unchanged"
    fi
    if grep -q 'Failed to extract PKCS#12 data' "$err"; then
        fail "$KR_SIGN_PFX is not a PKCS#12 file (.pfx/.p12 holding the key and its certificates); $exe is unchanged"
    fi
    if grep -q 'Failed to read PKCS#12 file' "$err"; then
        fail "cannot read the PKCS#12 file $KR_SIGN_PFX; $exe is unchanged"
    fi
    if [ -n "${KR_SIGN_TIMESTAMP_URL:-}" ] && grep -qi 'timestamp' "$err"; then
        fail "the time-stamp server $KR_SIGN_TIMESTAMP_URL did not answer or refused; $exe is unchanged"
    fi
    cat "$err" >&2
    fail "osslsigncode failed; $exe is unchanged"
fi
chmod "$(stat -c %a "$exe")" "$tmp"
mv -f "$tmp" "$exe"
echo "sign: signed $exe (Authenticode, SHA-256${KR_SIGN_TIMESTAMP_URL:+, time-stamped by $KR_SIGN_TIMESTAMP_URL})"
