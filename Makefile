# The two commands: `make run` and `make test`. Both do every set-up step on a fresh Debian
# machine (packages, the Windows library cache, the builds) before they start.
SHELL := /bin/bash
ROOT := $(CURDIR)
JOBS ?= 2
# The static libraries are built once per machine and shared by every clone of the project:
# DEPS_CACHE for the Windows build, NATIVE_DEPS_CACHE (libssh2) for the Linux builds. Their
# defaults live in scripts/deps.sh, which CMake asks too.
DEPS_CACHE ?= $(shell scripts/deps.sh --default-dir win64)
NATIVE_DEPS_CACHE ?= $(shell scripts/deps.sh --default-dir native)

.PHONY: run test setup native windows fuzz-build release install bench bench-win fuzz dist clean

setup:
	@scripts/setup-system.sh
	@scripts/deps.sh native "$(NATIVE_DEPS_CACHE)"
	@scripts/deps.sh win64 "$(DEPS_CACHE)"
	@scripts/header-only.sh

native: setup
	cmake --preset native -DTREVNA_NATIVE_DEPS="$(NATIVE_DEPS_CACHE)" >/dev/null
	cmake --build --preset native -j $(JOBS)

windows: setup
	cmake --preset windows -DTREVNA_WIN_DEPS="$(DEPS_CACHE)" >/dev/null
	cmake --build --preset windows -j $(JOBS)

fuzz-build: setup
	cmake --preset fuzz -DTREVNA_NATIVE_DEPS="$(NATIVE_DEPS_CACHE)" >/dev/null
	cmake --build --preset fuzz -j $(JOBS)

test: native windows fuzz-build release
	@scripts/run-tests.sh

run: release windows
	@scripts/run-app.sh

# Optimised Linux programs (build/release): trevnactl and trevna-cardsim, for `make run` and
# for users. The native build keeps the sanitizers for the tests.
release: setup
	cmake --preset release -DTREVNA_NATIVE_DEPS="$(NATIVE_DEPS_CACHE)" >/dev/null
	cmake --build --preset release -j $(JOBS)

# Installs the two optimised programs into PREFIX/bin.
PREFIX ?= /usr/local
install: release
	cmake --install build/release --prefix "$(PREFIX)"

# Benchmarks (optimised build); each prints its figures and ratios against its baseline.
bench: setup
	cmake --preset bench -DTREVNA_NATIVE_DEPS="$(NATIVE_DEPS_CACHE)" >/dev/null
	cmake --build --preset bench -j $(JOBS)
	@for b in build/bench/bench/*_bench; do echo "== $$b"; "$$b" || exit 1; done

# Windows benchmarks (bench/win/) under Wine with Xvfb, in the test prefix.
bench-win: windows
	@cd build/windows && export WINEPREFIX=$$PWD/tests/wineprefix WINEDEBUG=-all && \
	  ../../scripts/wine-prefix.sh --no-window-manager && \
	  for b in bench/win/*_bench.exe; do echo "== $$b"; xvfb-run -a -s "-screen 0 1280x1024x24" wine "$$b" || exit 1; done

# Long fuzz runs: FUZZ_RUNS executions of every target on a copy of its seed corpus.
FUZZ_RUNS ?= 1000000
fuzz: fuzz-build
	@for f in build/fuzz/fuzz/*_fuzz; do \
	  n=$$(basename $$f); w=$$(mktemp -d); cp -r fuzz/corpus/$${n%_fuzz}/. $$w/ 2>/dev/null; \
	  echo "== $$n"; $$f -runs=$(FUZZ_RUNS) -print_final_stats=1 $$w 2>&1 | grep -E "stat::number_of_executed_units|ERROR|SUMMARY" || exit 1; \
	  rm -rf $$w; done

# Release files in dist/: TrevnaConf-<version>-setup.exe, TrevnaConf-<version>-portable.zip and
# trevna-tools_<version>_amd64.deb. The window tests run first: the manual shows their pictures.
dist: release windows
	@scripts/screenshots.sh
	@scripts/dist.sh build/windows build/release build/windows/artifacts "$(ROOT)/dist"

clean:
	rm -rf build
