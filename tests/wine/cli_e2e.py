#!/usr/bin/env python3
"""velimo-cli.exe under wine against the Linux simulator, beside the Linux
velimo-cli on the same scenarios.

Each scenario runs twice on fresh simulators: once with the Linux program
on the simulator's link, once with the Windows program under wine on a COM
port mapped to that link. Both runs must end with the same status, print
the same (port names aside), leave the same profile files, and each
simulator must have received the same command lines in the same order.
The apply of a full sTavi profile is timed in both, and the ratio printed.
Network ports are read through ser2net serving a simulator's link, as an
RFC 2217 port and as a raw TCP port, the same address in both runs.

Run by scripts/build-windows with wine's environment set (WINEPREFIX,
WINEDEBUG, the null-modem preload) and a wine server running.

usage: cli_e2e.py LINUX-CLI WINDOWS-CLI SIMULATOR WORK-DIR
"""
import csv
import os
import re
import shutil
import socket
import subprocess
import sys
import time

linux_cli, windows_cli, simulator, work = sys.argv[1:5]
wine_env = dict(os.environ)
# Wine reads the words of a command line in the locale's encoding: UTF-8,
# so a file name beyond ASCII reaches the program as it was typed.
wine_env["LC_ALL"] = "C.UTF-8"
# The Linux programs run as they do without wine: no null-modem preload.
linux_env = {k: v for k, v in os.environ.items() if k != "LD_PRELOAD"}
dosdevices = os.path.join(os.environ["WINEPREFIX"], "dosdevices")
failures = []
next_com = [20]
ser2net = next((p for p in ("/usr/sbin/ser2net", "/usr/bin/ser2net") if os.path.exists(p)), None)


def free_tcp_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def listening(port):
    """Whether a socket listens on the port, from the kernel's table: a
    test connection would make ser2net open the device."""
    with open("/proc/net/tcp") as table:
        for line in table.readlines()[1:]:
            fields = line.split()
            if fields[1].endswith(":%04X" % port) and fields[3] == "0A":
                return True
    return False


class Ser2net:
    """ser2net serving a link as an RFC 2217 port and a raw TCP port (its
    line at 9600 baud, 8N1)."""

    def __init__(self, folder, link):
        self.rfc = "rfc2217://127.0.0.1:%d" % free_tcp_port()
        self.raw = "tcp://127.0.0.1:%d" % free_tcp_port()
        config = os.path.join(folder, "ser2net.yaml")
        with open(config, "w") as f:
            for name, accepter in (("rfc", "telnet(rfc2217),tcp"), ("raw", "tcp")):
                port = getattr(self, name).rsplit(":", 1)[1]
                f.write("connection: &%s\n  accepter: %s,127.0.0.1,%s\n"
                        "  connector: serialdev,%s,9600n81,local\n" % (name, accepter, port, link))
        self.process = subprocess.Popen(
            [ser2net, "-n", "-c", config, "-P", os.path.join(folder, "ser2net.pid")],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            env=linux_env)
        ports = [int(url.rsplit(":", 1)[1]) for url in (self.rfc, self.raw)]
        for _ in range(500):
            if all(listening(p) for p in ports):
                break
            time.sleep(0.01)
        else:
            raise SystemExit("cli_e2e: ser2net did not come up")

    def stop(self):
        self.process.terminate()
        self.process.wait()


class Sim:
    """A simulated modem on a link of its own, logging what it receives."""

    def __init__(self, folder, name, args, served=False):
        self.link = os.path.join(folder, name)
        self.log = os.path.join(folder, name + ".log")
        with open(self.log, "wb") as log:
            self.process = subprocess.Popen(
                [simulator, "--verbose", "--link", self.link] + args,
                stdout=subprocess.DEVNULL, stderr=log, env=linux_env)
        for _ in range(200):
            if os.path.lexists(self.link):
                break
            time.sleep(0.02)
        else:
            raise SystemExit("cli_e2e: the simulator did not start: " + " ".join(args))
        # The COM port that names the link under wine.
        self.com = "COM%d" % next_com[0]
        next_com[0] += 1
        device = os.path.join(dosdevices, self.com.lower())
        if os.path.lexists(device):
            os.unlink(device)
        os.symlink(self.link, device)
        self.server = Ser2net(folder, self.link) if served else None

    def received(self):
        with open(self.log, encoding="latin-1") as log:
            return [line for line in log if "received" in line]

    def stop(self):
        if self.server:
            self.server.stop()
        self.process.terminate()
        self.process.wait()


def run(windows, args, cwd):
    program = ["wine", windows_cli] if windows else [linux_cli]
    started = time.monotonic()
    done = subprocess.run(program + args, cwd=cwd, capture_output=True,
                          env=wine_env if windows else linux_env, timeout=300)
    seconds = time.monotonic() - started
    out = done.stdout.decode("latin-1").replace("\r\n", "\n")
    return done.returncode, out, done.stderr.decode("latin-1"), seconds


def scenario(name, models, steps, sim_args=(), files=(), same_output=True, served=False,
             folders=()):
    """steps: (expected status, arguments), "{port}" replaced by the first
    port's name and "{ports}" by --port for each; files: files the steps
    write, compared between the two runs; same_output: whether what is
    printed is compared too (a bench's summary holds its times); served:
    each simulator behind ser2net, "{rfc}" and "{raw}" replaced by the
    first one's network ports; folders: folders made before the steps."""
    results = {}
    for windows in (False, True):
        folder = os.path.join(work, name, "windows" if windows else "linux")
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        for f in os.listdir(os.path.join(work, "inputs")):
            shutil.copy(os.path.join(work, "inputs", f), folder)
        for d in folders:
            os.makedirs(os.path.join(folder, d))
        sims = [Sim(folder, "tty%d" % i, ["--model", m] + list(sim_args), served)
                for i, m in enumerate(models)]
        outputs, seconds = [], []
        try:
            for expected, step in steps:
                ports = [s.com if windows else s.link for s in sims]
                args = []
                for a in step:
                    if a == "{ports}":
                        for p in ports:
                            args += ["--port", p]
                    elif served:
                        args.append(a.replace("{rfc}", sims[0].server.rfc)
                                    .replace("{raw}", sims[0].server.raw))
                    else:
                        args.append(a.replace("{port}", ports[0]))
                status, out, err, took = run(windows, args, folder)
                for s, p in zip(sims, ports):
                    out = out.replace(p, "PORT" + str(sims.index(s)))
                    if s.server:
                        out = out.replace(s.server.rfc, "RFC2217-" + str(sims.index(s)))
                        out = out.replace(s.server.raw, "TCP-" + str(sims.index(s)))
                outputs.append((status, out))
                seconds.append(took)
                if status != expected:
                    failures.append("%s (%s): %s ended %d: %s" % (
                        name, "wine" if windows else "Linux", " ".join(step), status,
                        (err or out).strip()[-400:]))
        finally:
            for s in sims:
                s.stop()
        written = {}
        for f in files:
            path = os.path.join(folder, f)
            text = open(path, encoding="latin-1").read() if os.path.exists(path) else None
            # What differs by nature: when and where it was saved.
            if text:
                text = re.sub(r"(?m)^(Saved|Port) = .*$", r"\1 = -", text.replace("\r\n", "\n"))
            written[f] = text
        if not same_output:
            outputs = [status for status, _ in outputs]
        results[windows] = (outputs, [s.received() for s in sims], written, seconds)
    linux, wine = results[False], results[True]
    for what, index in (("output and status", 0), ("simulator's log", 1), ("files", 2)):
        if linux[index] != wine[index]:
            failures.append("%s: the %s differ between Linux and wine" % (name, what))
            with open(os.path.join(work, name, "difference.txt"), "a") as d:
                d.write("== %s\n-- Linux\n%r\n-- wine\n%r\n" % (what, linux[index], wine[index]))
    return linux[3], wine[3]


os.makedirs(os.path.join(work, "inputs"), exist_ok=True)
# A full sTavi profile with every setting changed (in a file whose name is
# not ASCII), the rate included: the
# apply writes each setting, switches the link to 19200 and reopens it.
profile = """; Velimo configuration profile
[Profile]
Model = sTavi

[Settings]
DID = 4242
DTN = 3
DENT = 7
PID1 = 4
PID2 = 5
PID3 = 6
CH = 9
SFT = 10
CTRY = KOR
AES = OFF
PTYPE = Kivet
PTP = ON
BAU = 19200
PAB = None
HF = OFF
DMT = 200
DMS = 64
STXL = 0
ETXL = 0
"""
with open(os.path.join(work, "inputs", "site-\u00e9t\u00e9.vprofile"), "w") as f:
    f.write(profile)

for model in "suri":
    scenario("read-" + model, [model], [(0, ["--port", "{port}", "--model", model])])
linux_save, wine_save = scenario("save-all", ["s"], [(0, ["--port", "{port}", "--model", "s", "click", "Btn_Left_LoRa",
                                  "set", "CB_S_Ch=5", "click", "Btn_S_SaveAll_LoRaPage", "read"])])
linux_s, wine_s = scenario(
    "profile", ["s"],
    [(0, ["--port", "{port}", "--model", "s", "save-profile", "before.vprofile"]),
     (3, ["--port", "{port}", "--model", "s", "compare-profile", "site-\u00e9t\u00e9.vprofile"]),
     (0, ["--port", "{port}", "--model", "s", "apply-profile", "site-\u00e9t\u00e9.vprofile"]),
     (0, ["--port", "{port}", "--model", "s", "--baud", "19200", "compare-profile",
          "site-\u00e9t\u00e9.vprofile"]),
     (0, ["--port", "{port}", "--model", "s", "--baud", "19200", "save-profile",
          "after.vprofile"])],
    sim_args=["--rate-watch"], files=["before.vprofile", "after.vprofile"])
# Network ports: the modem read over RFC 2217 at a rate the server must set
# on its line (the simulator answers at 57600 baud only), and a page
# save-all over a raw TCP port, each byte paced as on a local port.
if ser2net:
    scenario("network-rfc2217", ["s"],
             [(0, ["--port", "{rfc}", "--model", "s", "--baud", "57600"])],
             sim_args=["--line-rate", "57600"], served=True)
    scenario("network-tcp", ["s"],
             [(0, ["--port", "{raw}", "--model", "s", "click", "Btn_Left_LoRa", "set", "CB_S_Ch=5",
                   "click", "Btn_S_SaveAll_LoRaPage", "read"])], served=True)
else:
    print("cli_e2e: the network scenarios are skipped: ser2net is not installed")
# The report goes to a folder named beyond ASCII: its checks and its
# writing take the name as UTF-8 on both systems.
report_folder = "rapports-\u00e9t\u00e9"
scenario("bench", ["s", "s", "s", "s"],
         [(0, ["{ports}", "--model", "s", "--report", report_folder + "/bench.csv", "read"])],
         same_output=False, folders=[report_folder])

# Each unit of the bench was read, and its report's times are ISO 8601 with
# the offset from UTC, on both systems.
for system in ("linux", "windows"):
    with open(os.path.join(work, "bench", system, report_folder, "bench.csv"), newline="") as f:
        rows = list(csv.DictReader(f))
    results = [row["result"] for row in rows]
    if results != ["read"] * 4:
        failures.append("bench (%s): the units' results are %s" % (system, results))
    for row in rows:
        for field in ("run_start", "run_end", "start", "end"):
            if not re.fullmatch(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d", row[field]):
                failures.append("bench (%s): %s is %r" % (system, field, row[field]))

print("cli_e2e: a page save-all: %.2f s on Linux, %.2f s under wine" % (linux_save[0], wine_save[0]))
print("cli_e2e: apply of a full sTavi profile: %.2f s on Linux, %.2f s under wine (%.2fx)" %
      (linux_s[2], wine_s[2], wine_s[2] / linux_s[2]))
if failures:
    for f in failures:
        print("cli_e2e: FAILED: " + f)
    sys.exit(1)
print("cli_e2e: every scenario ran alike on Linux and under wine")
