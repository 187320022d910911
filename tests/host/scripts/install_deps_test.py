"""The install step against an out-of-step mirror, offline: apt runs in a
private root (its own sources, lists, preferences and a made-up dpkg
status) over local file repositories, in simulation, so nothing on the
machine is read or changed but apt itself. The functions come from
scripts/install-deps.sh, sourced."""
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))))
SCRIPT = os.path.join(SOURCE, "scripts", "install-deps.sh")


def stanza(name, version, arch, depends=None, multi_arch=None):
    fields = [("Package", name), ("Version", version), ("Architecture", arch)]
    if multi_arch:
        fields.append(("Multi-Arch", multi_arch))
    if depends:
        fields.append(("Depends", depends))
    fields += [("Filename", "pool/%s_%s_%s.deb" % (name, version, arch)), ("Size", "1000"), ("SHA256", "0" * 64),
               ("Maintainer", "Test <test@example.invalid>"), ("Description", "test package")]
    return "".join("%s: %s\n" % kv for kv in fields)


# The suites of the Ombrel mirror in the state the set-up met: the security
# suite carries a newer library than the main suite, already installed.
LIB_MAIN = [stanza("libom", "1.0-1", a, multi_arch="same") for a in ("amd64", "i386")]
LIB_SECURITY = [stanza("libom", "1.0-1+deb12u1", a, multi_arch="same") for a in ("amd64", "i386")]
APP = [stanza("omapp", "2.0-1", "i386", depends="libom")]
TOOL_OLD = [stanza("omtool", "7.2", "amd64")]
TOOL_NEW = [stanza("omtool", "10.0", "amd64")]
INSTALLED = [stanza("libom", "1.0-1+deb12u1", "amd64", multi_arch="same")]


class AptRoot:
    """A private apt root over a local repository of suites
    {codename: {arch: [stanza...]}}; `broken` maps a suite to how its i386
    index is broken: "size" (the Release file lists another size) or
    "missing" (listed, but not there). `extra` adds a source line."""

    def __init__(self, suites, installed, broken=None, extra=()):
        self.dir = tempfile.mkdtemp(prefix="vdr-apt-")
        repo = os.path.join(self.dir, "repo")
        for suite, arches in suites.items():
            self.write_suite(repo, suite, arches, (broken or {}).get(suite))
        d = lambda *p: os.path.join(self.dir, *p)  # noqa: E731
        for sub in ("etc/apt.conf.d", "etc/sources.list.d", "etc/preferences.d", "lists/partial", "cache/archives/partial", "dpkg"):
            os.makedirs(d(sub), exist_ok=True)
        with open(d("etc/sources.list"), "w") as f:
            for suite in suites:
                f.write("deb [trusted=yes] file:%s %s main\n" % (repo, suite))
            for line in extra:
                f.write(line + "\n")
        with open(d("dpkg/status"), "w") as f:
            f.write("\n".join(s.replace("Version:", "Status: install ok installed\nVersion:") for s in installed))
        self.log = d("apt.log")
        with open(d("apt.conf"), "w") as f:
            # Read before the machine's own parts: with parts of its own,
            # none of the machine's settings (nor hooks) apply.
            f.write('Dir::Etc::Parts "%s";\n' % d("etc/apt.conf.d"))
            f.write('Dir::Etc::SourceList "%s"; Dir::Etc::SourceParts "%s";\n' % (d("etc/sources.list"), d("etc/sources.list.d")))
            f.write('Dir::Etc::Preferences "%s"; Dir::Etc::PreferencesParts "%s";\n' % (d("etc/preferences"), d("etc/preferences.d")))
            f.write('Dir::State::Lists "%s"; Dir::Cache "%s"; Dir::State::status "%s";\n' % (d("lists"), d("cache"), d("dpkg/status")))
            f.write('Dir::Cache::pkgcache ""; Dir::Cache::srcpkgcache "";\n')
            f.write('APT::Architecture "amd64"; APT::Architectures { "amd64"; "i386"; };\n')
            f.write('Debug::NoLocking "true"; APT::Sandbox::User "root"; Acquire::Languages "none";\n')
        # apt-get in simulation; what each call printed goes to the log. A
        # call that would really install fails when VELDRUN_TEST_FETCH_FAILS
        # is set, as a download that breaks off does.
        self.apt = d("apt-get")
        with open(self.apt, "w") as f:
            f.write('#!/bin/bash\nset -o pipefail\n'
                    'if [ -n "${VELDRUN_TEST_FETCH_FAILS:-}" ] && [ "$1" != update ] && [[ " $* " != *" -s "* ]]; then\n'
                    '  echo "E: Failed to fetch file:/nowhere" >&2; exit 100; fi\n'
                    'sim=-s; [ "$1" = update ] && sim=\n'
                    'apt-get $sim "$@" 2>&1 | tee -a "%s"\n' % self.log)
        os.chmod(self.apt, 0o755)

    @staticmethod
    def write_suite(repo, suite, arches, broken):
        top = os.path.join(repo, "dists", suite)
        sums = []
        for arch in ("amd64", "i386"):
            rel = "main/binary-%s/Packages" % arch
            data = "\n".join(arches.get(arch, [])).encode()
            os.makedirs(os.path.dirname(os.path.join(top, rel)), exist_ok=True)
            size = len(data)
            if arch == "i386" and broken == "size":
                size += 1184
            if not (arch == "i386" and broken == "missing"):
                with open(os.path.join(top, rel), "wb") as f:
                    f.write(data)
            sums.append(" %s %d %s\n" % (hashlib.sha256(data).hexdigest(), size, rel))
        with open(os.path.join(top, "Release"), "w") as f:
            f.write("Origin: Ombrel\nSuite: %s\nCodename: %s\nDate: Sat, 20 May 2025 00:00:00 UTC\nArchitectures: amd64 i386\nComponents: main\n"
                    "SHA256:\n%s" % (suite, suite, "".join(sums)))

    def run(self, body, env=None):
        """Runs bash `body` after sourcing the script with apt pointed here."""
        e = dict(os.environ, APT_CONFIG=os.path.join(self.dir, "apt.conf"), VELDRUN_INSTALL_DEPS_LIB="1",
                 VELDRUN_APT_PAUSE="0", VELDRUN_MAIN_SUITE="bookworm", **(env or {}))
        script = 'set -euo pipefail; . "%s"; APT=("%s"); %s' % (SCRIPT, self.apt, body)
        r = subprocess.run(["bash", "-c", script], env=e, capture_output=True, text=True, timeout=120)
        with open(self.log) if os.path.exists(self.log) else open(os.devnull) as f:
            r.apt_log = f.read()
        return r

    def remove(self):
        shutil.rmtree(self.dir, ignore_errors=True)


def mirror(security_i386=LIB_SECURITY[1:], backports=False):
    suites = {"bookworm": {"amd64": LIB_MAIN[:1] + TOOL_OLD, "i386": LIB_MAIN[1:] + APP},
              "bookworm-security": {"amd64": LIB_SECURITY[:1], "i386": security_i386}}
    if backports:
        suites["bookworm-backports"] = {"amd64": TOOL_NEW}
    return suites


class OutOfStepMirror(unittest.TestCase):
    def test_install_outcomes(self):
        # name: (broken suites, extra sources, install body, env,
        #        status, what stderr says, what it must not say, simulated plan lines)
        fallback = "trying once more"
        cases = {
            "in step: installed as asked": (
                {}, (), "install_missing t omapp:i386", {}, 0, [], [fallback, "could not be read"],
                ["Inst libom:i386 (1.0-1+deb12u1 bookworm-security"]),
            "security i386 index of the wrong size: the main suite's build, one downgrade": (
                {"bookworm-security": "size"}, (), "install_missing t omapp:i386", {}, 0,
                ["could not be read; going on", fallback, "downgrading", "libom 1.0-1+deb12u1 -> 1.0-1"], [],
                ["Inst libom [1.0-1+deb12u1] (1.0-1 bookworm", "Inst omapp:i386 (2.0-1 bookworm"]),
            "index listed but missing, an unreachable extra source": (
                {"bookworm-security": "missing"}, ("deb [trusted=yes] file:/nonexistent/veldrun bookworm main",),
                "install_missing t omapp:i386", {}, 0, ["could not be read; going on", "libom 1.0-1+deb12u1 -> 1.0-1"],
                [], ["Inst omapp:i386 (2.0-1 bookworm"]),
            "target release kept preferred in the fallback": (
                {"bookworm-security": "size"}, (), "apt_update t; apt_install t -t bookworm-backports -- omtool omapp:i386",
                {}, 0, [fallback, "bookworm bookworm-backports preferred"], [], ["Inst omtool (10.0 bookworm-backports"]),
            "a download that fails after the plan resolved: no fallback": (
                {}, (), "install_missing t omapp:i386", {"VELDRUN_TEST_FETCH_FAILS": "1"}, 1,
                ["FAILED: t: installing omapp:i386", "to do it by hand"], [fallback, "downgrading"], []),
            "no build anywhere: the step fails and says what to do": (
                {"bookworm-security": "size"}, (), "install_missing t omnone:i386", {}, 1,
                [fallback, "FAILED: t: installing omnone:i386", "to do it by hand", "Pin-Priority 1001"], [], []),
        }
        for name, (broken, extra, body, env, status, says, never, plan) in cases.items():
            with self.subTest(name):
                root = AptRoot(mirror(backports=True), INSTALLED, broken, extra)
                self.addCleanup(root.remove)
                r = root.run(body, env)
                self.assertEqual(status, r.returncode, r.stderr)
                for text in says:
                    self.assertIn(text, r.stderr)
                for text in never:
                    self.assertNotIn(text, r.stderr)
                for line in plan:
                    self.assertIn(line, r.apt_log)
                self.assertNotIn("\nRemv ", r.apt_log)

    def test_downgrades_read_from_a_plan(self):
        cases = {
            "Inst libgst:amd64 [1.22.0-3+deb12u7] (1.22.0-3+deb12u6 Debian:12.11/stable [amd64])":
                "libgst:amd64 1.22.0-3+deb12u7 -> 1.22.0-3+deb12u6",
            "Inst libx [1:2.0] (1:1.9 Debian:12.11/stable [amd64])\nInst liby:i386 [3.1] (3.0 bookworm [i386])":
                "libx 1:2.0 -> 1:1.9, liby:i386 3.1 -> 3.0",
            "Inst up [1.0] (1.1 bookworm [amd64])\nInst new (2.0 bookworm [amd64])\nConf x [2.0] (1.0 y)": "",
            "Inst epoch [1:0.9] (2.0 bookworm [amd64])": "epoch 1:0.9 -> 2.0",  # an epoch outranks the version
        }
        for plan, want in cases.items():
            with self.subTest(plan):
                r = subprocess.run(["bash", "-c", '. "%s"; apt_downgrades' % SCRIPT], input=plan, text=True,
                                   capture_output=True, env=dict(os.environ, VELDRUN_INSTALL_DEPS_LIB="1"))
                self.assertEqual(want, r.stdout.strip(), r.stderr)


if __name__ == "__main__":
    unittest.main()
