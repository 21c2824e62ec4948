#!/usr/bin/env python3
"""Prints the figures issue 39 set, one line each with its target beside it.

Run from anywhere: `python3 scripts/project_figures.py`. The counts that
read C++ are heuristics over the text (regular expressions and brace
depth, no parser): good enough to see a figure move, not proof.
"""
import collections, os, re, shutil, subprocess

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SRC = os.path.join(ROOT, "src")


def read(path):
    """The file's text; "" when a later change moved or removed it."""
    if not os.path.exists(os.path.join(ROOT, path)):
        return ""
    with open(os.path.join(ROOT, path), encoding="utf-8", errors="replace") as f:
        return f.read()


def sources(top=SRC, exts=(".h", ".cpp")):
    for folder, _, files in os.walk(top):
        for name in sorted(files):
            if name.endswith(exts):
                yield os.path.join(folder, name)


def uncomment(text):
    return re.sub(r"//[^\n]*|/\*.*?\*/", "", text, flags=re.S)


def class_statements(text, name):
    """(access, statement) for each declaration at the top level of class
    `name`; nested bodies (inline functions, nested types) are dropped."""
    m = re.search(r"\b(class|struct)\s+%s\b[^;{]*\{" % name, text)
    if not m:
        return []
    access = "public" if m.group(1) == "struct" else "private"
    depth, cur, out = 1, "", []
    for ch in text[m.end():]:
        if ch == "{":
            depth += 1
            cur += "{}" if depth == 2 else ""
        elif ch == "}":
            depth -= 1
            if depth == 0:
                break
        elif depth == 1:
            cur += ch
            label = re.search(r"\b(public|private|protected)\s*:$", cur.strip())
            if label and not cur.strip().endswith("::"):
                access, cur = label.group(1), ""
            elif ch == ";":
                out.append((access, " ".join(cur.split())))
                cur = ""
        if depth == 1 and ch == "}" and cur.endswith("{}"):
            out.append((access, " ".join(cur.split())))
            cur = ""
    return out


def methods(text, name):
    found = []
    for access, st in class_statements(uncomment(text), name):
        m = re.match(r"(.*?)\b(~?\w+|operator\S*)\s*\(", st)
        if access != "public" or not m or st.startswith("std::function") or "=" in m.group(1):
            continue
        if m.group(2) in (name, "~" + name, "operator=") or "= delete" in st:
            continue
        found.append((m.group(1).strip(), m.group(2)))
    return found


def figure(what, value, target):
    print("%-58s %-22s target: %s" % (what, value, target))


def main():
    files = list(sources())
    texts = {f: read(f) for f in files}

    figure("README.md lines", len(read("README.md").splitlines()), "<= 400")

    session = methods(read("src/shell/meter_session.h"), "MeterSession")
    mutable = [n for r, n in session if r and r[-1] in "&*" and not r.startswith("const")]
    figure("MeterSession public methods", len(session), "fewer than 44")
    figure("  of them handing out a mutable reference or pointer", len(mutable), "<= 5")

    probe_path = "tests/support/main_window_probe.h"
    if os.path.exists(os.path.join(ROOT, probe_path)):
        probe = methods(read(probe_path), "MainWindowProbe")
        uses = sum(len(re.findall(r"\bProbe\(", read(f))) for f in sources(os.path.join(ROOT, "tests")))
        figure("test probe (MainWindowProbe) methods", len(probe), "<= 15")
        figure("  probe uses in tests/ (Probe(...))", uses, "fewer than 206")
    else:
        figure("test probe (MainWindowProbe) methods", "no probe", "<= 15")

    figure("std::function in src", sum(t.count("std::function<") for t in texts.values()),
           "fewer than 104")
    # A public field holding a callable, named by std::function or by an
    # alias of one. One that returns nothing is a listener (an event told
    # to whoever set it); one that returns a value is an injected source (a
    # clock, a reader, a dialog the tests answer).
    aliases = {}
    for t in texts.values():
        for m in re.finditer(r"\busing\s+(\w+)\s*=\s*std::function<\s*([^(]*?)\s*\(", uncomment(t)):
            aliases[m.group(1)] = m.group(2)
    kinds = collections.defaultdict(list)
    callable_field = re.compile(r"(?:std::function<\s*([^(]*?)\s*\(.*>|(%s))\s+(\w+)\s*(=.*|\{\})?;?$"
                                % "|".join(aliases or ["$^"]))
    for f in files:
        if not f.endswith(".h"):
            continue
        text = uncomment(texts[f])
        for cls in sorted(set(re.findall(r"\b(?:class|struct)\s+(\w+)[^;{]*\{", text))):
            statements = class_statements(text, cls)
            # A plain value type: a struct of fields, without a function of its own.
            plain = bool(re.search(r"\bstruct\s+%s\b" % cls, text)) and not any(
                "(" in st and not callable_field.match(st) for _, st in statements)
            for access, st in statements:
                m = callable_field.match(st)
                if access != "public" or not m:
                    continue
                returns = m.group(1) if m.group(1) is not None else aliases[m.group(2)]
                kind = "listener" if returns == "void" else "source"
                kinds[kind + (" plain" if plain else "")].append("%s::%s" % (cls, m.group(3)))

    def listed(names):
        return " (" + ", ".join(names) + ")" if names else ""
    figure("public callback fields: listeners (return nothing)", len(kinds["listener"]),
           "0 outside plain value types" + listed(kinds["listener"]))
    figure("  listeners in plain value types (structs of fields)", len(kinds["listener plain"]),
           "-" + listed(kinds["listener plain"]))
    figure("  injected sources (return a value)", len(kinds["source"]),
           "seams: clocks, readers, dialogs" + listed(kinds["source"]))
    figure("  injected sources in plain value types", len(kinds["source plain"]),
           "-" + listed(kinds["source plain"]))

    derived, with_macro = 0, 0
    for f in files:
        t = uncomment(texts[f])
        for m in re.finditer(r"\bclass\s+\w+\s*(?:final\s*)?:\s*(?:public|protected|private)?\s*Q[A-Z]\w*[^{;]*\{", t):
            derived += 1
            with_macro += "Q_OBJECT" in t[m.end():m.end() + 200]
    headers = sum("Q_OBJECT" in t for f, t in texts.items() if f.endswith(".h"))
    figure("headers with Q_OBJECT", "%d of %d" % (headers, sum(f.endswith(".h") for f in files)), "-")
    figure("classes deriving a Qt class directly / with Q_OBJECT", "%d / %d" % (derived, with_macro),
           "every QObject one (heuristic)")

    measure = sum(len(t.splitlines()) for f, t in texts.items()
                  if f.startswith(os.path.join(SRC, "measure") + os.sep))
    figure("lines in src/measure (.h, .cpp)", measure, "<= 4500")

    names = collections.Counter(os.path.basename(f) for f in files)
    twice = sorted(n for n, c in names.items() if c > 1)
    figure("file names used twice in src", len(twice), "0" + (" (" + ", ".join(twice) + ")" if twice else ""))
    shots = [f for f in files if re.search(r"(^|_)shots?[._]", os.path.basename(f))]
    figure("screenshot programs in src", len(shots), "0")

    main_cpp = "src/app/headless_main.cpp"
    t = read(main_cpp)
    figure("headless_main.cpp lines", len(t.splitlines()), "<= 200")
    figure("headless_main.cpp #if/#ifdef/#ifndef/#elif", len(re.findall(r"^\s*#\s*(if|ifdef|ifndef|elif)\b", t, re.M)),
           "<= 2")

    state = uncomment(read("src/measure/measurement_state.h"))
    body = state[state.find("struct MeasurementState"):]
    names_ = re.findall(r"^\s+[\w:<>, ]+?\s+(\w+)\s*(?:=[^;]*|\{\})?;", body.split("void ", 1)[0], re.M)
    write = re.compile(r"(?:\.|->)\s*(%s)\b(?:\[[^]]*\])?\s*(?:[-+*/|&]?=(?!=)|\+\+|--|\.fill\()"
                       r"|(?:\+\+|--)\s*[\w.()>-]*(?:\.|->)(%s)\b" % ("|".join(names_), "|".join(names_)))
    writers = collections.defaultdict(set)
    for f, text in (texts.items() if names_ else ()):
        for m in write.finditer(uncomment(text)):
            writers[m.group(1) or m.group(2)].add(f)
    every = set().union(*writers.values()) if writers else set()
    figure("MeasurementState public fields", len(names_), "state behind the core's methods")
    figure("files writing MeasurementState fields (heuristic)", len(every),
           "the core and the tick's parts it owns")
    # MeterCore holds the sampler, the averaging and the publisher privately:
    # they are the two halves of its tick, not parts of the meter around it.
    own = ("meter_core", "counter_sampler", "result_publisher", "averaging_engine")
    core = {os.path.join(SRC, "measure", n + e) for n in own for e in (".h", ".cpp")}
    outside = sorted(os.path.relpath(f, SRC) for f in every - core)
    figure("  outside the core and its own parts", len(outside),
           "0" + (" (" + ", ".join(outside) + ")" if outside else ""))
    figure("  files writing AdapterIndex", len(writers.get("AdapterIndex", ())), "1")
    hold = re.compile(r"(?<!const )\bMeasurementState\s*&|\bState\(\)\s*\.")
    holders = {f for f, text in texts.items() if hold.search(uncomment(text))}
    figure("  files writing or holding a mutable one", len(every | holders), "1 (the core)")
    sections = [(f, len(re.findall(r"\bProgramSection\s*=(?!=)", uncomment(t)))) for f, t in texts.items()]
    figure("ProgramSection assignments / files",
           "%d / %d" % (sum(n for _, n in sections), sum(1 for _, n in sections if n)), "set by a scope object")

    if shutil.which("duplicates"):
        out = subprocess.run(["duplicates", "--repo", SRC, "--most", "200", "--seconds", "120"],
                             capture_output=True, text=True).stdout
        exact = [l for l in out.splitlines() if re.match(r"D\d+ ", l) and " shape" not in l]
        figure("exact copies (`duplicates src`, rows not by shape)", len(exact), "0")

    # Built from pieces so that this file does not count itself.
    word = re.compile(r"\b(?:the|per) s[p]ec\b|\bs[p]ec's\b|\bs[p]ecification\b|\bPar[t] \d", re.I)
    tracked = subprocess.run(["git", "-C", ROOT, "ls-files"], capture_output=True, text=True).stdout.split()
    hits = []
    for f in tracked:
        try:
            with open(os.path.join(ROOT, f), encoding="utf-8") as fh:
                hits += ["%s:%d" % (f, i + 1) for i, l in enumerate(fh) if word.search(l)]
        except (UnicodeDecodeError, OSError):
            pass
    figure("mentions of the requirements document", len(hits), "0" + (" (" + ", ".join(hits[:5]) + ")" if hits else ""))


if __name__ == "__main__":
    main()
