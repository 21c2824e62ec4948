"""Pictures of the 3D graph window in its four styles (bars, lines, dots,
solid) and both modes (live data, averages history), drawn offscreen by the
graph_shots tool into <output dir>/graph-<mode>-<style>.png.

    /usr/bin/python3 scripts/graph_screenshot.py <bin dir> <output dir>"""
import os
import subprocess
import sys

MODES = ("live", "history")
STYLES = ("bars", "lines", "dots", "solid")


def main(bin_dir, out_dir):
    os.makedirs(out_dir, exist_ok=True)
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    subprocess.run([os.path.join(bin_dir, "graph_shots"), out_dir], env=env, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    missing = [name for name in ("graph-%s-%s.png" % (m, s) for m in MODES for s in STYLES)
               if not os.path.isfile(os.path.join(out_dir, name))]
    if missing:
        sys.exit("graph_shots did not write " + ", ".join(missing))
    print("graph screenshots in", out_dir)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
