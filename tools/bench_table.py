#!/usr/bin/env python3
"""Prints the loader's benchmark figures against their yardsticks as a Markdown table.

Reads the JSON that nurv_bench writes with --benchmark_out. Each row compares one of the loader's
jobs with a program or call that does the same job and sets the pace; the ratio is the yardstick's
time over ours, or our throughput over the yardstick's, so that above 1 the loader is faster.
A benchmark that is missing or failed shows as "n/a".
Usage: tools/bench_table.py BENCH.json
"""
import json
import sys


def load_runs(path):
    with open(path, encoding="utf-8") as f:
        document = json.load(f)
    runs = {}
    for run in document.get("benchmarks", []):
        if run.get("run_type", "iteration") != "iteration" or run.get("error_occurred"):
            continue
        runs[run["name"]] = run
    return runs


def find_all(runs, name):
    """The runs of the benchmark `name`: each argument, with /iterations:N and /real_time."""
    return [run for full, run in runs.items() if full == name or full.startswith(name + "/")]


def find(runs, name):
    found = find_all(runs, name)
    return found[0] if found else None


def seconds(run):
    units = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}
    return run["real_time"] * units[run.get("time_unit", "ns")]


def show_time(value):
    return f"{value:.2f} s" if value >= 1 else f"{value * 1e3:.1f} ms"


def show_rate(value):
    return f"{value / 2**30:.2f} GiB/s"


def time_row(runs, work, ours, yardstick, label, goal):
    our_run, yard_run = find(runs, ours), find(runs, yardstick)
    our_text = show_time(seconds(our_run)) if our_run else "n/a"
    yard_text = f"{label} {show_time(seconds(yard_run))}" if yard_run else f"{label} n/a"
    ratio = f"{seconds(yard_run) / seconds(our_run):.2f}×" if our_run and yard_run else "n/a"
    return [work, our_text, yard_text, ratio, goal]


def rate_row(runs, work, ours, yardstick, label, goal):
    our_run = find(runs, ours)
    # The fastest of the yardstick's arguments (read() in different block sizes).
    yard_runs = find_all(runs, yardstick)
    yard_run = max(yard_runs, key=lambda run: run["bytes_per_second"], default=None)
    our_text = show_rate(our_run["bytes_per_second"]) if our_run else "n/a"
    yard_text = f"{label} n/a"
    if yard_run:
        yard_text = f"{label} {show_rate(yard_run['bytes_per_second'])}"
        if len(yard_runs) > 1:
            yard_text += f" ({int(yard_run['name'].split('/')[1]) // 1024} KiB reads)"
    ratio = "n/a"
    if our_run and yard_run:
        ratio = f"{our_run['bytes_per_second'] / yard_run['bytes_per_second']:.2f}×"
    return [work, our_text, yard_text, ratio, goal]


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__.strip().splitlines()[-1])
    runs = load_runs(sys.argv[1])
    everyday = find(runs, "BM_EverydayStart")
    rows = [
        time_row(runs, "archived update, 100 MiB first item", "BM_UpdateArchivedModule/100",
                 "BM_SevenZipExtractPlusCp", "`7z e` + `cp`", "≥ 0.95×"),
        time_row(runs, "extraction alone, 100 MiB first item", "BM_ComponentExtractFirst",
                 "BM_SevenZipCommandExtractFirst", "`7z e`", "≥ 0.95×"),
        rate_row(runs, "CRC-32 of a 64 MiB file (page cache)", "BM_FileCrc32", "BM_FileRead",
                 "`read()` alone", "≥ 0.8×"),
        rate_row(runs, "CRC-32 of a 64 MiB file (page cache)", "BM_FileCrc32", "BM_Zlib",
                 "zlib `crc32()`", "—"),
        ["up-to-date run, 2,000 rows, beyond the fixed 500 ms pause",
         show_time(seconds(everyday)) if everyday else "n/a", "—", "—", "≤ 15 ms"],
        time_row(runs, "SQLite BLOB of 256 MiB to a file", "BM_SqliteBlobToFile",
                 "BM_SqliteBlobRead64k", "`sqlite3_blob_read`, 64 KiB chunks", "≥ 0.95×"),
        time_row(runs, "plain update of 256 MiB (CRC-32 checked)", "BM_PlainUpdate256/0",
                 "BM_SqliteBlobRead64k", "`sqlite3_blob_read`, 64 KiB chunks", "≥ 0.95×"),
        time_row(runs, "plain update of 256 MiB, signed (CRC-32 and SHA-256)",
                 "BM_PlainUpdate256/1", "BM_PlainUpdate256/0", "the unsigned update",
                 "≥ 0.87× (≤ 1.15× its time)"),
        time_row(runs, "PostgreSQL bytea of 100 MiB to a file (psqlODBC)", "BM_OdbcBlobToFile",
                 "BM_PsqlCopyBinaryToFile", "`psql` binary `COPY … TO` a file", "≥ 0.7×"),
    ]
    print("| work | ours | yardstick | ratio | goal |")
    print("|---|---|---|---|---|")
    for row in rows:
        print("| " + " | ".join(row) + " |")


if __name__ == "__main__":
    main()
