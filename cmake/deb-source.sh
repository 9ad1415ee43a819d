# Fetching Debian's source packages for the Windows cross-builds, sourced by them:
#   deb_source_init WORK    a private sources list (made from the machine's own apt
#                           configuration by apt-deb-src.sh) and private apt state inside WORK,
#                           updated; the machine's apt configuration is left as it is. Sets
#                           apt_private, the options that make apt use them.
#   fetch_source PACKAGE VERSION    the source into WORK/src (see below)
deb_source_init() {
    deb_source_work=$1
    mkdir -p "$1/apt/lists/partial" "$1/apt/cache/archives/partial" "$1/apt/parts" "$1/src"
    # Wherever this machine fetches its packages from, as deb-src entries.
    "$(dirname "${BASH_SOURCE[0]}")/apt-deb-src.sh" > "$1/apt/sources.list"
    apt_private=(-o "Dir::Etc::SourceList=$1/apt/sources.list" -o "Dir::Etc::SourceParts=$1/apt/parts"
                 -o "Dir::State::Lists=$1/apt/lists" -o "Dir::Cache=$1/apt/cache"
                 -o "APT::Sandbox::User=root")
    # An entry that carries no sources (a third-party repository) only warns; a missing
    # package fails later with apt's own message.
    apt-get "${apt_private[@]}" -qq update >&2 ||
        echo "== warning: some deb-src entries could not be updated" >&2
}

# fetch_source PACKAGE VERSION: Debian's source of PACKAGE into WORK/src, at VERSION or, when
# that cannot be fetched (a mirror may lag behind the machine's updates), at the newest version
# the sources list offers. Prints the version fetched.
fetch_source() {
    local v
    for v in "$2" $(apt-cache "${apt_private[@]}" showsrc "$1" 2>/dev/null |
                    sed -n 's/^Version: //p' | sort -u -r -V | grep -vxF "$2"); do
        if (cd "$deb_source_work/src" && apt-get "${apt_private[@]}" -qq source "$1=$v" >&2); then
            echo "$v"
            return 0
        fi
        echo "== $1 $v could not be fetched; trying an older version" >&2
    done
    echo "Debian's $1 source could not be fetched" >&2
    return 1
}
