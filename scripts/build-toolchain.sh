#!/usr/bin/env bash
# Builds the device toolchain, CeGCC's arm-mingw32ce cross toolchain (Windows CE on ARM), from
# the CeGCC project's own sources at a pinned revision, and packs it as the archive that
# ../shared/toolchains/ holds: arm-mingw32ce-toolchain.tar.xz with mingw32ce/ inside.
#
#   scripts/build-toolchain.sh [--source URL|DIR] [--revision COMMIT] [--output FILE]
#                              [--work DIR] [--unpack]
#
#   --source    where the CeGCC sources come from: a git URL (cloned into the work folder),
#               a local git checkout or a bare git directory (default: $MIRROR if set,
#               else https://github.com/svn2github/cegcc, the git mirror of CeGCC's svn)
#   --revision  the commit to build (default: the pinned one below, svn trunk r1449)
#   --output    the archive to write (default: build/arm-mingw32ce-toolchain.tar.xz)
#   --work      the build folder, wiped step by step (default: build/toolchain)
#   --unpack    also unpack the archive into build/mingw32ce, for CEGCC_ROOT
#
# Components, in the order of CeGCC's own src/scripts/build-mingw32ce.sh: binutils (a snapshot
# just after 2.20) -> bootstrap gcc 4.4.0 (C only, libgcc.a) -> the mingw32ce C run-time ->
# w32api (headers and import libraries) -> gcc 4.4.0 with C and C++ -> strip -> archive, which
# is checked by building a small GUI program with a copy unpacked elsewhere. Two fixes are
# applied to the sources (../shared/toolchains/README.md): ld writes the import address
# table's data directory entry as an address relative to the image base, and shellapi.h
# declares Windows CE's Shell_NotifyIcon. Made for Debian 12 on x86-64 (host gcc 12); about
# 10 minutes on 2 idle cores, 25 when others build beside it (JOBS, default: the number of
# cores). Installs what it needs (as root, with apt-get). Each step's output is kept in
# WORK/logs/, with the steps' times in WORK/logs/timings.txt; a failed step shows the end of
# its log. Not part of CI, which unpacks the archive from ../shared/toolchains/.
#
# The toolchain's files hold the paths of its build: the compiler drivers name the folder it
# was installed into (they find their parts relative to themselves all the same), libstdc++'s
# anonymous namespaces and debug.cc's __FILE__ the source folder, and the archive members
# their dates. So this archive is not byte for byte the shared one (built in /tmp/cegcc-work
# into /opt/mingw32ce), but velmot.exe and conformance.exe built with either are the same
# bytes, apart from the link's and windres's timestamps.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

# The pinned revision: the last commit of the git mirror of CeGCC's svn trunk (r1449,
# 2010-03-20), the one that ../shared/toolchains/build-toolchain.sh built.
DEFAULT_SOURCE=https://github.com/svn2github/cegcc
DEFAULT_REVISION=1dff32ff6009f2a678618a373098ff332916d251

usage() {
    sed -n '6,15p' "$root/scripts/build-toolchain.sh" | sed 's/^# \{0,1\}//'
}

die() {
    echo "build-toolchain.sh: $*" >&2
    exit 1
}

# Paths given on the command line are taken from the caller's current folder.
absolute() {
    case "$1" in
    /*) echo "$1" ;;
    *) echo "$PWD/$1" ;;
    esac
}

source_arg=${MIRROR:-$DEFAULT_SOURCE}
revision=$DEFAULT_REVISION
output=$root/build/arm-mingw32ce-toolchain.tar.xz
work=$root/build/toolchain
unpack=0
while [ $# -gt 0 ]; do
    case "$1" in
    --source | --revision | --output | --work)
        [ $# -ge 2 ] || die "$1 needs a value"
        case "$1" in
        --source) source_arg=$2 ;;
        --revision) revision=$2 ;;
        --output) output=$(absolute "$2") ;;
        --work) work=$(absolute "$2") ;;
        esac
        shift 2
        ;;
    --unpack)
        unpack=1
        shift
        ;;
    -h | --help)
        usage
        exit 0
        ;;
    *)
        usage >&2
        die "unknown argument: $1"
        ;;
    esac
done
case "$source_arg" in
*://* | git@*) ;;
*)
    source_arg=$(absolute "$source_arg")
    [ -d "$source_arg" ] || die "--source $source_arg is neither a folder nor a git URL"
    ;;
esac

cd "$root"
source scripts/packages.sh

JOBS=${JOBS:-$(nproc)}
TARGET=arm-mingw32ce
GCCVER=4.4.0
BUILD_TRIPLET=x86_64-unknown-linux-gnu
# The toolchain is installed into PREFIX and packed under PREFIX's name, mingw32ce/.
PREFIX=$work/install/mingw32ce
SRCROOT=$work/src
SRC=$SRCROOT/cegcc/src
BLD=$work/build
LOGS=$work/logs

# Host compiler flags for the 2009 sources of binutils and gcc under gcc 12: -fcommon (gcc 10
# and later default to -fno-common, and the old sources define the same globals in several
# files), -fgnu89-inline -std=gnu89 (they rely on GNU89 'extern inline'), -Wno-error.
HOST_CFLAGS="-O2 -fcommon -fgnu89-inline -std=gnu89 -Wno-error"
# The target libraries are built by the new cross gcc 4.4: the host-only flags stay away.
TARGET_FLAGS="CFLAGS_FOR_TARGET=-O2 CXXFLAGS_FOR_TARGET=-O2"
# No manuals: makeinfo 6.8 is not the 4.x that these trees expect.
NODOCS="MAKEINFO=true"

[ "$(uname -m)" = x86_64 ] || die "made for an x86-64 host (Debian 12); this one is $(uname -m)"

# Usage: run NAME COMMAND...
# Runs COMMAND with its output in LOGS/NAME.log and records its time; on a failure shows the
# end of the log and stops.
run() {
    local name=$1
    shift
    local t0
    t0=$(date +%s)
    # A background job and wait, not 'if COMMAND': an 'if' turns 'set -e' off inside the
    # shell functions that COMMAND may be.
    ("$@") >"$LOGS/$name.log" 2>&1 &
    if ! wait $!; then
        echo "FAILED: $name; the end of $LOGS/$name.log:" >&2
        tail -40 "$LOGS/$name.log" >&2
        exit 1
    fi
    echo "   $name: $(($(date +%s) - t0)) s" | tee -a "$LOGS/timings.txt"
}

fresh_dir() {
    rm -rf "$1"
    mkdir -p "$1"
}

step() {
    echo "==> $*"
}

# The git directory with the sources: the given local one, or a bare clone of the URL in the
# work folder (kept between runs).
git_dir_of_source() {
    if [ -d "$source_arg" ]; then
        git -C "$source_arg" rev-parse --absolute-git-dir 2>/dev/null ||
            die "--source $source_arg is not a git checkout or git directory"
        return
    fi
    case "$source_arg" in
    *://* | git@*) ;;
    *) die "--source $source_arg is neither a folder nor a git URL" ;;
    esac
    local clone=$work/cegcc.git
    if [ ! -d "$clone" ] || [ "$(git --git-dir="$clone" config remote.origin.url)" != "$source_arg" ]; then
        rm -rf "$clone"
        echo "   cloning $source_arg into $clone (about 170 MB)" >&2
        git clone --quiet --bare "$source_arg" "$clone" >&2 ||
            die "could not clone $source_arg; without network access give a local git directory of the CeGCC sources (--source or MIRROR)"
    fi
    echo "$clone"
}

step_sources() {
    local git_dir
    git_dir=$(git_dir_of_source)
    git --git-dir="$git_dir" cat-file -e "$revision^{commit}" 2>/dev/null ||
        die "the revision $revision is not in $git_dir ($source_arg)"
    echo "   $source_arg at $(git --git-dir="$git_dir" log -1 --format='%H (%ci)' "$revision^{commit}")"
    echo "$source_arg $revision" >"$LOGS/source.txt"
    fresh_dir "$SRCROOT"
    # Three files that no ARM build uses (m32c opcodes, gcc's MD5SUMS, x86 libbid) are left
    # out: the GitHub mirror serves them as missing blobs. git prints "invalid object" for
    # one of them and exits 0.
    run sources-extract bash -c "set -o pipefail; git --git-dir='$git_dir' archive --format=tar \
        '$revision' cegcc/src \
        ':(exclude)cegcc/src/binutils/opcodes/m32c-desc.c' \
        ':(exclude)cegcc/src/gcc-4.4.0/MD5SUMS' \
        ':(exclude)cegcc/src/gcc-4.4.0/libgcc/config/libbid/bid_binarydecimal.c' \
        | tar -x -C '$SRCROOT'"
    local part
    for part in binutils gcc-4.4.0 mingw w32api; do
        [ -x "$SRC/$part/configure" ] || die "the sources lack cegcc/src/$part/configure"
    done

    # Fix 1 (ld): the snapshot wrote the import address table's data directory entry (12) as
    # an absolute address (0x13xxx), not relative to the image base.
    cat >"$work/peXXigen-iat-rva.patch" <<'EOF'
--- binutils/bfd/peXXigen.c.orig
+++ binutils/bfd/peXXigen.c
@@ -2375,7 +2375,8 @@
 	  pe_data (abfd)->pe_opthdr.DataDirectory[PE_IMPORT_ADDRESS_TABLE].VirtualAddress =
 	    (h1->root.u.def.value
 	    + h1->root.u.def.section->output_section->vma
-	    + h1->root.u.def.section->output_offset);
+	    + h1->root.u.def.section->output_offset
+	    - pe_data (abfd)->pe_opthdr.ImageBase);
 	  
 	  h1 = coff_link_hash_lookup (coff_hash_table (info),
 				      "__idata5_end__", FALSE, FALSE, TRUE);
@@ -2386,7 +2387,8 @@
 	      pe_data (abfd)->pe_opthdr.DataDirectory[PE_IMPORT_ADDRESS_TABLE].Size =
 	        ((h1->root.u.def.value
 		  + h1->root.u.def.section->output_section->vma
-		  + h1->root.u.def.section->output_offset)
+		  + h1->root.u.def.section->output_offset
+		  - pe_data (abfd)->pe_opthdr.ImageBase)
 		 - pe_data (abfd)->pe_opthdr.DataDirectory[PE_IMPORT_ADDRESS_TABLE].VirtualAddress);
 	    }
 	  else
EOF
    # Fix 2 (w32api): shellapi.h maps Shell_NotifyIcon to Shell_NotifyIconW, but COREDLL
    # (libce/coredll.def) exports the Unicode function as Shell_NotifyIcon.
    cat >"$work/shellapi-wince.patch" <<'EOF'
--- w32api/include/shellapi.h.orig
+++ w32api/include/shellapi.h
@@ -308,7 +308,13 @@
 HINSTANCE WINAPI FindExecutableW(LPCWSTR,LPCWSTR,LPWSTR);
 UINT WINAPI SHAppBarMessage(DWORD,PAPPBARDATA);
 BOOL WINAPI Shell_NotifyIconA(DWORD,PNOTIFYICONDATAA);
+#ifndef _WIN32_WCE
 BOOL WINAPI Shell_NotifyIconW(DWORD,PNOTIFYICONDATAW);
+#else
+/* Windows CE (coredll.dll) exports the Unicode function as Shell_NotifyIcon. */
+BOOL WINAPI Shell_NotifyIcon(DWORD,PNOTIFYICONDATAW);
+#define Shell_NotifyIconW Shell_NotifyIcon
+#endif
 int WINAPI ShellAboutA(HWND,LPCSTR,LPCSTR,HICON);
 int WINAPI ShellAboutW(HWND,LPCWSTR,LPCWSTR,HICON);
 #ifndef _WIN32_WCE
@@ -366,7 +372,9 @@
 #define ExtractIcon ExtractIconW
 #define ExtractIconEx ExtractIconExW
 #define FindExecutable FindExecutableW
+#ifndef _WIN32_WCE
 #define Shell_NotifyIcon Shell_NotifyIconW
+#endif
 #define ShellAbout ShellAboutW
 #ifndef _WIN32_WCE
 #define ShellExecute ShellExecuteW
EOF
    run patch-ld-iat patch -p0 -d "$SRC" -i "$work/peXXigen-iat-rva.patch"
    run patch-shellapi patch -p0 -d "$SRC" -i "$work/shellapi-wince.patch"
}

step_binutils() {
    local b=$BLD/binutils
    fresh_dir "$b"
    cd "$b"
    run binutils-configure env CFLAGS="$HOST_CFLAGS" "$SRC/binutils/configure" \
        --prefix="$PREFIX" --host=$BUILD_TRIPLET --target=$TARGET --disable-nls \
        --disable-werror $NODOCS
    run binutils-make make -j"$JOBS" $NODOCS
    run binutils-install make install $NODOCS
}

step_bootstrap_gcc() {
    local b=$BLD/gcc-bootstrap
    fresh_dir "$b"
    cd "$b"
    # The flags of CeGCC's build_bootstrap_gcc, with --disable-werror, the host flags, no
    # manuals.
    run gccboot-configure env CFLAGS="$HOST_CFLAGS" CXXFLAGS="-O2" "$SRC/gcc-4.4.0/configure" \
        --with-gcc --with-gnu-ld --with-gnu-as --target=$TARGET --build=$BUILD_TRIPLET \
        --host=$BUILD_TRIPLET --prefix="$PREFIX" --disable-threads --disable-nls \
        --enable-languages=c --disable-win32-registry --disable-multilib --disable-shared \
        --disable-interwork --without-newlib --enable-checking --disable-werror \
        $TARGET_FLAGS $NODOCS
    run gccboot-all-gcc env CFLAGS="$HOST_CFLAGS" CXXFLAGS="-O2" make -j"$JOBS" all-gcc $NODOCS
    run gccboot-configure-libgcc make configure-target-libgcc
    run gccboot-install-gcc make install-gcc $NODOCS
    # libgcc.a only (there is no run-time yet); it finds the CE headers in the sources' mingw/
    # and w32api/.
    cd "$b/$TARGET/libgcc"
    run gccboot-libgcc env -u CFLAGS -u CXXFLAGS make -j"$JOBS" libgcc.a
    run gccboot-install-libgcc install -c -m 644 libgcc.a "$PREFIX/lib/gcc/$TARGET/$GCCVER/"
}

step_mingw() {
    local b=$BLD/mingw
    fresh_dir "$b"
    cd "$b"
    # Target code, built by the bootstrap compiler with CeGCC's default flags (-O2 -g).
    run mingw-configure env -u CFLAGS -u CXXFLAGS "$SRC/mingw/configure" \
        --build=$BUILD_TRIPLET --host=$TARGET --target=$TARGET --prefix="$PREFIX"
    run mingw-make env -u CFLAGS -u CXXFLAGS make -j"$JOBS"
    run mingw-install make install
}

step_w32api() {
    local b=$BLD/w32api
    fresh_dir "$b"
    cd "$b"
    run w32api-configure env -u CFLAGS -u CXXFLAGS "$SRC/w32api/configure" --host=$TARGET \
        --prefix="$PREFIX"
    run w32api-make env -u CFLAGS -u CXXFLAGS make -j"$JOBS"
    run w32api-install make install
    # cegcc.h, made as CeGCC's build_w32api makes it (version 0.55.999, "SVN").
    local in=$SRC/w32api/include/cegcc.h.in out=$PREFIX/$TARGET/include/cegcc.h l1 l2
    l1=$(grep -n "Automatic changes below" "$in" | cut -d: -f1)
    l2=$(grep -n "Automatic changes above" "$in" | cut -d: -f1)
    {
        head -"$l1" "$in"
        echo "#define   __CEGCC_VERSION_MAJOR__  0"
        echo "#define   __CEGCC_VERSION_MINOR__  55"
        echo "#define   __CEGCC_VERSION_PATCHLEVEL__  999"
        echo "#define   __CEGCC_BUILD_DATE__ $(date +%Y%m%d)"
        tail -n +"$l2" "$in"
    } >"$out"
}

step_gcc() {
    local b=$BLD/gcc
    fresh_dir "$b"
    cd "$b"
    # The flags of CeGCC's build_gcc for gcc 4.4.0, with --disable-werror, the host flags, no
    # manuals.
    run gcc-configure env CFLAGS="$HOST_CFLAGS" CXXFLAGS="-O2" "$SRC/gcc-4.4.0/configure" \
        --with-gcc --with-gnu-ld --with-gnu-as --build=$BUILD_TRIPLET --target=$TARGET \
        --host=$BUILD_TRIPLET --prefix="$PREFIX" --enable-threads=win32 --disable-nls \
        --enable-languages=c,c++ --disable-win32-registry --disable-multilib \
        --disable-interwork --without-newlib --enable-checking --with-headers \
        --disable-__cxa_atexit --disable-werror $TARGET_FLAGS $NODOCS
    run gcc-make env CFLAGS="$HOST_CFLAGS" CXXFLAGS="-O2" make -j"$JOBS" $NODOCS
    run gcc-install make install $NODOCS
}

strip_all() {
    local f kind t
    # Host programs (ELF) with the system's strip, target DLLs with the new cross strip.
    while IFS= read -r -d '' f; do
        kind=$(file -b "$f")
        case "$kind" in
        ELF*) strip "$f" ;;
        PE32*) "$PREFIX/bin/$TARGET-strip" --strip-debug "$f" ;;
        esac
    done < <(find "$PREFIX/bin" "$PREFIX/libexec" "$PREFIX/$TARGET/bin" -type f -print0)
    # The host's static library (libiberty.a) with the system's strip.
    find "$PREFIX/lib" -maxdepth 1 -name '*.a' -exec strip --strip-debug {} +
    # Target objects and libraries: only the debugging information goes (linking needs the
    # symbols).
    find "$PREFIX/$TARGET/lib" "$PREFIX/lib/gcc/$TARGET" -type f \( -name '*.a' -o -name '*.o' \) \
        -exec "$PREFIX/bin/$TARGET-strip" --strip-debug {} +
    find "$PREFIX/$TARGET/lib" "$PREFIX/lib/gcc/$TARGET" -type f -name '*.a' \
        -exec "$PREFIX/bin/$TARGET-ranlib" {} \;
    # strip rewrote the hard-linked copies (bin/arm-mingw32ce-X and arm-mingw32ce/bin/X) as
    # separate files: link them again.
    if cmp -s "$PREFIX/bin/$TARGET-gcc" "$PREFIX/bin/$TARGET-gcc-$GCCVER"; then
        ln -f "$PREFIX/bin/$TARGET-gcc" "$PREFIX/bin/$TARGET-gcc-$GCCVER"
    fi
    if cmp -s "$PREFIX/bin/$TARGET-g++" "$PREFIX/bin/$TARGET-c++"; then
        ln -f "$PREFIX/bin/$TARGET-g++" "$PREFIX/bin/$TARGET-c++"
    fi
    for t in ar as dlltool ld nm objcopy objdump ranlib strip gcc g++ c++; do
        if [ -f "$PREFIX/$TARGET/bin/$t" ] &&
            cmp -s "$PREFIX/bin/$TARGET-$t" "$PREFIX/$TARGET/bin/$t"; then
            ln -f "$PREFIX/bin/$TARGET-$t" "$PREFIX/$TARGET/bin/$t"
        fi
    done
}

# Usage: smoke_test TOOLCHAIN_DIR
# Builds a small GUI program with a dialog resource with that toolchain alone and checks that
# it is a Windows CE ARM image importing from COREDLL.dll.
smoke_test() {
    local tc=$1 d
    d=$(mktemp -d "$work/smoke.XXXXXX")
    cat >"$d/smoke.cpp" <<'EOF'
#include <windows.h>
int WINAPI WinMain(HINSTANCE i, HINSTANCE p, LPWSTR c, int s) { return MessageBoxW(NULL, c, L"smoke", MB_OK) == IDOK ? 0 : 1; }
EOF
    cat >"$d/smoke.rc" <<'EOF'
#include <windows.h>
100 DIALOG 0, 0, 100, 40
STYLE WS_POPUP | WS_CAPTION
CAPTION "smoke"
BEGIN
    DEFPUSHBUTTON "OK", IDOK, 25, 12, 50, 14
END
EOF
    (
        export PATH="$tc/bin:$PATH"
        cd "$d"
        $TARGET-g++ -O2 -fno-exceptions -fno-rtti -D_WIN32_WCE=0x300 -c smoke.cpp -o smoke.o
        $TARGET-windres smoke.rc -O coff -o smoke.res.o
        $TARGET-g++ smoke.o smoke.res.o -o smoke.exe
        $TARGET-objdump -p smoke.exe | grep -q 'file format pei-arm-wince-little'
        $TARGET-objdump -p smoke.exe | grep -q 'DLL Name: COREDLL.dll'
    )
    rm -rf "$d"
}

step_archive() {
    mkdir -p "$(dirname "$output")"
    run archive env XZ_OPT="-6 -T$JOBS" tar -C "$(dirname "$PREFIX")" -cJf "$output.part" \
        "$(basename "$PREFIX")"
    mv -f "$output.part" "$output"
    # The relocation check: a copy unpacked elsewhere builds on its own.
    local r
    r=$(mktemp -d "$work/relocated.XXXXXX")
    run relocated-unpack tar -C "$r" -xJf "$output"
    run relocated-smoke-test smoke_test "$r/mingw32ce"
    rm -rf "$r"
}

step_unpack() {
    local dest=$root/build/mingw32ce
    if [ -e "$dest" ] && [ ! -e "$dest/bin/$TARGET-g++" ] && [ -n "$(ls -A "$dest")" ]; then
        die "$dest is not empty and holds no $TARGET toolchain; not replacing it"
    fi
    rm -rf "$dest"
    run unpack tar -C "$root/build" -xJf "$output"
}

t_start=$(date +%s)
mkdir -p "$work"
fresh_dir "$LOGS"
: >"$LOGS/timings.txt"
export PATH="$PREFIX/bin:$PATH"
echo "Building CeGCC's $TARGET toolchain in $work (logs in $LOGS, $JOBS jobs)"

step "[1/9] Installing what the build needs"
# bison and flex for ld's and gcc's parsers, texinfo and m4 which the old trees look for, GMP
# and MPFR for gcc 4.4, git to read the sources, patch, file, xz for the archive.
need_packages build-essential bison flex texinfo m4 libgmp-dev libmpfr-dev git patch file \
    xz-utils

step "[2/9] Taking the CeGCC sources at $revision and applying the two fixes"
step_sources
fresh_dir "$BLD"
fresh_dir "$PREFIX"

step "[3/9] Building binutils"
step_binutils
step "[4/9] Building the bootstrap gcc $GCCVER, C only"
step_bootstrap_gcc
step "[5/9] Building the mingw32ce C run-time"
step_mingw
step "[6/9] Building w32api, the headers and import libraries"
step_w32api
step "[7/9] Building gcc $GCCVER with C and C++, libgcc and libstdc++ (the longest step)"
step_gcc
step "[8/9] Stripping the toolchain and building a test program with it"
run strip strip_all
run smoke-test smoke_test "$PREFIX"
step "[9/9] Packing $output and building with a copy unpacked elsewhere"
step_archive
if [ "$unpack" = 1 ]; then
    step "Unpacking it into build/mingw32ce"
    step_unpack
fi
echo "   total: $(($(date +%s) - t_start)) s" | tee -a "$LOGS/timings.txt"
echo "Done: $output ($(du -h "$output" | cut -f1)), unpacked $(du -sh "$PREFIX" | cut -f1)" \
    "in $PREFIX"
if [ "$unpack" = 1 ]; then
    echo "Build the device program with it: export CEGCC_ROOT=$root/build/mingw32ce"
else
    echo "Use it: tar -xJf $output -C build/ && export CEGCC_ROOT=\$PWD/build/mingw32ce"
fi
