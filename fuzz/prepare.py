#!/usr/bin/env python3
"""Writes a fuzz target's starting material into OUTDIR: the seed corpus and the dictionary.

    fuzz/prepare.py OUTDIR

OUTDIR/seeds/ gets every script under tests/scripts and examples but the heavy ones (one file each,
named after its path, so the corpus stays generated rather than committed). OUTDIR/vorla.dict gets the language's words and
operators, read from the grammar's literals, and the built-in method and native names, read from the
method tables, so the dictionary follows the grammar as it changes.
"""
import pathlib
import re
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent


def seeds(out: pathlib.Path) -> int:
    out.mkdir(parents=True, exist_ok=True)
    count = 0
    for top in ("tests/scripts", "examples"):
        for path in sorted((ROOT / top).rglob("*.vl")):
            if path.with_suffix(".heavy").exists():
                continue  # millions of values: minutes under the sanitizers, and nothing a mutation needs
            name = str(path.relative_to(ROOT)).replace("/", "_")
            (out / name).write_bytes(path.read_bytes())
            count += 1
    return count


def dict_entry(token: str) -> str:
    escaped = token.replace("\\", "\\\\").replace('"', '\\"')
    return '"' + escaped + '"'


def dictionary(out: pathlib.Path) -> int:
    grammar = (ROOT / "src/semantic/grammar.cpp").read_text(encoding="utf-8")
    tokens = set(re.findall(r'L"([^"\\]+)"', grammar))            # keywords, type names, long operators
    tokens |= set(re.findall(r"ch_p\(L'([^'\\])'\)", grammar))     # one-character operators and marks
    for source in sorted((ROOT / "src").rglob("*.cpp")) + sorted((ROOT / "src").rglob("*.hpp")):
        text = source.read_text(encoding="utf-8")
        tokens |= set(re.findall(r'\{method_name::\w+, "([a-z_]+)"\}', text))  # built-in method names
        tokens |= set(re.findall(r'natives->define\(L"([a-z_]+)"', text))
        if source.name == "native_kit.hpp":  # the built-in natives' table, as scripts call them
            tokens |= {"using::" + n + "(" for n in re.findall(r'return \{"([a-z_]+)", \d+, \d+\};', text)}
    # Shapes every program needs, so that mutations start from something that compiles.
    tokens |= {"process main() {", "process::", "using::write(", "using::read(", "using::debug(", "ref("}
    lines = [dict_entry(t) for t in sorted(tokens) if t]
    out.write_text("\n".join(lines) + "\n", encoding="utf-8")
    return len(lines)


def main() -> int:
    if len(sys.argv) != 2:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    out = pathlib.Path(sys.argv[1])
    n_seeds = seeds(out / "seeds")
    n_words = dictionary(out / "vorla.dict")
    print(f"prepare: {n_seeds} seeds, {n_words} dictionary entries in {out}", file=sys.stderr)
    return 0


if __name__ == "__main__":
    sys.exit(main())
