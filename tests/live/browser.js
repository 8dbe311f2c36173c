// The live board in a real browser: Debian's chromium, headless, driven over its remote
// debugging protocol, while the program runs in a private X server (started by browser.sh) and
// the visits are typed into its window with xdotool.
//
//   node browser.js PROGRAM WORK ARTEFACTS   (NODE_PATH must reach the "ws" module)
//
// A first run without the switch writes the settings file (and nothing may listen); the file is
// then given two players, one named "<b>x</b>", a game of 301 in one set. The second run, with
// /live=127.0.0.1:PORT and /safe, plays the set to 5-5 in legs and on to the end: the page must
// show every visit's new score and the player to throw within a second, the names as text,
// "Tie Break" and "Sudden Death", and the winner. Then the program ends (the page says it is
// reconnecting), starts with the port taken (a Warning, and it plays on), and starts again (the
// page reconnects by itself). Screenshots go to ARTEFACTS.
"use strict";
const { spawn, execFileSync } = require("child_process");
const fs = require("fs");
const net = require("net");
const path = require("path");
const WebSocket = require("ws");

const [program, work, artefacts] = process.argv.slice(2);
if (!program || !work || !artefacts) {
  console.error("usage: node browser.js PROGRAM WORK ARTEFACTS");
  process.exit(2);
}
const MainTitle = "Brennix 3.2  [FINAL]";
const children = [];
let failures = 0;

const log = (text) => console.log(`[live] ${text}`);
const mismatch = (text) => {
  failures += 1;
  console.log(`[live]   MISMATCH: ${text}`);
};
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// Polls `check` (which may be async) until it returns a true value; null after `ms`.
async function waitFor(ms, check, every = 25) {
  const end = Date.now() + ms;
  for (;;) {
    const value = await check();
    if (value) return value;
    if (Date.now() >= end) return null;
    await sleep(every);
  }
}

function start(command, args, options = {}) {
  const child = spawn(command, args, { stdio: ["ignore", "pipe", "pipe"], ...options });
  child.output = "";
  child.stdout.on("data", (data) => (child.output += data));
  child.stderr.on("data", (data) => (child.output += data));
  child.exited = new Promise((resolve) => child.on("exit", (code) => resolve(code)));
  children.push(child);
  return child;
}

async function stop(child) {
  if (!child || child.exitCode !== null || child.signalCode !== null) return;
  child.kill("SIGTERM");
  if (!(await Promise.race([child.exited.then(() => true), sleep(5000)]))) child.kill("SIGKILL");
  await child.exited;
}

// ---- The program's windows, through xdotool ----------------------------------------------

function xdotool(...args) {
  return execFileSync("xdotool", args, { timeout: 10000, encoding: "utf8" }).trim();
}
function windowId(title) {
  const pattern = "^" + title.replace(/[[\]\\.*^$()+?{}|]/g, "\\$&") + "$";
  try {
    return xdotool("search", "--onlyvisible", "--name", pattern).split("\n")[0] || "";
  } catch {
    return ""; // no such window
  }
}
// The titles of the visible windows, and the whole screen, for the report of a failure.
function openWindows() {
  try {
    return xdotool("search", "--onlyvisible", "--name", ".").split("\n").map((id) =>
      xdotool("getwindowname", id));
  } catch {
    return [];
  }
}
function screenshotX(file) {
  try {
    execFileSync("import", ["-window", "root", path.join(artefacts, file)], { timeout: 20000 });
  } catch {
    // no ImageMagick: no picture
  }
}
async function waitWindow(title, ms) {
  const id = await waitFor(ms, () => windowId(title), 100);
  if (!id) throw new Error(`the window "${title}" did not appear within ${ms} ms`);
  return id;
}
async function focus(title) {
  xdotool("windowfocus", "--sync", await waitWindow(title, 10000));
}
const press = (...keys) => xdotool("key", "--delay", "40", ...keys);
function visit(score) {
  xdotool("type", "--delay", "30", String(score));
  press("Return");
}

function programEnv() {
  return {
    PATH: "/usr/bin:/bin",
    HOME: path.join(work, "home"),
    XDG_RUNTIME_DIR: path.join(work, "runtime"),
    LANG: "C.UTF-8",
    DISPLAY: process.env.DISPLAY,
    QT_QPA_PLATFORM: "xcb",
  };
}

async function answerStartLeg() {
  await focus("Start Leg");
  press("Return");
  await focus(MainTitle);
}

function freePort() {
  return new Promise((resolve, reject) => {
    const server = net.createServer();
    server.on("error", reject);
    server.listen(0, "127.0.0.1", () => {
      const { port } = server.address();
      server.close(() => resolve(port));
    });
  });
}

// The TCP ports a process listens on, from its sockets and the kernel's tables.
function listeningPorts(pid) {
  const inodes = new Set();
  for (const fd of fs.readdirSync(`/proc/${pid}/fd`)) {
    try {
      const match = /^socket:\[(\d+)\]$/.exec(fs.readlinkSync(`/proc/${pid}/fd/${fd}`));
      if (match) inodes.add(match[1]);
    } catch {
      // closed meanwhile
    }
  }
  const ports = [];
  for (const table of ["/proc/net/tcp", "/proc/net/tcp6"]) {
    if (!fs.existsSync(table)) continue;
    for (const line of fs.readFileSync(table, "utf8").split("\n").slice(1)) {
      const fields = line.trim().split(/\s+/);
      if (fields.length > 9 && fields[3] === "0A" && inodes.has(fields[9]))
        ports.push(parseInt(fields[1].split(":")[1], 16));
    }
  }
  return ports;
}

// ---- The browser, over the remote debugging protocol ------------------------------------------

class Browser {
  async open(url, width, height) {
    this.profile = fs.mkdtempSync(path.join(work, "chromium-"));
    this.process = start("chromium", [
      "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
      "--disable-background-networking", "--disable-component-update", "--disable-sync",
      "--disable-extensions", "--disable-dev-shm-usage", "--remote-debugging-port=0",
      "--remote-debugging-address=127.0.0.1", `--user-data-dir=${this.profile}`,
      `--window-size=${width},${height}`, "about:blank",
    ], { env: { ...process.env, HOME: path.join(work, "home") } });
    const portFile = path.join(this.profile, "DevToolsActivePort");
    const lines = await waitFor(30000, () =>
      fs.existsSync(portFile) && fs.readFileSync(portFile, "utf8").split("\n"), 100);
    if (!lines || !lines[0]) throw new Error("chromium did not open its debugging port:\n" +
                                             this.process.output);
    const targets = await (await fetch(`http://127.0.0.1:${lines[0]}/json/list`)).json();
    const page = targets.find((target) => target.type === "page");
    this.socket = new WebSocket(page.webSocketDebuggerUrl, { perMessageDeflate: false });
    await new Promise((resolve, reject) => {
      this.socket.once("open", resolve);
      this.socket.once("error", reject);
    });
    this.next = 1;
    this.pending = new Map();
    this.socket.on("message", (data) => {
      const message = JSON.parse(String(data));
      const waiting = this.pending.get(message.id);
      if (!waiting) return;
      this.pending.delete(message.id);
      if (message.error) waiting.reject(new Error(JSON.stringify(message.error)));
      else waiting.resolve(message.result);
    });
    await this.send("Page.enable");
    await this.size(width, height);
    await this.send("Page.navigate", { url });
  }

  send(method, params = {}) {
    const id = this.next++;
    this.socket.send(JSON.stringify({ id, method, params }));
    return new Promise((resolve, reject) => {
      this.pending.set(id, { resolve, reject });
      setTimeout(() => {
        if (this.pending.delete(id)) reject(new Error(`${method} had no answer in 10 s`));
      }, 10000);
    });
  }

  size(width, height) {
    return this.send("Emulation.setDeviceMetricsOverride",
                     { width, height, deviceScaleFactor: 1, mobile: width < height });
  }

  // The value of a script run in the page.
  async evaluate(expression) {
    const result = await this.send("Runtime.evaluate", { expression, returnByValue: true });
    if (result.exceptionDetails) throw new Error(JSON.stringify(result.exceptionDetails));
    return result.result.value;
  }

  async screenshot(file) {
    const { data } = await this.send("Page.captureScreenshot", { format: "png" });
    fs.writeFileSync(path.join(artefacts, file), Buffer.from(data, "base64"));
    log(`  screenshot ${path.join(artefacts, file)}`);
  }

  async close() {
    if (this.socket) this.socket.terminate();
    await stop(this.process);
  }
}

// What the page shows, read from its elements as a spectator sees them.
const ReadBoard = `(() => {
  if (!document.getElementById("players")) return { players: [], status: "not loaded" };
  const cards = [...document.querySelectorAll("#players .player")];
  return {
    caption: document.getElementById("caption").textContent,
    special: document.getElementById("special").textContent,
    winner: document.getElementById("winner").textContent,
    winnerShown: getComputedStyle(document.getElementById("winner")).display !== "none",
    status: document.getElementById("status").textContent,
    markup: document.querySelectorAll("#players .name *").length,
    players: cards.map((card) => ({
      name: card.querySelector(".name").textContent,
      remaining: card.querySelector(".remaining").textContent,
      toThrow: card.classList.contains("to-throw"),
      checkout: card.querySelector(".checkout").textContent,
      legs: card.querySelector(".legs").textContent,
      visits: [...card.querySelectorAll(".last-visits span")].map((s) => s.textContent),
    })),
  };
})()`;

// ---- The run -----------------------------------------------------------------------------------

async function main() {
  fs.mkdirSync(artefacts, { recursive: true });
  const app = path.join(work, "app");
  const settings = path.join(app, "brnx3p.dat");
  const port = await freePort();

  log("first run, without the switch: nothing listens; leaving writes the settings file");
  let brennix = start(path.join(app, "brennix"), [], { env: programEnv() });
  await waitWindow("Start Leg", 30000);
  const ports = listeningPorts(brennix.pid);
  if (ports.length) mismatch(`without the switch the program listens on ${ports.join(", ")}`);
  if (brennix.output.includes("Live board")) mismatch("the program printed a live board address");
  await answerStartLeg();
  press("alt+f");
  await sleep(500);
  press("x");
  if ((await Promise.race([brennix.exited, sleep(15000).then(() => "running")])) !== 0)
    throw new Error("the first run did not end with status 0: " + brennix.output);

  log('the settings: 301 double out, best of 1 set, players "<b>x</b>" and "Anna", no sound');
  const image = fs.readFileSync(settings);
  if (image.length !== 8956) throw new Error(`settings file of ${image.length} bytes`);
  image.writeInt32LE(2, 0); // PlayerCount
  image.writeInt32LE(3, 4); // MatchFormat: Best of 1 Set
  image.writeInt32LE(1, 8); // GameType: 301 Double Out
  const names = ["<b>x</b>", "Anna"];
  names.forEach((name, n) => {
    image.fill(0, 8733 + n * 27, 8733 + (n + 1) * 27);
    image[8733 + n * 27] = name.length;
    image.write(name, 8733 + n * 27 + 1, "latin1");
  });
  image[8949] = 0;
  fs.writeFileSync(settings, image);

  log(`second run with /safe /live=127.0.0.1:${port}`);
  brennix = start(path.join(app, "brennix"), ["/safe", `/live=127.0.0.1:${port}`],
                  { env: programEnv() });
  await waitWindow("Start Leg", 30000);
  const printed = `http://127.0.0.1:${port}/`;
  if (!(await waitFor(5000, () => brennix.output.includes(printed))))
    mismatch(`the program did not print ${printed}: ${brennix.output}`);
  if (listeningPorts(brennix.pid).join() !== String(port))
    mismatch(`with the switch the program listens on ${listeningPorts(brennix.pid)}`);
  await answerStartLeg();

  const browser = new Browser();
  try {
    await browser.open(printed, 1280, 720);
    const board = () => browser.evaluate(ReadBoard);
    const first = await waitFor(10000, async () => {
      const shown = await board();
      return shown.players.length === 2 && shown.status === "live" && shown;
    });
    if (!first) throw new Error("the page did not show the board: " + JSON.stringify(await board()));
    log(`the page shows "${first.caption}" with ${first.players.map((p) => p.name).join(", ")}`);
    if (first.players[0].name !== "<b>x</b>" || first.markup !== 0)
      mismatch(`the name "<b>x</b>" is not shown literally: ${JSON.stringify(first.players[0])}`);
    if (first.caption !== "  301 Double Out - Best of Best of 1 Set")
      mismatch(`caption "${first.caption}"`);
    if (!first.players[0].toThrow || first.players[1].toThrow)
      mismatch("player 1 is not the one highlighted at the start");

    // One visit through the window; the page must show it within a second.
    const remaining = [301, 301];
    let thrower = 0;
    let slowest = 0;
    // `startLeg`: the visit ends the leg before the sudden-death leg, whose starter is asked
    // for first (the proposed player is kept); the page is looked at from the answer on.
    const book = async (score, startLeg = false) => {
      await focus(MainTitle);
      visit(score);
      if (startLeg) await answerStartLeg();
      const sent = Date.now();
      remaining[thrower] -= score;
      const checkedOut = remaining[thrower] === 0;
      const expected = (shown) =>
        checkedOut ? shown.players[thrower].remaining === "301" &&
                     shown.players[0].remaining === "301" && shown.players[1].remaining === "301"
                   : shown.players[thrower].remaining === String(remaining[thrower]) &&
                     shown.players[1 - thrower].toThrow && !shown.players[thrower].toThrow;
      const shown = await waitFor(1000, async () => {
        const now = await board();
        return expected(now) && now;
      }, 10);
      const took = Date.now() - sent;
      slowest = Math.max(slowest, took);
      if (!shown) {
        mismatch(`visit ${score} by player ${thrower + 1}: not shown within 1 s: ` +
                 JSON.stringify(await board()));
        log(`  windows: ${openWindows().join(" | ")}`);
        screenshotX(`screen-${score}-${Date.now()}.png`);
      }
      if (checkedOut) remaining.fill(301);
      else thrower = 1 - thrower;
      return shown;
    };
    // A leg won by its starter: 180, the other 60, then 121 out.
    const leg = async (number) => {
      thrower = (number - 1) % 2;
      await book(180);
      await book(60);
      if (number === 1) {
        const shown = await board();
        if (shown.players[0].checkout === "" || shown.players[1].checkout !== "")
          mismatch(`checkout only for the player to throw: ${JSON.stringify(shown.players)}`);
        if (shown.players[0].visits.join(",") !== "180")
          mismatch(`last visits of player 1: ${shown.players[0].visits}`);
        await browser.screenshot("live-board.png");
        await browser.size(390, 844);
        await sleep(200);
        await browser.screenshot("live-board-phone.png");
        await browser.size(3840, 2160);
        await sleep(200);
        await browser.screenshot("live-board-tv.png");
        await browser.size(1280, 720);
      }
      await book(121, number === 10);
    };

    log("legs 1-4, each won by its starter: two legs all makes it a tie-break set");
    for (let number = 1; number <= 4; ++number) await leg(number);
    let shown = await board();
    if (shown.players[0].legs !== "2" || shown.players[1].legs !== "2")
      mismatch(`legs after four: ${shown.players[0].legs}-${shown.players[1].legs}`);
    if (!(await waitFor(1000, async () => (await board()).special === "Tie Break")))
      mismatch(`"Tie Break" is not shown: "${(await board()).special}"`);

    log("legs 5-10: five legs all makes the next leg sudden death");
    for (let number = 5; number <= 10; ++number) await leg(number);
    if (!(await waitFor(1000, async () => (await board()).special === "Sudden Death")))
      mismatch(`"Sudden Death" is not shown: "${(await board()).special}"`);

    log("leg 11, the sudden-death leg: player 1 wins the match");
    thrower = 0;
    await book(180);
    await book(60);
    await browser.screenshot("live-board-sudden-death.png");
    await focus(MainTitle);
    visit(121);
    await waitWindow("Game, Shot and the Match", 15000);
    const ended = await waitFor(1000, async () => {
      const now = await board();
      return now.winnerShown && now.winner.includes("<b>x</b>") && now;
    });
    if (!ended) mismatch(`the winner is not shown: ${JSON.stringify(await board())}`);
    else if (ended.players.some((player) => player.toThrow))
      mismatch("a player is still highlighted as the one to throw after the match");
    else log(`the page shows "${ended.winner}"`);
    await browser.screenshot("live-board-winner.png");
    log(`slowest visit to page: ${slowest} ms`);

    log("the program ends: the page says it is reconnecting");
    await stop(brennix);
    if (!(await waitFor(3000, async () => (await board()).status === "reconnecting…")))
      mismatch(`the page does not say it is reconnecting: "${(await board()).status}"`);

    log("the port is taken: a Warning names the address and the program plays on without it");
    const squatter = net.createServer((socket) => socket.destroy());
    await new Promise((resolve) => squatter.listen(port, "127.0.0.1", resolve));
    brennix = start(path.join(app, "brennix"), [`/live=127.0.0.1:${port}`, "/safe"],
                    { env: programEnv() });
    await waitWindow("Warning", 30000);
    const said = brennix.output;
    if (!said.includes(`The live board could not be started on 127.0.0.1:${port}: `))
      mismatch(`the program did not name the address and the reason: ${said}`);
    await focus("Warning");
    press("Return");
    await answerStartLeg();
    await focus(MainTitle);
    visit(100);
    await sleep(300);
    if (!(await waitFor(3000, () => windowId(MainTitle)))) mismatch("the program did not play on");
    await stop(brennix);
    await new Promise((resolve) => squatter.close(resolve));

    log("the program comes back: the page reconnects by itself");
    brennix = start(path.join(app, "brennix"), ["/safe", `/live=127.0.0.1:${port}`],
                    { env: programEnv() });
    await answerStartLeg();
    const back = await waitFor(15000, async () => {
      const now = await board();
      return now.status === "live" && now.players.length === 2 &&
             now.players[0].remaining === "301" && now;
    });
    if (!back) mismatch(`the page did not reconnect: ${JSON.stringify(await board())}`);
  } finally {
    await browser.close();
  }
  await stop(brennix);
}

const deadline = setTimeout(() => {
  mismatch("the test did not finish within 240 s");
  finish(1);
}, 240000);

async function finish(status) {
  clearTimeout(deadline);
  for (const child of children) await stop(child);
  if (failures && status === 0) status = 1;
  console.log(status === 0 ? "[live] PASSED" : `[live] FAILED (${failures} problem(s))`);
  process.exit(status);
}

for (const signal of ["SIGTERM", "SIGINT"])
  process.on(signal, () => {
    mismatch(`stopped by ${signal}`);
    finish(1);
  });

main().then(() => finish(0), (error) => {
  failures += 1;
  console.log(`[live] ABORTED: ${error.message}`);
  for (const child of children) if (child.output) console.log(child.output.slice(-3000));
  finish(1);
});
