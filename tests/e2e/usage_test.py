"""`velmar --usage`: a known transfer between two looks is in the period's
use of its interface and in the plan, as text and as JSON that follows
docs/usage.schema.json. Runs in a network namespace of its own (skipped,
77, where none can be had)."""
import json
import os
import socket
import subprocess
import sys

import jsonschema

import meter_process

SCHEMA = os.path.join(os.path.dirname(__file__), "..", "..", "docs", "usage.schema.json")


def sh(command):
    subprocess.run(["sh", "-c", command], check=True)


def send_out_of_va(total):
    """UDP payload out of va to a neighbour that never answers; 42 bytes of
    headers on 60000 a datagram."""
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sent = 0
    while sent < total:
        sent += s.sendto(bytes(60000), ("10.77.0.2", 9))
    s.close()
    return sent


def usage(bin_dir, env, *args):
    out = meter_process.run(bin_dir, "velmar", "--usage", *args, env=env)
    assert out.returncode == 0, out
    return out.stdout


def test_usage_between_two_looks(bin_dir):
    sh("ip link add va type veth peer name vb && ip link set va mtu 65000 && "
       "ip link set vb mtu 65000 && ip link set va up && ip link set vb up && "
       "ip addr add 10.77.0.1/24 dev va && "
       "ip neigh add 10.77.0.2 lladdr 02:00:00:00:00:02 dev va nud permanent")
    with open(SCHEMA) as f:
        schema = json.load(f)
    validator = jsonschema.Draft202012Validator(
        schema, format_checker=jsonschema.Draft202012Validator.FORMAT_CHECKER)
    env = meter_process.environment(bin_dir)
    env["VELMAR_REGISTRY"] = os.path.join(env["VELMAR_APP_DIR"], "registry.db")

    first = json.loads(usage(bin_dir, env, "--json"))
    validator.validate(first)
    assert first["plan"] is None, first

    lines = ["Velmar 2000 settings, please don't change this file! "] + ["0"] * 43 + [""] * 18
    lines[56:61] = ["20 MB", "monthly 1", "up", "va", "50, 100"]
    with open(os.path.join(env["VELMAR_APP_DIR"], "Velmarsettings.ini"), "w", newline="") as f:
        f.write("\r\n".join(lines) + "\r\n")
    sent = send_out_of_va(15_000_000)

    report = json.loads(usage(bin_dir, env, "--json"))
    validator.validate(report)
    by_name = {i["name"]: i for i in report["interfaces"]}
    assert abs(by_name["va"]["transmitted_bytes"] - sent) <= sent * 0.01, (by_name, sent)
    assert by_name["va"]["in_plan"] and not by_name["vb"]["in_plan"], by_name
    plan = report["plan"]
    assert plan["limit_bytes"] == 20_000_000 and plan["interfaces"] == ["va"], plan
    assert plan["counts"] == "up" and plan["warn_at_percent"] == [50, 100], plan
    assert plan["used_bytes"] == by_name["va"]["transmitted_bytes"], plan
    assert plan["left_bytes"] == 20_000_000 - plan["used_bytes"], plan

    text = usage(bin_dir, env)
    assert "Plan: 20.0 MB monthly 1, counting up on va" in text, text
    assert "(not in the plan)" in text.split("vb", 1)[1].splitlines()[0], text

    bad = meter_process.run(bin_dir, "velmar", "--usage", "--csv", env=env)
    assert bad.returncode == 2 and "--csv" in bad.stderr, bad


if __name__ == "__main__":
    if os.environ.get("VELMAR_E2E_OWN_NETWORK") != "1":
        print("usage_test: skipped, it needs a network namespace of its own")
        sys.exit(77)
    test_usage_between_two_looks(sys.argv[1])
    print("test_usage_between_two_looks ok")
