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
// (the name as text, never markup, the averages worked out by hand, the leg's own visits), the
// set and leg with what wins the set, "Tie Break", "Sudden Death", each leg's result and the
// final score, on the banner and the cards, kept after the board is reset. Then the program ends
// (the page says it is reconnecting) and starts again on the same port with four players (the
// page reconnects by itself): at 1920x1080 the cards stand two by two, at 390x844 all fit without scrolling, and
// eight stay legible; /overlay follows the same pushes on a transparent page. Screenshots go to
// ARTEFACTS.
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
    const result = await this.send("Runtime.evaluate",
                                   { expression, returnByValue: true, awaitPromise: true });
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

// What the page shows, read from its elements as a spectator sees them: the result banner as
// "headline | name sets "sets" legs "legs" | ...", each card as one line, "name | remaining |
// checkout | sets | legs | leg average | match average | last visits", and "to throw" and
// "starter" when it is marked so.
const ReadBoard = `(() => {
  const text = (node, selector) => node.querySelector(selector).textContent;
  if (!document.getElementById("players")) return { status: "not loaded" };
  return {
    caption: text(document, "#caption"),
    special: text(document, "#special"),
    progress: text(document, "#progress"),
    status: text(document, "#status"),
    result: document.getElementById("result").classList.contains("shown") ?
      [...document.getElementById("result").children].map((node) =>
        [...node.childNodes].map((part) => part.textContent).join(" ")).join(" | ") : null,
    markup: document.querySelectorAll("#players .name *, #result .headline *").length,
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

// Where the cards stand and how big their texts are, in CSS pixels.
const Layout = `(() => {
  const px = (node) => parseFloat(getComputedStyle(node).fontSize);
  const page = document.scrollingElement;
  return {
    width: innerWidth, height: innerHeight, scrollWidth: page.scrollWidth,
    scrollHeight: page.scrollHeight,
    cards: [...document.querySelectorAll("#players .player")].map((card) => {
      const box = card.getBoundingClientRect();
      const score = card.querySelector(".remaining");
      return { left: Math.round(box.left), top: Math.round(box.top),
               right: Math.round(box.right), bottom: Math.round(box.bottom),
               name: px(card.querySelector(".name")), remaining: px(score),
               clipped: score.scrollWidth > score.clientWidth ||
                        score.scrollHeight > score.clientHeight };
    }),
  };
})()`;

// The page's own rendering of the state served, with four more players (the program is idle,
// so no push comes in between).
const EightPlayers = `(async () => {
  const state = await (await fetch("/state.json")).json();
  const names = ["Ben", "Dora", "Eve", "Fynn"];
  state.players = state.players.concat(state.players.map((player, index) =>
    ({ ...player, number: player.number + 4, name: names[index] })));
  show(state);
})()`;

// The overlay as a viewer sees it: the page's backgrounds, the title's parts, and each row as
// "name | sets | legs | remaining | checkout" with "to throw" when it is marked so.
const ReadOverlay = `(() => {
  const strip = document.getElementById("strip");
  if (!strip) return null;
  return {
    background: [document.documentElement, document.body]
      .map((node) => getComputedStyle(node).backgroundColor),
    title: [...strip.querySelector(".title").children].map((node) => node.textContent)
      .filter(Boolean).join(" | "),
    markup: strip.querySelectorAll(".name *").length,
    rows: [...document.querySelectorAll("#rows tr")].map((row) =>
      [...row.cells].slice(1).map((cell) => cell.textContent).join(" | ") +
      (row.classList.contains("to-throw") ? " | to throw" : "")),
  };
})()`;

// ---- The run -----------------------------------------------------------------------------------

const Name = "<b>&amp;'\"</b>";
const Caption = "301 Double Out · Best of 1 Set";
const Deciding = "first to 3 legs, tie-break at 2-2";
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

  // The settings: 301 double out, best of 1 set, no sound, and the first `count` of four
  // players.
  const players = (count) => {
    const image = fs.readFileSync(settings);
    if (image.length !== 8956) throw new Error(`settings file of ${image.length} bytes`);
    image.writeInt32LE(count, 0); // PlayerCount
    image.writeInt32LE(3, 4); // MatchFormat: Best of 1 Set
    image.writeInt32LE(1, 8); // GameType: 301 Double Out
    [Name, "Anna", "Chris", "Maximilian Mustermann"].forEach((name, n) => {
      image.fill(0, 8733 + n * 27, 8733 + (n + 1) * 27);
      image[8733 + n * 27] = name.length;
      image.write(name, 8733 + n * 27 + 1, "latin1");
    });
    image[8949] = 0;
    fs.writeFileSync(settings, image);
  };
  log(`the settings: 301 double out, best of 1 set, players ${Name} and Anna, no sound`);
  players(2);

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
    const expect = async (what, players, { special = "", progress = "Set 1 · Leg 1 · " + Deciding,
                                           result = null } = {}) => {
      const expected = { caption: Caption, special, progress, status: "live", result, markup: 0,
                         players };
      const same = (shown) => JSON.stringify(shown) === JSON.stringify(expected);
      if (!(await waitFor(5000, async () => same(await board()))))
        mismatch(`${what}:\n  shown    ${JSON.stringify(await board())}` +
                 `\n  expected ${JSON.stringify(expected)}`);
    };
    // 301 in 6 darts is 150.500; 60 in 3 is 60.000; two won legs and two lost, 722 in 18 darts,
    // and five of each, 1805 in 45, are 120.333 (cut, not rounded). A leg's average stays on
    // until the next leg's first visit, its visits do not.
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
        // The checkout of every player within reach, the thrower's highlighted.
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
      `${Name} | 301 |  | 0 | 1 | 150.500 | 150.500 | –`,
      "Anna | 301 |  | 0 | 0 | 60.000 | 60.000 | – | to throw | starter"],
      { progress: "Set 1 · Leg 2 · " + Deciding, result: `Leg to ${Name} · 1–0` });
    log("legs 2-4, each won by its starter: two legs all makes it a tie-break set");
    for (let number = 2; number <= 4; ++number) await leg(number);
    const level = (legs) => [
      `${Name} | 301 |  | 0 | ${legs} | 60.000 | 120.333 | – | to throw | starter`,
      `Anna | 301 |  | 0 | ${legs} | 150.500 | 120.333 | –`];
    await expect("two legs all", level(2), {
      special: "Tie Break", progress: "Set 1 · Leg 5 · tie-break: two clear legs, sudden death at 5-5",
      result: "Leg to Anna · 2–2" });

    log("legs 5-10: five legs all makes the next leg sudden death");
    for (let number = 5; number <= 10; ++number) await leg(number);
    await expect("five legs all", level(5), {
      special: "Sudden Death", progress: "Set 1 · Leg 11 · sudden death: the next leg wins",
      result: "Leg to Anna · 5–5" });

    log("leg 11, the sudden-death leg: player 1 wins the match");
    thrower = 0;
    await book(180);
    await book(60);
    await browser.screenshot("live-board-sudden-death.png");
    await focus(MainTitle);
    visit(121);
    await waitWindow("Game, Shot and the Match", 15000);
    // The set won, 6 legs to 5: 2106 in 51 darts is 123.882, 1865 in 48 is 116.562; nobody is
    // to throw any more. The final score stays once the result dialog is closed and the board
    // is reset, until the next match's first visit.
    const final = `Winner: ${Name} | ${Name} 1 sets 6 legs | Anna 0 sets 5 legs`;
    await expect("the winner", [`${Name} | 0 |  | 1 | 6 | 150.500 | 123.882 | 121,180`,
                                "Anna | 241 |  | 0 | 5 | 60.000 | 116.562 | 60 | starter"],
                 { special: "Sudden Death", progress: "", result: final });
    await browser.screenshot("live-board-winner.png");
    await focus("Game, Shot and the Match");
    press("Return");
    await expect("the board reset", [Fresh[0].replace("| 0 | 0 |", "| 1 | 6 |"),
                                     Fresh[1].replace("| 0 | 0 |", "| 0 | 5 |")], { result: final });
    thrower = 0;
    remaining.fill(301);
    await book(60);
    await expect("the next match's first visit", [
      `${Name} | 241 |  | 0 | 0 | 60.000 | 60.000 | 60 | starter`,
      "Anna | 301 |  | 0 | 0 | 0.000 | 0.000 | – | to throw"]);

    log("the program ends: the page says it is reconnecting");
    await stop(brennix);
    if (!(await waitFor(5000, async () => (await board()).status === "reconnecting…")))
      mismatch(`the page does not say it is reconnecting: "${(await board()).status}"`);

    log("the program comes back with four players: the page reconnects by itself");
    players(4);
    brennix = live(printed[2]);
    await answerStartLeg();
    for (const score of [180, 140, 100, 0]) {
      await focus(MainTitle);
      visit(score);
    }
    const four = [
      `${Name} | 121 | T20 T11 D14 | 0 | 0 | 180.000 | 180.000 | 180 | to throw | starter`,
      "Anna | 161 | T20 T17 Bull | 0 | 0 | 140.000 | 140.000 | 140",
      "Chris | 201 |  | 0 | 0 | 100.000 | 100.000 | 100",
      "Maximilian Mustermann | 301 |  | 0 | 0 | 0.000 | 0.000 | 0"];
    await expect("reconnected, four players", four, { progress: "Set 1 · Leg 1 · first to 3 legs" });

    // Two by two on a TV, one column on a phone, eight players four by two and two by four;
    // every card on the screen, nothing to scroll, no figure cut off, names and scores legible.
    const layout = async (name, count, width, height, arrangement) => {
      await browser.size(width, height);
      const facts = await waitFor(5000, async () => {
        const seen = await browser.evaluate(Layout);
        return seen.width === width && seen.cards.length === count && seen;
      });
      if (!facts) return mismatch(`${name}: no ${count} cards at ${width}x${height}`);
      const problems = [];
      if (facts.scrollWidth > width || facts.scrollHeight > height)
        problems.push(`the page scrolls: ${facts.scrollWidth}x${facts.scrollHeight}`);
      const columns = new Set(facts.cards.map((card) => card.left)).size;
      const rows = new Set(facts.cards.map((card) => card.top)).size;
      if (`${columns}x${rows}` !== arrangement) problems.push(`cards ${columns}x${rows}`);
      facts.cards.forEach((card, index) => {
        if (card.left < 0 || card.top < 0 || card.right > width || card.bottom > height)
          problems.push(`card ${index + 1} outside: ${JSON.stringify(card)}`);
        if (card.clipped) problems.push(`card ${index + 1}: the score cut off`);
        if (card.name < 14 || card.remaining < 40)
          problems.push(`card ${index + 1}: name ${card.name}px, score ${card.remaining}px`);
      });
      if (problems.length) mismatch(`${name} at ${width}x${height}: ${problems.join("; ")}`);
      await browser.screenshot(`live-board-${name}-${width}x${height}.png`);
    };
    await layout("4-players", 4, 1920, 1080, "2x2");
    await layout("4-players", 4, 390, 844, "1x4");
    await browser.evaluate(EightPlayers);
    await layout("8-players", 8, 1920, 1080, "4x2");
    await layout("8-players", 8, 390, 844, "2x4");

    log("/overlay: the strip on a transparent page, following the pushes");
    await browser.size(1920, 1080);
    await browser.send("Emulation.setDefaultBackgroundColorOverride",
                       { color: { r: 0, g: 0, b: 0, a: 0 } });
    await browser.send("Page.navigate", { url: printed[1] + "overlay" });
    const strip = (title, rows) => ({
      background: ["rgba(0, 0, 0, 0)", "rgba(0, 0, 0, 0)"], title, markup: 0, rows });
    // (While the page loads there is nothing to read.)
    const read = () => browser.evaluate(ReadOverlay).catch(() => null);
    const overlay = async (what, expected) => {
      const same = async () => JSON.stringify(await read()) === JSON.stringify(expected);
      if (!(await waitFor(5000, same)))
        mismatch(`overlay, ${what}:\n  shown    ${JSON.stringify(await read())}` +
                 `\n  expected ${JSON.stringify(expected)}`);
    };
    const title = "301 Double Out · Best of 1 Set | Set 1 · Leg 1";
    await overlay("four players", strip(title, [
      `${Name} | 0 | 0 | 121 | T20 T11 D14 | to throw`, "Anna | 0 | 0 | 161 | T20 T17 Bull",
      "Chris | 0 | 0 | 201 | ", "Maximilian Mustermann | 0 | 0 | 301 | "]));
    await browser.screenshot("live-overlay.png");
    await focus(MainTitle);
    visit(21);
    await overlay("a visit", strip(title, [
      `${Name} | 0 | 0 | 100 | T20 D20`, "Anna | 0 | 0 | 161 | T20 T17 Bull | to throw",
      "Chris | 0 | 0 | 201 | ", "Maximilian Mustermann | 0 | 0 | 301 | "]));
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
