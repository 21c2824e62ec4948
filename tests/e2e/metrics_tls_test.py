"""The metrics endpoint behind a web configuration of Prometheus's exporters.

A real Prometheus scrapes one meter over TLS with basic auth and another
that requires a client certificate: both targets are up. A wrong password
(401 with its challenge), a missing client certificate and plain HTTP to
the TLS port are refused. A certificate renewed on disk is served at the
next handshake. 50 clients that stall in the handshake, with 30 idle ones
beside them, are cut while the ticks go on and the cap holds. Every
malformed configuration in a table fails the start with exit 2 and a line
of its own."""
import base64
import http.client
import json
import os
import socket
import ssl
import subprocess
import sys
import tempfile
import time

import meter_process
import metrics_support as ms
from metrics_hostile_test import closed_by_server
from metrics_prometheus_test import Prometheus

PASSWORD = "scrape-secret"


def sh(*args, cwd):
    subprocess.run(args, cwd=cwd, check=True, capture_output=True)


def make_pki(d):
    """A CA, two server certificates for 127.0.0.1 (the second for the
    renewal) and a client certificate, all signed by the CA."""
    sh("openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256",
       "-nodes", "-keyout", "ca.key", "-out", "ca.crt", "-days", "2", "-subj", "/CN=test CA",
       cwd=d)
    for name, extra in (("server", "subjectAltName=IP:127.0.0.1"),
                        ("renewed", "subjectAltName=IP:127.0.0.1"),
                        ("client", "extendedKeyUsage=clientAuth")):
        sh("openssl", "req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes",
           "-keyout", name + ".key", "-out", name + ".csr", "-subj", "/CN=" + name, cwd=d)
        subprocess.run(
            ["openssl", "x509", "-req", "-in", name + ".csr", "-CA", "ca.crt", "-CAkey", "ca.key",
             "-CAcreateserial", "-days", "2", "-out", name + ".crt", "-extfile", "/dev/stdin"],
            input=extra.encode(), cwd=d, check=True, capture_output=True)
    for name in ("ca", "server", "renewed", "client"):
        os.chmod(os.path.join(d, name + ".key"), 0o600)
    hashed = subprocess.run(["htpasswd", "-nbBC", "10", "prometheus", PASSWORD],
                            check=True, capture_output=True, text=True).stdout
    return hashed.strip().split(":", 1)[1]


def write(d, name, text, mode=0o600):
    path = os.path.join(d, name)
    with open(path, "w") as f:
        f.write(text)
    os.chmod(path, mode)
    return path


def client_context(d, cert=None):
    ctx = ssl.create_default_context(cafile=os.path.join(d, "ca.crt"))
    if cert:
        ctx.load_cert_chain(os.path.join(d, cert + ".crt"), os.path.join(d, cert + ".key"))
    return ctx


def get(port, ctx, auth=None):
    conn = http.client.HTTPSConnection("127.0.0.1", port, context=ctx, timeout=10)
    try:
        headers = {}
        if auth:
            headers["Authorization"] = "Basic " + base64.b64encode(auth.encode()).decode()
        conn.request("GET", "/metrics", headers=headers)
        r = conn.getresponse()
        return r.status, dict(r.getheaders()), r.read().decode()
    finally:
        conn.close()


def served_certificate(port, d):
    with socket.create_connection(("127.0.0.1", port), timeout=10) as raw:
        with client_context(d).wrap_socket(raw, server_hostname="127.0.0.1") as s:
            return s.getpeercert()["subject"]


def check_refusals(d, password_port, cert_port):
    status, headers, _ = get(password_port, client_context(d), "prometheus:wrong")
    assert status == 401 and headers.get("WWW-Authenticate") == 'Basic realm="velmar"', headers
    status, _, _ = get(password_port, client_context(d))
    assert status == 401
    status, headers, body = get(password_port, client_context(d), "prometheus:" + PASSWORD)
    assert status == 200 and "velmar_http_responses_total" in body, status
    assert headers.get("X-Frame-Options") == "deny", headers
    status, _, body = ms.scrape(password_port)
    assert status == 400 and "HTTPS" in body, (status, body)
    try:
        status = get(cert_port, client_context(d))[0]
    except (ssl.SSLError, ConnectionError, http.client.RemoteDisconnected) as e:
        status = repr(e)
    assert status != 200, "served without a client certificate"
    assert get(cert_port, client_context(d, "client"))[0] == 200
    print("refused: wrong password 401, no certificate (%s), plain HTTP 400" % status)


def check_renewal(d, port):
    assert dict(x[0] for x in served_certificate(port, d))["commonName"] == "server"
    # Key first, then the certificate, each replaced whole as a renewal tool
    # does; the key written with a loose umask is not taken into use until
    # it is private again (each handshake looks at the files).
    os.chmod(os.path.join(d, "renewed.key"), 0o644)
    for ext in (".key", ".crt"):
        os.replace(os.path.join(d, "renewed" + ext), os.path.join(d, "server" + ext))
    assert dict(x[0] for x in served_certificate(port, d))["commonName"] == "server", \
        "a renewed key others may read was taken into use"
    os.chmod(os.path.join(d, "server.key"), 0o600)
    ms.wait_for(lambda: dict(x[0] for x in served_certificate(port, d))["commonName"]
                == "renewed", 10, "the renewed certificate")
    print("renewed certificate served at the next handshake")


def check_stalled_handshakes(meter, d):
    began = time.monotonic()
    stalled = []
    for _ in range(50):
        s = socket.create_connection(("127.0.0.1", meter.port))
        s.sendall(b"\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03")  # a ClientHello's start
        stalled.append(s)
    idle = [socket.create_connection(("127.0.0.1", meter.port)) for _ in range(30)]
    ok = get(meter.port, client_context(d), "prometheus:" + PASSWORD)[0]
    ms.wait_for(lambda: all(closed_by_server(s) for s in stalled + idle), 40,
                "the stalled handshakes to be cut")
    ended = time.monotonic()
    for s in stalled + idle:
        s.close()
    _, _, body = get(meter.port, client_context(d), "prometheus:" + PASSWORD)
    counts = ms.samples(body)
    times = [t for t, _ in meter.lines if began <= t <= ended]
    gaps = [b - a for a, b in zip(times, times[1:])]
    print("50 stalled handshakes + 30 idle: cut after %.1f s, %d ticks, max gap %.3f s, "
          "dropped %s" % (ended - began, len(times), max(gaps),
                          {k: v for k, v in counts.items() if "dropped" in k}))
    assert ok == 200
    assert len(times) >= (ended - began) / 0.501 * 0.8, len(times)
    assert max(gaps) < 2.0, max(gaps)
    assert counts['velmar_http_connections_dropped_total{reason="limit"}'] >= 80 - 64 - 1, counts


def check_prometheus(d, tmp, password_port, cert_port):
    config = write(tmp, "prometheus.yml", """global:
  scrape_interval: 1s
  scrape_timeout: 1s
scrape_configs:
  - job_name: password
    scheme: https
    tls_config:
      ca_file: {d}/ca.crt
    basic_auth:
      username: prometheus
      password: {pw}
    static_configs:
      - targets: ['127.0.0.1:{p1}']
  - job_name: certificate
    scheme: https
    tls_config:
      ca_file: {d}/ca.crt
      cert_file: {d}/client.crt
      key_file: {d}/client.key
    static_configs:
      - targets: ['127.0.0.1:{p2}']
""".format(d=d, pw=PASSWORD, p1=password_port, p2=cert_port))
    prometheus = Prometheus(None, tmp, config)
    try:
        def both_up():
            targets = prometheus.api("targets")["activeTargets"]
            return len(targets) == 2 and all(t["health"] == "up" for t in targets) and targets
        targets = ms.wait_for(both_up, 30, "both targets up")
        print("Prometheus: %s" % ", ".join("%s %s" % (t["scrapeUrl"], t["health"])
                                           for t in targets))
    finally:
        prometheus.stop()


def check_malformed(bin_dir, env, d):
    """Each case: the file's text (or a path), and what its one line says."""
    tls = "tls_server_config:\n  cert_file: %s/server.crt\n  key_file: %s/server.key\n" % (d, d)
    write(d, "open.key", open(os.path.join(d, "client.key")).read(), 0o644)
    write(d, "garbage.crt", "not a certificate\n", 0o644)
    cases = [
        (None, "missing.yml: cannot be read"),
        ("tls_server_config: [\n", "not valid YAML"),
        ("- just\n- a list\n", "the file must be a mapping"),
        ("tls_config:\n  cert_file: a\n", 'unknown field "tls_config" in the file'),
        (tls + "  cert: x\n", 'unknown field "cert" in tls_server_config'),
        ("tls_server_config:\n  cert_file: server.crt\n", "tls_server_config needs key_file"),
        (tls + "  client_auth_type: Sometimes\n", 'client_auth_type "Sometimes" is not one of'),
        (tls + "  client_auth_type: RequireAndVerifyClientCert\n", "but no client_ca_file"),
        (tls + "  client_ca_file: ca.crt\n", "client_ca_file is given but client_auth_type"),
        (tls + "  min_version: TLS14\n", 'min_version "TLS14" is not one of'),
        (tls + "  min_version: TLS13\n  max_version: TLS12\n", "max_version is older"),
        ("basic_auth_users:\n  alice: secret\n", 'user "alice" is not a bcrypt hash'),
        ("basic_auth_users:\n  bob: $6$salt$abc\n", 'user "bob" is not a bcrypt hash'),
        ("basic_auth_users: [alice]\n", "basic_auth_users must be a mapping"),
        ("http_server_config:\n  headers:\n    Server: x\n", 'header "Server" cannot be set'),
        ("http_server_config:\n  headers:\n    X-Frame-Options: allow\n",
         "X-Frame-Options can only be deny or sameorigin"),
        ("http_server_config:\n  http2: true\n", 'unknown field "http2" in http_server_config'),
        (tls.replace("server.crt", "absent.crt"), "absent.crt: No such file or directory"),
        (tls.replace("server.key", "open.key"), "others may read (mode 0644): chmod 600"),
        (tls.replace("server.key", "client.key"), "is not the key of cert_file"),
        (tls.replace("server.crt", "garbage.crt"), "holds no usable certificate"),
    ]
    seen = set()
    for i, (text, expected) in enumerate(cases):
        path = os.path.join(d, "missing.yml") if text is None else write(d, "web%d.yml" % i, text)
        r = subprocess.run([os.path.join(bin_dir, "velmar"), "--headless", "--metrics",
                            "127.0.0.1:0", "--web-config", path],
                           env=env, capture_output=True, text=True, timeout=20)
        lines = r.stderr.splitlines()
        assert r.returncode == 2 and len(lines) == 1, (expected, r.returncode, r.stderr)
        assert lines[0].startswith("velmar: " + path + ": ") and expected in lines[0], \
            (expected, lines[0])
        seen.add(lines[0].replace(path, "FILE"))
    assert len(seen) == len(cases), "two cases share a message"
    print("malformed configurations: %d refused, each with its own line" % len(cases))


def check_window(bin_dir, d, password_config):
    """The window's endpoint takes the web configuration's path from
    settings line 55."""
    import xsession
    x = xsession.XSession()
    env, home = xsession.private_environment(bin_dir, "yes")
    proc = None
    try:
        os.makedirs(env["VELMAR_APP_DIR"])
        port = ms.free_port()
        lines = ["Velmar 2000 settings, please don't change this file! ", "0", "1", "http://"]
        lines += ["0"] * 4 + ["", ""] + ["0"] * 27 + ["1"] * 3 + ["Velmar reserved line"]
        lines += ["1"] * 3 + ["127.0.0.1:%d" % port] + [""] * 10 + [password_config]
        assert len(lines) == 56
        with open(os.path.join(env["VELMAR_APP_DIR"], "Velmarsettings.ini"), "wb") as f:
            f.write(("\r\n".join(lines) + "\r\n").encode("latin-1"))
        proc = subprocess.Popen([os.path.join(bin_dir, "velmar")], env=dict(x.env(), **env),
                                stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)

        def answered():
            try:
                return get(port, client_context(d), "prometheus:" + PASSWORD)
            except OSError:
                return None
        status, _, body = ms.wait_for(answered, 30, "the window's endpoint over TLS")
        assert status == 200 and "velmar_http_responses_total" in body, status
        assert get(port, client_context(d), "prometheus:wrong")[0] == 401
        assert ms.scrape(port)[0] == 400
        print("window endpoint: TLS and basic auth from settings line 55")
    finally:
        if proc is not None:
            proc.kill()
            proc.wait(timeout=10)
        x.close()
        xsession.cleanup(home)


def main(bin_dir):
    env = meter_process.environment(bin_dir)
    with tempfile.TemporaryDirectory() as tmp:
        d = os.path.join(tmp, "pki")
        os.mkdir(d)
        hashed = make_pki(d)
        check_malformed(bin_dir, env, d)
        password_config = write(d, "password.yml", """tls_server_config:
  cert_file: server.crt
  key_file: server.key
basic_auth_users:
  prometheus: %s
http_server_config:
  headers:
    X-Frame-Options: deny
""" % hashed)
        cert_config = write(d, "certificate.yml", """tls_server_config:
  cert_file: server.crt
  key_file: server.key
  client_auth_type: RequireAndVerifyClientCert
  client_ca_file: ca.crt
""")
        with_password = ms.Meter(bin_dir, env, "--format", "json", "--web-config", password_config)
        with_cert = ms.Meter(bin_dir, env, "--format", "json", "--web-config", cert_config)
        try:
            assert any("https://" in e for e in with_password.errors), with_password.errors
            check_prometheus(d, tmp, with_password.port, with_cert.port)
            check_refusals(d, with_password.port, with_cert.port)
            check_stalled_handshakes(with_password, d)
            check_renewal(d, with_password.port)
            check_window(bin_dir, d, password_config)
            for line in with_password.lines:
                json.loads(line[1])
        finally:
            codes = (with_password.stop(), with_cert.stop())
        assert codes == (0, 0), (codes, with_password.errors, with_cert.errors)
    print("ok")


if __name__ == "__main__":
    main(sys.argv[1])
