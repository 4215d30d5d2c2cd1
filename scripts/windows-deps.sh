#!/usr/bin/env bash
# Builds the third-party static libraries of the Windows build
# (x86_64-w64-mingw32, posix threads) from Debian's source packages.
#
#   bash scripts/windows-deps.sh [CACHE_DIR]        default: <repo>/.cache/win64
#
# Result: CACHE_DIR/include and CACHE_DIR/lib with libcrypto.a, libssl.a
# (OpenSSL 3.0), libssh2.a (libssh2 1.10) and libjpeg.a (libjpeg-turbo 2.1,
# jpeg62 API, SIMD).  zlib is Debian's libz-mingw-w64-dev, installed into
# /usr/x86_64-w64-mingw32.  A static program links with
#
#   -L"$CACHE_DIR/lib" -lssh2 -ljpeg -lssl -lcrypto -lz \
#       -lws2_32 -lcrypt32 -lbcrypt -luser32 -ladvapi32
#
# Sources come from `apt-get source` (a deb-src entry is added to apt when
# there is none) into CACHE_DIR/../src and are unpacked with Debian's patch
# series, which carries Debian's security fixes.  When the mirror serves no
# .dsc, the upstream tarball is unpacked and debian/patches/series applied
# with patch; when it serves only the upstream tarball, that is built as it
# is, with a warning.  Nothing is copied into git.
# CACHE_DIR/stamp records the Debian versions once everything is installed;
# a later run with the same versions says "up to date" and does nothing.
#
# Needs root for apt-get (packages, deb-src); builds with `make -j2`.
set -euo pipefail

# --- What is built ----------------------------------------------------------
# Debian source versions (bookworm, bookworm-updates, bookworm-security).
# Change one and the next run rebuilds the cache.  When apt no longer offers
# a pinned version (Debian replaced it with a newer update of the same
# upstream release), the newest offered one of that release is built with a
# warning: bump the pin then.
OPENSSL_VERSION=3.0.22-1~deb12u2
LIBSSH2_VERSION=1.10.0-3+deb12u1
LIBJPEG_TURBO_VERSION=1:2.1.5-2
# Upstream release each pin must stay on (prefix of the Debian version).
OPENSSL_SERIES=3.0.
LIBSSH2_SERIES=1.10.0-
LIBJPEG_TURBO_SERIES=1:2.1.5-
# Bump when the build recipe below changes in a way that needs a rebuild.
RECIPE=2

TARGET=x86_64-w64-mingw32
CC_WIN=$TARGET-gcc-posix
CXX_WIN=$TARGET-g++-posix
JOBS=2 # shared 2-core machine: never more
BUILD_TOOLS=(g++-mingw-w64-x86-64-posix libz-mingw-w64-dev nasm cmake dpkg-dev make perl patch xz-utils)
DEBIAN_SOURCES=/etc/apt/sources.list.d/debian.sources
OUR_SOURCES=/etc/apt/sources.list.d/trevna-src.sources

# --- Small helpers ----------------------------------------------------------
log() { printf 'windows-deps: %s\n' "$*"; }
warn() { printf 'windows-deps: WARNING: %s\n' "$*" >&2; }
die() {
    printf 'windows-deps: ERROR: %s\n' "$*" >&2
    exit 1
}

as_root() {
    if ((EUID == 0)); then
        "$@"
    elif command -v sudo >/dev/null; then
        sudo "$@"
    else
        die "need root for: $*"
    fi
}

# Runs a command with its output in LOG_FILE; shows the end of it on failure.
run_logged() {
    local log_file=$1
    shift
    if ! "$@" >>"$log_file" 2>&1; then
        tail -n 40 "$log_file" >&2
        die "failed: $* (full log: $log_file)"
    fi
}

now() { date +%s; }

# The Debian version without its epoch, as in file names (1:2.1.5-2 -> 2.1.5-2).
file_version() { printf '%s' "${1#*:}"; }
# The upstream part of a Debian version (1:2.1.5-2 -> 2.1.5).
upstream_version() {
    local v=${1#*:}
    printf '%s' "${v%-*}"
}

# --- Stamp ------------------------------------------------------------------
stamp_key() {
    printf 'recipe %s\ntarget %s-posix\nopenssl %s\nlibssh2 %s\nlibjpeg-turbo %s\n' \
        "$RECIPE" "$TARGET" "$OPENSSL_VERSION" "$LIBSSH2_VERSION" "$LIBJPEG_TURBO_VERSION"
}

is_up_to_date() {
    local lib
    [[ -f $STAMP ]] || return 1
    [[ "$(grep -v '^#' "$STAMP")" == "$(stamp_key)" ]] || return 1
    for lib in libcrypto.a libssl.a libssh2.a libjpeg.a; do
        [[ -f $CACHE_DIR/lib/$lib ]] || return 1
    done
}

write_stamp() {
    local pkg
    {
        stamp_key
        printf '# built %s\n' "$(date -u +%Y-%m-%dT%H:%M:%SZ)"
        for pkg in openssl libssh2 libjpeg-turbo; do
            printf '# %s %s (%s)\n' "$pkg" "${BUILT[$pkg]}" "${PATCHED[$pkg]}"
        done
    } >"$STAMP.tmp"
    mv "$STAMP.tmp" "$STAMP"
}

# --- apt: build tools and deb-src -------------------------------------------
APT_UPDATED=0
apt_update() {
    ((APT_UPDATED)) && return 0
    log "apt-get update"
    as_root apt-get update -qq
    APT_UPDATED=1
}

ensure_build_tools() {
    local pkg missing=()
    for pkg in "${BUILD_TOOLS[@]}"; do
        [[ "$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null)" == "install ok installed" ]] ||
            missing+=("$pkg")
    done
    ((${#missing[@]})) || return 0
    log "installing ${missing[*]}"
    local install=(env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}")
    if ! as_root "${install[@]}"; then
        apt_update
        as_root "${install[@]}"
    fi
}

has_deb_src() {
    grep -qsiE '^[[:space:]]*Types:.*[[:space:]]deb-src([[:space:]]|$)' /etc/apt/sources.list.d/*.sources ||
        grep -qsE '^[[:space:]]*deb-src[[:space:]]' /etc/apt/sources.list /etc/apt/sources.list.d/*.list
}

# Writes OUR_SOURCES: each "Types: deb" stanza of debian.sources again, as
# deb-src, with the same URIs, Suites, Components and Signed-By.
add_deb_src() {
    [[ -f $DEBIAN_SOURCES ]] ||
        die "apt has no deb-src entry and there is no $DEBIAN_SOURCES to derive one from; add a deb-src source"
    log "adding $OUR_SOURCES (deb-src for the entries of $DEBIAN_SOURCES)"
    local text
    text=$(awk '
        function flush() {
            if (is_deb && uris != "") {
                printf "%sTypes: deb-src\nURIs: %s\nSuites: %s\nComponents: %s\n", sep, uris, suites, comps
                if (signed != "") printf "Signed-By: %s\n", signed
                sep = "\n"
            }
            is_deb = 0; uris = suites = comps = signed = ""
        }
        /^[[:space:]]*$/ { flush(); next }
        /^[[:space:]]*#/ { next }
        {
            field = tolower($1); value = $0; sub(/^[^:]*:[[:space:]]*/, "", value)
            if (field == "types:") { n = split(value, t, /[[:space:]]+/); for (i = 1; i <= n; i++) if (t[i] == "deb") is_deb = 1 }
            else if (field == "uris:") uris = value
            else if (field == "suites:") suites = value
            else if (field == "components:") comps = value
            else if (field == "signed-by:") signed = value
        }
        END { flush() }
    ' "$DEBIAN_SOURCES")
    [[ -n $text ]] || die "no 'Types: deb' entry found in $DEBIAN_SOURCES"
    printf '# Added by TrevnaConf scripts/windows-deps.sh: source packages for the Windows libraries.\n%s\n' \
        "$text" | as_root tee "$OUR_SOURCES" >/dev/null
}

DEB_SRC_READY=0
ensure_deb_src() {
    ((DEB_SRC_READY)) && return 0
    if ! has_deb_src; then
        add_deb_src
        APT_UPDATED=0
        apt_update
    elif [[ -z "$(apt-cache showsrc --only-source libssh2 2>/dev/null)" ]]; then
        apt_update # deb-src is configured but its index was never fetched
    fi
    DEB_SRC_READY=1
}

source_versions() {
    apt-cache showsrc --only-source "$1" 2>/dev/null | awk '/^Version:/ { print $2 }'
}

# Sets RESOLVED to the version to build: PIN when apt offers it, otherwise
# the newest offered version of the same upstream release (with a warning).
resolve_version() {
    local pkg=$1 pin=$2 series=$3 offered best="" v
    offered=$(source_versions "$pkg")
    if ! grep -qxF -- "$pin" <<<"$offered"; then
        apt_update
        offered=$(source_versions "$pkg")
    fi
    if grep -qxF -- "$pin" <<<"$offered"; then
        RESOLVED=$pin
        return 0
    fi
    while read -r v; do
        [[ $v == "$series"* ]] || continue
        if [[ -z $best ]] || dpkg --compare-versions "$v" gt "$best"; then best=$v; fi
    done <<<"$offered"
    [[ -n $best ]] || die "apt offers no $pkg source of release $series* (offered: ${offered//$'\n'/ })"
    warn "apt no longer offers $pkg $pin; building $best instead. Update the pin in scripts/windows-deps.sh."
    RESOLVED=$best
}

# --- Sources: download and unpack -------------------------------------------
orig_tarball() {
    local dir=$1 pkg=$2 upstream=$3 f
    for f in "$dir/${pkg}_${upstream}".orig.tar.*; do
        [[ -f $f && $f != *.asc ]] && { printf '%s' "$f"; return 0; }
    done
    return 1
}

debian_tarball() {
    local dir=$1 pkg=$2 version=$3 f
    for f in "$dir/${pkg}_$(file_version "$version")".debian.tar.*; do
        [[ -f $f ]] && { printf '%s' "$f"; return 0; }
    done
    return 1
}

# Downloads the source package PKG (pinned version PIN) into DOWNLOAD_DIR/PKG
# unless it is there already; sets BUILT[PKG] to the version that is built.
fetch_source() {
    local pkg=$1 pin=$2 series=$3 dir=$DOWNLOAD_DIR/$1 version
    mkdir -p "$dir"
    if orig_tarball "$dir" "$pkg" "$(upstream_version "$pin")" >/dev/null &&
        { [[ -f $dir/${pkg}_$(file_version "$pin").dsc ]] || debian_tarball "$dir" "$pkg" "$pin" >/dev/null; }; then
        BUILT[$pkg]=$pin
        return 0
    fi
    ensure_deb_src
    resolve_version "$pkg" "$pin" "$series"
    version=$RESOLVED
    BUILT[$pkg]=$version
    log "downloading source package $pkg $version"
    local apt_opts=()
    ((EUID == 0)) && apt_opts=(-o APT::Sandbox::User=root)
    if ! (cd "$dir" && apt-get "${apt_opts[@]}" -q source --download-only "$pkg=$version"); then
        warn "apt-get source $pkg=$version failed; trying with what was downloaded"
    fi
    orig_tarball "$dir" "$pkg" "$(upstream_version "$version")" >/dev/null ||
        die "could not download the source of $pkg $version"
}

# Applies debian/patches/series of TREE with patch -p1 (the fallback when
# dpkg-source cannot unpack the package).
apply_debian_patches() {
    local tree=$1 series=$1/debian/patches/series name opts count=0
    if [[ ! -f $series ]]; then
        warn "$tree/debian has no patches/series: no Debian patches applied"
        return 0
    fi
    while read -r name opts; do
        [[ -z $name || $name == \#* ]] && continue
        # shellcheck disable=SC2086 # opts is an optional "-pN" from the series file
        patch -d "$tree" -s -p1 $opts --forward --batch -i "$tree/debian/patches/$name" ||
            die "Debian patch $name does not apply"
        count=$((count + 1))
    done <"$series"
    log "applied $count Debian patches with patch -p1"
}

# Unpacks PKG into TREE with Debian's patches applied: dpkg-source when the
# .dsc is there, else the upstream tarball plus debian/patches/series, else
# the upstream tarball alone.  TREVNA_DEPS_NO_DPKG_SOURCE=1 skips dpkg-source
# (to try the fallback).
unpack_source() {
    local pkg=$1 tree=$2 version=${BUILT[$1]} dir=$DOWNLOAD_DIR/$1 dsc orig deb
    dsc=$dir/${pkg}_$(file_version "$version").dsc
    rm -rf "$tree"
    mkdir -p "$(dirname "$tree")"
    if [[ -z ${TREVNA_DEPS_NO_DPKG_SOURCE:-} && -f $dsc ]]; then
        if dpkg-source -x "$dsc" "$tree" >"$tree.unpack.log" 2>&1; then
            log "unpacked $pkg $version with dpkg-source (Debian patches applied)"
            PATCHED[$pkg]="dpkg-source"
            return 0
        fi
        tail -n 20 "$tree.unpack.log" >&2
        warn "dpkg-source could not unpack $pkg; falling back to the upstream tarball"
        rm -rf "$tree"
    fi
    orig=$(orig_tarball "$dir" "$pkg" "$(upstream_version "$version")") ||
        die "no upstream tarball of $pkg in $dir"
    mkdir -p "$tree"
    tar -xf "$orig" -C "$tree" --strip-components=1
    if deb=$(debian_tarball "$dir" "$pkg" "$version"); then
        tar -xf "$deb" -C "$tree"
        apply_debian_patches "$tree"
        PATCHED[$pkg]="debian/patches applied with patch"
    else
        warn "no Debian tarball for $pkg $version: building plain upstream $(upstream_version "$version")" \
            "WITHOUT Debian's own patches"
        PATCHED[$pkg]="upstream only, no Debian patches"
    fi
}

# --- Builds -----------------------------------------------------------------
write_toolchain_file() {
    cat >"$TOOLCHAIN_FILE" <<EOF
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(CMAKE_C_COMPILER $CC_WIN)
set(CMAKE_CXX_COMPILER $CXX_WIN)
set(CMAKE_RC_COMPILER $TARGET-windres)
set(CMAKE_ASM_NASM_COMPILER nasm)
set(CMAKE_FIND_ROOT_PATH "$CACHE_DIR" /usr/$TARGET)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
EOF
}

# Configures, builds and installs the CMake project in TREE; extra -D options follow.
cmake_build() {
    local name=$1 tree=$2
    shift 2
    local build=$tree/_build log_file=$BUILD_DIR/$name.log stray
    # No CMAKE_INSTALL_LIBDIR=lib here: libjpeg-turbo turns a relative one
    # into a path below the current folder.  The default is lib anyway.
    run_logged "$log_file" cmake -S "$tree" -B "$build" -G "Unix Makefiles" \
        -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN_FILE" \
        -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$CACHE_DIR" \
        "$@"
    run_logged "$log_file" cmake --build "$build" --parallel "$JOBS"
    run_logged "$log_file" cmake --install "$build"
    stray=$(sed -n 's/^-- \(Installing\|Up-to-date\): //p' "$log_file" | grep -v "^$CACHE_DIR/" || true)
    [[ -z $stray ]] || die "$name installed files outside $CACHE_DIR:"$'\n'"$stray"
}

# OpenSSL features we leave out.  No engines and no loadable modules: the
# providers are built into libcrypto and nothing is loaded from a DLL.  No
# automatic openssl.cnf: its build-time path (OPENSSLDIR) means nothing on
# Windows, or worse, names a folder anyone could create there.  No console
# prompts (a GUI program has no console).  No legacy provider, and so no
# Blowfish, CAST or RC4 either: libssh2 checks OPENSSL_NO_* and then stops
# offering ciphers that OpenSSL 3 would refuse at run time.  The rest is
# protocols and algorithms that neither libssh2 nor a TLS client needs;
# leaving them out makes the cold build about a fifth shorter.
OPENSSL_OPTIONS=(
    no-shared no-module no-engine no-autoload-config no-ui-console no-tests
    no-legacy no-bf no-cast no-rc4
    no-cms no-cmp no-ts no-ct no-srp no-srtp no-dtls no-ssl-trace no-nextprotoneg
    no-aria no-camellia no-idea no-seed no-sm2 no-sm3 no-sm4 no-whirlpool no-mdc2
    -O2 # after the target's -O3: smaller, quicker to build; the hot paths are assembly
)

build_openssl() {
    local tree=$BUILD_DIR/openssl log_file=$BUILD_DIR/openssl.log
    unpack_source openssl "$tree"
    log "building openssl ${BUILT[openssl]} (log: $log_file)"
    (
        cd "$tree"
        run_logged "$log_file" env CC="$CC_WIN" CXX="$CXX_WIN" AR="$TARGET-ar" \
            RANLIB="$TARGET-ranlib" RC="$TARGET-windres" \
            perl ./Configure mingw64 \
            --prefix="$CACHE_DIR" --libdir=lib --openssldir="$CACHE_DIR/ssl" \
            "${OPENSSL_OPTIONS[@]}"
        run_logged "$log_file" make -j"$JOBS" build_libs
        run_logged "$log_file" make install_dev
    )
}

build_libssh2() {
    local tree=$BUILD_DIR/libssh2
    unpack_source libssh2 "$tree"
    log "building libssh2 ${BUILT[libssh2]} (log: $BUILD_DIR/libssh2.log)"
    cmake_build libssh2 "$tree" \
        -DCRYPTO_BACKEND=OpenSSL \
        -DBUILD_SHARED_LIBS=OFF \
        -DBUILD_EXAMPLES=OFF \
        -DBUILD_TESTING=OFF \
        -DENABLE_ZLIB_COMPRESSION=OFF \
        -DOPENSSL_ROOT_DIR="$CACHE_DIR" \
        -DOPENSSL_USE_STATIC_LIBS=ON
    grep -q 'OpenSSL' "$BUILD_DIR/libssh2.log" || die "libssh2 did not pick the OpenSSL backend"
}

build_libjpeg_turbo() {
    local tree=$BUILD_DIR/libjpeg-turbo log_file=$BUILD_DIR/libjpeg-turbo.log
    unpack_source libjpeg-turbo "$tree"
    log "building libjpeg-turbo ${BUILT[libjpeg-turbo]} (log: $log_file)"
    cmake_build libjpeg-turbo "$tree" \
        -DENABLE_SHARED=OFF \
        -DENABLE_STATIC=ON \
        -DWITH_JPEG8=OFF \
        -DWITH_TURBOJPEG=OFF \
        -DWITH_SIMD=ON \
        -DREQUIRE_SIMD=ON \
        -DCMAKE_ASM_NASM_COMPILER=nasm
    grep -q 'SIMD extensions: x86_64 (WITH_SIMD = 1)' "$log_file" ||
        die "libjpeg-turbo was configured without x86_64 SIMD (see $log_file)"
}

# Reports that library NAME, whose build began at START, is installed.
installed() {
    local name=$1 start=$2
    TIMES[$name]=$(($(now) - start))
    log "$name ${BUILT[$name]} installed in ${TIMES[$name]} s"
}

# --- Cache folder -----------------------------------------------------------
# Marks CACHE_DIR as ours (and ignored by git); refuses a non-empty folder
# that this script did not make, as a rebuild empties it.
claim_cache_dir() {
    if [[ -n "$(ls -A "$CACHE_DIR")" && ! -e $CACHE_DIR/.windows-deps ]]; then
        die "$CACHE_DIR is not empty and was not made by this script; give another CACHE_DIR"
    fi
    touch "$CACHE_DIR/.windows-deps"
    printf '*\n' >"$CACHE_DIR/.gitignore"
}

# Empties CACHE_DIR for a fresh build.
reset_cache_dir() {
    rm -f "$STAMP"
    rm -rf "${CACHE_DIR:?}"/{include,lib,bin,share,ssl}
}

# Succeeds when static library LIB defines SYMBOL.
defines_symbol() {
    local symbols
    symbols=$("$TARGET-nm" --defined-only "$CACHE_DIR/lib/$1" 2>/dev/null) || return 1
    grep -q " T $2\$" <<<"$symbols"
}

check_installed() {
    local lib
    for lib in libcrypto.a libssl.a libssh2.a libjpeg.a; do
        [[ -f $CACHE_DIR/lib/$lib ]] || die "$CACHE_DIR/lib/$lib is missing after the build"
    done
    defines_symbol libcrypto.a OpenSSL_version || die "libcrypto.a lacks OpenSSL_version"
    defines_symbol libssh2.a libssh2_session_handshake || die "libssh2.a lacks libssh2_session_handshake"
    defines_symbol libjpeg.a jpeg_CreateDecompress || die "libjpeg.a lacks jpeg_CreateDecompress (jpeg62 API)"
    # Programs and documentation of the libraries are of no use to us.
    rm -rf "${CACHE_DIR:?}"/{bin,share/doc,share/man}
    rmdir "$CACHE_DIR/share" 2>/dev/null || true
}

# --- Main -------------------------------------------------------------------
main() {
    local repo_dir
    repo_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
    CACHE_DIR=${1:-$repo_dir/.cache/win64}
    mkdir -p "$CACHE_DIR"
    CACHE_DIR=$(cd "$CACHE_DIR" && pwd)
    STAMP=$CACHE_DIR/stamp

    if is_up_to_date; then
        # The libraries are there; a new machine may still lack the
        # cross-compiler or zlib that a build using them needs.
        if [[ ! -f /usr/$TARGET/lib/libz.a ]] || ! command -v "$CXX_WIN" >/dev/null; then
            ensure_build_tools
        fi
        log "$CACHE_DIR is up to date ($(stamp_key | sed -n '3,5p' | paste -sd, - | sed 's/,/, /g'))"
        return 0
    fi

    claim_cache_dir
    local work_dir
    work_dir=$(dirname "$CACHE_DIR")/src
    DOWNLOAD_DIR=$work_dir/downloads
    BUILD_DIR=$work_dir/build-$(basename "$CACHE_DIR")
    TOOLCHAIN_FILE=$BUILD_DIR/toolchain.cmake
    mkdir -p "$DOWNLOAD_DIR" "$BUILD_DIR"
    printf '*\n' >"$work_dir/.gitignore"

    # One run at a time per cache folder; a run that waited may find it done.
    exec 9>"$BUILD_DIR/.lock"
    flock 9
    if is_up_to_date; then
        log "$CACHE_DIR is up to date (built by another run)"
        return 0
    fi

    ensure_build_tools
    declare -gA BUILT=() PATCHED=() TIMES=()
    fetch_source openssl "$OPENSSL_VERSION" "$OPENSSL_SERIES"
    fetch_source libssh2 "$LIBSSH2_VERSION" "$LIBSSH2_SERIES"
    fetch_source libjpeg-turbo "$LIBJPEG_TURBO_VERSION" "$LIBJPEG_TURBO_SERIES"

    reset_cache_dir
    rm -f "$BUILD_DIR"/*.log
    cd "$BUILD_DIR"
    write_toolchain_file
    local start
    start=$(now); build_openssl; installed openssl "$start"
    start=$(now); build_libssh2; installed libssh2 "$start"
    start=$(now); build_libjpeg_turbo; installed libjpeg-turbo "$start"
    check_installed
    write_stamp
    rm -rf "${BUILD_DIR:?}"/{openssl,libssh2,libjpeg-turbo}

    log "done: $CACHE_DIR (openssl ${TIMES[openssl]} s, libssh2 ${TIMES[libssh2]} s, libjpeg-turbo ${TIMES[libjpeg-turbo]} s)"
}

# On one line, so that bash never reads past it (safe to edit while it runs).
main "$@"; exit
