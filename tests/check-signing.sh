#!/bin/sh
# `make sign` (scripts/sign.sh) against a throwaway certificate authority and
# code-signing certificate made here with openssl, on a copy of the
# deliverable:
#   - without KR_SIGN_PFX, with an unreadable file, with a wrong password,
#     with a file that is no PKCS#12 file and on a file signed already it
#     fails with its own message, no other case's, and leaves the file as it
#     was and no temporary file behind;
#   - interrupted while osslsigncode runs, it leaves no temporary file and
#     ends by the signal; osslsigncode's command line holds no password;
#   - with the right password (and with an empty one for a file that has
#     none) a signature is made; the signed file passes `osslsigncode
#     verify` against that authority, one changed byte makes verification
#     fail, and removing the signature gives back the unsigned file byte for
#     byte (how a user compares a shipped file with a build of the source).
#   - given a 64-bit build (PE32+) too, it signs that one, and the signature
#     is found there as in the 32-bit file.
# Runs with the osslsigncode first on PATH: 2.5 (Debian 12) and 2.9 (Debian
# 13, bookworm-backports) read the password differently.
# Usage: check-signing.sh DIST_DIR WORK_DIR [PE32+_EXE]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
sign=$here/../scripts/sign.sh
dist=$(cd "$1" && pwd)
work=$2
wide=${3:+$(cd "$(dirname "$3")" && pwd)/$(basename "$3")}
for tool in openssl osslsigncode; do
    command -v $tool >/dev/null || { echo "$tool is missing (make bootstrap installs it)"; exit 1; }
done
rm -rf "$work"
mkdir -p "$work"
work=$(cd "$work" && pwd)
trap 'rm -rf "$work"' EXIT
cd "$work"
# sign.sh's own scratch files go here, to be seen if one stays.
mkdir tmp
TMPDIR=$work/tmp
export TMPDIR
offset=$here/../scripts/signature-offset.sh
echo "$(command -v osslsigncode): $(osslsigncode --version 2>&1 | head -n 1)"

# The authority and the signer: short-lived keys that exist only here.
openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 \
    -subj "/CN=Kestrune Test Root" -addext "basicConstraints=critical,CA:TRUE" \
    -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
openssl req -newkey rsa:2048 -nodes -keyout signer.key -out signer.csr \
    -subj "/CN=Kestrune Test Signer" 2>/dev/null
printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' >signer.ext
openssl x509 -req -in signer.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 \
    -extfile signer.ext -out signer.pem 2>/dev/null
openssl pkcs12 -export -inkey signer.key -in signer.pem -certfile ca.pem \
    -passout pass:'open sesame' -out signer.pfx
openssl pkcs12 -export -inkey signer.key -in signer.pem -certfile ca.pem \
    -passout pass: -out nopassword.pfx
cp signer.pfx unreadable.pfx
chmod 000 unreadable.pfx
# Root reads a file of mode 000 through two capabilities: without them it
# reads only what the mode lets its owner read, and its own folders stay
# open to it (an unprivileged user could not reach a clone in /root).
unprivileged=
if [ "$(id -u)" = 0 ]; then
    command -v setpriv >/dev/null || { echo "setpriv is missing (util-linux)"; exit 1; }
    unprivileged="setpriv --inh-caps=-dac_override,-dac_read_search --bounding-set=-dac_override,-dac_read_search"
fi

# The unsigned deliverable (a signed one is first stripped).
if [ "$(sh "$offset" "$dist/setup.exe")" != 0 ]; then
    osslsigncode remove-signature -in "$dist/setup.exe" -out unsigned.exe >/dev/null
else
    cp "$dist/setup.exe" unsigned.exe
fi
chmod 755 unsigned.exe # sign.sh must keep this mode

failed=0
fail() {
    echo "FAIL: $*"
    failed=$((failed + 1))
}

# Refusals: PFX (- for unset), password, the message expected, which no
# other case's message may hold; the file must stay as it was. "signed
# already" first signs the file, then tries again.
refusals='no KR_SIGN_PFX|-|open sesame|KR_SIGN_PFX is not set
missing file|nothing.pfx|open sesame|cannot read the PKCS#12 file
unreadable file|unreadable.pfx|open sesame|cannot read the PKCS#12 file
wrong password|signer.pfx|open says me|wrong password
not a PKCS#12 file|ca.pem|open sesame|not a PKCS#12 file
signed already|signer.pfx|open sesame|already signed'
while IFS='|' read -r case pfx password expected; do
    cp unsigned.exe setup.exe
    if [ "$case" = "signed already" ]; then
        KR_SIGN_PFX=$work/signer.pfx KR_SIGN_PASSWORD='open sesame' sh "$sign" setup.exe >/dev/null 2>&1 ||
            fail "$case: the first signature failed"
    fi
    cp setup.exe before.exe
    if [ "$pfx" = - ]; then
        out=$(env -u KR_SIGN_PFX KR_SIGN_PASSWORD="$password" sh "$sign" setup.exe 2>&1) && status=0 || status=$?
    else
        reader=
        [ "$case" != "unreadable file" ] || reader=$unprivileged
        out=$(KR_SIGN_PFX=$work/$pfx KR_SIGN_PASSWORD="$password" $reader sh "$sign" setup.exe 2>&1) &&
            status=0 || status=$?
    fi
    [ "$status" -ne 0 ] || fail "$case: sign.sh succeeded"
    echo "$out" | grep -q "$expected" || fail "$case: message '$out' lacks '$expected'"
    others=$(echo "$refusals" | cut -d'|' -f4 | grep -vxF "$expected")
    if echo "$out" | grep -qF "$others"; then
        fail "$case: message '$out' also says '$(echo "$out" | grep -oF "$others" | head -n 1)'"
    fi
    cmp -s setup.exe before.exe || fail "$case: the file changed"
    [ -z "$(find . -name 'setup.exe.sign.*')" ] || fail "$case: a temporary file was left"
    [ -z "$(ls tmp)" ] || fail "$case: a scratch file was left: $(ls tmp)"
    echo "$case: refused ($out)"
done <<CASES
$refusals
CASES

# Interrupted while signing: a stand-in osslsigncode records its command
# line and what it read, starts its output file, and sends sign.sh the
# signal an interrupted run gets.
mkdir fake
cat >fake/osslsigncode <<'FAKE'
#!/bin/sh
printf '%s\n' "$@" >"$KR_FAKE_LOG.args"
cat >"$KR_FAKE_LOG.input"
while [ $# -gt 1 ]; do
    if [ "$1" = -out ]; then echo partial >"$2"; fi
    shift
done
kill -TERM "$PPID"
FAKE
chmod 755 fake/osslsigncode
cp unsigned.exe setup.exe
before=$failed
PATH=$work/fake:$PATH KR_FAKE_LOG=$work/fake KR_SIGN_PFX=$work/signer.pfx \
    KR_SIGN_PASSWORD='open sesame' sh "$sign" setup.exe >/dev/null 2>&1 && status=0 || status=$?
[ "$status" -eq 143 ] || fail "interrupted: sign.sh ended with $status, not by SIGTERM (143)"
[ -s fake.args ] || fail "interrupted: osslsigncode never ran"
cmp -s setup.exe unsigned.exe || fail "interrupted: the file changed"
[ -z "$(find . -name 'setup.exe.sign.*')" ] || fail "interrupted: a temporary file was left"
[ -z "$(ls tmp)" ] || fail "interrupted: a scratch file was left: $(ls tmp)"
# The password: on osslsigncode's input, never on its command line.
grep -qx 'open sesame' fake.input || fail "osslsigncode was given no password on its input"
grep -q 'open sesame' fake.args && fail "the password is on osslsigncode's command line"
[ "$failed" -eq "$before" ] && echo "interrupted: ended by SIGTERM, nothing left behind; the password only on the input"

# Signing, verification, a changed byte, and the signature removed again.
# Each check of a signature counts only when sign.sh made one: an unsigned
# file fails verification too.
signed() {
    [ "$(sh "$offset" "$1")" != 0 ]
}
cp unsigned.exe nopassword.exe
KR_SIGN_PFX=$work/nopassword.pfx KR_SIGN_PASSWORD='' sh "$sign" nopassword.exe >/dev/null ||
    fail "sign.sh failed for a file without a password"
signed nopassword.exe || fail "no signature made with a file without a password"
cp unsigned.exe setup.exe
KR_SIGN_PFX=$work/signer.pfx KR_SIGN_PASSWORD='open sesame' sh "$sign" setup.exe ||
    fail "sign.sh failed with the right password"
[ -z "$(ls tmp)" ] || fail "signing left a scratch file: $(ls tmp)"
[ -x setup.exe ] || fail "the signed file lost its mode"
if ! signed setup.exe; then
    fail "no signature was made: verification, a changed byte and removal not checked"
else
    echo "signed: signature at $(sh "$offset" setup.exe)"
    if osslsigncode verify -CAfile ca.pem -in setup.exe >verify.log 2>&1; then
        echo "verified: $(grep -m1 'Message digest algorithm' verify.log || true)"
        grep -q 'SHA256' verify.log || fail "the signature's digest is not SHA-256: $(grep -i digest verify.log)"
    else
        cat verify.log
        fail "osslsigncode verify rejects the signed file"
    fi
    osslsigncode verify -CAfile /dev/null -in setup.exe >/dev/null 2>&1 &&
        fail "verify accepts the file without its authority: the check proves nothing"

    # One byte of code (file offset 0x500, inside .text) changed.
    cp setup.exe tampered.exe
    byte=$(od -An -tu1 -j 1280 -N 1 tampered.exe | tr -d ' ')
    # shellcheck disable=SC2059 # the format is the octal escape of the new byte
    printf "\\$(printf '%03o' $(((byte + 1) % 256)))" | dd of=tampered.exe bs=1 seek=1280 conv=notrunc 2>/dev/null
    cmp -s tampered.exe setup.exe && fail "the byte was not changed"
    if osslsigncode verify -CAfile ca.pem -in tampered.exe >/dev/null 2>&1; then
        fail "verify accepts a file with a changed byte"
    else
        echo "a changed byte at 0x500: verification fails"
    fi

    osslsigncode remove-signature -in setup.exe -out stripped.exe >/dev/null
    cmp -s stripped.exe unsigned.exe || fail "the signed file without its signature differs from the unsigned one"
fi

# The 64-bit image's header is laid out otherwise: the signature must be
# found there too, or it would be signed twice, or called unsigned.
if [ -n "$wide" ]; then
    if signed "$wide"; then
        osslsigncode remove-signature -in "$wide" -out wide.exe >/dev/null
    else
        cp "$wide" wide.exe
    fi
    if KR_SIGN_PFX=$work/signer.pfx KR_SIGN_PASSWORD='open sesame' sh "$sign" wide.exe >/dev/null; then
        if signed wide.exe && osslsigncode verify -CAfile ca.pem -in wide.exe >/dev/null 2>&1; then
            echo "signed the PE32+ file: signature at $(sh "$offset" wide.exe)"
        else
            fail "the signed PE32+ file shows no signature that verifies"
        fi
    else
        fail "sign.sh failed on the PE32+ file"
    fi
fi

[ "$failed" -eq 0 ] && echo "signing: all checks passed"
[ "$failed" -eq 0 ]
