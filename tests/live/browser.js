// The live board in a real browser: Debian's chromium, headless, driven over its remote
// debugging protocol, while the program runs in a private X server (started by browser.sh) and
// the visits are typed into its window with xdotool.
//
//   node browser.js PROGRAM WORK ARTEFACTS   (NODE_PATH must reach the "ws" module)
//
// A first run without the switch writes the settings file (and may not even load the module);
// the file is then given two players, one named <b>&amp;'"</b>, a game of 301 in one set. The
// second run, with /live=127.0.0.1:0 and /safe, plays the set to 5-5 in legs and to the end; the
// page must show each visit's score and the player to throw, and at set points every card exactly
// (the name as text, never markup, the averages worked out by hand), "Tie Break", "Sudden Death"
// and the winner. Then the program ends (the page says it is reconnecting) and starts again on
// the same port (the page reconnects by itself). Screenshots go to ARTEFACTS.
"use strict";
const { spawn, execFileSync } = require("child_process");
const fs = require("fs");
const path = require("path");
const WebSocket = require("ws");

const [program, work, artefacts] = process.argv.slice(2);
if (!artefacts) throw new Error("usage: node browser.js PROGRAM WORK ARTEFACTS");
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

const moduleLoaded = (pid) => fs.readFileSync(`/proc/${pid}/maps`, "utf8")
  .includes("/libbrennix-live.so");

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

// What the page shows, read from its elements as a spectator sees them: each card as one line,
// "name | remaining | checkout | sets | legs | leg average | match average | last visits", and
// "to throw" and "starter" when it is marked so.
const ReadBoard = `(() => {
  const text = (node, selector) => node.querySelector(selector).textContent;
  if (!document.getElementById("players")) return { status: "not loaded" };
  return {
    caption: text(document, "#caption"),
    special: text(document, "#special"),
    status: text(document, "#status"),
    winner: document.getElementById("winner").classList.contains("shown") ?
      text(document, "#winner") : null,
    markup: document.querySelectorAll("#players .name *, #winner *").length,
    players: [...document.querySelectorAll("#players .player")].map((card) => {
      const visits = [...card.querySelectorAll(".last-visits span")].map((s) => s.textContent);
      return [".name", ".remaining", ".checkout", ".sets", ".legs", ".leg-average",
              ".match-average"].map((field) => text(card, field))
        .concat(visits.length ? visits.join(",") : text(card, ".last-visits"))
        .concat(card.classList.contains("to-throw") ? ["to throw"] : [])
        .concat(card.classList.contains("leg-starter") ? ["starter"] : []).join(" | ");
    }),
  };
})()`;

// ---- The run -----------------------------------------------------------------------------------

const Name = "<b>&amp;'\"</b>";
const Caption = "  301 Double Out - Best of Best of 1 Set";
const Fresh = [`${Name} | 301 |  | 0 | 0 | 0.000 | 0.000 | – | to throw | starter`,
               "Anna | 301 |  | 0 | 0 | 0.000 | 0.000 | –"];

async function main() {
  fs.mkdirSync(artefacts, { recursive: true });
  const app = path.join(work, "app");
  const settings = path.join(app, "brnx3p.dat");

  log("first run, without the switch: the module is not loaded; leaving writes the settings file");
  let brennix = start(path.join(app, "brennix"), [], { env: programEnv() });
  await waitWindow("Start Leg", 30000);
  if (moduleLoaded(brennix.pid) || brennix.output.includes("Live board"))
    mismatch(`without the switch the live board was started: ${brennix.output}`);
  await answerStartLeg();
  press("alt+f");
  await sleep(500);
  press("x");
  if ((await Promise.race([brennix.exited, sleep(15000).then(() => "running")])) !== 0)
    throw new Error("the first run did not end with status 0: " + brennix.output);

  log(`the settings: 301 double out, best of 1 set, players ${Name} and Anna, no sound`);
  const image = fs.readFileSync(settings);
  if (image.length !== 8956) throw new Error(`settings file of ${image.length} bytes`);
  image.writeInt32LE(2, 0); // PlayerCount
  image.writeInt32LE(3, 4); // MatchFormat: Best of 1 Set
  image.writeInt32LE(1, 8); // GameType: 301 Double Out
  [Name, "Anna"].forEach((name, n) => {
    image.fill(0, 8733 + n * 27, 8733 + (n + 1) * 27);
    image[8733 + n * 27] = name.length;
    image.write(name, 8733 + n * 27 + 1, "latin1");
  });
  image[8949] = 0;
  fs.writeFileSync(settings, image);

  log("second run with /safe /live=127.0.0.1:0, then on the port it took");
  const live = (port) => start(path.join(app, "brennix"), ["/safe", `/live=127.0.0.1:${port}`],
                               { env: programEnv() });
  brennix = live(0);
  await waitWindow("Start Leg", 30000);
  const address = /\n {2}(http:\/\/127\.0\.0\.1:([1-9]\d*)\/)\n/;
  const printed = await waitFor(5000, () => address.exec(brennix.output));
  if (!printed) throw new Error(`the program did not print its address: ${brennix.output}`);
  await answerStartLeg();

  const browser = new Browser();
  try {
    await browser.open(printed[1], 1280, 720);
    const board = () => browser.evaluate(ReadBoard);
    // The board as expected, waited for (every push is an event; 5 s is only the bound).
    const expect = async (what, players, special = "", winner = null) => {
      const expected = { caption: Caption, special, status: "live", winner, markup: 0, players };
      const same = (shown) => JSON.stringify(shown) === JSON.stringify(expected);
      if (!(await waitFor(5000, async () => same(await board()))))
        mismatch(`${what}:\n  shown    ${JSON.stringify(await board())}` +
                 `\n  expected ${JSON.stringify(expected)}`);
    };
    // 301 in 6 darts is 150.500; 60 in 3 is 60.000; two won legs and two lost, 722 in 18 darts,
    // and five of each, 1805 in 45, are 120.333 (cut, not rounded). A leg's average stays on
    // until the next leg's first visit.
    await expect("the start", Fresh);

    // One visit through the window, waited for on the page: the new score, the other to throw.
    const remaining = [301, 301];
    let thrower = 0;
    // `startLeg`: the visit ends the leg before the sudden-death leg, whose starter is asked
    // for first (the proposed player is kept); the page is looked at from the answer on.
    const book = async (score, startLeg = false) => {
      await focus(MainTitle);
      visit(score);
      if (startLeg) await answerStartLeg();
      remaining[thrower] -= score;
      const out = remaining[thrower] === 0;
      if (out) remaining.fill(301);
      const field = (shown, p) => shown.players[p].split(" | ");
      const after = (shown) => field(shown, thrower)[1] === String(remaining[thrower]) &&
                               (out ? field(shown, 1 - thrower)[1] === "301"
                                    : field(shown, 1 - thrower).includes("to throw"));
      if (!(await waitFor(5000, async () => after(await board()))))
        mismatch(`visit ${score} by player ${thrower + 1}: ${JSON.stringify(await board())}`);
      thrower = 1 - thrower;
    };
    // A leg won by its starter: 180, the other 60, then 121 out.
    const leg = async (number) => {
      thrower = (number - 1) % 2;
      await book(180);
      await book(60);
      if (number === 1) {
        await expect("180 and 60", [
          `${Name} | 121 | T20 T11 D14 | 0 | 0 | 180.000 | 180.000 | 180 | to throw | starter`,
          "Anna | 241 |  | 0 | 0 | 60.000 | 60.000 | 60"]);
        for (const [name, width, height] of [["", 1280, 720], ["-phone", 390, 844],
                                             ["-tv", 3840, 2160], [null, 1280, 720]]) {
          await browser.size(width, height);
          if (name !== null) await browser.screenshot(`live-board${name}.png`);
        }
      }
      await book(121, number === 10);
    };

    await leg(1);
    await expect("the first leg won", [
      `${Name} | 301 |  | 0 | 1 | 150.500 | 150.500 | 121,180`,
      "Anna | 301 |  | 0 | 0 | 60.000 | 60.000 | 60 | to throw | starter"]);
    log("legs 2-4, each won by its starter: two legs all makes it a tie-break set");
    for (let number = 2; number <= 4; ++number) await leg(number);
    const level = (legs) => [
      `${Name} | 301 |  | 0 | ${legs} | 60.000 | 120.333 | 60,121,180 | to throw | starter`,
      `Anna | 301 |  | 0 | ${legs} | 150.500 | 120.333 | 121,180,60`];
    await expect("two legs all", level(2), "Tie Break");

    log("legs 5-10: five legs all makes the next leg sudden death");
    for (let number = 5; number <= 10; ++number) await leg(number);
    await expect("five legs all", level(5), "Sudden Death");

    log("leg 11, the sudden-death leg: player 1 wins the match");
    thrower = 0;
    await book(180);
    await book(60);
    await browser.screenshot("live-board-sudden-death.png");
    await focus(MainTitle);
    visit(121);
    await waitWindow("Game, Shot and the Match", 15000);
    // The set won, 6 legs to 5: 2106 in 51 darts is 123.882, 1865 in 48 is 116.562; nobody is
    // to throw any more.
    await expect("the winner", [`${Name} | 0 |  | 1 | 0 | 150.500 | 123.882 | 121,180,60`,
                                "Anna | 241 |  | 0 | 0 | 60.000 | 116.562 | 60,121,180 | starter"],
                 "Sudden Death", `Winner: ${Name}`);
    await browser.screenshot("live-board-winner.png");

    log("the program ends: the page says it is reconnecting");
    await stop(brennix);
    if (!(await waitFor(5000, async () => (await board()).status === "reconnecting…")))
      mismatch(`the page does not say it is reconnecting: "${(await board()).status}"`);

    log("the program comes back: the page reconnects by itself");
    brennix = live(printed[2]);
    await answerStartLeg();
    await expect("reconnected", Fresh);
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
