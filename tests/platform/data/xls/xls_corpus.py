#!/usr/bin/python3
"""Runs the workbook reader over a folder of real-world workbooks and
compares each with python3-xlrd.

    xls_corpus.py --dump build/dev/tests/platform/data/xls/xls_dump [FOLDER]

FOLDER defaults to ../shared/corpus/xls beside the repository. Each file
is read by xls_dump under a time limit; the report counts files that
opened and agree with xlrd, opened with differences (by kind), were
refused with a clear error (split by whether xlrd opens them), and
crashed or hung. Exits 1 when anything crashed or hung.
"""
import argparse
import collections
import concurrent.futures
import os
import signal
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import xls_oracle  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))))


def xlrd_table(path, timeout):
    def alarm(signum, frame):
        raise TimeoutError("xlrd over %ss" % timeout)

    signal.signal(signal.SIGALRM, alarm)
    signal.alarm(timeout)
    try:
        return xls_oracle.expected_table(path)
    except Exception as e:  # xlrd refuses: any exception type
        return {"xlrd_error": "%s: %s" % (type(e).__name__, str(e)[:120])}
    finally:
        signal.alarm(0)


def check(args):
    dump, path, timeout = args
    actual = xls_oracle.run_dump(dump, path, timeout)
    expected = xlrd_table(path, timeout * 3)
    return path, actual, expected


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--dump", required=True)
    parser.add_argument("--timeout", type=int, default=10, help="seconds per file")
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--verbose", action="store_true", help="list every file")
    parser.add_argument("folder", nargs="?")
    args = parser.parse_args()
    if args.folder is None:
        # ../shared/corpus beside the repository (or beside a worktree's
        # parent folder).
        for up in ("..", os.path.join("..", "..")):
            args.folder = os.path.normpath(os.path.join(ROOT, up, "shared", "corpus", "xls"))
            if os.path.isdir(args.folder):
                break
    files = sorted(os.path.join(args.folder, f) for f in os.listdir(args.folder)
                   if os.path.isfile(os.path.join(args.folder, f)))

    equal, different, refused, crashed = [], [], [], []
    diff_kinds = collections.Counter()
    refusals = collections.Counter()
    with concurrent.futures.ProcessPoolExecutor(max_workers=args.jobs) as pool:
        for path, actual, expected in pool.map(check, [(args.dump, f, args.timeout) for f in files]):
            name = os.path.basename(path)
            biff = expected.get("biff")
            xlrd_opens = "xlrd_error" not in expected
            if "crash" in actual:
                crashed.append((name, actual["crash"]))
            elif "error" in actual:
                key = "%d %s" % (actual["error"], actual["description"].split("：")[0])
                refusals[key] += 1
                refused.append((name, actual["error"], actual["description"], xlrd_opens, biff,
                                expected.get("xlrd_error", "")))
            elif not xlrd_opens:
                different.append((name, {"xlrd refuses": expected["xlrd_error"]}, biff))
                diff_kinds["xlrd refuses"] += 1
            elif "error" in expected:
                different.append((name, {"xlrd lists no worksheet": ""}, biff))
                diff_kinds["xlrd lists no worksheet"] += 1
            else:
                kinds = xls_oracle.compare(actual, expected)
                if kinds:
                    different.append((name, kinds, biff))
                    diff_kinds.update(kinds.keys())
                else:
                    equal.append(name)
                    if args.verbose:
                        print("equal      %s" % name)

    print("files: %d" % len(files))
    print("opened and equal to xlrd: %d" % len(equal))
    print("opened with differences: %d" % len(different))
    for kind, n in diff_kinds.most_common():
        print("    %-28s %d" % (kind, n))
    for name, kinds, biff in different:
        for kind, detail in kinds.items():
            print("    [biff %s] %s: %s: %s" % (biff, name, kind, detail[:160]))
    print("refused with a clear error: %d (xlrd opens %d of them)" % (
        len(refused), sum(1 for r in refused if r[3])))
    for key, n in refusals.most_common():
        print("    %-40s %d" % (key, n))
    for name, number, description, xlrd_opens, biff, xlrd_error in refused:
        if xlrd_opens or args.verbose:
            print("    %s %s: %d %s | xlrd: %s" % ("[xlrd opens, biff %s]" % biff if xlrd_opens else "[xlrd refuses]",
                                                  name, number, description, xlrd_error))
    print("crashed or hung: %d" % len(crashed))
    for name, what in crashed:
        print("    %s: %s" % (name, what))
    return 1 if crashed else 0


if __name__ == "__main__":
    sys.exit(main())
