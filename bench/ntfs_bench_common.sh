# Shared by bench/ntfs_backup_bench.sh and bench/ntfs_restore_bench.sh:
# the work dir, the NTFS fixtures and cases, the timing loop and the table
# helpers. Sourced, not run.
#
# Fairness: every tool runs under the same conditions.
# Page cache, BENCH_CACHE:
#   warm (default): one unmeasured round of every tool first, so the source
#        sits in the page cache for all of them; then BENCH_RUNS rounds
#        (default 5), the tools taking turns inside each round, best wall
#        time of each kept.
#   cold: page cache dropped (sync; echo 3 > /proc/sys/vm/drop_caches, needs
#        root) before every measured run; best of BENCH_RUNS. Dropping the
#        cache slows everything else on the machine.
# Flushing the output, BENCH_SYNC:
#   yes (default): every timed command ends with `sync <its output files>`,
#        so each tool's time includes putting its output on disk (every tool,
#        our engine too, also fsyncs its output itself).
#   no:  nobody flushes: every tool's fsync() is made a no-op (bench/peer_shim.c,
#        preloaded into our runners too), so the times show the tools' own work.
# In both modes the peers run with bench/peer_shim.c preloaded, which cuts
# sleep() to 10 ms: partclone joins a progress thread that sleeps 2 s per
# tick, which otherwise rounds its wall time up to the next 2 s.
# Each run starts after a sync, with its outputs removed or its target
# recreated as an empty sparse file outside the timed region.

bench_cache="${BENCH_CACHE:-warm}"
bench_runs="${BENCH_RUNS:-5}"
bench_sync="${BENCH_SYNC:-yes}"
case "$bench_cache" in warm|cold) ;; *) echo "BENCH_CACHE must be warm or cold" >&2; exit 2 ;; esac
case "$bench_sync" in yes|no) ;; *) echo "BENCH_SYNC must be yes or no" >&2; exit 2 ;; esac
if [ "$bench_cache" = cold ] && ! (sync; echo 3 > /proc/sys/vm/drop_caches) 2>/dev/null; then
    echo "BENCH_CACHE=cold needs write access to /proc/sys/vm/drop_caches" >&2; exit 2
fi

# make_work_dir <given dir or empty> <name>: sets work to the given dir (made
# if missing) or to a new one under /tmp, which cleanup_work then removes.
make_work_dir() {
    made_work=0
    if [ -n "$1" ]; then
        work="$1"; mkdir -p "$work"
    else
        work="$(mktemp -d "/tmp/$2-XXXXXX")"; made_work=1
    fi
}

# cleanup_work <files...>: for the EXIT trap; unmounts the fill mount if a
# fixture was cut short, removes the files and the work dir if made here.
cleanup_work() {
    mountpoint -q "$work/mnt" 2>/dev/null && umount "$work/mnt" || true
    rm -f "$@" "$work/last.err" "$work/peer_shim.so"
    if [ "$made_work" = 1 ]; then rm -rf "$work"; fi
}

need_tools() {
    command -v cc >/dev/null || { echo "cc is needed for bench/peer_shim.c" >&2; exit 1; }
    local tool
    for tool in "$@"; do
        command -v "$tool" >/dev/null || { echo "$tool is not installed" >&2; exit 1; }
    done
}

used_bytes() { # used_bytes <partition>: clusters in use times cluster size
    local info clusters free csize
    info=$(ntfsinfo -m "$1")
    clusters=$(awk -F: '/Volume Size in Clusters/ {print $2+0}' <<<"$info")
    free=$(awk -F: '/Free Clusters/ {print $2+0}' <<<"$info")
    csize=$(awk -F: '/Cluster Size/ {print $2+0}' <<<"$info")
    echo $(( (clusters - free) * csize ))
}

mft_records() { # mft_records <partition>: records the $MFT holds (in use or not)
    ntfsinfo -i 0 "$1" | awk '/Dumping attribute \$DATA/ {d = 1} d && /Data size:/ {print int($3 / 1024); exit}'
}

# mount_ntfs <partition> <mount point>: ntfs-3g mount, big_writes where known.
mount_ntfs() {
    ntfs-3g -o big_writes "$1" "$2" 2>/dev/null || ntfs-3g "$1" "$2"
}

# change_a_few_files <partition>: through an ntfs-3g mount, one new 1 MiB
# file, one file rewritten, the previous new file renamed, the one renamed
# before removed, a line added to a log.
change_a_few_files() {
    local mnt="$work/mnt" dir
    mkdir -p "$mnt"
    mount_ntfs "$1" "$mnt"
    dir="$mnt/bench-changes"
    mkdir -p "$dir"
    rm -f "$dir/old.bin"
    if [ -e "$dir/new.bin" ]; then mv "$dir/new.bin" "$dir/old.bin"; fi
    head -c 1048576 /dev/urandom > "$dir/new.bin"
    head -c 65536 /dev/urandom > "$dir/rewritten.bin"
    date +%s.%N >> "$dir/changes.log"
    umount "$mnt"
    sync
}

# make_mixed_partition <file> <MiB>: a partition about 80% full of mixed files:
# compressible text, incompressible random data and media, zeros, a
# database-like file and up to 2000 small files.
make_mixed_partition() {
    local part="$1" mib="$2" mnt="$work/mnt" share
    rm -f "$part"; truncate -s "${mib}M" "$part"
    mkntfs -F -q -Q "$part" >/dev/null 2>&1
    mkdir -p "$mnt"
    mount_ntfs "$part" "$mnt"
    share=$(( mib / 8 ))
    (set +o pipefail; yes "the quick brown fox jumps over the lazy dog $RANDOM" | head -c "$(( share * 3 / 2 << 20 ))") > "$mnt/logs.txt"
    head -c "$(( share * 3 / 2 << 20 ))" /dev/urandom > "$mnt/random.bin"
    head -c "$(( share << 20 ))" /dev/urandom > "$mnt/movie.mkv"
    head -c "$(( share << 20 ))" /dev/zero > "$mnt/disk.img"
    (set +o pipefail; seq 1 100000000 | head -c "$(( share / 2 << 20 ))") > "$mnt/db.dat"
    # 2000 small files (about 33 MiB), fewer on small partitions so that
    # they stay about 80% full.
    python3 - "$mnt/small" "$(( mib * 8 < 2000 ? mib * 8 : 2000 ))" <<'EOF'
import os, random, sys
root, count = sys.argv[1], int(sys.argv[2])
random.seed(1)
os.makedirs(root, exist_ok=True)
for i in range(count):
    with open(os.path.join(root, "f%d.bin" % i), "wb") as f:
        f.write(os.urandom(random.randint(100, 32868)))
EOF
    umount "$mnt"
}

# make_many_partition <file> <files>: a partition with <files> small files in
# folders of 1000: 70% resident (up to 700 bytes), 30% of 1 to 8 KiB.
make_many_partition() {
    local part="$1" files="$2" mnt="$work/mnt"
    rm -f "$part"; truncate -s "$(( files / 1024 * 4 + 512 ))M" "$part"
    mkntfs -F -q -Q "$part" >/dev/null 2>&1
    mkdir -p "$mnt"
    mount_ntfs "$part" "$mnt"
    python3 - "$mnt/many" "$files" <<'EOF'
import os, random, sys
root, count = sys.argv[1], int(sys.argv[2])
random.seed(2)
blob = os.urandom(8192)
for i in range(count):
    folder = os.path.join(root, "d%d" % (i // 1000))
    if i % 1000 == 0:
        os.makedirs(folder, exist_ok=True)
    size = random.randint(0, 700) if random.random() < 0.7 else random.randint(1024, 8192)
    with open(os.path.join(folder, "file-%d.txt" % i), "wb") as f:
        f.write(blob[:size])
EOF
    umount "$mnt"
}

# make_compressible_partition <file> <MiB>: logs, text and program files.
make_compressible_partition() {
    local part="$1" mib="$2" mnt="$work/mnt"
    rm -f "$part"; truncate -s "${mib}M" "$part"
    mkntfs -F -q -Q "$part" >/dev/null 2>&1
    mkdir -p "$mnt"
    mount_ntfs "$part" "$mnt"
    python3 - "$mnt" "$mib" <<'EOF'
import os, random, shutil, sys
mnt, mib = sys.argv[1], int(sys.argv[2])
random.seed(3)
budget = mib * 1024 * 1024 * 45 // 100
# Logs: a few large files of varied lines.
os.makedirs(os.path.join(mnt, "logs"))
levels = ["INFO", "DEBUG", "WARN", "ERROR"]
words = "request user session cache disk queue worker timeout retry commit index page lock".split()
log_bytes = budget * 4 // 10
for n in range(4):
    with open(os.path.join(mnt, "logs", "service%d.log" % n), "w") as f:
        written, t = 0, 1700000000
        while written < log_bytes // 4:
            t += random.randint(0, 3)
            line = "%d %s [%s] %s %s=%d %s\n" % (t, random.choice(levels), random.choice(words),
                   " ".join(random.choice(words) for _ in range(random.randint(2, 9))),
                   random.choice(words), random.randint(0, 99999), "ok" if random.random() < 0.9 else "failed")
            f.write(line)
            written += len(line)
# Text and program files from the system, in a fixed order.
def copy_tree(sources, dest, limit, skip_ext=()):
    copied = 0
    for src in sources:
        for dirpath, dirnames, filenames in os.walk(src):
            dirnames.sort()
            for name in sorted(filenames):
                path = os.path.join(dirpath, name)
                if os.path.islink(path) or not os.path.isfile(path) or name.endswith(skip_ext):
                    continue
                size = os.path.getsize(path)
                if size == 0 or copied + size > limit:
                    continue
                rel = os.path.relpath(path, "/")
                os.makedirs(os.path.join(dest, os.path.dirname(rel)), exist_ok=True)
                shutil.copyfile(path, os.path.join(dest, rel))
                copied += size
    return copied
text = copy_tree(["/usr/include", "/usr/share/perl5", "/usr/share/doc"], os.path.join(mnt, "text"),
                 budget * 2 // 10, (".gz", ".xz", ".bz2"))
copy_tree(["/usr/lib/x86_64-linux-gnu", "/usr/bin", "/usr/libexec"], os.path.join(mnt, "programs"),
          budget - log_bytes - text)
EOF
    umount "$mnt"
}

# make_incompressible_partition <file> <MiB>: random data in files of three sizes.
make_incompressible_partition() {
    local part="$1" mib="$2" mnt="$work/mnt"
    rm -f "$part"; truncate -s "${mib}M" "$part"
    mkntfs -F -q -Q "$part" >/dev/null 2>&1
    mkdir -p "$mnt"
    mount_ntfs "$part" "$mnt"
    python3 - "$mnt" "$mib" <<'EOF'
import os, sys
mnt, mib = sys.argv[1], int(sys.argv[2])
budget = mib * 1024 * 1024 * 45 // 100
large = budget * 7 // 10 // 3
for n in range(3):
    with open(os.path.join(mnt, "random%d.bin" % n), "wb") as f:
        for _ in range(large // (1 << 20)):
            f.write(os.urandom(1 << 20))
for folder, size, share in (("mid", 100 << 10, 22), ("small", 16 << 10, 8)):
    os.makedirs(os.path.join(mnt, folder))
    for n in range(budget * share // 100 // size):
        with open(os.path.join(mnt, folder, "f%d.bin" % n), "wb") as f:
            f.write(os.urandom(size))
EOF
    umount "$mnt"
}

# fixture <kind> <file> <size argument>: builds the partition unless
# BENCH_REUSE=1 and it is already there (from an earlier run in the same
# work dir).
fixture() {
    local kind="$1" part="$2" arg="$3"
    if [ "${BENCH_REUSE:-0}" = 1 ] && [ -s "$part" ] && [ -e "$part.done" ]; then
        echo "== reusing $part"
        return
    fi
    rm -f "$part.done"
    echo "== making $part ($kind, $arg)"
    "make_${kind}_partition" "$part" "$arg"
    sync
    touch "$part.done"
}

# Timing. A tool is registered with tool <name> <prepare> <finish> <command>:
# <command> is a shell string made by ours or peer; <prepare> runs before
# every run outside the timed region (remove outputs, recreate the target);
# <finish> runs after it, also untimed (it may record an output size in
# out_bytes[<name>]).
declare -a tool_names=()
declare -A tool_cmd tool_prepare tool_finish best_real best_user best_sys out_bytes

tool() {
    tool_names+=("$1")
    tool_prepare[$1]="$2"
    tool_finish[$1]="$3"
    tool_cmd[$1]="$4"
}

# ours <output glob> <command...> / peer <output glob> <command...>: the
# command string of one of our runners or of a peer tool; <output glob> names
# the files the command writes, flushed inside the timed region when
# BENCH_SYNC=yes.
peer_shim=""
build_shim() {
    if [ -z "$peer_shim" ]; then
        peer_shim="$work/peer_shim.so"
        cc -shared -fPIC -O2 -o "$peer_shim" "$root/bench/peer_shim.c" -ldl
    fi
}
ours() {
    local outputs="$1"; shift
    local cmd; cmd="$(printf '%q ' "$@")"
    if [ "$bench_sync" = yes ]; then
        cmd="$cmd && sync $outputs"
    else
        build_shim
        cmd="env LD_PRELOAD=$(printf '%q' "$peer_shim") BENCH_SHIM_NO_FSYNC=1 $cmd"
    fi
    echo "$cmd"
}
peer() {
    local outputs="$1"; shift
    build_shim
    local cmd nosync=0
    [ "$bench_sync" = no ] && nosync=1
    cmd="env LD_PRELOAD=$(printf '%q' "$peer_shim") BENCH_SHIM_NO_FSYNC=$nosync $(printf '%q ' "$@")"
    [ "$bench_sync" = yes ] && cmd="$cmd && sync $outputs"
    echo "$cmd"
}

run_once() { # run_once <name> <measured 0/1>
    local name="$1" measured="$2" out real user sys
    ${tool_prepare[$name]}
    sync
    [ "$bench_cache" = cold ] && echo 3 > /proc/sys/vm/drop_caches
    out=$( { TIMEFORMAT='%R %U %S'; time eval "${tool_cmd[$name]}" >/dev/null 2>"$work/last.err"; } 2>&1 ) || {
        echo "$name failed:" >&2; cat "$work/last.err" >&2; return 1; }
    ${tool_finish[$name]}
    [ "$measured" = 1 ] || return 0
    read -r real user sys <<<"$out"
    if [ -z "${best_real[$name]:-}" ] || awk -v a="$real" -v b="${best_real[$name]}" 'BEGIN { exit !(a < b) }'; then
        best_real[$name]=$real; best_user[$name]=$user; best_sys[$name]=$sys
    fi
    printf ' %s %ss' "$name" "$real"
}

measure_all() { # runs the warm-up round (warm mode) and the measured rounds
    local name round
    best_real=(); best_user=(); best_sys=()
    if [ "$bench_cache" = warm ]; then
        echo "-- warm-up round"
        for name in "${tool_names[@]}"; do run_once "$name" 0; done
    fi
    for round in $(seq 1 "$bench_runs"); do
        printf -- '-- round %d:' "$round"
        for name in "${tool_names[@]}"; do run_once "$name" 1; done
        echo
    done
}

# run_cases <default cases>: makes the partition of each of BENCH_CASES
# (default: the given list) and runs the script's bench_case <title>
# <partition> on it. BENCH_MIB sets the size of the mixed, compressible and
# incompressible partitions (default 1536 MiB for mixed, 1024 for the
# others).
run_cases() {
    local case_name
    for case_name in ${BENCH_CASES:-$1}; do
        case "$case_name" in
            mixed)
                fixture mixed "$work/mixed.ntfs" "${BENCH_MIB:-1536}"
                bench_case "mixed files" "$work/mixed.ntfs" ;;
            many)
                fixture many "$work/many.ntfs" "${BENCH_RECORDS:-200000}"
                bench_case "${BENCH_RECORDS:-200000} small files" "$work/many.ntfs" ;;
            compressible|incompressible)
                fixture "$case_name" "$work/$case_name.ntfs" "${BENCH_MIB:-1024}"
                bench_case "$case_name" "$work/$case_name.ntfs" ;;
            *) echo "unknown case $case_name" >&2; exit 2 ;;
        esac
        if [ "${BENCH_REUSE:-0}" != 1 ]; then rm -f "$work/$case_name".ntfs*; fi
    done
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
mib() { awk -v b="$1" 'BEGIN { printf "%.1f", b / 1048576 }'; }
throughput() { awk -v u="$1" -v s="$2" 'BEGIN { printf "%.1f", u / s / 1048576 }'; } # <bytes> <seconds>: MiB/s
verdict() { # verdict <value> <limit>
    awk -v a="$1" -v b="$2" 'BEGIN { print (a <= b) ? "met" : "MISSED" }'
}

conditions() {
    echo "cache: $bench_cache, output flushed: $bench_sync, best of $bench_runs; load average $(cut -d' ' -f1-3 /proc/loadavg); $(nproc) CPUs"
}
