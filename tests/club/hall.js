// The club's hall in a headless chromium, as the room's TV shows it:
//
//   node hall.js URL BOARD REMAINING WORK
//
// opens URL (a board's /hall), waits until it shows every board named in BOARD (comma-separated)
// and prints "ready"; on the line "go" from standard input it waits until BOARD's first name's
// card shows REMAINING for a player, and prints the milliseconds it took: "seen N".
//
//   node hall.js --page PAGE WORK
//
// serves the hall's page PAGE with a hall of its own and checks what it shows: the banner of a
// server that is away, a won match's result, a board without a match, an away board; one column
// with no name cut on a phone upright (390x844) and on its side (844x390), three at 1920x1080;
// screenshots go to WORK. Anything else goes to standard error, with exit status 1. Every wait is
// bounded.
"use strict";
const { spawn } = require("child_process");
const fs = require("fs");
const http = require("http");
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

// What the page shows: the banner, then one line per card: "board | note | each row's cells |
// no match or the winner".
const ReadHall = `[document.getElementById("banner").hidden ? "" : document.getElementById("banner").textContent,
  ...[...document.querySelectorAll(".board")].map((card) =>
    [card.querySelector(".name").textContent, card.querySelector(".note").textContent,
     ...[...card.querySelectorAll("tr")].map((row) => [...row.cells].map((c) => c.textContent).join(" ")),
     ...[...card.querySelectorAll(".idle, .winner")].map((line) => line.textContent)].join(" | "))]`;

// A headless chromium on about:blank and its page over the remote debugging protocol.
async function openBrowser(work) {
  const profile = fs.mkdtempSync(path.join(work, "chromium-"));
  chromium = spawn("chromium", [
    "--headless", "--no-sandbox", "--disable-gpu", "--no-first-run", "--disable-sync",
    "--disable-background-networking", "--disable-component-update", "--disable-extensions",
    "--disable-dev-shm-usage", "--remote-debugging-port=0", "--remote-debugging-address=127.0.0.1",
    `--user-data-dir=${profile}`, "--window-size=1280,720", "--disable-quic", "about:blank",
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
  const evaluate = async (expression) => {
    const result = await send("Runtime.evaluate", { expression, returnByValue: true });
    return result && result.result ? result.result.value : undefined;
  };
  const close = async () => {
    socket.terminate();
    const exited = new Promise((resolve) => chromium.once("exit", resolve));
    chromium.kill("SIGKILL");
    await exited;
    try { // its helpers may still be writing there
      fs.rmSync(profile, { recursive: true, force: true, maxRetries: 3 });
    } catch (error) {}
  };
  return { send, evaluate, close };
}

// A board on the hall as its program publishes it: the players as [name, sets, legs, remaining],
// the last result as [won, winner, [name, sets, legs]...].
const state = (players, [won, winner, ...scores] = []) => ({
  caption: "501 Double Out", player_to_throw: 2, winner: null,
  players: players.map(([name, sets, legs, remaining], i) => ({ number: i + 1, name, sets, legs, remaining })),
  result: won ? { won, winner, players: scores.map(([name, sets, legs]) => ({ name, sets, legs })) } : null });
const board = (name, away, state) => ({ board: name, away, seen: away ? "19:41" : "20:00", sync: "", state });
const Long = "Maximilian Mustermann-Kühn"; // as long as the game takes a name
const Hall = { away_since: "19:42", boards: [
  board("Board 12 at the bar", false, state([[Long, 0, 0, 501], ["Anna", 0, 0, 501]],
                                            ["match", Long, [Long, 2, 3], ["Anna", 1, 1]])),
  board("Hall", false, null),
  board("Leg", false, state([["Eve", 0, 1, 0], ["Fynn", 0, 0, 40]], ["match", "Eve", ["Eve", 0, 1], ["Fynn", 0, 0]])),
  { ...board("Odd", false, state([["Dan", 0, 0, 501]])), broken: "state of 70009 bytes <&>" },
  board("Old", true, state([["Chris", 1, 2, 141], [Long, 0, 2, 32]], ["leg", "Chris"])),
] };
const Shown = [
  "The club server cannot be reached since 19:42: the hall shows what it read last.",
  `Board 12 at the bar |  | ${Long} 2 sets 3 legs | Anna 1 set 1 leg | ${Long} wins`,
  "Hall |  | No match yet",
  "Leg |  | Eve 1 leg | Fynn 0 legs | Eve wins",
  "Odd |  | Cannot be shown: state of 70009 bytes <&>",
  `Old | away since 19:41 | Chris 1 / 2 141 | ${Long} 0 / 2 32`,
];
// How many columns the cards stand in, and every text cut short.
const Layout = `(() => {
  const lefts = new Set([...document.querySelectorAll(".board")].map((c) => Math.round(c.getBoundingClientRect().left)));
  const cut = [...document.querySelectorAll(".name, .note, .caption, td, .winner, .idle")]
    .filter((node) => node.scrollWidth > node.clientWidth || node.scrollHeight > node.clientHeight)
    .map((node) => node.textContent);
  return { columns: lefts.size, cut };
})()`;

async function checkPage(page, work) {
  const server = http.createServer((request, answer) => {
    const json = request.url === "/hall.json";
    answer.writeHead(200, { "Content-Type": json ? "application/json" : "text/html; charset=utf-8" });
    answer.end(json ? JSON.stringify(Hall) : fs.readFileSync(page));
  });
  await new Promise((resolve) => server.listen(0, "127.0.0.1", resolve));
  fs.mkdirSync(work, { recursive: true });
  const browser = await openBrowser(work);
  let failures = 0;
  for (const [width, height, columns] of [[390, 844, 1], [844, 390, 1], [1920, 1080, 3]]) {
    await browser.send("Emulation.setDeviceMetricsOverride",
                       { width, height, deviceScaleFactor: 1, mobile: false });
    await browser.send("Page.navigate", { url: `http://127.0.0.1:${server.address().port}/hall` });
    const expected = JSON.stringify({ shown: Shown, columns, cut: [] });
    // A TV with many boards cuts long names short; a phone has the room.
    const look = async () => ({ shown: await browser.evaluate(ReadHall), ...(await browser.evaluate(Layout)),
                                ...(columns > 1 ? { cut: [] } : {}) });
    if (!(await waitFor(10000, async () => JSON.stringify(await look()) === expected))) {
      failures += 1;
      console.error(`[hall] at ${width}x${height}: ${JSON.stringify(await look())}`);
    }
    const screenshot = await browser.send("Page.captureScreenshot", { format: "png" });
    fs.writeFileSync(path.join(work, `hall-${width}x${height}.png`), Buffer.from(screenshot.data, "base64"));
  }
  await browser.close();
  server.close();
  process.exit(failures ? 1 : 0);
}

async function main() {
  if (process.argv[2] === "--page") return checkPage(process.argv[3], process.argv[4]);
  const { send, evaluate, close } = await openBrowser(work);
  const read = async () => {
    const value = await evaluate(ReadHall);
    return Array.isArray(value) ? value.slice(1) : [];
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
  await close();
  process.exit(0);
}
main().catch((error) => fail(error.stack || String(error)));
