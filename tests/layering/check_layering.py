#!/usr/bin/env python3
"""Checks every quoted #include of the sources against the include table of
docs/architecture.md (the table whose first two columns are "From" and
"May include").

Usage: check_layering.py [REPOSITORY_ROOT]

A row names a folder and what its files may include: a folder (ending in /)
or one header. A file follows every row whose folder holds it (a subfolder's
row adds to its parent's) and may always include files of the most specific
of those folders. Folders of the table that do not exist are skipped.

An include is resolved as the compiler does: next to the including file,
then from the repository root, then from api/. One that resolves to no file
of ours and does not start with one of our folders is outside the tree
(the standard library, third-party packages) and is not checked.

Prints each edge the table does not allow as FILE:LINE: message and exits 1.
"""
import pathlib
import re
import sys

DOCUMENT = "docs/architecture.md"
SEARCH_DIRS = ("", "api")  # the -I folders, after the including file's own
SOURCE_SUFFIXES = {".h", ".hh", ".hpp", ".inl", ".c", ".cc", ".cpp", ".cxx", ".m", ".mm"}
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')
TOKEN = re.compile(r"`([^`]+)`")


def cells(line):
    return [c.strip() for c in line.strip().strip("|").split("|")]


def plain(cell):
    return re.sub(r"[`*_]", "", cell).strip().lower()


def read_table(doc_path):
    """Returns [(folder, [allowed...], doc line)] and a list of errors."""
    lines = doc_path.read_text(encoding="utf-8").splitlines()
    rows, errors = [], []
    for i, line in enumerate(lines):
        if not line.lstrip().startswith("|"):
            continue
        head = cells(line)
        if len(head) >= 2 and plain(head[0]) == "from" and plain(head[1]) == "may include":
            start = i + 2  # past the |---| line
            break
    else:
        return [], [f"{DOCUMENT}: no table with the columns 'From | May include'"]
    for n in range(start, len(lines)):
        line = lines[n]
        if not line.lstrip().startswith("|"):
            break
        row = cells(line)
        where = f"{DOCUMENT}:{n + 1}"
        frm = TOKEN.findall(row[0])
        if len(frm) != 1 or not frm[0].endswith("/"):
            errors.append(f"{where}: the first cell must name one folder, as `folder/`")
            continue
        allowed = TOKEN.findall(row[1]) if len(row) > 1 else []
        rows.append((frm[0], allowed, n + 1))
    return rows, errors


def resolve(root, source, name):
    """The repository path an include names, or None for one outside the tree."""
    for base in [source.parent] + [root / d for d in SEARCH_DIRS]:
        candidate = base / name
        if candidate.is_file():
            try:
                return candidate.resolve().relative_to(root).as_posix()
            except ValueError:
                return None
    first = name.split("/", 1)[0]
    if "/" in name and (root / first).is_dir():
        return name  # one of our folders, file missing: still an edge
    return None


def allows(entry, target):
    return target.startswith(entry) if entry.endswith("/") else target == entry


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).parents[2]).resolve()
    rows, errors = read_table(root / DOCUMENT)

    for folder, allowed, doc_line in rows:
        for entry in allowed:
            if not (root / entry).exists():
                errors.append(f"{DOCUMENT}:{doc_line}: `{folder}` may include `{entry}`, which does not exist")

    present = [r for r in rows if (root / r[0]).is_dir()]
    sources = sorted({p for folder, _, _ in present for p in (root / folder).rglob("*")
                      if p.suffix in SOURCE_SUFFIXES and p.is_file()})

    includes = 0
    for path in sources:
        rel = path.relative_to(root).as_posix()
        matching = [r for r in present if rel.startswith(r[0])]
        own = max(matching, key=lambda r: len(r[0]))[0]
        allowed = [own] + [e for r in matching for e in r[1]]
        for number, text in enumerate(path.read_text(encoding="utf-8", errors="replace").splitlines(), 1):
            m = INCLUDE.match(text)
            if not m:
                continue
            target = resolve(root, path, m.group(1))
            if target is None:
                continue
            includes += 1
            if not any(allows(e, target) for e in allowed):
                errors.append(f"{rel}:{number}: {own} -> {target} is not allowed by {DOCUMENT} "
                              f"({own} may include: {', '.join(sorted(set(allowed)))})")

    for e in errors:
        print(e)
    absent = [r[0] for r in rows if r not in present]
    print(f"layering: {includes} includes of {len(sources)} files checked against {len(rows)} rows"
          + (f" (absent, skipped: {', '.join(absent)})" if absent else "")
          + (f"; {len(errors)} problem(s)" if errors else "; all allowed"))
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
