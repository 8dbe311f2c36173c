// What the browser tests share: their processes, the program's windows driven with xdotool, a
// headless chromium driven over its remote debugging protocol, and the verdict.
//
//   node SCRIPT PROGRAM WORK ARTEFACTS   (NODE_PATH must reach the "ws" module)
//
// PROGRAM is the program copied into WORK/app, where its settings and saves are written; WORK
// also holds the home and runtime folders; screenshots go to ARTEFACTS.
"use strict";
const { spawn, execFileSync } = require("child_process");
const fs = require("fs");
const path = require("path");
const WebSocket = require("ws");

const [program, work, artefacts] = process.argv.slice(2);
if (!artefacts)
  throw new Error(`usage: node ${path.basename(process.argv[1])} PROGRAM WORK ARTEFACTS`);
const app = path.dirname(program);
const MainTitle = "Brennix 3.2  [FINAL]";
const Name = "<b>&amp;'\"</b>"; // a player's name that must never be taken for markup
const children = [];
let tag = "live";
let failures = 0;

const log = (text) => console.log(`[${tag}] ${text}`);
const mismatch = (text) => {
  failures += 1;
  console.log(`[${tag}]   MISMATCH: ${text}`);
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

// Waits up to 5 s for `read()` to give `expected`; else a mismatch showing both.
async function expectShown(what, read, expected) {
  const text = (value) => JSON.stringify(value);
  if (!(await waitFor(5000, async () => text(await read()) === text(expected))))
    mismatch(`${what}:\n  shown    ${text(await read())}\n  expected ${text(expected)}`);
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

// ---- The program and its windows, through xdotool --------------------------------------------

const xdotool = (...args) =>
  execFileSync("xdotool", args, { timeout: 10000, encoding: "utf8" }).trim();
function windowId(title) {
  const pattern = "^" + title.replace(/[[\]\\.*^$()+?{}|]/g, "\\$&") + "$";
  try {
    return xdotool("search", "--onlyvisible", "--name", pattern).split("\n")[0] || "";
  } catch {
    return ""; // no such window
  }
}
async function waitWindow(title, ms = 15000) {
  const id = await waitFor(ms, () => windowId(title), 100);
  if (!id) throw new Error(`the window "${title}" did not appear within ${ms} ms`);
  return id;
}
async function focus(title) {
  xdotool("windowfocus", "--sync", await waitWindow(title));
}
const press = (...keys) => xdotool("key", "--delay", "60", ...keys);
const type = (text) => xdotool("type", "--delay", "40", text);

// The program with `args`, in a clean environment on the private X server.
function startProgram(args) {
  return start(program, args, { env: {
    PATH: "/usr/bin:/bin", HOME: path.join(work, "home"),
    XDG_RUNTIME_DIR: path.join(work, "runtime"), LANG: "C.UTF-8", DISPLAY: process.env.DISPLAY,
    QT_QPA_PLATFORM: "xcb" } });
}

// A run with the live board on `port` (0: any), once the window asks who begins; `base` is the
// address it printed, without the last "/".
async function startLive(port) {
  const brennix = startProgram(["/safe", `/live=127.0.0.1:${port}`]);
  await waitWindow("Start Leg", 30000);
  const address = /\n {2}http:\/\/127\.0\.0\.1:([1-9]\d*)\/\n/;
  const printed = await waitFor(5000, () => address.exec(brennix.output));
  if (!printed) throw new Error(`the program did not print its address: ${brennix.output}`);
  brennix.base = `http://127.0.0.1:${printed[1]}`;
  return brennix;
}

// File → Exit, which must end the program with status 0.
async function quit(brennix) {
  await focus(MainTitle);
  press("alt+f");
  await sleep(500);
  press("x");
  if ((await Promise.race([brennix.exited, sleep(15000).then(() => "running")])) !== 0)
    throw new Error("the program did not end with status 0: " + brennix.output);
}

// The settings file a first run wrote, changed: 301 double out, the match `format` (2: best of 1
// leg, 3: best of 1 set), the first `count` of `names` playing, no sound.
function writeSettings(format, names, count = names.length) {
  const file = path.join(app, "brnx3p.dat");
  const image = fs.readFileSync(file);
  if (image.length !== 8956) throw new Error(`settings file of ${image.length} bytes`);
  image.writeInt32LE(count, 0); // PlayerCount
  image.writeInt32LE(format, 4); // MatchFormat
  image.writeInt32LE(1, 8); // GameType: 301 Double Out
  names.forEach((name, n) => {
    image.fill(0, 8733 + n * 27, 8733 + (n + 1) * 27);
    image[8733 + n * 27] = name.length;
    image.write(name, 8733 + n * 27 + 1, "latin1");
  });
  image[8949] = 0;
  fs.writeFileSync(file, image);
}

// ---- The browser, over the remote debugging protocol ------------------------------------------

class Browser {
  // A headless chromium showing an empty page of `width` x `height`.
  async open(width, height) {
    const profile = fs.mkdtempSync(path.join(work, "chromium-"));
    this.process = start("chromium", [
      "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
      "--disable-background-networking", "--disable-component-update", "--disable-sync",
      "--disable-extensions", "--disable-dev-shm-usage", "--remote-debugging-port=0",
      "--remote-debugging-address=127.0.0.1", `--user-data-dir=${profile}`,
      `--window-size=${width},${height}`, "about:blank",
    ], { env: { ...process.env, HOME: path.join(work, "home") } });
    const portFile = path.join(profile, "DevToolsActivePort");
    const port = await waitFor(30000, () => fs.existsSync(portFile) &&
                               fs.readFileSync(portFile, "utf8").split("\n")[0], 100);
    if (!port) throw new Error("chromium did not open its debugging port:\n" + this.process.output);
    const targets = await (await fetch(`http://127.0.0.1:${port}/json/list`)).json();
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

  navigate(url) {
    return this.send("Page.navigate", { url });
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

// ---- The verdict ------------------------------------------------------------------------------

// Runs `main` with its lines marked `name`: "PASSED" and status 0 only when it ends within 240 s
// without a mismatch; every process started is ended first.
function run(name, main) {
  tag = name;
  const finish = async (status) => {
    clearTimeout(deadline);
    for (const child of children) await stop(child);
    if (failures && status === 0) status = 1;
    console.log(status === 0 ? `[${tag}] PASSED` : `[${tag}] FAILED (${failures} problem(s))`);
    process.exit(status);
  };
  const deadline = setTimeout(() => {
    mismatch("the test did not finish within 240 s");
    finish(1);
  }, 240000);
  for (const signal of ["SIGTERM", "SIGINT"])
    process.on(signal, () => {
      mismatch(`stopped by ${signal}`);
      finish(1);
    });
  fs.mkdirSync(artefacts, { recursive: true });
  main().then(() => finish(0), (error) => {
    failures += 1;
    console.log(`[${tag}] ABORTED: ${error.message}`);
    for (const child of children) if (child.output) console.log(child.output.slice(-3000));
    finish(1);
  });
}

module.exports = {
  program, work, app, artefacts, MainTitle, Name, log, mismatch, sleep, waitFor, expectShown,
  stop, xdotool, windowId, waitWindow, focus, press, type, startProgram, startLive, quit,
  writeSettings, Browser, run,
};
