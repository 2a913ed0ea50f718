#!/usr/bin/env python3
"""Mutation testing of the native unit tests.

Each mutant in mutants.txt is one exact-text replacement in one source file.
The tool makes a detached git worktree of a revision (HEAD by default),
configures the `host` preset there into the worktree's own build folder and
builds `unit_tests` once. Then, one mutant at a time, it applies the
replacement, rebuilds `unit_tests`, runs it and restores the file exactly:

  KILLED     the tests failed, crashed or hung (time limit)
  SURVIVED   every test passed
  NOCOMPILE  the mutant does not build (not counted: fix the mutant)
  STALE      the old text does not occur exactly once (not counted)

Score = killed / (killed + survived), per file and overall.

Usage:
  tools/mutation/run.py                      # every mutant, on HEAD
  tools/mutation/run.py --only installer_form
  tools/mutation/run.py --rev main~3 --keep
  tools/mutation/run.py --work /tmp/mutation-work   # reuse a worktree and its build
  tools/mutation/run.py --check              # only look for STALE mutants

The working tree of the repository the tool lives in is never touched: only
the worktree's files are mutated and built.
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
from collections import OrderedDict
from pathlib import Path

TOOL_DIR = Path(__file__).resolve().parent
FIELDS = ("file", "what", "old", "new")
FAILED_LINE = re.compile(r"^\[  FAILED  \] (\S+)")
RUNNING_LINE = re.compile(r"^\[ RUN      \] (\S+)")


class Mutant:
    def __init__(self, number, line, file, what, old, new):
        self.number = number
        self.line = line
        self.file = file
        self.what = what
        self.old = old
        self.new = new
        self.status = None
        self.detail = ""
        self.seconds = 0.0


def parse_mutants(path):
    """Blocks separated by lines of `---`. Fields: `file:`, `what:`, `old:`,
    `new:`. A value may follow the colon on the same line (one space after the
    colon is dropped, the rest is kept as written); a field whose line has
    nothing after the colon takes the lines below it, up to the next field or
    `---`, joined by newlines. Lines starting with `#` outside old/new values
    are comments."""
    mutants = []
    block = {}
    block_line = None
    current = None

    def finish():
        nonlocal block, block_line, current
        if block:
            missing = [f for f in FIELDS if f not in block]
            if missing:
                sys.exit(f"{path}:{block_line}: mutant lacks {', '.join(missing)}")
            values = {k: "\n".join(v) if isinstance(v, list) else v for k, v in block.items()}
            if values["old"] == values["new"]:
                sys.exit(f"{path}:{block_line}: old and new texts are the same")
            if not values["old"]:
                sys.exit(f"{path}:{block_line}: empty old text")
            mutants.append(Mutant(len(mutants) + 1, block_line, values["file"].strip(),
                                  values["what"].strip(), values["old"], values["new"]))
        block, block_line, current = {}, None, None

    field_line = re.compile(r"^(file|what|old|new):( ?)(.*)$")
    with open(path, encoding="utf-8") as handle:
        for number, raw in enumerate(handle, 1):
            line = raw.rstrip("\n")
            if line.strip() == "---":
                finish()
                continue
            match = field_line.match(line)
            if match:
                key, _, value = match.groups()
                if key in block:
                    sys.exit(f"{path}:{number}: field {key} given twice")
                if block_line is None:
                    block_line = number
                if value == "" and key in ("old", "new"):
                    block[key] = []
                    current = key
                else:
                    block[key] = value
                    current = None
                continue
            if current is not None:
                block[current].append(line)
                continue
            if line.strip() == "" or line.lstrip().startswith("#"):
                continue
            sys.exit(f"{path}:{number}: unexpected line: {line}")
    finish()
    # Trailing empty lines of a multi-line value separate blocks; drop them.
    for mutant in mutants:
        mutant.old = mutant.old.rstrip("\n") if "\n" in mutant.old else mutant.old
        mutant.new = mutant.new.rstrip("\n") if "\n" in mutant.new else mutant.new
    return mutants


def run(command, cwd, **kwargs):
    return subprocess.run(command, cwd=cwd, text=True, **kwargs)


def git(repo, *args, check=True, capture=True):
    result = run(["git", "-C", str(repo), *args], None,
                 stdout=subprocess.PIPE if capture else None,
                 stderr=subprocess.PIPE if capture else None)
    if check and result.returncode != 0:
        sys.exit(f"git {' '.join(args)} failed:\n{result.stderr}")
    return result.stdout.strip() if capture else ""


def file_at(repo, commit, path):
    result = subprocess.run(["git", "-C", str(repo), "show", f"{commit}:{path}"],
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    if result.returncode != 0:
        return None
    return result.stdout.decode("utf-8")


def classify_stale(mutant, text):
    if text is None:
        return "no such file"
    count = text.count(mutant.old)
    if count == 1:
        return None
    return "old text not found" if count == 0 else f"old text found {count} times"


def build(build_dir, jobs, log):
    result = run(["cmake", "--build", str(build_dir), "--target", "unit_tests", f"-j{jobs}"],
                 None, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    log.write(result.stdout)
    return result.returncode == 0, result.stdout


def run_tests(build_dir, timeout):
    """Returns (passed, detail). A crash or a hang counts as a failure."""
    binary = build_dir / "tests" / "unit_tests"
    try:
        result = run([str(binary), "--gtest_fail_fast", "--gtest_color=no"], binary.parent,
                     stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=timeout,
                     errors="replace", start_new_session=True)
    except subprocess.TimeoutExpired as expired:
        output = expired.stdout or b""
        if isinstance(output, bytes):
            output = output.decode("utf-8", "replace")
        running = RUNNING_LINE.findall("\n".join(output.splitlines()))
        last = running[-1] if running else "?"
        return False, f"hang over {timeout} s in {last}"
    failed = [m.group(1) for m in map(FAILED_LINE.match, result.stdout.splitlines()) if m]
    if result.returncode == 0 and not failed:
        return True, ""
    if failed:
        return False, failed[0]
    running = [m.group(1) for m in map(RUNNING_LINE.match, result.stdout.splitlines()) if m]
    last = running[-1] if running else "?"
    if result.returncode < 0:
        return False, f"crash (signal {-result.returncode}) in {last}"
    return False, f"exit code {result.returncode} in {last}"


def first_error(output):
    for line in output.splitlines():
        if "error:" in line:
            return line.strip()[:160]
    return "build failed"


def summary_line(label, mutants):
    counted = [m for m in mutants if m.status in ("KILLED", "SURVIVED")]
    killed = sum(1 for m in counted if m.status == "KILLED")
    survived = len(counted) - killed
    score = f"{100.0 * killed / len(counted):.1f}%" if counted else "n/a"
    extra = []
    for status in ("NOCOMPILE", "STALE"):
        n = sum(1 for m in mutants if m.status == status)
        if n:
            extra.append(f"{n} {status.lower()}")
    tail = f" ({', '.join(extra)} not counted)" if extra else ""
    return (f"{label:<40} {len(counted):3d} mutants, {killed:3d} killed, "
            f"{survived:3d} survived, score {score}{tail}")


def report(mutants, out):
    print("", file=out)
    print("Summary", file=out)
    by_file = OrderedDict()
    for mutant in sorted(mutants, key=lambda m: m.file):
        by_file.setdefault(mutant.file, []).append(mutant)
    for name, group in by_file.items():
        print(summary_line(name, group), file=out)
    print(summary_line("overall", mutants), file=out)
    survivors = [m for m in mutants if m.status == "SURVIVED"]
    if survivors:
        print("", file=out)
        print("Survivors", file=out)
        for m in survivors:
            print(f"  #{m.number:<3d} {m.file}: {m.what}", file=out)


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--rev", default="HEAD", help="revision to test (default HEAD)")
    parser.add_argument("--work", type=Path,
                        help="worktree folder to use or create; it is kept afterwards")
    parser.add_argument("--keep", action="store_true", help="keep the temporary worktree")
    parser.add_argument("--only", metavar="PATTERN",
                        help="run the mutants whose file or description matches this "
                             "regular expression; digits and commas (3,17) select by number")
    parser.add_argument("--mutants", type=Path, default=TOOL_DIR / "mutants.txt")
    parser.add_argument("--timeout", type=int, default=120,
                        help="seconds one test run may last; longer counts as killed")
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--log", type=Path, help="file for the build output (default: none)")
    parser.add_argument("--check", action="store_true",
                        help="only check that every old text occurs exactly once at REV")
    args = parser.parse_args()

    repo = Path(git(TOOL_DIR, "rev-parse", "--show-toplevel"))
    commit = git(repo, "rev-parse", "--verify", f"{args.rev}^{{commit}}")
    mutants = parse_mutants(args.mutants)
    if args.only:
        if re.fullmatch(r"[0-9][0-9,]*", args.only):
            numbers = {int(n) for n in args.only.split(",") if n}
            mutants = [m for m in mutants if m.number in numbers]
        else:
            pattern = re.compile(args.only, re.IGNORECASE)
            mutants = [m for m in mutants if pattern.search(m.file) or pattern.search(m.what)]
        if not mutants:
            sys.exit(f"no mutant matches {args.only!r}")
    out = sys.stdout
    print(f"{len(mutants)} mutants from {args.mutants}, revision {commit[:12]}", file=out)

    sources = {}
    for m in mutants:
        if m.file not in sources:
            sources[m.file] = file_at(repo, commit, m.file)
        why = classify_stale(m, sources[m.file])
        if why:
            m.status, m.detail = "STALE", why
    if args.check:
        for m in mutants:
            if m.status == "STALE":
                print(f"STALE      #{m.number:<3d} {m.file}: {m.what} [{m.detail}]", file=out)
        stale = sum(1 for m in mutants if m.status == "STALE")
        print(f"{stale} of {len(mutants)} mutants stale", file=out)
        return 1 if stale else 0

    created = False
    if args.work:
        work = args.work.resolve()
        if (work / ".git").exists():
            if git(work, "status", "--porcelain", "--untracked-files=no"):
                sys.exit(f"{work} has changes: restore it or use another folder")
            if git(work, "rev-parse", "HEAD") != commit:
                git(work, "checkout", "--quiet", "--detach", commit)
        else:
            git(repo, "worktree", "add", "--quiet", "--detach", str(work), commit)
            created = True
        remove = False
    else:
        work = Path(tempfile.mkdtemp(prefix="mutation-")) / "tree"
        git(repo, "worktree", "add", "--quiet", "--detach", str(work), commit)
        created = True
        remove = not args.keep
    build_dir = work / "build"
    log = open(args.log, "w", encoding="utf-8") if args.log else open(os.devnull, "w")
    print(f"worktree {work}", file=out)

    started = time.monotonic()
    current = None  # (path, original bytes) while a mutant is applied
    try:
        if not (build_dir / "CMakeCache.txt").exists():
            configured = run(["cmake", "--preset", "host", "-B", str(build_dir)], work,
                             stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
            log.write(configured.stdout)
            if configured.returncode != 0:
                sys.exit("configuring failed:\n" + configured.stdout[-3000:])
        t0 = time.monotonic()
        ok, output = build(build_dir, args.jobs, log)
        if not ok:
            sys.exit("the unmutated code does not build:\n" + output[-3000:])
        t1 = time.monotonic()
        passed, detail = run_tests(build_dir, args.timeout)
        if not passed:
            sys.exit(f"the unmutated code fails its tests ({detail}): no score possible")
        print(f"baseline: build {t1 - t0:.0f} s, tests {time.monotonic() - t1:.1f} s, all pass",
              file=out)
        print("", file=out)
        out.flush()

        # Mutants of one file after one another: fewer recompilations.
        order = sorted((m for m in mutants if m.status is None), key=lambda m: (m.file, m.number))
        for m in order:
            t0 = time.monotonic()
            path = work / m.file
            original = path.read_bytes()
            text = original.decode("utf-8")
            if text.count(m.old) != 1:  # the worktree differs from REV
                m.status, m.detail = "STALE", "old text not found once in the worktree"
            else:
                current = (path, original)
                path.write_bytes(text.replace(m.old, m.new, 1).encode("utf-8"))
                try:
                    ok, output = build(build_dir, args.jobs, log)
                    if not ok:
                        m.status, m.detail = "NOCOMPILE", first_error(output)
                    else:
                        passed, detail = run_tests(build_dir, args.timeout)
                        m.status = "SURVIVED" if passed else "KILLED"
                        m.detail = detail
                finally:
                    path.write_bytes(original)
                    current = None
            m.seconds = time.monotonic() - t0
            detail = f" [{m.detail}]" if m.detail else ""
            print(f"{m.status:<10} #{m.number:<3d} {m.file}: {m.what}{detail} "
                  f"({m.seconds:.0f} s)", file=out)
            out.flush()
        for m in mutants:
            if m.status == "STALE" and m not in order:
                print(f"{m.status:<10} #{m.number:<3d} {m.file}: {m.what} [{m.detail}]",
                      file=out)
        report(mutants, out)
        total = time.monotonic() - started
        timed = [m.seconds for m in order if m.status in ("KILLED", "SURVIVED")]
        mean = f", {sum(timed) / len(timed):.0f} s per mutant on average" if timed else ""
        print(f"\ntime: {total / 60:.1f} min in all{mean}", file=out)
        survived = any(m.status == "SURVIVED" for m in mutants)
        return 2 if survived else 0
    finally:
        if current:
            current[0].write_bytes(current[1])
        log.close()
        if remove:
            git(repo, "worktree", "remove", "--force", str(work), check=False)
            shutil.rmtree(work.parent, ignore_errors=True)
        elif created or args.work:
            print(f"worktree kept: {work}", file=out)


if __name__ == "__main__":
    sys.exit(main())
