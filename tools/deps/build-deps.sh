#!/bin/bash
# Build the codec libraries the player links against as static Windows
# libraries (i686 or x86_64), from Debian bookworm source packages, into a
# cache prefix of their own per target.
#
#   tools/deps/build-deps.sh [PREFIX]   (default: ~/.cache/vorn/deps/$DEPS_TARGET)
#
# Libraries: libogg, libvorbis (+vorbisfile, vorbisenc), libFLAC (with Ogg
# FLAC), libopus (float), libwavpack, libmpcdec (SV7/SV8) and Apple's ALAC
# reference decoder as carried in libsndfile's src/ALAC.
#
# Environment:
#   DEPS_TARGET   i686-w64-mingw32 (default) or x86_64-w64-mingw32
#   DEPS_CFLAGS   compiler flags (default "-O2 -g0 -D_FORTIFY_SOURCE=0"; no SSE
#                 maths, the player has to run on any i686)
#   DEPS_JOBS     parallel jobs (default: nproc)
#
# Layout:
#   PREFIX/include, PREFIX/lib/lib*.a, PREFIX/lib/pkgconfig/*.pc
#   PREFIX/share/deps-link.txt      the link line for consumers
#   PREFIX/share/deps-versions.txt  source packages used
#   PREFIX/share/licenses/NAME/     licence texts
#   PREFIX/share/deps-stamps/NAME   source package .dsc name + flags; a library
#                                   whose stamp matches is not rebuilt
#   PREFIX.work/                    downloaded sources, build trees and logs
#   PREFIX.lock                     held (flock) for the whole run
#
# Consumers compile with -I$PREFIX/include -DFLAC__NO_DLL and link with
#   -static -L$PREFIX/lib $(cat $PREFIX/share/deps-link.txt)

set -euo pipefail
shopt -s nullglob inherit_errexit

usage() { echo "usage: $0 [PREFIX]" >&2; exit 2; }
[ $# -le 1 ] || usage
case "${1:-}" in -h|--help) usage ;; esac

TARGET=${DEPS_TARGET:-i686-w64-mingw32}
case "$TARGET" in
    i686-w64-mingw32|x86_64-w64-mingw32) ;;
    *) echo "build-deps: unknown DEPS_TARGET $TARGET" >&2; exit 2 ;;
esac
PREFIX=${1:-${XDG_CACHE_HOME:-$HOME/.cache}/vorn/deps/$TARGET}
PREFIX=$(realpath -m -- "$PREFIX")
WORK=$PREFIX.work
STAMPS=$PREFIX/share/deps-stamps

CC=$TARGET-gcc-win32
CXX=$TARGET-g++-win32
AR=$TARGET-ar
RANLIB=$TARGET-ranlib
CFLAGS=${DEPS_CFLAGS:--O2 -g0 -D_FORTIFY_SOURCE=0}
# opus's configure adds -D_FORTIFY_SOURCE=2 unless the macro is already
# defined, and that needs libssp's __memcpy_chk at link time.
case " $CFLAGS " in *_FORTIFY_SOURCE*) ;; *) CFLAGS="$CFLAGS -D_FORTIFY_SOURCE=0" ;; esac
JOBS=${DEPS_JOBS:-$(nproc)}

LINK_LINE="-lvorbisfile -lvorbis -lFLAC -logg -lopus -lwavpack -lmpcdec -lalac -lm"

# Per library: Debian source package, pinned version, archives it installs
# and its licence file.
LIBS=(ogg vorbis flac opus wavpack mpcdec alac)
declare -A SRCPKG=(
    [ogg]=libogg [vorbis]=libvorbis [flac]=flac [opus]=opus
    [wavpack]=wavpack [mpcdec]=libmpc [alac]=libsndfile)
declare -A VERSION=(
    [ogg]=1.3.5-3 [vorbis]=1.3.7-1 [flac]=1.4.2+ds-2 [opus]=1.3.1-3
    [wavpack]=5.6.0-1 [mpcdec]=2:0.1~r495-2 [alac]=1.2.0-1+deb12u1)
declare -A OUTPUTS=(
    [ogg]="libogg.a" [vorbis]="libvorbis.a libvorbisfile.a libvorbisenc.a"
    [flac]="libFLAC.a" [opus]="libopus.a" [wavpack]="libwavpack.a"
    [mpcdec]="libmpcdec.a" [alac]="libalac.a")
declare -A LICENSE=(
    [ogg]=COPYING [vorbis]=COPYING [flac]=COPYING.Xiph [opus]=COPYING
    [wavpack]=COPYING [mpcdec]=libmpcdec/COPYING [alac]=src/ALAC/LICENSE)

log() { printf 'build-deps: %s\n' "$*" >&2; }
die() { log "error: $*"; exit 1; }

# foo_1:2.3-4 -> foo_2.3-4.dsc
pinned_dsc() { local v=${VERSION[$1]}; echo "${SRCPKG[$1]}_${v#*:}.dsc"; }

# The .dsc actually used for NAME. If the pinned version had vanished from
# the archive, the version apt offered instead is recorded in WORK/resolved.
current_dsc() {
    local pin r
    pin=$(pinned_dsc "$1")
    if [ -f "$WORK/resolved/$1" ]; then
        read -r r < "$WORK/resolved/$1" || true
        if [ "${r%% *}" = "$pin" ]; then echo "${r#* }"; return; fi
    fi
    echo "$pin"
}

stamp_text() { printf '%s\n%s\n%s\n' "$(current_dsc "$1")" "$CFLAGS" "$CC"; }

is_current() {
    local f
    [ -f "$STAMPS/$1" ] || return 1
    [ "$(< "$STAMPS/$1")" = "$(stamp_text "$1")" ] || return 1
    for f in ${OUTPUTS[$1]}; do [ -f "$PREFIX/lib/$f" ] || return 1; done
}

# The lock is fd 9; the commands that do the work run with it closed, so a
# helper process that outlives them cannot keep holding it.
mkdir -p "$(dirname "$PREFIX")"
exec 9> "$PREFIX.lock"
if ! flock -n 9; then
    log "waiting for another build holding $PREFIX.lock"
    flock 9
fi

TODO=()
for n in "${LIBS[@]}"; do is_current "$n" || TODO+=("$n"); done

write_if_changed() {   # FILE, content on stdin
    local tmp
    tmp=$(mktemp "$1.XXXXXX")
    cat > "$tmp"
    if [ -f "$1" ] && cmp -s "$tmp" "$1"; then rm -f "$tmp"; else chmod 644 "$tmp"; mv -f "$tmp" "$1"; fi
}

finish() {
    mkdir -p "$PREFIX/share"
    {
        echo "# Codec libraries in $PREFIX"
        echo "# compiler: $CC ($("$CC" -dumpfullversion 2>/dev/null || echo '?')), CFLAGS: $CFLAGS"
        for n in "${LIBS[@]}"; do cat "$STAMPS/$n.info"; done
    } | write_if_changed "$PREFIX/share/deps-versions.txt"
    echo "$LINK_LINE" | write_if_changed "$PREFIX/share/deps-link.txt"
}

if [ ${#TODO[@]} -eq 0 ]; then
    if [ ! -f "$PREFIX/share/deps-versions.txt" ] || [ ! -f "$PREFIX/share/deps-link.txt" ]; then finish; fi
    exit 0
fi

# ---------------------------------------------------------------- slow path

for tool in "$CC" "$CXX" "$AR" "$RANLIB" apt-get dpkg-source dpkg-architecture make pkg-config tar xz bzip2 sha256sum; do
    command -v "$tool" > /dev/null || die "missing tool: $tool"
done

BUILD_TRIPLET=$(dpkg-architecture -qDEB_BUILD_GNU_TYPE)
mkdir -p "$WORK/src" "$WORK/build" "$WORK/logs" "$WORK/resolved" "$STAMPS" \
         "$PREFIX/include" "$PREFIX/lib/pkgconfig" "$PREFIX/share/licenses"
log "building ${TODO[*]} into $PREFIX (CFLAGS: $CFLAGS, -j$JOBS)"

# Keep the caller's build settings out of the configure scripts and makes.
unset CPPFLAGS CXXFLAGS LDFLAGS LIBS_FOR_BUILD DESTDIR MAKEFLAGS MFLAGS MAKELEVEL \
      PKG_CONFIG_SYSROOT_DIR CONFIG_SITE LD_RUN_PATH
export CC CXX AR RANLIB CFLAGS
export CXXFLAGS=$CFLAGS
export CPPFLAGS="-I$PREFIX/include"
export LDFLAGS="-L$PREFIX/lib"
export PKG_CONFIG_LIBDIR=$PREFIX/lib/pkgconfig PKG_CONFIG_PATH=
export LC_ALL=C

# Files a .dsc lists (Checksums-Sha256 section): "sha256 size name" lines.
dsc_files() {
    awk '/^Checksums-Sha256:/ {s=1; next} s && /^ / {print $1, $3; next} {s=0}' "$1"
}

have_all_files() {   # DSC
    local sum f
    [ -f "$WORK/src/$1" ] || return 1
    while read -r sum f; do [ -f "$WORK/src/$f" ] || return 1; done < <(dsc_files "$WORK/src/$1")
}

# libmpc's Debian packaging tarball is missing from the archive; its
# upstream tarball alone is enough (see unpack).
usable_download() {   # NAME
    local dsc
    dsc=$(current_dsc "$1")
    have_all_files "$dsc" && return 0
    [ "$1" = mpcdec ] && [ -f "$WORK/src/$dsc" ] || return 1
    local sum f
    while read -r sum f; do
        case "$f" in *.orig.tar.*) [ -f "$WORK/src/$f" ] && return 0 ;; esac
    done < <(dsc_files "$WORK/src/$dsc")
    return 1
}

apt_source() {   # package=version...
    (cd "$WORK/src" && apt-get source --download-only -o APT::Sandbox::User=root "$@") \
        >> "$WORK/logs/download.log" 2>&1 9>&-
}

download() {
    local n need=() pin
    for n in "${TODO[@]}"; do usable_download "$n" || need+=("$n"); done
    [ ${#need[@]} -eq 0 ] && return 0
    log "downloading sources: ${need[*]}"
    local wanted=()
    for n in "${need[@]}"; do wanted+=("${SRCPKG[$n]}=${VERSION[$n]}"); done
    # One apt call for everything; failures are sorted out per package below.
    apt_source "${wanted[@]}" || true
    for n in "${need[@]}"; do
        pin=$(pinned_dsc "$n")
        usable_download "$n" && continue
        if [ -f "$WORK/src/$pin" ]; then
            # The .dsc came but some file of it did not: try once more.
            apt_source "${SRCPKG[$n]}=${VERSION[$n]}" || true
            usable_download "$n" || die "incomplete download of $pin (see $WORK/logs/download.log)"
            continue
        fi
        local versions v ver=""
        versions=$(apt-cache showsrc "${SRCPKG[$n]}" 2>/dev/null | awk '/^Version:/ {print $2}' || true)
        if grep -qxF -- "${VERSION[$n]}" <<< "$versions"; then
            apt_source "${SRCPKG[$n]}=${VERSION[$n]}" || true
            [ -f "$WORK/src/$pin" ] || die "could not download ${SRCPKG[$n]} ${VERSION[$n]} (see $WORK/logs/download.log)"
            continue
        fi
        # The pinned version is gone from the archive (superseded by an
        # update): take the newest one apt offers now and say so.
        for v in $versions; do
            if [ -z "$ver" ] || dpkg --compare-versions "$v" gt "$ver"; then ver=$v; fi
        done
        [ -n "$ver" ] || die "no source package ${SRCPKG[$n]}: is a deb-src entry configured and 'apt-get update' done?"
        log "warning: ${SRCPKG[$n]} ${VERSION[$n]} is no longer available, using $ver"
        apt_source "${SRCPKG[$n]}=$ver" || true
        echo "$pin ${SRCPKG[$n]}_${ver#*:}.dsc" > "$WORK/resolved/$n"
        usable_download "$n" || die "could not download ${SRCPKG[$n]} $ver (see $WORK/logs/download.log)"
    done
}

# Unpack NAME's source into $WORK/build/NAME; prints a note for the versions
# file when the Debian patches could not be applied.
unpack() {
    local n=$1 dsc dir sum f orig=""
    dsc=$(current_dsc "$n")
    dir=$WORK/build/$n
    rm -rf "$dir"
    if have_all_files "$dsc"; then
        dpkg-source --no-copy -x "$WORK/src/$dsc" "$dir" >> "$logf" 2>&1 9>&-
        return 0
    fi
    [ "$n" = mpcdec ] || die "incomplete download for $dsc"
    # libmpc: Debian's packaging tarball is not on the mirror. Build from the
    # upstream tarball after checking it against the .dsc.
    while read -r sum f; do
        case "$f" in *.orig.tar.*) orig=$f ;; *) continue ;; esac
        [ -f "$WORK/src/$f" ] || die "missing $f"
        echo "$sum  $WORK/src/$f" | sha256sum -c --quiet - || die "checksum mismatch: $f"
    done < <(dsc_files "$WORK/src/$dsc")
    [ -n "$orig" ] || die "no upstream tarball listed in $dsc"
    mkdir -p "$dir"
    tar -xf "$WORK/src/$orig" -C "$dir" --strip-components=1
    echo "upstream tarball only, Debian patches not applied"
}

configure_std() {
    ./configure --host=$TARGET --build="$BUILD_TRIPLET" --prefix="$PREFIX" \
        --disable-shared --enable-static --disable-dependency-tracking "$@"
}

# Compile C files in parallel into $OBJ; a failing file fails xargs.
compile_all() {   # extra flags..., then "--", then sources
    local flags=()
    while [ "$1" != -- ]; do flags+=("$1"); shift; done
    shift
    export OBJ
    # shellcheck disable=SC2016 # expanded by the inner bash
    printf '%s\0' "$@" | xargs -0 -P "$JOBS" -n 1 bash -c '
        set -e
        src=${!#}; set -- "${@:1:$#-1}"
        echo "$CC $CFLAGS $* -c $src"
        $CC $CFLAGS "$@" -c "$src" -o "$OBJ/$(basename "$src" .c).o"' compile "${flags[@]}"
}

build_ogg() {
    configure_std
    make -j"$JOBS" -C src libogg.la
    make -C src install-libLTLIBRARIES
    make -C include install
    make install-pkgconfigDATA
}

build_vorbis() {
    configure_std --disable-docs --disable-examples --disable-oggtest
    make -j"$JOBS" -C lib libvorbis.la libvorbisfile.la libvorbisenc.la
    make -C lib install-libLTLIBRARIES
    make -C include install
    make install-pkgconfigDATA
}

build_flac() {
    configure_std --disable-programs --disable-examples --disable-doxygen-docs \
        --disable-cpplibs --disable-stack-smash-protection --disable-fortify-source \
        --disable-thorough-tests --disable-oggtest --disable-version-from-git --disable-rpath
    grep -q '^#define FLAC__HAS_OGG 1' config.h || { echo "libFLAC configured without Ogg support"; return 1; }
    make -j"$JOBS" -C src/libFLAC libFLAC.la
    make -C src/libFLAC install-libLTLIBRARIES install-pkgconfigDATA
    make -C include/FLAC install
}

build_opus() {
    configure_std --disable-doc --disable-extra-programs --disable-stack-protector
    grep -q '^#define FIXED_POINT' config.h && { echo "libopus configured for fixed point"; return 1; }
    make -j"$JOBS" libopus.la
    make install-libLTLIBRARIES install-pkgincludeHEADERS install-pkgconfigDATA
}

build_wavpack() {
    configure_std --disable-apps --disable-rpath
    make -j"$JOBS" src/libwavpack.la
    make install-libLTLIBRARIES install-pkgincludeHEADERS install-pkgconfigDATA
}

build_mpcdec() {
    # Same file list as libmpcdec/CMakeLists.txt. r495's configure.in is too
    # old for current autotools, so no configure step.
    OBJ=$PWD/obj; mkdir -p "$OBJ"
    compile_all -Iinclude -- libmpcdec/{huffman,mpc_decoder,mpc_reader,requant,streaminfo,synth_filter,mpc_bits_reader,mpc_demux}.c common/crc32.c
    rm -f libmpcdec.a
    "$AR" rc libmpcdec.a "$OBJ"/*.o
    "$RANLIB" libmpcdec.a
    install -d "$PREFIX/include/mpc"
    install -m 644 include/mpc/*.h "$PREFIX/include/mpc/"
    install -m 644 libmpcdec.a "$PREFIX/lib/"
    cat > "$PREFIX/lib/pkgconfig/mpcdec.pc" <<EOF
prefix=$PREFIX
exec_prefix=\${prefix}
libdir=\${exec_prefix}/lib
includedir=\${prefix}/include

Name: libmpcdec
Description: Musepack SV7/SV8 decoder library (r495)
Version: 0.1~r495
Libs: -L\${libdir} -lmpcdec
Libs.private: -lm
Cflags: -I\${includedir}
EOF
}

build_alac() {
    # Apple's ALAC decoder as carried by libsndfile; it only needs
    # sfendian.h and a few configuration macros from libsndfile.
    OBJ=$PWD/alac-obj; mkdir -p "$OBJ" alac-inc
    cp src/sfendian.h alac-inc/
    cat > alac-inc/sfconfig.h <<'EOF'
#define CPU_IS_LITTLE_ENDIAN 1
#define CPU_IS_BIG_ENDIAN 0
#define CPU_IS_X86 1
#define CPU_IS_X86_64 0
#define COMPILER_IS_GCC 1
#define HAVE_BYTESWAP_H 0
EOF
    compile_all -Ialac-inc -Isrc/ALAC -- src/ALAC/{ALACBitUtilities,ag_dec,dp_dec,matrix_dec,alac_decoder}.c
    rm -f libalac.a
    "$AR" rc libalac.a "$OBJ"/*.o
    "$RANLIB" libalac.a
    install -d "$PREFIX/include/alac"
    install -m 644 src/ALAC/alac_codec.h src/ALAC/ALACAudioTypes.h src/ALAC/ALACBitUtilities.h \
        alac-inc/sfendian.h alac-inc/sfconfig.h "$PREFIX/include/alac/"
    install -m 644 libalac.a "$PREFIX/lib/"
    cat > "$PREFIX/lib/pkgconfig/alac.pc" <<EOF
prefix=$PREFIX
exec_prefix=\${prefix}
libdir=\${exec_prefix}/lib
includedir=\${prefix}/include

Name: alac
Description: Apple Lossless (ALAC) reference decoder, from libsndfile
Version: 1.2.0
Libs: -L\${libdir} -lalac
Cflags: -I\${includedir}
EOF
}

download

for n in "${TODO[@]}"; do
    start=$SECONDS
    rm -f "$STAMPS/$n" "$STAMPS/$n.info"
    logf=$WORK/logs/$n.log
    : > "$logf"
    note=$(unpack "$n")
    # set -e only works in the subshell if it is not part of a condition,
    # so take its status separately.
    set +e
    (
        set -euo pipefail
        cd "$WORK/build/$n"
        "build_$n"
        install -d "$PREFIX/share/licenses/$n"
        install -m 644 "${LICENSE[$n]}" "$PREFIX/share/licenses/$n/"
    ) >> "$logf" 2>&1 9>&-
    rc=$?
    set -e
    if [ $rc -ne 0 ]; then
        tail -n 30 "$logf" >&2
        die "$n failed (full log: $logf, sources: $WORK/build/$n)"
    fi
    rm -f "$PREFIX"/lib/*.la
    dsc=$(current_dsc "$n")
    ver=$(awk '/^Version:/ {print $2; exit}' "$WORK/src/$dsc")
    printf '%s\t%s\t%s\t%s%s\n' "$n" "${SRCPKG[$n]}" "$ver" "$dsc" "${note:+	($note)}" > "$STAMPS/$n.info"
    stamp_text "$n" > "$STAMPS/$n"
    rm -rf "$WORK/build/$n"
    log "$n done ($((SECONDS - start)) s)"
done

finish
log "all libraries are in $PREFIX"
