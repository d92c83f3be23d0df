# Front of the CMake build. `make run` and `make test` first install what is
# missing (scripts/bootstrap.sh does nothing when all is there).
#
#   build/i686     the deliverable and its tests: build/i686/dist holds
#                  setup.exe and the stand-in product files, as a
#                  distribution folder looks
#   build/x86_64   only with ARCH=x86_64 (`make test ARCH=x86_64`): the same
#                  sources for 64-bit Windows, an extra check

.PHONY: all bootstrap build test test-fresh run bench repro sign package fuzz format clean

all: build

bootstrap:
	@sh scripts/bootstrap.sh

build: bootstrap
	@sh scripts/build.sh

test: build
	@sh scripts/test.sh

# `make test` on a new minimal system of Debian RELEASE (12 or 13) made in
# build/fresh with debootstrap, from a clone of the current commit; as
# root. Downloads a system the first time: not part of CI. TARGETS="test
# bench" makes more there.
test-fresh:
	@sh scripts/test-fresh.sh $(RELEASE) $(TARGETS)

run: build
	@sh scripts/run.sh

# Performance figures (size, start-up, install, string layer): a report on
# stdout, no pass or fail.
bench: build
	@sh scripts/bench.sh

# Builds the deliverable twice more from copies of the sources in two other
# folders and compares them, and build/i686/dist, byte for byte.
repro: build
	@sh scripts/repro.sh

# Signs build/i686/dist/setup.exe (Authenticode, SHA-256): KR_SIGN_PFX names
# the PKCS#12 file, KR_SIGN_PASSWORD its password, KR_SIGN_TIMESTAMP_URL an
# RFC 3161 time-stamp server (optional).
sign: build
	@sh scripts/sign.sh

# The release archive build/i686/Kestrune2-<version>.zip of the distribution
# folder, its .sha256, and the winget manifests for it in
# build/i686/winget/; KR_RELEASE_URL is the URL the archive is downloaded
# from (without it the manifest names a placeholder).
package: build
	@sh scripts/package.sh

# The string layer's fuzz targets, natively, FUZZ_SECONDS each; the build and
# the grown corpora are in build/fuzz.
FUZZ_SECONDS ?= 60
fuzz: bootstrap
	@for t in fuzz_format fuzz_str_ops fuzz_concat; do \
		sh tests/fuzz/run.sh build $$t $(FUZZ_SECONDS) || exit 1; done

format:
	clang-format -i scripts/i386-emu/*.c tests/native/*.c app/*.cpp app/*.h support/*.cpp support/*.h product/*.cpp tests/*/*.cpp tests/*/*.h 2>/dev/null || true

clean:
	@for d in build/*/; do [ -x tests/wine-fixture.sh ] && tests/wine-fixture.sh stop "$$d" >/dev/null 2>&1; done; true
	rm -rf build
