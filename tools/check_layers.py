#!/usr/bin/env python3
"""Checks the layer rule of docs/architecture.md from the sources under src/.

Every folder of src/ is a layer. A file may include headers of its own layer and of the layers
listed below it in LAYERS, never of a layer above or beside it. The pure layer (base) includes
nothing but the standard library; no layer below the loader includes a window header.
Inside the loader, no unit's includes lead back to it. Prints one line per broken rule and exits 1
when there is any.
"""
import pathlib
import re
import sys

# Each layer with the layers it may include (besides itself).
LAYERS = {
    "base": [],
    "platform": ["base"],
    "support": ["platform", "base"],
    "settings": ["support", "platform", "base"],
    "db": ["base"],
    "connection": ["settings", "db", "support", "platform", "base"],
    "rules": ["settings", "db", "support", "platform", "base"],
    "loader": ["connection", "rules", "settings", "db", "support", "platform", "base"],
    "publish": ["loader", "connection", "rules", "settings", "db", "support", "platform", "base"],
    "ui/console": ["loader", "connection", "rules", "settings", "db", "support", "platform", "base"],
    "ui/qt": ["loader", "connection", "rules", "settings", "db", "support", "platform", "base"],
    "ui/win32": ["loader", "connection", "rules", "settings", "db", "support", "platform", "base"],
}
BELOW_LOADER = {"base", "platform", "support", "settings", "db", "connection", "rules"}

# The C++ standard library's headers (and the C library's in their C++ form); base may use the
# CPU's own intrinsics headers too, which are no operating-system service.
STANDARD = set(
    """algorithm any array atomic bit bitset cassert cctype cerrno cfloat charconv chrono cinttypes
    climits clocale cmath compare concepts condition_variable cstddef cstdint cstdio cstdlib
    cstring ctime cwchar cwctype deque exception filesystem format fstream functional initializer_list
    iomanip ios iosfwd iostream istream iterator limits list locale map memory mutex new numbers
    numeric optional ostream queue random ranges ratio regex set source_location span sstream
    stack stdexcept stop_token streambuf string string_view system_error thread tuple type_traits
    typeinfo unordered_map unordered_set utility variant vector version""".split()
)
BASE_EXTRA = {"cpuid.h", "immintrin.h"}

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]', re.M)
WINDOW_HEADER = re.compile(r"^(Q[A-Za-z]*|Qt[A-Za-z]+/.*|commctrl\.h|gdiplus\.h|uxtheme\.h|windowsx\.h)$")
WINDOW_OWN = {"loader/loader_ui.h", "loader/ui_services.h"}


def layer_of(relative: pathlib.PurePosixPath) -> str:
    parts = relative.parts
    if parts[0] == "ui" and len(parts) > 2:
        return "ui/" + parts[1]
    return parts[0]


def units_in_a_circle(src: pathlib.Path, layer: str) -> list:
    """Inside `layer`, a unit (a header with its .cpp) must not reach itself through the units it
    includes: the files of one layer stand in an order too, each building on the ones below."""
    folder = src / layer
    includes = {}
    for path in folder.glob("*"):
        if path.suffix not in (".h", ".cpp"):
            continue
        for quote, name in INCLUDE.findall(path.read_text(encoding="utf-8")):
            target = pathlib.PurePosixPath(name)
            if quote == '"' and target.parent.as_posix() == layer and target.stem != path.stem:
                includes.setdefault(path.stem, set()).add(target.stem)
    problems = []
    for start in sorted(includes):
        seen, stack = set(), list(includes[start])
        while stack:
            unit = stack.pop()
            if unit == start:
                problems.append(f"{layer}/{start}: its includes lead back to it")
                break
            if unit not in seen:
                seen.add(unit)
                stack.extend(includes.get(unit, ()))
    return problems


def main(src: pathlib.Path) -> int:
    problems = []
    edges = set()
    for path in sorted(src.rglob("*")):
        if path.suffix not in (".h", ".cpp") or not path.is_file():
            continue
        relative = pathlib.PurePosixPath(path.relative_to(src).as_posix())
        if len(relative.parts) < 2:
            continue
        layer = layer_of(relative)
        if layer not in LAYERS:
            problems.append(f"{relative}: folder '{layer}' is in no layer of the rule")
            continue
        for quote, name in INCLUDE.findall(path.read_text(encoding="utf-8")):
            if quote == "<":
                if layer == "base" and name not in STANDARD and name not in BASE_EXTRA:
                    problems.append(f"{relative}: the pure layer includes <{name}>")
                if layer in BELOW_LOADER and WINDOW_HEADER.match(name):
                    problems.append(f"{relative}: a layer below the loader includes <{name}>")
                continue
            if layer in BELOW_LOADER and name in WINDOW_OWN:
                problems.append(f"{relative}: a layer below the loader includes \"{name}\"")
            target = src / name
            if not target.exists():
                continue  # a header of the same folder, or one the build generates
            target_layer = layer_of(pathlib.PurePosixPath(name))
            if target_layer == layer:
                continue
            edges.add((layer, target_layer))
            if target_layer not in LAYERS.get(layer, []):
                problems.append(f"{relative}: layer '{layer}' includes \"{name}\" of layer '{target_layer}'")
    for a, b in sorted(edges):
        if (b, a) in edges and a < b:
            problems.append(f"layers '{a}' and '{b}' include each other")
    problems += units_in_a_circle(src, "loader")
    for line in problems:
        print(line)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else "src")))
