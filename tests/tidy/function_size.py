#!/usr/bin/python3
"""Fails when a function in src/ is longer than .clang-tidy allows.

usage: function_size.py BUILD_DIR SOURCE_DIR

Runs clang-tidy (readability-function-size, from the project's .clang-tidy)
over every file of src/ in BUILD_DIR/compile_commands.json, two at a time.
"""
import json
import os
import shutil
import subprocess
import sys
from concurrent.futures import ThreadPoolExecutor


def clang_tidy():
    for name in ("clang-tidy", "clang-tidy-14", "clang-tidy-15", "clang-tidy-16"):
        path = shutil.which(name)
        if path:
            return path
    sys.exit("function_size: clang-tidy is not installed")


def main():
    build_dir, source_dir = sys.argv[1], os.path.realpath(sys.argv[2])
    src = os.path.join(source_dir, "src") + os.sep
    with open(os.path.join(build_dir, "compile_commands.json"), encoding="utf-8") as f:
        files = sorted({os.path.realpath(e["file"]) for e in json.load(f)})
    files = [f for f in files if f.startswith(src)]
    if not files:
        sys.exit("function_size: no file of src/ in compile_commands.json")
    tidy = clang_tidy()
    config = os.path.join(source_dir, ".clang-tidy")

    def check(path):
        run = subprocess.run([tidy, "--quiet", f"--config-file={config}", "-p", build_dir, path],
                             capture_output=True, text=True)
        found = [line for line in run.stdout.splitlines() if "readability-function-size" in line]
        return path, found, run.returncode

    failures = 0
    with ThreadPoolExecutor(max_workers=os.cpu_count() or 2) as pool:
        for path, found, code in pool.map(check, files):
            for line in found:
                print(line)
            if found or code != 0:
                failures += 1
                if not found:
                    print(f"{path}: clang-tidy exited with {code}")
    print(f"function_size: {len(files)} files, {failures} with findings")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
