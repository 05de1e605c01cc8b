#!/usr/bin/python3
"""A real synchronisation, end to end: two Syncthing instances on 127.0.0.1 share one diary
folder; the diary is written on both while their connection is paused, comes back as the diary
and its conflict copy, is merged with quillbook-tool and synchronised again, and both computers
must then hold the same diary with every day of both sides.

    syncthing_test.py QUILLBOOK_TOOL

Standard library only. Every wait polls Syncthing's REST API or the folders with a deadline;
the whole run is bounded, and both instances are stopped however it ends.
"""

import json
import os
import secrets
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import urllib.error
import urllib.request
import xml.etree.ElementTree as ET

FOLDER_ID = "diary"
# What README tells a user to keep out of the synchronisation: the lock is local, drafts and
# versions are each computer's own, temporary files of a replacement are never whole.
STIGNORE = ".quillbook.lock\n.*.tmp\n.drafts\n.versions\n"
RUN_LIMIT = 110          # seconds for everything, below the two minutes the suite allows
DEADLINE = time.monotonic() + RUN_LIMIT


class Failure(Exception):
    pass


def wait_for(what, check, seconds=60):
    """Polls check() until it returns a true value (which is returned), within the time left."""
    end = min(time.monotonic() + seconds, DEADLINE)
    pause = 0.05
    while True:
        result = check()
        if result:
            return result
        if time.monotonic() > end:
            raise Failure("timed out waiting for " + what)
        time.sleep(pause)
        pause = min(pause * 1.5, 0.5)


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Instance:
    def __init__(self, name, root):
        self.name = name
        self.home = os.path.join(root, name, "home")
        self.folder = os.path.join(root, name, "diaries")
        os.makedirs(self.folder)
        with open(os.path.join(self.folder, ".stignore"), "w") as f:
            f.write(STIGNORE)
        self.listen_port = free_port()
        self.gui_port = free_port()
        self.api_key = secrets.token_hex(16)
        self.process = None
        self.env = dict(os.environ, HOME=os.path.join(root, name), STNOUPGRADE="1", STNODEFAULTFOLDER="1")
        subprocess.run(["syncthing", "generate", "--home=" + self.home, "--no-default-folder"],
                       check=True, capture_output=True, env=self.env, timeout=30)
        out = subprocess.run(["syncthing", "serve", "--home=" + self.home, "--device-id"],
                             check=True, capture_output=True, text=True, env=self.env, timeout=30)
        self.device_id = out.stdout.strip()

    def configure(self, peer):
        path = os.path.join(self.home, "config.xml")
        tree = ET.parse(path)
        root = tree.getroot()
        for folder in root.findall("folder"):
            root.remove(folder)
        for device in root.findall("device"):
            root.remove(device)
        folder = ET.Element("folder", id=FOLDER_ID, label=FOLDER_ID, path=self.folder, type="sendreceive",
                            rescanIntervalS="1", fsWatcherEnabled="true", fsWatcherDelayS="1")
        for device_id in (self.device_id, peer.device_id):
            ET.SubElement(folder, "device", id=device_id)
        ET.SubElement(folder, "maxConflicts").text = "10"
        root.insert(0, folder)
        for instance, address in ((self, "dynamic"), (peer, "tcp://127.0.0.1:%d" % peer.listen_port)):
            device = ET.Element("device", id=instance.device_id, name=instance.name, compression="metadata",
                                introducer="false")
            ET.SubElement(device, "address").text = address
            root.insert(1, device)
        gui = root.find("gui")
        gui.set("enabled", "true")
        gui.set("tls", "false")
        gui.find("address").text = "127.0.0.1:%d" % self.gui_port
        key = gui.find("apikey")
        if key is None:
            key = ET.SubElement(gui, "apikey")
        key.text = self.api_key
        options = root.find("options")

        def option(name, value):
            element = options.find(name)
            if element is None:
                element = ET.SubElement(options, name)
            element.text = value

        for element in options.findall("listenAddress"):
            options.remove(element)
        option("listenAddress", "tcp://127.0.0.1:%d" % self.listen_port)
        for name in ("globalAnnounceEnabled", "localAnnounceEnabled", "relaysEnabled", "natEnabled",
                     "startBrowser", "crashReportingEnabled"):
            option(name, "false")
        option("urAccepted", "-1")
        option("autoUpgradeIntervalH", "0")
        tree.write(path)

    def start(self):
        log = os.path.join(self.home, "syncthing.log")
        self.process = subprocess.Popen(
            ["syncthing", "serve", "--home=" + self.home, "--no-browser", "--no-restart", "--logfile=" + log],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=self.env, start_new_session=True)

    def stop(self):
        if self.process and self.process.poll() is None:
            os.killpg(self.process.pid, signal.SIGTERM)
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                os.killpg(self.process.pid, signal.SIGKILL)
                self.process.wait(10)

    def rest(self, method, path):
        request = urllib.request.Request("http://127.0.0.1:%d%s" % (self.gui_port, path), method=method,
                                         headers={"X-API-Key": self.api_key})
        with urllib.request.urlopen(request, timeout=5) as response:
            body = response.read()
            return json.loads(body) if body else None

    def ready(self):
        if self.process.poll() is not None:
            raise Failure(self.name + " stopped: see " + os.path.join(self.home, "syncthing.log"))
        try:
            return self.rest("GET", "/rest/system/ping").get("ping") == "pong"
        except (urllib.error.URLError, ConnectionError, OSError):
            return False

    def connected(self, peer):
        connection = self.rest("GET", "/rest/system/connections")["connections"].get(peer.device_id, {})
        return connection.get("connected") and not connection.get("paused")

    def disconnected(self, peer):
        connection = self.rest("GET", "/rest/system/connections")["connections"].get(peer.device_id, {})
        return not connection.get("connected")

    def peer_has_everything(self, peer):
        """The peer has all this instance has of the folder, and this instance is idle."""
        status = self.rest("GET", "/rest/db/status?folder=" + FOLDER_ID)
        completion = self.rest("GET", "/rest/db/completion?folder=%s&device=%s" % (FOLDER_ID, peer.device_id))
        return status.get("state") == "idle" and status.get("needTotalItems", 1) == 0 \
            and completion.get("completion") == 100 and completion.get("needItems", 1) == 0

    def path(self, name):
        return os.path.join(self.folder, name)

    def conflict_copies(self):
        return sorted(n for n in os.listdir(self.folder) if n.startswith("alice.sync-conflict-"))


def read(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except FileNotFoundError:
        return None


def main():
    tool = os.path.abspath(sys.argv[1])

    def quillbook(instance, *args):
        result = subprocess.run([tool] + list(args), cwd=instance.folder, capture_output=True, timeout=30)
        if result.returncode != 0:
            raise Failure("quillbook-tool %s: %s" % (" ".join(args), result.stderr.decode()))
        return result.stdout.decode()

    def write_day(instance, day, text):
        record = os.path.join(instance.home, "record")
        with open(record, "wb") as f:
            f.write(b"0\r\n1\r\n" + text.encode("gbk"))
        quillbook(instance, "add", "alice", day, record)

    def days(instance):
        return set(quillbook(instance, "list", "alice").split())

    root = tempfile.mkdtemp(prefix="quillbook-syncthing-")
    one = two = None
    try:
        one = Instance("one", root)
        two = Instance("two", root)
        one.configure(two)
        two.configure(one)
        one.start()
        two.start()
        wait_for("both instances to answer", lambda: one.ready() and two.ready())
        wait_for("the two to connect", lambda: one.connected(two) and two.connected(one))

        # The diary both computers start from.
        quillbook(one, "comment", "alice", "53abcdefghijk")
        write_day(one, "2026年12月1日", "两台电脑都有的一天")
        wait_for("the diary to reach the second computer",
                 lambda: read(two.path("alice")) == read(one.path("alice")) and one.peer_has_everything(two))

        # Written on both while they cannot reach each other; the second computer writes last.
        one.rest("POST", "/rest/system/pause?device=" + two.device_id)
        two.rest("POST", "/rest/system/pause?device=" + one.device_id)
        wait_for("the connection to be paused", lambda: one.disconnected(two) and two.disconnected(one))
        write_day(one, "2026年12月2日", "第一台电脑写的")
        write_day(two, "2026年12月3日", "第二台电脑写的")
        # The stamps Syncthing compares are the files' modification times: a second apart at least.
        later = os.stat(one.path("alice")).st_mtime + 2
        os.utime(two.path("alice"), (later, later))

        one.rest("POST", "/rest/system/resume?device=" + two.device_id)
        two.rest("POST", "/rest/system/resume?device=" + one.device_id)
        copy = wait_for("the conflict copy on the first computer", lambda: one.conflict_copies())
        wait_for("the conflict copy on both computers and the folders in step",
                 lambda: two.conflict_copies() == copy and one.peer_has_everything(two)
                 and two.peer_has_everything(one))
        if read(one.path("alice")) != read(two.path("alice")):
            raise Failure("the two computers kept different diaries under the diary's name")
        conflicts = quillbook(one, "conflicts", "alice")
        if "1 篇只在副本里" not in conflicts:
            raise Failure("conflicts did not see the copy's day: " + conflicts)

        print(quillbook(one, "merge", "alice"))
        if one.conflict_copies():
            raise Failure("the merged copy is still beside the diary")
        wait_for("the merged diary on the second computer, the copy gone there too",
                 lambda: read(two.path("alice")) == read(one.path("alice")) and not two.conflict_copies()
                 and one.peer_has_everything(two) and two.peer_has_everything(one))
        expected = {"2026年12月1日", "2026年12月2日", "2026年12月3日"}
        for instance in (one, two):
            if days(instance) != expected:
                raise Failure("%s holds %s" % (instance.name, sorted(days(instance))))
        # The copy is kept on the computer that merged it, among the diary's versions.
        if not os.listdir(os.path.join(one.folder, ".versions", "alice")):
            raise Failure("the merged copy was not kept as a version")
        print("both computers hold the same diary with every day of both sides")
        return 0
    except Failure as failure:
        print("FAILED:", failure, file=sys.stderr)
        for instance in (one, two):
            if instance:
                print("--- %s: %s" % (instance.name, sorted(os.listdir(instance.folder))), file=sys.stderr)
        return 1
    finally:
        for instance in (one, two):
            if instance:
                instance.stop()
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
