#!/usr/bin/env python3
"""Turns the outputs of one bench/run into its table and its target lines.

    report.py WORK_DIR REPETITIONS

WORK_DIR holds format.json, export.json, cli.json, texture.json, mdlx.json and
scene.json (Google Benchmark's JSON
with repetitions), cli-N.time (GNU time -v of the whole exporter, one file per
run) and json-bytes (the description's size). Every figure is the
median over the repetitions; times are CPU time (user and system) unless a row
says wall-clock, because the machine's cores are shared and a busy machine
stretches wall-clock far more than CPU time.
"""

import json
import os
import re
import statistics
import sys

MB = 1e6


def load_benchmarks(path):
    """Name -> the median aggregate entry."""
    with open(path, encoding="utf-8") as f:
        data = json.load(f)
    medians = {}
    for entry in data["benchmarks"]:
        if entry.get("aggregate_name") == "median":
            medians[entry["run_name"]] = entry
    return medians


def seconds(entry, key):
    scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[entry["time_unit"]]
    return entry[key] * scale


def find(medians, prefix):
    for name, entry in medians.items():
        if name == prefix or name.startswith(prefix + "/"):
            return entry
    raise KeyError(prefix)


class Table:
    def __init__(self):
        self.rows = []

    def add(self, case, what, value, unit, against="", ratio=None):
        self.rows.append((case, what, value, unit, against, "" if ratio is None else f"{ratio:.2f}"))

    def print(self):
        header = ("case", "measurement", "median", "unit", "baseline", "ratio")
        cells = [header] + [tuple(str(c) for c in row) for row in self.rows]
        widths = [max(len(r[i]) for r in cells) for i in range(len(header))]
        right = {2, 5}

        def line(row):
            parts = [
                row[i].rjust(widths[i]) if i in right else row[i].ljust(widths[i])
                for i in range(len(row))
            ]
            return "| " + " | ".join(parts) + " |"

        print(line(header))
        print("|" + "|".join(("-" * (w + 1) + ":") if i in right else ("-" * (w + 2))
                             for i, w in enumerate(widths)) + "|")
        for row in cells[1:]:
            print(line(row))


def fmt(value, digits=3):
    """`digits` significant digits, no exponent."""
    if value == 0:
        return "0"
    magnitude = 0
    v = abs(value)
    while v >= 10:
        v /= 10
        magnitude += 1
    while v < 1:
        v *= 10
        magnitude -= 1
    decimals = max(0, digits - 1 - magnitude)
    return f"{value:.{decimals}f}"


def parse_cli_runs(work):
    """Per run of the whole command (GNU time -v): CPU and wall seconds, peak resident bytes."""
    runs = []
    index = 1
    while os.path.exists(os.path.join(work, f"cli-{index}.time")):
        with open(os.path.join(work, f"cli-{index}.time"), encoding="utf-8") as f:
            text = f.read()
        index += 1
        run = {}
        m = re.search(r"Maximum resident set size \(kbytes\): (\d+)", text)
        run["peak"] = int(m.group(1)) * 1024 if m else None
        user = re.search(r"User time \(seconds\): ([\d.]+)", text)
        system = re.search(r"System time \(seconds\): ([\d.]+)", text)
        run["cpu"] = float(user.group(1)) + float(system.group(1)) if user and system else None
        m = re.search(r"Elapsed \(wall clock\) time \(h:mm:ss or m:ss\): (?:(\d+):)?(\d+):([\d.]+)",
                      text)
        run["wall"] = ((int(m.group(1) or 0) * 3600 + int(m.group(2)) * 60 + float(m.group(3)))
                       if m else None)
        runs.append(run)
    return runs


def parse_time_runs(work, prefix):
    """Runs of GNU time -v saved as PREFIX-N.time, as parse_cli_runs reads them."""
    runs = []
    index = 1
    while os.path.exists(os.path.join(work, f"{prefix}-{index}.time")):
        with open(os.path.join(work, f"{prefix}-{index}.time"), encoding="utf-8") as f:
            text = f.read()
        index += 1
        m = re.search(r"Maximum resident set size \(kbytes\): (\d+)", text)
        user = re.search(r"User time \(seconds\): ([\d.]+)", text)
        system = re.search(r"System time \(seconds\): ([\d.]+)", text)
        runs.append({"peak": int(m.group(1)) * 1024 if m else None,
                     "cpu": float(user.group(1)) + float(system.group(1)) if user and system
                     else None})
    return runs


def median_of(runs, key):
    values = [r[key] for r in runs if r.get(key) is not None]
    return statistics.median(values) if values else None


def main():
    work = sys.argv[1]
    repetitions = sys.argv[2]
    table = Table()
    targets = []

    # 1. Number formatting.
    fmt_runs = load_benchmarks(os.path.join(work, "format.json"))
    per_value = {}
    for name in ("BM_FormatFixed6", "BM_Snprintf", "BM_ToCharsFixed6"):
        entry = find(fmt_runs, name)
        per_value[name] = seconds(entry, "cpu_time") / entry["values"] * 1e9
    ours = per_value["BM_FormatFixed6"]
    table.add("1 format", "FormatFixed6, 1,000,000 values", fmt(ours), "ns/value")
    snprintf_ratio = per_value["BM_Snprintf"] / ours
    to_chars_ratio = per_value["BM_ToCharsFixed6"] / ours
    table.add("1 format", 'snprintf("%.6f"), same values', fmt(per_value["BM_Snprintf"]),
              "ns/value", "FormatFixed6", snprintf_ratio)
    table.add("1 format", "std::to_chars fixed 6, same values",
              fmt(per_value["BM_ToCharsFixed6"]), "ns/value", "FormatFixed6", to_chars_ratio)
    targets.append((f"formatter at least 4x faster than snprintf (x{snprintf_ratio:.2f}) "
                    f"and no slower than std::to_chars fixed 6 (x{to_chars_ratio:.2f})",
                    snprintf_ratio >= 4.0 and to_chars_ratio >= 1.0))

    # 2. The whole export.
    exp_runs = load_benchmarks(os.path.join(work, "export.json"))
    full = find(exp_runs, "BM_Export/4")
    cpu = full["cpu_s"]
    wall = seconds(full, "real_time")
    size = full["bytes"]
    fmt_cpu = full["format_cpu_s"]
    write_cpu = full["write_cpu_s"]
    outside = cpu - fmt_cpu - write_cpu
    table.add("2 export", "whole export, CPU time", fmt(cpu), "s")
    table.add("2 export", "whole export, wall-clock", fmt(wall), "s", "CPU time", wall / cpu)
    table.add("2 export", "output written", fmt(size / MB), "MB")
    table.add("2 export", "output rate on CPU time", fmt(size / MB / cpu), "MB/s")
    table.add("2 export", "output rate on wall-clock", fmt(size / MB / wall), "MB/s")
    table.add("2 export", "number formatting (same numbers, alone)", fmt(fmt_cpu), "s",
              "whole export", fmt_cpu / cpu)
    table.add("2 export", "writing (inside the write seam)", fmt(write_cpu), "s",
              "whole export", write_cpu / cpu)
    table.add("2 export", "everything else", fmt(outside), "s", "whole export", outside / cpu)
    targets.append((f"whole export spends at most 25% outside number formatting and writing "
                    f"({100 * outside / cpu:.0f}%)", outside / cpu <= 0.25))

    # 3. Scaling.
    per_row = {}
    for quarters, label in ((1, "1/4"), (2, "1/2"), (4, "full")):
        entry = find(exp_runs, f"BM_Export/{quarters}")
        per_row[quarters] = entry["cpu_s"] / entry["rows"] * 1e9
        table.add("3 scaling", f"export at {label} size ({int(entry['rows']):,} rows)",
                  fmt(per_row[quarters]), "ns/row", "1/4 size", per_row[quarters] / per_row[1])
    per_bone = {}
    for bones in (100, 1000, 4000):
        entry = find(exp_runs, f"BM_BoneSection/{bones}")
        per_bone[bones] = seconds(entry, "cpu_time") / bones * 1e6
        table.add("3 scaling", f"bone section, {bones:,} bones", fmt(per_bone[bones]), "us/bone",
                  "100 bones", per_bone[bones] / per_bone[100])
    row_ratio = per_row[4] / per_row[1]
    bone_ratio = per_bone[4000] / per_bone[100]
    targets.append((f"time per row within 1.3x between 1/4 and full size (x{row_ratio:.2f}), "
                    f"time per bone within 2x between 100 and 4,000 bones (x{bone_ratio:.2f})",
                    max(row_ratio, 1 / row_ratio) <= 1.3 and max(bone_ratio, 1 / bone_ratio) <= 2.0))

    # 4. The command-line exporter.
    runs = parse_cli_runs(work)
    cli_path = os.path.join(work, "cli.json")
    if runs and os.path.exists(cli_path):
        with open(os.path.join(work, "json-bytes"), encoding="utf-8") as f:
            json_bytes = int(f.read().strip())
        cli_runs = load_benchmarks(cli_path)
        load = find(cli_runs, "BM_LoadDescription")
        export = find(cli_runs, "BM_BuildAndExport")
        load_rate = json_bytes / MB / load["cpu_s"]
        peak = median_of(runs, "peak")
        table.add("4 command", "model description", fmt(json_bytes / MB), "MB")
        table.add("4 command", "load (read and parse), CPU time", fmt(load["cpu_s"]), "s")
        table.add("4 command", "load, wall-clock", fmt(seconds(load, "real_time")), "s",
                  "CPU time", seconds(load, "real_time") / load["cpu_s"])
        table.add("4 command", "load rate on CPU time", fmt(load_rate), "MB/s")
        table.add("4 command", "load rate on wall-clock",
                  fmt(json_bytes / MB / seconds(load, "real_time")), "MB/s")
        table.add("4 command", "build stand-in and export, CPU time", fmt(export["cpu_s"]), "s")
        table.add("4 command", "output written", fmt(export["bytes"] / MB), "MB")
        table.add("4 command", "whole command, CPU time", fmt(median_of(runs, "cpu")), "s")
        table.add("4 command", "whole command, wall-clock", fmt(median_of(runs, "wall")), "s")
        table.add("4 command", "peak resident memory", fmt(peak / MB), "MB",
                  "description size", peak / json_bytes)
        targets.append((f"command-line exporter loads JSON at 200 MB/s or more "
                        f"({fmt(load_rate)} MB/s) and peaks under 2.5x the description's size "
                        f"(x{peak / json_bytes:.2f})",
                        load_rate >= 200 and peak < 2.5 * json_bytes))
    else:
        table.add("4 command", "command-line exporter not built", "-", "")
        targets.append(("command-line exporter loads JSON at 200 MB/s or more and peaks under "
                        "2.5x the description's size (the exporter is not built)", False))

    # 5. BLP textures.
    texture_path = os.path.join(work, "texture.json")
    if os.path.exists(texture_path):
        texture_runs = load_benchmarks(texture_path)
        rates = []
        for name, label in (("BM_TexturePng", "PNG"), ("BM_TextureJpeg", "JPEG")):
            entry = find(texture_runs, name)
            megapixels = entry["megapixels"]
            rate = megapixels / entry["cpu_s"]
            rates.append(rate)
            table.add("5 texture", f"{label} of {fmt(megapixels)} MP to BLP, CPU time",
                      fmt(entry["cpu_s"]), "s")
            table.add("5 texture", f"{label} to BLP, rate on CPU time", fmt(rate), "MP/s")
            table.add("5 texture", f"{label} to BLP, rate on wall-clock",
                      fmt(megapixels / seconds(entry, "real_time")), "MP/s")
        targets.append((f"textures convert at 20 megapixels a second or more (PNG {fmt(rates[0])}, "
                        f"JPEG {fmt(rates[1])} MP/s)", min(rates) >= 20))
    else:
        table.add("5 texture", "texture writer not built", "-", "")
        targets.append(("textures convert at 20 megapixels a second or more "
                        "(the texture writer is not built)", False))

    # 6. The model library.
    mdlx_path = os.path.join(work, "mdlx.json")
    if os.path.exists(mdlx_path):
        with open(os.path.join(work, "mdl-bytes"), encoding="utf-8") as f:
            mdl_bytes = int(f.read().strip())
        runs5 = load_benchmarks(mdlx_path)
        read = find(runs5, "BM_ReadMdl")
        write = find(runs5, "BM_WriteMdx")
        both = find(runs5, "BM_MdlToMdx")
        read_rate = mdl_bytes / MB / read["cpu_s"]
        write_rate = write["bytes"] / MB / write["cpu_s"]
        convert_runs = parse_time_runs(work, "convert")
        convert_cpu = median_of(convert_runs, "cpu")
        peak = median_of(convert_runs, "peak")
        table.add("6 mdlx", "MDL (benchmark model, 2 meshes, heading)", fmt(mdl_bytes / MB), "MB")
        table.add("6 mdlx", "read MDL, CPU time", fmt(read["cpu_s"]), "s")
        table.add("6 mdlx", "read MDL rate on CPU time", fmt(read_rate), "MB/s")
        table.add("6 mdlx", "MDX written", fmt(write["bytes"] / MB), "MB")
        table.add("6 mdlx", "write MDX, CPU time", fmt(write["cpu_s"]), "s")
        table.add("6 mdlx", "write MDX rate on CPU time", fmt(write_rate), "MB/s")
        table.add("6 mdlx", "MDL to MDX in memory, CPU time", fmt(both["cpu_s"]), "s")
        table.add("6 mdlx", "mdlx-convert MDL to MDX, CPU time", fmt(convert_cpu), "s")
        table.add("6 mdlx", "mdlx-convert peak resident memory", fmt(peak / MB), "MB",
                  "MDL size", peak / mdl_bytes)
        viewer = []
        index = 1
        while os.path.exists(os.path.join(work, f"viewer-{index}.json")):
            with open(os.path.join(work, f"viewer-{index}.json"), encoding="utf-8") as f:
                viewer.append(json.load(f))
            index += 1
        speedup = None
        if viewer:
            viewer_cpu = statistics.median(v["cpu_s"] for v in viewer)
            speedup = viewer_cpu / convert_cpu
            with open(os.path.join(work, "viewer-same"), encoding="utf-8") as f:
                same = f.read().strip()
            table.add("6 mdlx", f"mdx-m3-viewer load + saveMdx, CPU time (MDX {same})",
                      fmt(viewer_cpu), "s", "mdlx-convert", speedup)
        else:
            table.add("6 mdlx", "mdx-m3-viewer (node missing: skipped)", "-", "")
        targets.append((f"model library reads MDL at 300 MB/s or more ({fmt(read_rate)} MB/s), "
                        f"writes MDX at 1 GB/s or more ({fmt(write_rate)} MB/s), converts at "
                        f"least 10x faster than mdx-m3-viewer "
                        f"({'x' + format(speedup, '.1f') if speedup else 'not measured'}) and "
                        f"peaks under 2x the MDL's size (x{peak / mdl_bytes:.2f})",
                        read_rate >= 300 and write_rate >= 1000 and peak < 2 * mdl_bytes and
                        (speedup is None or speedup >= 10)))

    # 7. A large skinned scene as a whole game model.
    scene_path = os.path.join(work, "scene.json")
    if os.path.exists(scene_path):
        runs7 = load_benchmarks(scene_path)
        read = find(runs7, "BM_AssimpRead")["cpu_seconds"]
        whole = find(runs7, "BM_WholeConversion")["cpu_seconds"]
        ratio = whole / read
        table.add("7 scene", "Assimp reads the 80,000-vertex skinned GLB, CPU time", fmt(read), "s")
        table.add("7 scene", "whole conversion of it to MDX, CPU time", fmt(whole), "s",
                  "Assimp's read", ratio)
        targets.append((f"a large skinned scene converts in at most 1.25x Assimp's reading of it "
                        f"(x{ratio:.2f})", ratio <= 1.25))
    else:
        table.add("7 scene", "scene conversion not built", "-", "")
        targets.append(("a large skinned scene converts in at most 1.25x Assimp's reading of it "
                        "(the scene conversion is not built)", False))

    print(f"Medians of {repetitions} repetitions; CPU time (user + system) unless marked "
          "wall-clock. ratio = median / baseline's median, same run.")
    print()
    table.print()
    print()
    for text, met in targets:
        print(f"target: {text}: {'met' if met else 'NOT MET'}")


if __name__ == "__main__":
    main()
