# The guest half of the emulated 32-bit machine (vm32.sh), started by the
# guest's init with the checkout mounted read-only at /vlx/host and the run's
# results folder at /vlx/out. It copies the checkout (without build/) and the
# build folders the work needs onto the guest's own disk, at the path they
# have on the host, runs the work there (with VM_OUT=/vlx/out) and writes its
# exit code to /vlx/out/status. A work that could not start writes no status:
# the host then counts it as failed.
set -u
export HOME=/root USER=root LANG=C.UTF-8
# shellcheck disable=SC1091
source /vlx/out/job.env
echo "== guest: copying the checkout to $VLX_ROOT"
mkdir -p "$VLX_ROOT" || exit 1
(cd /vlx/host && tar -cf - --exclude=./build --exclude=./.git .) | tar -C "$VLX_ROOT" -xf - || exit 1
for folder in $VLX_BUILD_FOLDERS; do
  [ -d "/vlx/host/build/$folder" ] || { echo "== guest: no build/$folder to copy"; exit 1; }
  mkdir -p "$VLX_ROOT/build/$folder"
  # Object files and libraries are what the programs were linked from; no
  # test needs them.
  (cd "/vlx/host/build/$folder" && tar -cf - --exclude='*.obj' --exclude='*.o' --exclude='*.a' .) |
    tar -C "$VLX_ROOT/build/$folder" -xf - || exit 1
done
cd "$VLX_ROOT" || exit 1

export VM_OUT=/vlx/out
echo "== guest: running the work"
bash /vlx/out/work.sh
code=$?
sync
echo "$code" >/vlx/out/status
sync
