#!/usr/bin/env bash
# Builds the third-party static libraries of the project from Debian's source packages into a
# per-machine cache outside git.
#
#   scripts/deps.sh win64 [DIR]      for the Windows build (x86_64-w64-mingw32, posix threads):
#                                    OpenSSL 3.0 libcrypto/libssl, libssh2 1.11, libjpeg-turbo 2.1
#   scripts/deps.sh native [DIR]     for the Linux builds: libssh2 1.11 on the system's OpenSSL
#   scripts/deps.sh --default-dir win64|native
#                                    prints the default DIR (the Makefile and CMake ask here,
#                                    so the default lives in this one place)
#
# Layout: every library has its own prefix with its own stamp, DIR/<library>/{include,lib,stamp}.
# A library is rebuilt only when its stamp differs (its Debian version, its recipe, or the stamp
# of a library it is built on), so changing libssh2 leaves OpenSSL alone. Next to DIR,
# DIR/../src holds the downloaded source packages, the build trees and their logs.
#
# A static Windows program links
#   DIR/libssh2/lib/libssh2.a DIR/libjpeg-turbo/lib/libjpeg.a DIR/openssl/lib/libcrypto.a
#   -lws2_32 -lcrypt32 -lbcrypt -luser32 -ladvapi32
# and a native one DIR/libssh2/lib/libssh2.a -lcrypto.
#
# Sources come from `apt-get source` and are unpacked with Debian's patch series, which carries
# Debian's security fixes. OpenSSL and libjpeg-turbo are bookworm's (a deb-src entry is added to
# apt when there is none). libssh2 is trixie's 1.11.1: bookworm's 1.10 has neither the strict key
# exchange (Terrapin) fix nor rsa-sha2. Trixie is reached through a deb-src list and an apt state
# of this script's own below DIR/../src, so the system's apt never sees a trixie entry and
# nothing from trixie is ever installed. When the mirror serves no .dsc, the upstream tarball is
# unpacked and debian/patches/series applied with patch; when it serves only the upstream
# tarball, that is built as it is, with a warning. Nothing is copied into git.
#
# Needs root (or sudo) for apt-get (build tools, bookworm deb-src); builds with `make -j2`.
set -euo pipefail

# --- What is built ----------------------------------------------------------
# Debian source versions. Change one and the next run rebuilds that library (and what is built
# on it). When apt no longer offers a pinned version (Debian replaced it with a newer update of
# the same upstream release), the newest offered one of that release is built with a warning:
# bump the pin then.
declare -A PIN=(
    [openssl]=3.0.22-1~deb12u2
    [libssh2]=1.11.1-1+deb13u2
    [libjpeg-turbo]=1:2.1.5-2
)
# Upstream release each pin must stay on (prefix of the Debian version).
declare -A SERIES=(
    [openssl]=3.0.
    [libssh2]=1.11.1-
    [libjpeg-turbo]=1:2.1.5-
)
# Debian release whose sources are used.
declare -A SUITE=(
    [openssl]=bookworm
    [libssh2]=trixie
    [libjpeg-turbo]=bookworm
)
# Bump a library's recipe when its build below changes in a way that needs a rebuild.
declare -A RECIPE=(
    [openssl]=2
    [libssh2]=3
    [libjpeg-turbo]=2
)
# The static libraries each build must leave in DIR/<library>/lib.
declare -A PRODUCTS=(
    [openssl]="libcrypto.a libssl.a"
    [libssh2]="libssh2.a"
    [libjpeg-turbo]="libjpeg.a"
)
# What each cache holds, in build order.
LIBRARIES_win64=(openssl libssh2 libjpeg-turbo)
LIBRARIES_native=(libssh2)

TARGET=x86_64-w64-mingw32
CC_WIN=$TARGET-gcc-posix
CXX_WIN=$TARGET-g++-posix
JOBS=2 # shared 2-core machine: never more
BUILD_TOOLS_win64=(g++-mingw-w64-x86-64-posix nasm cmake dpkg-dev make perl patch xz-utils)
BUILD_TOOLS_native=(gcc libssl-dev cmake dpkg-dev make patch xz-utils)
DEBIAN_SOURCES=/etc/apt/sources.list.d/debian.sources
OUR_SOURCES=/etc/apt/sources.list.d/trevna-src.sources

default_dir() { printf '%s/.cache/trevnaconf/%s\n' "$HOME" "$1"; }

# --- Small helpers ----------------------------------------------------------
log() { printf 'deps: %s\n' "$*"; }
warn() { printf 'deps: WARNING: %s\n' "$*" >&2; }
die() {
    printf 'deps: ERROR: %s\n' "$*" >&2
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

installed_version() { dpkg-query -W -f='${Version}' "$1" 2>/dev/null || true; }

# --- Stamps -----------------------------------------------------------------
# What a library's build depends on, one line each. A library built on another carries that
# one's key, so a rebuilt OpenSSL rebuilds libssh2 too.
stamp_key() {
    local lib=$1
    printf 'recipe %s\ntarget %s\n%s %s\n' "${RECIPE[$lib]}" "$TARGET_NAME" "$lib" "${PIN[$lib]}"
    if [[ $lib == libssh2 ]]; then
        if [[ $KIND == win64 ]]; then
            stamp_key openssl | sed 's/^/openssl: /'
        else
            printf 'libssl-dev %s\n' "$(installed_version libssl-dev)"
        fi
    fi
}

lib_up_to_date() {
    local lib=$1 stamp=$CACHE_DIR/$1/stamp product
    [[ -f $stamp ]] || return 1
    [[ "$(grep -v '^#' "$stamp")" == "$(stamp_key "$lib")" ]] || return 1
    for product in ${PRODUCTS[$lib]}; do
        [[ -f $CACHE_DIR/$lib/lib/$product ]] || return 1
    done
}

all_up_to_date() {
    local lib
    for lib in "${LIBRARIES[@]}"; do
        lib_up_to_date "$lib" || return 1
    done
}

write_stamp() {
    local lib=$1
    {
        stamp_key "$lib"
        printf '# built %s in %s s\n' "$(date -u +%Y-%m-%dT%H:%M:%SZ)" "${TIMES[$lib]}"
        printf '# %s %s from %s (%s)\n' "$lib" "${BUILT[$lib]}" "${SUITE[$lib]}" "${PATCHED[$lib]}"
    } >"$CACHE_DIR/$lib/stamp.tmp"
    mv "$CACHE_DIR/$lib/stamp.tmp" "$CACHE_DIR/$lib/stamp"
}

# --- apt: build tools -------------------------------------------------------
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

# --- apt: source entries ----------------------------------------------------
# Prints each "Types: deb" stanza of debian.sources again as deb-src, with the same URIs,
# Components and Signed-By; suite names have FROM replaced by TO (bookworm -> trixie).
deb_src_stanzas() {
    awk -v from="$1" -v to="$2" '
        function flush() {
            if (is_deb && uris != "") {
                gsub(from, to, suites)
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
    ' "$DEBIAN_SOURCES"
}

has_deb_src() {
    grep -qsiE '^[[:space:]]*Types:.*[[:space:]]deb-src([[:space:]]|$)' /etc/apt/sources.list.d/*.sources ||
        grep -qsE '^[[:space:]]*deb-src[[:space:]]' /etc/apt/sources.list /etc/apt/sources.list.d/*.list
}

# Writes OUR_SOURCES: the system's bookworm entries again, as deb-src.
add_deb_src() {
    [[ -f $DEBIAN_SOURCES ]] ||
        die "apt has no deb-src entry and there is no $DEBIAN_SOURCES to derive one from; add a deb-src source"
    log "adding $OUR_SOURCES (deb-src for the entries of $DEBIAN_SOURCES)"
    local text
    text=$(deb_src_stanzas bookworm bookworm)
    [[ -n $text ]] || die "no 'Types: deb' entry found in $DEBIAN_SOURCES"
    printf '# Added by TrevnaConf scripts/deps.sh: source packages for the static libraries.\n%s\n' \
        "$text" | as_root tee "$OUR_SOURCES" >/dev/null
}

# Sets APT_OPTIONS for the sources of SUITE: none for bookworm (the system's apt), the private
# list and state for trixie, made on first use.
BOOKWORM_READY=0
TRIXIE_READY=0
apt_for() {
    local suite=$1
    if [[ $suite == bookworm ]]; then
        APT_OPTIONS=()
        if ((!BOOKWORM_READY)); then
            if ! has_deb_src; then
                add_deb_src
                APT_UPDATED=0
                apt_update
            elif [[ -z "$(apt-cache showsrc --only-source openssl 2>/dev/null)" ]]; then
                apt_update # deb-src is configured but its index was never fetched
            fi
            BOOKWORM_READY=1
        fi
        return 0
    fi
    [[ $suite == trixie ]] || die "unknown suite $suite"
    local apt_dir=$WORK_DIR/apt-trixie
    APT_OPTIONS=(-o "Dir::Etc::SourceList=/dev/null" -o "Dir::Etc::SourceParts=$apt_dir/sources.list.d"
        -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache")
    ((EUID == 0)) && APT_OPTIONS+=(-o APT::Sandbox::User=root)
    ((TRIXIE_READY)) && return 0
    mkdir -p "$apt_dir/sources.list.d" "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial"
    local text=""
    [[ -f $DEBIAN_SOURCES ]] && text=$(deb_src_stanzas bookworm trixie)
    if [[ -z $text ]]; then
        text=$(printf 'Types: deb-src\nURIs: http://deb.debian.org/debian\nSuites: trixie trixie-updates\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n\nTypes: deb-src\nURIs: http://deb.debian.org/debian-security\nSuites: trixie-security\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg')
    fi
    local list=$apt_dir/sources.list.d/trixie-src.sources
    if [[ ! -f $list || "$(cat "$list")" != "$text" ]]; then
        printf '%s\n' "$text" >"$list"
        rm -f "$apt_dir/lists/"*_Sources* 2>/dev/null || true
    fi
    if ! compgen -G "$apt_dir/lists/*_Sources" >/dev/null; then
        log "fetching the trixie source index (private apt state in $apt_dir)"
        apt-get "${APT_OPTIONS[@]}" -qq update || die "apt-get update of the trixie sources failed"
    fi
    TRIXIE_READY=1
}

source_versions() {
    apt-cache "${APT_OPTIONS[@]}" showsrc --only-source "$1" 2>/dev/null | awk '/^Version:/ { print $2 }'
}

# Sets RESOLVED to the version of LIB to build: its pin when apt offers it, otherwise the newest
# offered version of the same upstream release (with a warning).
resolve_version() {
    local lib=$1 pin=${PIN[$1]} series=${SERIES[$1]} offered best="" v
    offered=$(source_versions "$lib")
    if ! grep -qxF -- "$pin" <<<"$offered"; then
        if [[ ${SUITE[$lib]} == bookworm ]]; then
            apt_update
        else
            apt-get "${APT_OPTIONS[@]}" -qq update || die "apt-get update of the trixie sources failed"
        fi
        offered=$(source_versions "$lib")
    fi
    if grep -qxF -- "$pin" <<<"$offered"; then
        RESOLVED=$pin
        return 0
    fi
    while read -r v; do
        [[ $v == "$series"* ]] || continue
        if [[ -z $best ]] || dpkg --compare-versions "$v" gt "$best"; then best=$v; fi
    done <<<"$offered"
    [[ -n $best ]] || die "apt offers no $lib source of release $series* (offered: ${offered//$'\n'/ })"
    warn "apt no longer offers $lib $pin; building $best instead. Update the pin in scripts/deps.sh."
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

# Downloads the source package of LIB (its pinned version) into DOWNLOAD_DIR/LIB unless it is
# there already; sets BUILT[LIB] to the version that is built.
fetch_source() {
    local pkg=$1 pin=${PIN[$1]} dir=$DOWNLOAD_DIR/$1 version
    mkdir -p "$dir"
    if orig_tarball "$dir" "$pkg" "$(upstream_version "$pin")" >/dev/null &&
        { [[ -f $dir/${pkg}_$(file_version "$pin").dsc ]] || debian_tarball "$dir" "$pkg" "$pin" >/dev/null; }; then
        BUILT[$pkg]=$pin
        return 0
    fi
    apt_for "${SUITE[$pkg]}"
    resolve_version "$pkg"
    version=$RESOLVED
    BUILT[$pkg]=$version
    log "downloading source package $pkg $version (${SUITE[$pkg]})"
    local sandbox=()
    ((EUID == 0)) && sandbox=(-o APT::Sandbox::User=root)
    if ! (cd "$dir" && apt-get "${APT_OPTIONS[@]}" "${sandbox[@]}" -q source --download-only "$pkg=$version"); then
        warn "apt-get source $pkg=$version failed; trying with what was downloaded"
    fi
    orig_tarball "$dir" "$pkg" "$(upstream_version "$version")" >/dev/null ||
        die "could not download the source of $pkg $version"
}

# Applies debian/patches/series of TREE with patch -p1 (the fallback when dpkg-source cannot
# unpack the package).
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

# Unpacks PKG into TREE with Debian's patches applied: dpkg-source when the .dsc is there, else
# the upstream tarball plus debian/patches/series, else the upstream tarball alone.
# TREVNA_DEPS_NO_DPKG_SOURCE=1 skips dpkg-source (to try the fallback).
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

# Configures, builds and installs the CMake project in TREE into DIR/NAME; extra -D options
# follow.
cmake_build() {
    local name=$1 tree=$2
    shift 2
    local build=$tree/_build log_file=$BUILD_DIR/$name.log prefix=$CACHE_DIR/$name stray toolchain=()
    [[ $KIND == win64 ]] && toolchain=(-DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN_FILE")
    # No CMAKE_INSTALL_LIBDIR=lib here: libjpeg-turbo turns a relative one into a path below
    # the current folder. The default is lib anyway (outside /usr, also natively).
    run_logged "$log_file" cmake -S "$tree" -B "$build" -G "Unix Makefiles" \
        "${toolchain[@]}" \
        -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$prefix" \
        "$@"
    run_logged "$log_file" cmake --build "$build" --parallel "$JOBS"
    run_logged "$log_file" cmake --install "$build"
    stray=$(sed -n 's/^-- \(Installing\|Up-to-date\): //p' "$log_file" | grep -v "^$prefix/" || true)
    [[ -z $stray ]] || die "$name installed files outside $prefix:"$'\n'"$stray"
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
    local tree=$BUILD_DIR/openssl log_file=$BUILD_DIR/openssl.log prefix=$CACHE_DIR/openssl
    [[ $KIND == win64 ]] || die "openssl is built for win64 only"
    unpack_source openssl "$tree"
    log "building openssl ${BUILT[openssl]} (log: $log_file)"
    (
        cd "$tree"
        run_logged "$log_file" env CC="$CC_WIN" CXX="$CXX_WIN" AR="$TARGET-ar" \
            RANLIB="$TARGET-ranlib" RC="$TARGET-windres" \
            perl ./Configure mingw64 \
            --prefix="$prefix" --libdir=lib --openssldir="$prefix/ssl" \
            "${OPENSSL_OPTIONS[@]}"
        run_logged "$log_file" make -j"$JOBS" build_libs
        run_logged "$log_file" make install_dev
    )
}

build_libssh2() {
    local tree=$BUILD_DIR/libssh2 crypto=()
    unpack_source libssh2 "$tree"
    log "building libssh2 ${BUILT[libssh2]} (log: $BUILD_DIR/libssh2.log)"
    if [[ $KIND == win64 ]]; then
        crypto=(-DOPENSSL_ROOT_DIR="$CACHE_DIR/openssl" -DOPENSSL_USE_STATIC_LIBS=ON)
    else
        crypto=(-DCMAKE_POSITION_INDEPENDENT_CODE=ON) # the system's OpenSSL; PIE programs
    fi
    cmake_build libssh2 "$tree" \
        -DCRYPTO_BACKEND=OpenSSL \
        -DBUILD_SHARED_LIBS=OFF \
        -DBUILD_STATIC_LIBS=ON \
        -DBUILD_EXAMPLES=OFF \
        -DBUILD_TESTING=OFF \
        -DENABLE_ZLIB_COMPRESSION=OFF \
        "${crypto[@]}"
    grep -q 'OpenSSL' "$BUILD_DIR/libssh2.log" || die "libssh2 did not pick the OpenSSL backend"
}

build_libjpeg_turbo() {
    local tree=$BUILD_DIR/libjpeg-turbo log_file=$BUILD_DIR/libjpeg-turbo.log
    [[ $KIND == win64 ]] || die "libjpeg-turbo is built for win64 only"
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

# Succeeds when static library DIR/LIB/lib/FILE defines SYMBOL.
defines_symbol() {
    local symbols
    symbols=$("$NM" --defined-only "$CACHE_DIR/$1/lib/$2" 2>/dev/null) || return 1
    grep -q " T $3\$" <<<"$symbols"
}

check_installed() {
    local lib=$1 product
    for product in ${PRODUCTS[$lib]}; do
        [[ -f $CACHE_DIR/$lib/lib/$product ]] || die "$CACHE_DIR/$lib/lib/$product is missing after the build"
    done
    case $lib in
    openssl) defines_symbol openssl libcrypto.a OpenSSL_version || die "libcrypto.a lacks OpenSSL_version" ;;
    libssh2)
        defines_symbol libssh2 libssh2.a libssh2_session_handshake || die "libssh2.a lacks libssh2_session_handshake"
        grep -q '#define LIBSSH2_VERSION_NUM  *0x010b01' "$CACHE_DIR/libssh2/include/libssh2.h" ||
            die "$CACHE_DIR/libssh2/include/libssh2.h is not libssh2 1.11.1"
        ;;
    libjpeg-turbo)
        defines_symbol libjpeg-turbo libjpeg.a jpeg_CreateDecompress || die "libjpeg.a lacks jpeg_CreateDecompress (jpeg62 API)"
        ;;
    esac
    # Programs, documentation and openssl.cnf samples are of no use to us.
    rm -rf "${CACHE_DIR:?}/$lib"/{bin,share,ssl}
}

# Builds LIB into DIR/LIB (emptied first) and stamps it.
build_library() {
    local lib=$1 start
    start=$(now)
    fetch_source "$lib"
    rm -rf "${CACHE_DIR:?}/$lib"
    rm -f "$BUILD_DIR/$lib.log"
    mkdir -p "$CACHE_DIR/$lib"
    case $lib in
    openssl) build_openssl ;;
    libssh2) build_libssh2 ;;
    libjpeg-turbo) build_libjpeg_turbo ;;
    esac
    check_installed "$lib"
    TIMES[$lib]=$(($(now) - start))
    write_stamp "$lib"
    rm -rf "${BUILD_DIR:?}/$lib"
    log "$lib ${BUILT[$lib]} installed in ${TIMES[$lib]} s"
}

# --- Cache folder -----------------------------------------------------------
# Marks CACHE_DIR as ours (and ignored by git); refuses a non-empty folder that this script did
# not make, as a rebuild empties its library folders. (.windows-deps: the mark of the script's
# earlier name, whose flat include/, lib/ and stamp are left alone and no longer used.)
claim_cache_dir() {
    if [[ -n "$(ls -A "$CACHE_DIR")" && ! -e $CACHE_DIR/.trevna-deps && ! -e $CACHE_DIR/.windows-deps ]]; then
        die "$CACHE_DIR is not empty and was not made by this script; give another folder"
    fi
    touch "$CACHE_DIR/.trevna-deps"
    printf '*\n' >"$CACHE_DIR/.gitignore"
}

summary() {
    local lib out=()
    for lib in "${LIBRARIES[@]}"; do
        out+=("$lib $(sed -n "s/^$lib //p" "$CACHE_DIR/$lib/stamp" | head -n 1)")
    done
    local IFS=,
    printf '%s' "${out[*]}" | sed 's/,/, /g'
}

# --- Main -------------------------------------------------------------------
usage() {
    awk 'NR > 1 && !/^#/ { exit } NR > 1 { sub(/^# ?/, ""); print }' "${BASH_SOURCE[0]}" >&2
    exit 2
}

main() {
    if [[ ${1:-} == --default-dir ]]; then
        [[ ${2:-} == win64 || ${2:-} == native ]] || usage
        default_dir "$2"
        return 0
    fi
    KIND=${1:-}
    case $KIND in
    win64)
        LIBRARIES=("${LIBRARIES_win64[@]}")
        BUILD_TOOLS=("${BUILD_TOOLS_win64[@]}")
        TARGET_NAME=$TARGET-posix
        NM=$TARGET-nm
        ;;
    native)
        LIBRARIES=("${LIBRARIES_native[@]}")
        BUILD_TOOLS=("${BUILD_TOOLS_native[@]}")
        TARGET_NAME=$(gcc -dumpmachine 2>/dev/null || uname -m)
        NM=nm
        ;;
    *) usage ;;
    esac
    CACHE_DIR=${2:-$(default_dir "$KIND")}
    mkdir -p "$CACHE_DIR"
    CACHE_DIR=$(cd "$CACHE_DIR" && pwd)

    if all_up_to_date; then
        # The libraries are there; a new machine may still lack the cross-compiler that a
        # build using them needs.
        if [[ $KIND == win64 ]] && ! command -v "$CXX_WIN" >/dev/null; then
            ensure_build_tools
        fi
        log "$CACHE_DIR is up to date ($(summary))"
        return 0
    fi

    claim_cache_dir
    WORK_DIR=$(dirname "$CACHE_DIR")/src
    DOWNLOAD_DIR=$WORK_DIR/downloads
    BUILD_DIR=$WORK_DIR/build-$(basename "$CACHE_DIR")
    TOOLCHAIN_FILE=$BUILD_DIR/toolchain.cmake
    mkdir -p "$DOWNLOAD_DIR" "$BUILD_DIR"
    printf '*\n' >"$WORK_DIR/.gitignore"

    # One run at a time per cache folder; a run that waited may find it done.
    exec 9>"$BUILD_DIR/.lock"
    flock 9
    if all_up_to_date; then
        log "$CACHE_DIR is up to date (built by another run)"
        return 0
    fi

    ensure_build_tools
    declare -gA BUILT=() PATCHED=() TIMES=()
    cd "$BUILD_DIR"
    [[ $KIND == win64 ]] && write_toolchain_file
    local lib built=()
    for lib in "${LIBRARIES[@]}"; do
        if lib_up_to_date "$lib"; then
            log "$lib is up to date"
        else
            build_library "$lib"
            built+=("$lib ${TIMES[$lib]} s")
        fi
    done
    log "done: $CACHE_DIR ($(summary)); built now: $(printf '%s, ' "${built[@]}" | sed 's/, $//')"
}

# On one line, so that bash never reads past it (safe to edit while it runs).
main "$@"; exit
