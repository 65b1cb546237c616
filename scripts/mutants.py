#!/usr/bin/env python3
"""One-operator mutants of the product code, and how many of them the tests catch.

  scripts/mutants.py list [--count N] [--seed S] [--dirs a,b] > mutants.json
      every mutation site in the product folders, then a reproducible sample
  scripts/mutants.py run mutants.json --build-dir DIR [--out results.jsonl]
      applies each mutant in turn, rebuilds DIR, runs ctest there, restores
      the file; a mutant is killed when the build succeeds and a test fails

A mutant is named by its file, the text of its line and which occurrence of
the operator it changes, so the same sample can be found again after code
around it has moved (or reported as gone when its line no longer exists).
"""
import argparse
import json
import os
import random
import re
import subprocess
import sys
import time

PRODUCT_DIRS = ["app", "capture", "addressmap", "search", "transaction", "device", "fileio", "view", "settings", "protocol", "export", "korvex", "tools"]

# Spaced binary operators only: clang-format spaces them, while template
# brackets, includes, "->" and "<<" never look like this.
OPERATORS = [
    (" <= ", " < "), (" < ", " <= "), (" >= ", " > "), (" > ", " >= "),
    (" == ", " != "), (" != ", " == "), (" && ", " || "), (" || ", " && "),
    (" + 1", " - 1"), (" - 1", " + 1"), ("++", "--"), ("--", "++"),
]
WORDS = [("true", "false"), ("false", "true")]


def blank_strings_and_comments(line, in_block):
    """The line with string/char literals and comments replaced by spaces."""
    out = []
    i = 0
    n = len(line)
    while i < n:
        if in_block:
            end = line.find("*/", i)
            if end < 0:
                out.append(" " * (n - i))
                return "".join(out), True
            out.append(" " * (end + 2 - i))
            i = end + 2
            in_block = False
            continue
        c = line[i]
        if line.startswith("//", i):
            out.append(" " * (n - i))
            break
        if line.startswith("/*", i):
            in_block = True
            continue
        if c in "\"'":
            j = i + 1
            while j < n and line[j] != c:
                j += 2 if line[j] == "\\" else 1
            out.append(" " * (min(j + 1, n) - i))
            i = j + 1
            continue
        out.append(c)
        i += 1
    return "".join(out), in_block


def sites_in(path):
    with open(path, encoding="utf-8", errors="replace") as f:
        lines = f.read().split("\n")
    in_block = False
    for lineno, line in enumerate(lines, 1):
        code, in_block = blank_strings_and_comments(line, in_block)
        stripped = code.strip()
        if not stripped or stripped.startswith("#") or stripped.startswith("static_assert"):
            continue
        for old, new in OPERATORS:
            for k, m in enumerate(re.finditer(re.escape(old), code)):
                if old in ("++", "--") and re.search(r"[+-]{3}", code[max(0, m.start() - 1):m.end() + 1]):
                    continue
                yield {"file": path, "line": lineno, "text": line.strip(), "old": old,
                       "new": new, "occurrence": k}
        for old, new in WORDS:
            for k, m in enumerate(re.finditer(r"\b%s\b" % old, code)):
                yield {"file": path, "line": lineno, "text": line.strip(), "old": old,
                       "new": new, "occurrence": k, "word": True}


def product_files(root):
    for d in PRODUCT_DIRS:
        for dirpath, _, names in os.walk(os.path.join(root, d)):
            for name in sorted(names):
                if name.endswith((".cpp", ".h")):
                    yield os.path.relpath(os.path.join(dirpath, name), root)


def cmd_list(args):
    sites = []
    dirs = args.dirs.split(",") if args.dirs else PRODUCT_DIRS
    for path in sorted(p for p in product_files(".") if p.split("/")[0] in dirs):
        sites.extend(sites_in(path))
    rng = random.Random(args.seed)
    sample = rng.sample(sites, min(args.count, len(sites)))
    sample.sort(key=lambda s: (s["file"], s["line"]))
    json.dump({"sites": len(sites), "seed": args.seed, "mutants": sample}, sys.stdout, indent=1)
    print()


def normalised(text):
    """A line with member and constant prefixes and suffixes folded away
    (m_name, name_, kName all read as name), so that a renaming alone does
    not lose a mutant."""
    text = re.sub(r"\bm_(\w)", r"\1", text.strip())
    text = re.sub(r"\b([a-z]\w*)_\b", r"\1", text)
    text = re.sub(r"\bk([A-Z])", r"\1", text)
    return text.lower()


def locate(m):
    """(path, line index) of the mutant's line in today's tree, or None."""
    candidates = [m["file"]] + [p for p in sorted(product_files(".")) if p != m["file"]]
    for exact in (True, False):
        want = m["text"] if exact else normalised(m["text"])
        for path in candidates:
            if not os.path.exists(path):
                continue
            with open(path, encoding="utf-8", errors="replace") as f:
                lines = f.read().split("\n")
            hits = [i for i, l in enumerate(lines)
                    if (l.strip() if exact else normalised(l)) == want]
            if hits:
                return path, min(hits, key=lambda i: abs(i + 1 - m["line"]))
    return None


def mutate_line(line, m):
    code, _ = blank_strings_and_comments(line, False)
    pattern = (r"\b%s\b" % m["old"]) if m.get("word") else re.escape(m["old"])
    found = list(re.finditer(pattern, code))
    if m["occurrence"] >= len(found):
        return None
    s = found[m["occurrence"]]
    return line[:s.start()] + m["new"] + line[s.end():]


def run(cmd, cwd, timeout):
    try:
        p = subprocess.run(cmd, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                           timeout=timeout)
        return p.returncode, p.stdout.decode(errors="replace")
    except subprocess.TimeoutExpired:
        return None, "timeout"


def cmd_run(args):
    with open(args.mutants) as f:
        mutants = json.load(f)["mutants"]
    # Without the lint label: the naming check cannot catch an operator
    # mutant and takes minutes.
    env_ctest = ["ctest", "-j", str(os.cpu_count() or 2), "--stop-on-failure", "--timeout",
                 str(args.test_timeout), "-LE", "lint"] + (["-R", args.tests] if args.tests else [])
    out = open(args.out, "a") if args.out else sys.stdout
    counts = {"killed": 0, "survived": 0, "uncompilable": 0, "gone": 0}
    for n, m in enumerate(mutants, 1):
        where = locate(m)
        result = dict(m)
        if where is None:
            result["status"] = "gone"
        else:
            path, idx = where
            with open(path, encoding="utf-8") as f:
                original = f.read()
            lines = original.split("\n")
            changed = mutate_line(lines[idx], m)
            if changed is None:
                result["status"] = "gone"
            else:
                lines[idx] = changed
                try:
                    with open(path, "w", encoding="utf-8") as f:
                        f.write("\n".join(lines))
                    t0 = time.time()
                    rc, log = run(["cmake", "--build", args.build_dir], ".", 1200)
                    if rc != 0:
                        result["status"] = "uncompilable"
                    else:
                        if args.before_test:
                            subprocess.run(args.before_test, shell=True)
                        rc, log = run(env_ctest, args.build_dir, 3600)
                        result["status"] = "survived" if rc == 0 else "killed"
                        if rc != 0:
                            failed = re.findall(r"\d+ - (\S+) \(", log)
                            result["failed"] = failed[:5]
                    result["seconds"] = round(time.time() - t0, 1)
                finally:
                    with open(path, "w", encoding="utf-8") as f:
                        f.write(original)
                result["at"] = "%s:%d" % (path, idx + 1)
        counts[result["status"]] += 1
        out.write(json.dumps(result, ensure_ascii=False) + "\n")
        out.flush()
        print("[%d/%d] %s %s" % (n, len(mutants), result["status"], result.get("at", m["file"])),
              file=sys.stderr, flush=True)
    # Leave the build as the tree is.
    run(["cmake", "--build", args.build_dir], ".", 1200)
    scored = counts["killed"] + counts["survived"]
    score = 100.0 * counts["killed"] / scored if scored else 0.0
    print("mutation score: %.1f%% (%d killed of %d compiled; %d uncompilable, %d gone)"
          % (score, counts["killed"], scored, counts["uncompilable"], counts["gone"]),
          file=sys.stderr)


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = p.add_subparsers(dest="cmd", required=True)
    pl = sub.add_parser("list")
    pl.add_argument("--count", type=int, default=60)
    pl.add_argument("--seed", type=int, default=11)
    pl.add_argument("--dirs", help="comma-separated product folders (default: all)")
    pr = sub.add_parser("run")
    pr.add_argument("mutants")
    pr.add_argument("--build-dir", required=True)
    pr.add_argument("--out")
    pr.add_argument("--test-timeout", type=int, default=300)
    pr.add_argument("--before-test", help="shell command run before each ctest (e.g. to clean "
                    "state an old build's tests keep between runs)")
    pr.add_argument("--tests", help="ctest -R regex: only these tests (a quick look, not the score)")
    args = p.parse_args()
    cmd_list(args) if args.cmd == "list" else cmd_run(args)


if __name__ == "__main__":
    main()
