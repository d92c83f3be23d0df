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
    fail "$exe is already signed (a fresh build gives the unsigned file; osslsigncode remove-signature strips it)"
fi

tmp=$(mktemp "$exe.sign.XXXXXX")
err=$(mktemp)
trap 'rm -f "$tmp" "$err"' EXIT
rm -f "$tmp" # osslsigncode writes the output file itself

set -- sign -pkcs12 "$KR_SIGN_PFX" -readpass - -h sha256 -n "Kestrune 2 Setup" -in "$exe" -out "$tmp"
if [ -n "${KR_SIGN_TIMESTAMP_URL:-}" ]; then
    set -- "$@" -ts "$KR_SIGN_TIMESTAMP_URL"
fi
# The password goes through a pipe, never the command line (ps shows that).
if ! printf '%s' "${KR_SIGN_PASSWORD:-}" | osslsigncode "$@" >"$err" 2>&1; then
    if grep -qi 'pkcs12\|mac verify\|password\|decrypt' "$err"; then
        fail "cannot open $KR_SIGN_PFX: wrong password (KR_SIGN_PASSWORD) or not a PKCS#12 file; $exe is unchanged"
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
