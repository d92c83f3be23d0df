#!/bin/sh
# `make sign` (scripts/sign.sh) against a throwaway certificate authority and
# code-signing certificate made here with openssl, on a copy of the
# deliverable:
#   - without KR_SIGN_PFX, with an unreadable file, with a wrong password
#     and on a file signed already it fails with its message and leaves the
#     file as it was;
#   - with the right password the signed file passes `osslsigncode verify`
#     against that authority, one changed byte makes verification fail, and
#     removing the signature gives back the unsigned file byte for byte (how
#     a user compares a shipped file with a build of the source).
# Usage: check-signing.sh DIST_DIR WORK_DIR
set -eu
here=$(cd "$(dirname "$0")" && pwd)
sign=$here/../scripts/sign.sh
dist=$(cd "$1" && pwd)
work=$2
for tool in openssl osslsigncode; do
    command -v $tool >/dev/null || { echo "$tool is missing (make bootstrap installs it)"; exit 1; }
done
rm -rf "$work"
mkdir -p "$work"
work=$(cd "$work" && pwd)
trap 'rm -rf "$work"' EXIT
cd "$work"

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
cp signer.pfx unreadable.pfx
chmod 000 unreadable.pfx

# The unsigned deliverable (a signed one is first stripped).
if [ "$(sh "$here/../scripts/signature-offset.sh" "$dist/setup.exe")" != 0 ]; then
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

# Refusals: PFX (- for unset), password, the message expected; the file must
# stay as it was. "signed" first signs the file, then tries again.
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
        out=$(KR_SIGN_PFX=$work/$pfx KR_SIGN_PASSWORD="$password" sh "$sign" setup.exe 2>&1) && status=0 || status=$?
    fi
    [ "$status" -ne 0 ] || fail "$case: sign.sh succeeded"
    echo "$out" | grep -q "$expected" || fail "$case: message '$out' lacks '$expected'"
    cmp -s setup.exe before.exe || fail "$case: the file changed"
    [ -z "$(find . -name 'setup.exe.sign.*')" ] || fail "$case: a temporary file was left"
    echo "$case: refused ($out)"
done <<'CASES'
no KR_SIGN_PFX|-|open sesame|KR_SIGN_PFX is not set
missing file|nothing.pfx|open sesame|cannot read the PKCS#12 file
wrong password|signer.pfx|open says me|wrong password
not a PKCS#12 file|ca.pem|open sesame|not a PKCS#12 file
signed already|signer.pfx|open sesame|already signed
CASES
# root reads a file of mode 000: that case then says nothing.
if [ "$(id -u)" != 0 ]; then
    cp unsigned.exe setup.exe
    KR_SIGN_PFX=$work/unreadable.pfx KR_SIGN_PASSWORD='open sesame' sh "$sign" setup.exe >/dev/null 2>&1 &&
        fail "unreadable file: sign.sh succeeded"
    cmp -s setup.exe unsigned.exe || fail "unreadable file: the file changed"
fi

# Signing, verification, a changed byte, and the signature removed again.
cp unsigned.exe setup.exe
KR_SIGN_PFX=$work/signer.pfx KR_SIGN_PASSWORD='open sesame' sh "$sign" setup.exe ||
    fail "sign.sh failed with the right password"
[ -x setup.exe ] || fail "the signed file lost its mode"
if osslsigncode verify -CAfile ca.pem -in setup.exe >verify.log 2>&1; then
    echo "signed: $(grep -m1 'Message digest algorithm' verify.log || true)"
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

[ "$failed" -eq 0 ] && echo "signing: all checks passed"
[ "$failed" -eq 0 ]
