"""Runs a command on a private Xvfb display with a system tray (trayer):
    /usr/bin/python3 run_under_x.py <command> [args...]"""
import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(__file__))
import xsession  # noqa: E402

if __name__ == "__main__":
    x = xsession.XSession()
    try:
        result = subprocess.run(sys.argv[1:], env=x.env())
    finally:
        x.close()
    sys.exit(result.returncode)
