"""Runs a test command in network and mount namespaces of its own, so the
only traffic on its loopback is the test's own and a rate it measures cannot
be skewed by anything else on the machine:

    own_network.py COMMAND [ARG...]

Inside, the loopback is up and /sys is mounted again, so /sys/class/net
shows the namespace's interfaces. Where no namespace can be made (no root,
no user namespaces) the command runs as it is, and says so: its rates are
then measured on the machine's loopback, where other traffic adds to them.
"""
import os
import subprocess
import sys

INSIDE = "VELMAR_E2E_OWN_NETWORK"


def reexec_inside(command):
    """Runs `command` in its own namespaces when they can be had; returns
    its exit code, or None where they cannot."""
    probe = subprocess.run(["unshare", "--net", "--mount", "true"], capture_output=True, text=True)
    if probe.returncode != 0:
        reason = probe.stderr.strip() or "unshare exited with %d" % probe.returncode
        print("own_network: no network namespace here (%s); measuring on the machine's "
              "loopback, where other traffic adds to the rates" % reason, flush=True)
        return None
    script = 'ip link set lo up && mount -t sysfs sysfs /sys && exec "$@"'
    result = subprocess.run(["unshare", "--net", "--mount", "sh", "-c", script, "sh"] + command,
                            env=dict(os.environ, **{INSIDE: "1"}))
    return result.returncode


def inside():
    return os.environ.get(INSIDE) == "1"


def main(command):
    if not inside():
        code = reexec_inside(command)
        if code is not None:
            sys.exit(code)
    os.execvp(command[0], command)


if __name__ == "__main__":
    main(sys.argv[1:])
