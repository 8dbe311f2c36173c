// The club's hall in a headless chromium, as the room's TV shows it:
//
//   node hall.js URL BOARD REMAINING WORK
//
// opens URL (a board's /hall), waits until it shows every board named in BOARD (comma-separated)
// and prints "ready"; on the line "go" from standard input it waits until BOARD's first name's
// card shows REMAINING for a player, and prints the milliseconds it took: "seen N". Anything
// else goes to standard error, with exit status 1. Every wait is bounded.
"use strict";
const { spawn } = require("child_process");
const fs = require("fs");
const path = require("path");
const readline = require("readline");
const WebSocket = require("ws");

const [url, boardList, remaining, work] = process.argv.slice(2);
const boards = boardList.split(",");
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));
let chromium;
const fail = (text) => {
  console.error(`[hall] ${text}`);
  if (chromium) chromium.kill("SIGKILL");
  process.exit(1);
};
setTimeout(() => fail("no end within 120 s"), 120000).unref();

async function waitFor(ms, check, every = 20) {
  for (const end = Date.now() + ms; Date.now() < end; await sleep(every)) {
    const value = await check();
    if (value) return value;
  }
  return null;
}

// What the page shows: one line per card, "board | player remaining | ...".
const ReadHall = `[...document.querySelectorAll(".board")].map((card) =>
  [card.querySelector(".name").textContent,
   ...[...card.querySelectorAll("tr")].map((row) =>
     row.querySelector(".player").textContent + " " + row.querySelector(".remaining").textContent)
  ].join(" | "))`;

async function main() {
  const profile = fs.mkdtempSync(path.join(work, "chromium-"));
  chromium = spawn("chromium", [
    "--headless", "--no-sandbox", "--disable-gpu", "--no-first-run", "--disable-sync",
    "--disable-background-networking", "--disable-component-update", "--disable-extensions",
    "--disable-dev-shm-usage", "--remote-debugging-port=0", "--remote-debugging-address=127.0.0.1",
    `--user-data-dir=${profile}`, "--window-size=1280,720", "about:blank",
  ], { stdio: "ignore", env: { ...process.env, HOME: work } });
  const portFile = path.join(profile, "DevToolsActivePort");
  const port = await waitFor(30000, () =>
    fs.existsSync(portFile) && fs.readFileSync(portFile, "utf8").split("\n")[0], 100);
  if (!port) fail("chromium did not open its debugging port");
  const targets = await (await fetch(`http://127.0.0.1:${port}/json/list`)).json();
  const socket = new WebSocket(targets.find((t) => t.type === "page").webSocketDebuggerUrl);
  await new Promise((resolve, reject) => { socket.once("open", resolve); socket.once("error", reject); });
  let next = 1;
  const pending = new Map();
  socket.on("message", (data) => {
    const message = JSON.parse(String(data));
    const waiting = pending.get(message.id);
    if (waiting) { pending.delete(message.id); waiting(message.result); }
  });
  const send = (method, params = {}) => new Promise((resolve) => {
    const id = next++;
    pending.set(id, resolve);
    socket.send(JSON.stringify({ id, method, params }));
  });
  const read = async () => {
    const result = await send("Runtime.evaluate", { expression: ReadHall, returnByValue: true });
    return result && result.result && Array.isArray(result.result.value) ? result.result.value : [];
  };
  await send("Page.navigate", { url });
  const shown = await waitFor(30000, async () => {
    const cards = await read();
    return boards.every((board) => cards.some((card) => card.startsWith(board + " | "))) && cards;
  });
  if (!shown) fail(`the hall does not show ${boards.join(" and ")}: ${JSON.stringify(await read())}`);
  console.log("ready");
  const lines = readline.createInterface({ input: process.stdin });
  for await (const line of lines) {
    if (line !== "go") continue;
    const start = Date.now();
    const card = (cards) => cards.find((c) => c.startsWith(boards[0] + " | ")) || "";
    const seen = await waitFor(10000, async () =>
      card(await read()).split(" | ").slice(1).some((player) => player.endsWith(" " + remaining)));
    if (!seen) fail(`board ${boards[0]} never showed ${remaining}: ${card(await read())}`);
    console.log(`seen ${Date.now() - start}`);
    break;
  }
  socket.terminate();
  chromium.kill("SIGKILL");
  process.exit(0);
}
main().catch((error) => fail(error.stack || String(error)));
