#!/usr/bin/python3
"""Runs the workbook reader over a folder of real-world .xlsx workbooks and
compares each with python3-openpyxl (as xlsx_oracle.py does: data_only,
dates by the reader's rule from the raw serial and the number format,
"_xHHHH_" escapes decoded as Excel does).

    xlsx_corpus.py --dump build/dev/tests/platform/data/xls/xls_dump [FOLDER]

FOLDER defaults to ../shared/corpus/xlsx beside the repository. Each file
is read by the dump tool under a time limit and sorted: equal to openpyxl,
different (by kind), refused with a clear error (split by whether openpyxl
opens it), crashed or hung. Exits 1 when anything crashed or hung.
"""
import argparse
import collections
import concurrent.futures
import os
import signal
import sys
import warnings

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import xlsx_oracle  # noqa: E402
import xls_oracle  # noqa: E402  (xlsx_oracle puts its folder on the path)

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))))


def openpyxl_table(path, timeout):
    def alarm(signum, frame):
        raise TimeoutError("openpyxl over %ss" % timeout)

    signal.signal(signal.SIGALRM, alarm)
    signal.alarm(timeout)
    try:
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")
            return xlsx_oracle.expected_table(path)
    except Exception as e:  # openpyxl refuses: any exception type
        return {"openpyxl_error": "%s: %s" % (type(e).__name__, str(e)[:120])}
    finally:
        signal.alarm(0)


def check(args):
    dump, path, timeout = args
    actual = xls_oracle.run_dump(dump, path, timeout)
    expected = openpyxl_table(path, timeout * 6)
    return path, actual, expected


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--dump", required=True)
    parser.add_argument("--timeout", type=int, default=20, help="seconds per file")
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--verbose", action="store_true", help="list every file")
    parser.add_argument("folder", nargs="?")
    args = parser.parse_args()
    if args.folder is None:
        for up in ("..", os.path.join("..", "..")):
            args.folder = os.path.normpath(os.path.join(ROOT, up, "shared", "corpus", "xlsx"))
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
            opens = "openpyxl_error" not in expected
            if "crash" in actual:
                crashed.append((name, actual["crash"]))
            elif "error" in actual:
                key = "%d %s" % (actual["error"], actual["description"].split("：")[0])
                refusals[key] += 1
                refused.append((name, actual["error"], actual["description"], opens, expected.get("openpyxl_error", "")))
            elif not opens:
                different.append((name, {"openpyxl refuses": expected["openpyxl_error"]}))
                diff_kinds["openpyxl refuses"] += 1
            elif "error" in expected:
                different.append((name, {"openpyxl lists no worksheet": ""}))
                diff_kinds["openpyxl lists no worksheet"] += 1
            else:
                kinds = xlsx_oracle.compare(actual, expected)
                if kinds:
                    different.append((name, kinds))
                    diff_kinds.update(kinds.keys())
                else:
                    equal.append(name)
                    if args.verbose:
                        print("equal      %s" % name)

    print("files: %d" % len(files))
    print("opened and equal to openpyxl: %d" % len(equal))
    print("opened with differences: %d" % len(different))
    for kind, n in diff_kinds.most_common():
        print("    %-30s %d" % (kind, n))
    for name, kinds in different:
        for kind, detail in kinds.items():
            print("    %s: %s: %s" % (name, kind, detail[:160]))
    print("refused with a clear error: %d (openpyxl opens %d of them)" % (len(refused), sum(1 for r in refused if r[3])))
    for key, n in refusals.most_common():
        print("    %-44s %d" % (key, n))
    for name, number, description, opens, openpyxl_error in refused:
        if opens or args.verbose:
            print("    %s %s: %d %s | openpyxl: %s" % ("[openpyxl opens]" if opens else "[openpyxl refuses]", name,
                                                    number, description, openpyxl_error))
    print("crashed or hung: %d" % len(crashed))
    for name, what in crashed:
        print("    %s: %s" % (name, what))
    return 1 if crashed else 0


if __name__ == "__main__":
    sys.exit(main())
