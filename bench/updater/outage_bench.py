#!/usr/bin/env python3
"""The client against nginx when the web host stumbles, on loopback.

  bench/updater/outage_bench.py CLIENT VORNASKCTL [CASE...]

CASE is one of:
  outage    a 3 MiB file whose GETs are answered 503 + Retry-After: 10 for 40 s (HEAD as
            usual; OUTAGE_SECONDS changes the 40): the requests for the file in that time, the seconds from the
            server's recovery to a complete, byte-identical update;
  mirrors   the web host serves the list but answers every file 503; two mirrors, one with
            a wrong byte: the update's seconds, against one healthy server;
  https     vornaskctl fetch over HTTPS and over plain HTTP, taking turns (HTTPS_ROUNDS each, 3):
            the median rate of each and the CPU time of client and nginx per GiB, on unlimited
            loopback and over links of 1 Gbit/s and 100 Mbit/s (as root: the shaped loopback of
            a network namespace; otherwise nginx's limit_rate).
The client runs in its console mode; "press" is typed whenever it offers "Запуск". The
mirror with wrong bytes has one in every MiB.
"""
import os, resource, select, shutil, signal, socket, statistics, subprocess, sys, tempfile, time

HERE = os.path.dirname(os.path.abspath(__file__))


def free_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


class Nginx:
    def __init__(self, work, server_conf, ssl=None):
        self.work, self.port = work, free_port()
        self.root = os.path.join(work, "www")
        for d in ("www", "logs", "tmp"):
            os.makedirs(os.path.join(work, d), exist_ok=True)
        user = "user root;" if os.getuid() == 0 else ""
        listen = f"127.0.0.1:{self.port}" + (" ssl" if ssl else "")
        tls = f"ssl_certificate {ssl[0]}; ssl_certificate_key {ssl[1]};" if ssl else ""
        with open(os.path.join(work, "nginx.conf"), "w") as f:
            f.write(f"""{user}
worker_processes 1; daemon off; pid {work}/nginx.pid; error_log {work}/logs/error.log warn;
events {{ worker_connections 1024; }}
http {{
  log_format plain '$msec $request_method $uri $status';
  access_log {work}/logs/access.log plain;
  client_body_temp_path {work}/tmp/b; proxy_temp_path {work}/tmp/p; fastcgi_temp_path {work}/tmp/f;
  uwsgi_temp_path {work}/tmp/u; scgi_temp_path {work}/tmp/s;
  default_type application/octet-stream; sendfile on;
  server {{ listen {listen}; root {self.root}; {tls}
    {server_conf} }}
}}
""")
        self.proc = subprocess.Popen(["nginx", "-p", work + "/", "-c", work + "/nginx.conf", "-e",
                                      work + "/logs/error.log"])
        for _ in range(200):
            try:
                socket.create_connection(("127.0.0.1", self.port), 0.1).close()
                return
            except OSError:
                time.sleep(0.05)
        raise RuntimeError("nginx did not start")

    def host(self, scheme=""):
        return f"{scheme}127.0.0.1:{self.port}"

    def log(self):
        path = os.path.join(self.work, "logs", "access.log")
        return open(path).read().splitlines() if os.path.exists(path) else []

    def stop(self):
        self.proc.terminate()
        self.proc.wait()


def publish(ctl, folder, mirrors=()):
    args = [ctl, "publish", folder]
    for m in mirrors:
        args += ["--mirror", m]
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL)


def run_client(client, work, host, until, timeout=300):
    """Runs the client until `until(lines)` holds; presses "Запуск" whenever offered."""
    install = os.path.join(work, "install")
    os.makedirs(install, exist_ok=True)
    shutil.copy(client, os.path.join(install, "Vornask"))
    env = dict(os.environ, VORNASK_UI="headless", VORNASK_WEB_HOST=host, HOME=work,
               XDG_CONFIG_HOME=os.path.join(work, "config"), XDG_DATA_HOME=os.path.join(work, "data"),
               VORNASK_UPDATE_KEY="")
    proc = subprocess.Popen([os.path.join(install, "Vornask"), "noStupidPath"], cwd=install, env=env,
                            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    lines, buf, deadline = [], b"", time.time() + timeout
    try:
        while time.time() < deadline and not until(lines):
            ready, _, _ = select.select([proc.stdout], [], [], 0.1)
            if not ready:
                continue
            chunk = os.read(proc.stdout.fileno(), 65536)
            if not chunk:
                break
            buf += chunk
            while b"\n" in buf:
                line, buf = buf.split(b"\n", 1)
                text = line.decode("utf-8", "replace")
                lines.append((time.time(), text))
                if text == "button: Запуск":
                    proc.stdin.write(b"press\n")
                    proc.stdin.flush()
    finally:
        try:
            proc.stdin.write(b"close\n")
            proc.stdin.flush()
            proc.wait(5)
        except Exception:
            proc.kill()
            proc.wait()
    return install, lines


def installed_when(install, name, content):
    path = os.path.join(install, name)
    return lambda lines: os.path.exists(path) and open(path, "rb").read() == content


def outage(client, ctl, work):
    outage_seconds = float(os.environ.get("OUTAGE_SECONDS", "40"))
    flag = os.path.join(work, "down")
    open(flag, "w").close()
    nginx = Nginx(work, f"""location = /data/big.bin {{
      set $fail "";
      if (-f {flag}) {{ set $fail "1"; }}
      if ($request_method = GET) {{ set $fail "${{fail}}1"; }}
      if ($fail = "11") {{ add_header Retry-After 10 always; return 503; }}
    }}""")
    try:
        content = os.urandom(3 << 20)
        os.makedirs(os.path.join(nginx.root, "data"))
        open(os.path.join(nginx.root, "data", "big.bin"), "wb").write(content)
        publish(ctl, nginx.root)
        start = time.time()
        state = {}

        def until(lines):
            now = time.time()
            if "recovered" not in state and now - start >= outage_seconds:
                os.unlink(flag)
                state["recovered"] = now
            if "recovered" in state and installed_when(install_dir, "data/big.bin", content)(lines):
                state.setdefault("installed", now)
                return True
            return False

        install_dir = os.path.join(work, "install")
        _, lines = run_client(client, work, nginx.host(), until, timeout=200)
        done = state.get("installed", time.time())
        requests = [l.split() for l in nginx.log() if " /data/big.bin " in l]
        if os.environ.get("VERBOSE"):
            print("outage: " + ", ".join(f"{float(r[0]) - start:.1f}s {r[1]} {r[3]}" for r in requests))
        during = [r for r in requests if float(r[0]) < state.get("recovered", done)]
        ok = installed_when(install_dir, "data/big.bin", content)(lines)
        errors = sorted({t for _, t in lines if t.startswith("error: ") and t != "error: "})
        print(f"outage: requests for the file in {outage_seconds:.0f} s of 503: {len(during)} "
              f"({sum(r[1] == 'GET' for r in during)} GET, {sum(r[1] == 'HEAD' for r in during)} HEAD); "
              f"error lines {errors}")
        print(f"outage: recovery to complete update: {done - state['recovered']:.1f} s, identical: {ok}"
              if ok else "outage: update not complete")
    finally:
        nginx.stop()


def mirrors(client, ctl, work):
    content = os.urandom(64 << 20)
    small = os.urandom(200000)
    files = {"data/big.bin": content, "data/small.bin": small}

    def fill(root, wrong=False):
        for name, data in files.items():
            os.makedirs(os.path.dirname(os.path.join(root, name)), exist_ok=True)
            if wrong:
                # One wrong byte in every MiB: whatever range the mirror serves is wrong.
                data = bytearray(data)
                for at in range(len(data) // 2 % (1 << 20), len(data), 1 << 20):
                    data[at] ^= 1
            open(os.path.join(root, name), "wb").write(bytes(data))

    good = Nginx(os.path.join(work, "good"), "")
    bad = Nginx(os.path.join(work, "bad"), "")
    web = Nginx(os.path.join(work, "web"), "location /data/ { return 503; }")
    single = Nginx(os.path.join(work, "single"), "")
    try:
        fill(good.root)
        fill(bad.root, wrong=True)
        fill(web.root)
        fill(single.root)
        publish(ctl, single.root)
        publish(ctl, web.root, [f"http://{bad.host()}/", f"http://{good.host()}/"])
        for label, server in (("one healthy server", single), ("503 web host + 2 mirrors (1 bad)", web)):
            case = os.path.join(work, "client-" + server.host().split(":")[1])
            os.makedirs(case)
            install = os.path.join(case, "install")
            start = time.time()

            def until(lines):
                return all(installed_when(install, n, d)(lines) for n, d in files.items())

            _, lines = run_client(client, case, server.host(), until, timeout=180)
            ok = until(lines)
            named = any("mirror served a wrong file" in t for _, t in lines)
            print(f"mirrors: {label}: {time.time() - start:.1f} s, complete and identical: {ok}, "
                  f"bad mirror named: {named}")
    finally:
        for n in (good, bad, web, single):
            n.stop()


def cpu_seconds(nginx):
    """CPU time of nginx's worker processes so far."""
    total = 0
    for child in open(f"/proc/{nginx.proc.pid}/task/{nginx.proc.pid}/children").read().split():
        fields = open(f"/proc/{child}/stat").read().rsplit(")", 1)[1].split()
        total += int(fields[11]) + int(fields[12])
    return total / os.sysconf("SC_CLK_TCK")


# Link rates: name, bits per second (None: unlimited loopback), file size.
HTTPS_RATES = (("loopback", None, 128 << 20), ("1 Gbit/s", 10**9, 128 << 20), ("100 Mbit/s", 10**8, 32 << 20))
# As a production server: TLS 1.3 besides 1.2 (nginx's default from 1.23.4), and kernel TLS with
# sendfile where the kernel offers it (OpenSSL falls back to its own otherwise). Without sendfile
# nginx reads the file through output buffers (2 x 32 KiB by default); larger ones mean fewer
# passes, and a connection throttled by limit_rate pauses after each pass.
TLS_CONF = "ssl_protocols TLSv1.2 TLSv1.3; ssl_conf_command Options KTLS; output_buffers 2 512k;"


def make_pki(pki):
    os.makedirs(pki)
    q = lambda *a: subprocess.run(list(a), check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    q("openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-days",
      "2", "-subj", "/CN=BenchCA", "-keyout", pki + "/ca.key", "-out", pki + "/ca.pem")
    q("openssl", "req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-subj",
      "/CN=server", "-keyout", pki + "/s.key", "-out", pki + "/s.csr")
    open(pki + "/ext", "w").write("subjectAltName=IP:127.0.0.1\n")
    q("openssl", "x509", "-req", "-in", pki + "/s.csr", "-CA", pki + "/ca.pem", "-CAkey", pki + "/ca.key",
      "-CAcreateserial", "-days", "2", "-extfile", pki + "/ext", "-out", pki + "/s.pem")


def compare_https(ctl, work, name, size, server_conf=""):
    """Fetches one file over HTTP and HTTPS by turns and prints the median rates."""
    pki = os.path.join(work, "pki")
    make_pki(pki)
    rounds = int(os.environ.get("HTTPS_ROUNDS", "3"))
    plain = Nginx(os.path.join(work, "plain"), "access_log off;" + server_conf)
    tls = Nginx(os.path.join(work, "tls"), "access_log off;" + server_conf + TLS_CONF,
                ssl=(pki + "/s.pem", pki + "/s.key"))
    try:
        data = os.urandom(size)
        for n in (plain, tls):
            open(os.path.join(n.root, "f.bin"), "wb").write(data)
        rates, client_cpu, server_cpu = {}, {}, {}
        per_gib = (1 << 30) / len(data) * 1000
        # HTTP and HTTPS take turns: a build on the shared machine slows both alike.
        for rnd in range(rounds):
            for label, n, scheme in (("http", plain, "http://"), ("https", tls, "https://")):
                out = os.path.join(work, "out.bin")
                for p in (out, out + ".meta"):
                    if os.path.exists(p):
                        os.unlink(p)
                env = dict(os.environ, VORNASK_CA_FILE=pki + "/ca.pem")
                before = resource.getrusage(resource.RUSAGE_CHILDREN)
                server_before = cpu_seconds(n)
                t = time.time()
                subprocess.run([ctl, "fetch", f"{scheme}{n.host()}/f.bin", out, "--size", str(len(data))],
                               env=env, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                elapsed = time.time() - t
                after = resource.getrusage(resource.RUSAGE_CHILDREN)
                assert open(out, "rb").read() == data, label
                rates.setdefault(label, []).append(len(data) / elapsed / (1 << 20))
                client_cpu.setdefault(label, []).append(
                    (after.ru_utime + after.ru_stime - before.ru_utime - before.ru_stime) * per_gib)
                server_cpu.setdefault(label, []).append((cpu_seconds(n) - server_before) * per_gib)
        med = {k: statistics.median(v) for k, v in rates.items()}
        cpu = lambda d, k: statistics.median(d[k])
        samples = lambda k: ", ".join(f"{r:.0f}" for r in rates[k])
        print(f"https: {name}: median of {rounds}, MiB/s: http {med['http']:.1f}, https {med['https']:.1f}, "
              f"ratio {med['https'] / med['http']:.2f} (http {samples('http')}; https {samples('https')}); "
              f"CPU ms per GiB, http / https: client {cpu(client_cpu, 'http'):.0f} / "
              f"{cpu(client_cpu, 'https'):.0f}, nginx {cpu(server_cpu, 'http'):.0f} / "
              f"{cpu(server_cpu, 'https'):.0f}; load {os.getloadavg()[0]:.1f}", flush=True)
    finally:
        plain.stop()
        tls.stop()


def https(client, ctl, work):
    for case, (name, bits, size) in enumerate(HTTPS_RATES):
        case_work = os.path.join(work, f"rate{case}")
        if not bits:
            compare_https(ctl, case_work, name, size)
            continue
        # A link of that rate: the loopback of a network namespace of its own, shaped by a token
        # bucket (root only; nothing outside the namespace is touched).
        shape = (f"ip link set lo up && tc qdisc add dev lo root tbf rate {bits}bit burst 512kb latency 50ms"
                 ' && exec "$@"')
        linked = os.getuid() == 0 and shutil.which("unshare") and shutil.which("tc")
        if linked and subprocess.run(["unshare", "-n", "sh", "-c", shape, "sh", sys.executable, __file__, client,
                                      ctl, "https_link", case_work, name, str(size)]).returncode == 0:
            continue
        # Else nginx throttles each of the client's five connections to a fifth of the rate.
        compare_https(ctl, case_work, name + " (nginx limit_rate)", size, f"limit_rate {bits // 8 // 5};")


def https_link(client, ctl, work, name, size):
    compare_https(ctl, work, name + " (shaped link)", int(size))


def main():
    client, ctl = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    if sys.argv[3:4] == ["https_link"]:
        return https_link(client, ctl, *sys.argv[4:])
    cases = sys.argv[3:] or ["outage", "mirrors", "https"]
    for case in cases:
        work = tempfile.mkdtemp(prefix="vornask-outage-bench.")
        try:
            globals()[case](client, ctl, work)
        finally:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
