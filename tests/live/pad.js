// The keypad page in a headless chromium with a phone's screen and touch, against the real
// program in a private X server (started by browser.sh); the window is driven with xdotool.
//
//   node pad.js PROGRAM WORK ARTEFACTS   (NODE_PATH must reach the "ws" module)
//
// Two players, one named <b>&amp;'"</b>, 301 double out, best of 1 leg. The first run pairs the
// page through the address that Help → Live Board… shows as a QR code, and the page answers
// Start Leg, plays visits (a 0, an entry refused, an Undo, a 2-dart finish) and restarts from the
// match result. A second run, on the same port, gets the same visits typed in the window: the
// saved game and the history must be the same. The page of the first run, refused by the second,
// says it is not paired. Then the hostile group: no cookie, a forged one, a code used twice, a
// WebSocket from another origin, a flood of entries; the game does not change.
"use strict";
const crypto = require("crypto");
const { execFileSync } = require("child_process");
const fs = require("fs");
const path = require("path");
const WebSocket = require("ws");
const {
  app, artefacts, MainTitle, Name, log, mismatch, sleep, waitFor, expectShown, xdotool, windowId,
  focus, press, type, startLive, quit, writeSettings, Browser, run,
} = require("./harness");

const NotPaired = "This phone is not paired with the board. Scan the keypad code in " +
                  "Help → Live Board… on the board's computer.";

// A run with the live board on `port` (0: any), focused on the question who begins.
async function live(port) {
  const brennix = await startLive(port);
  await focus("Start Leg");
  return brennix;
}
// Help → Live Board… (the Help menu's last item); the keypad's pairing address, read from the
// dialog's picture: of its QR codes, the one that is not the board's own.
async function pairingAddress() {
  await focus(MainTitle);
  press("alt+h", "Up", "Return");
  await focus("Live Board");
  const dialog = windowId("Live Board");
  xdotool("windowmove", "--sync", dialog, "0", "0"); // all of it on the screen
  const shot = path.join(artefacts, "live-board-dialog.png");
  return waitFor(5000, () => {
    execFileSync("import", ["-window", dialog, shot]);
    let codes = "";
    try {
      codes = execFileSync("zbarimg", ["-q", "--raw", shot], { encoding: "utf8", stdio: "pipe" });
    } catch {
      return null; // none read yet
    }
    return codes.split("\n").find((code) => /\/k\/[0-9A-Z]{10}$/.test(code));
  }, 250);
}
async function closeDialog() {
  await focus("Live Board");
  press("Escape");
}

// ---- The page, in chromium with a phone's screen and touch -------------------------------------

class Phone extends Browser {
  async open() {
    await super.open(390, 844);
    await this.send("Emulation.setTouchEmulationEnabled", { enabled: true, maxTouchPoints: 5 });
  }

  // A phone (3 device pixels to a CSS pixel) in portrait, else a tablet.
  size(width, height) {
    return this.send("Emulation.setDeviceMetricsOverride", {
      width, height, deviceScaleFactor: width < height ? 3 : 1, mobile: true });
  }

  // While a page loads there is nothing to read.
  read() {
    return this.evaluate(ReadPad).catch(() => null);
  }
  expect(what, expected) {
    return expectShown(what, () => this.read(), expected);
  }

  // A finger on the button that shows `text` (of the darts with `darts`), once it can be pressed.
  async tap(text, darts = false) {
    const buttons = darts ? "#darts button" : "button:not([data-darts])";
    const box = await waitFor(5000, () => this.evaluate(`(() => {
      const button = [...document.querySelectorAll(${JSON.stringify(buttons)})]
        .find((b) => b.textContent === ${JSON.stringify(text)} && b.offsetParent);
      if (!button || button.disabled) return null;
      const box = button.getBoundingClientRect();
      return { x: box.x + box.width / 2, y: box.y + box.height / 2 };
    })()`));
    if (!box) return mismatch(`no button "${text}" to tap: ${await this.read()}`);
    await this.send("Input.dispatchTouchEvent", { type: "touchStart", touchPoints: [box] });
    await this.send("Input.dispatchTouchEvent", { type: "touchEnd", touchPoints: [] });
  }
}

// The page as the player sees it: "thrower | checkout | players (the one to throw with *) | the
// total | the message | the darts chosen", or the question and the buttons of a dialog.
const ReadPad = `(() => {
  const text = (id) => document.getElementById(id).textContent;
  const players = [...document.querySelectorAll(".player")].map((card) =>
    [...card.children].map((part) => part.textContent).join(" ") +
    (card.classList.contains("to-throw") ? " *" : ""));
  if (document.getElementById("keys").hidden)
    return [text("status"), [...document.getElementById("question").childNodes].map((node) =>
      node.textContent).join(" "), ...[...document.querySelectorAll("#panel button")]
      .map((b) => b.textContent + (b.classList.contains("chosen") ? " *" : ""))].join(" | ");
  return [text("status"), text("thrower"), text("checkout"), players.join(", "), text("total"),
          text("message"), "darts " + document.querySelector("#darts .chosen").textContent,
          document.getElementById("ok").disabled ? "OK disabled" : "OK"].join(" | ");
})()`;

// Whether the page fits the screen without scrolling, every button in sight and large enough for a
// thumb: "" or what is wrong.
const Fits = `(() => {
  const page = document.scrollingElement;
  const problems = page.scrollHeight > innerHeight || page.scrollWidth > innerWidth ?
    ["the page scrolls: " + page.scrollWidth + "x" + page.scrollHeight] : [];
  for (const button of [...document.querySelectorAll("button")].filter((b) => b.offsetParent)) {
    const box = button.getBoundingClientRect();
    if (box.left < 0 || box.top < 0 || box.right > innerWidth || box.bottom > innerHeight ||
        box.width < 40 || box.height < 40)
      problems.push(button.textContent + " at " + [box.left, box.top, box.width, box.height].map(Math.round));
  }
  return problems.join("; ");
})()`;

// Taps `key`, which sends, and waits for the answer; a keypad that sent too often waits a moment
// and taps again.
async function send(browser, key) {
  for (let attempt = 0; attempt < 10; ++attempt) {
    const before = await browser.evaluate("sent");
    await browser.tap(key);
    const answer = await waitFor(5000, () =>
      browser.evaluate(`sent > ${before} && !waiting && [note.text]`));
    if (!answer) return mismatch(`no answer to ${key}: ${await browser.read()}`);
    if (!answer[0].includes("too many entries")) return;
    await sleep(1000);
  }
}

// ---- The run -----------------------------------------------------------------------------------

// 301 double out, best of 1 leg, players <b>&amp;'"</b> and Anna, no sound.
const settings = () => writeSettings(2, [Name, "Anna"]);

// What a run leaves, put aside: the saved games and the history, without its times.
function files(suffix) {
  const saves = fs.readdirSync(path.join(app, "save")).sort();
  const result = saves.map((name) => name + " " + crypto.createHash("sha256")
    .update(fs.readFileSync(path.join(app, "save", name))).digest("hex"));
  const history = path.join(app, "history.sqlite");
  result.push(execFileSync("sqlite3", [history,
    "SELECT id, game, format, starter, resumed, end_reason, winner FROM matches;" +
    "SELECT * FROM match_players; SELECT * FROM legs;" +
    "SELECT id, match_id, leg_id, player, score, darts, remaining_before, won_leg FROM visits;" +
    "SELECT path, match_id, last_visit FROM saves ORDER BY path;"], { encoding: "utf8" }));
  fs.cpSync(path.join(app, "save"), path.join(artefacts, "save" + suffix), { recursive: true });
  fs.renameSync(path.join(app, "save"), path.join(app, "save" + suffix));
  fs.mkdirSync(path.join(app, "save"));
  for (const name of fs.readdirSync(app).filter((name) => name.startsWith("history.sqlite")))
    fs.renameSync(path.join(app, name), path.join(app, name + suffix));
  return result;
}

// The visits on the pad: Anna begins; 180, 0, 200 (not sent), 60, 100 taken back, 140, 70 (more
// than is left), a 61 out in 2 darts. Each step: the keys, the key that sends, what the pad shows.
const Pad = (who, checkout, players, total, message, darts = 3) =>
  ["live", who, checkout, players, total, message, `darts ${darts}`, total ? "OK" : "OK disabled"].join(" | ");
const Steps = [
  [["180"], "OK", Pad(Name, "", `${Name} 301 *, Anna 121`, "", "Taken: 180")],
  [["0"], "OK", Pad("Anna", "T20 T11 D14", `${Name} 301, Anna 121 *`, "", "Taken: 0")],
  [["2", "0", "0"], null, Pad("Anna", "T20 T11 D14", `${Name} 301, Anna 121 *`, "200", "not 0–180")
    .replace("| OK", "| OK disabled")],
  [["C", "60"], "OK", Pad(Name, "", `${Name} 301 *, Anna 61`, "", "Taken: 60")],
  [["100"], "OK", Pad("Anna", "T15 D8", `${Name} 201, Anna 61 *`, "", "Taken: 100")],
  [[], "Undo", Pad(Name, "", `${Name} 301 *, Anna 61`, "", "Undone")],
  [["140"], "OK", Pad("Anna", "T15 D8", `${Name} 161, Anna 61 *`, "", "Taken: 140")],
  [["7", "0"], "OK", Pad("Anna", "T15 D8", `${Name} 161, Anna 61 *`, "70", "Not taken: above what is left")],
  [["⌫", "⌫", "6", "1", "darts 2"], null, Pad("Anna", "T15 D8", `${Name} 161, Anna 61 *`, "61", "", 2)],
  [[], "OK", "live | Winner Anna | Restart"],
  [[], "Restart", Pad(Name, "", `${Name} 301 *, Anna 301`, "", "")],
];

async function main() {
  log("a first run writes the settings file");
  let brennix = await live(0);
  press("Return");
  await quit(brennix);
  files("-first");
  settings();

  log("the pad's run: pairing through the address the dialog shows");
  brennix = await live(0);
  press("Return");
  const address = await pairingAddress();
  if (!address?.startsWith(brennix.base + "/k/")) throw new Error(`no pairing address read: ${address}`);
  const browser = new Phone();
  await browser.open();
  await browser.navigate(address);
  await browser.expect("the Live Board dialog open", "live | The board's operator is needed.");
  await closeDialog();

  log("Start Leg answered on the pad; the visits");
  await focus(MainTitle);
  press("alt+f", "n");
  await browser.expect("Start Leg", `live | Who begins the leg? | ${Name} * | Anna`);
  await send(browser, "Anna");
  for (const [keys, sends, expected] of Steps) {
    for (const key of keys) await browser.tap(key.replace("darts ", ""), key.startsWith("darts"));
    if (keys.includes("darts 2"))
      for (const [width, height] of [[360, 640], [1280, 800], [390, 844]]) {
        await browser.size(width, height);
        const problems = await browser.evaluate(Fits);
        if (problems) mismatch(`at ${width}x${height}: ${problems}`);
        await browser.screenshot(`keypad-${width}x${height}.png`);
      }
    if (sends) await send(browser, sends);
    await browser.expect(`${keys.join(" ")} ${sends}`, expected);
  }
  await focus(MainTitle);
  press("F5");
  await quit(brennix);
  const pad = files("-pad");
  await browser.expect("the program gone", Pad(Name, "", `${Name} 301 *, Anna 301`, "", "").replace("live", "Reconnecting…"));

  log("the same visits typed in a second run on the same port");
  settings();
  brennix = await live(new URL(address).port);
  press("Return");
  await browser.expect("a token of the run before", `not paired | ${NotPaired}`);
  await focus(MainTitle);
  press("alt+f", "n");
  await focus("Start Leg");
  press("Tab", "Down", "shift+Tab", "Return");
  // The 70 is ignored as on the pad, and stays in the field.
  for (const visit of ["180", "0", "60", "100", "ctrl+z", "140", "70"]) {
    await focus(MainTitle);
    if (visit === "ctrl+z") press("ctrl+z");
    else {
      type(visit);
      press("Return");
    }
  }
  press("BackSpace", "BackSpace");
  type("61");
  press("Tab", "2", "Tab", "Return");
  await focus("Game, Shot and the Match");
  press("Return");
  await focus(MainTitle);
  press("F5");

  log("hostile: no cookie, a forged one, a code used twice, another origin, a flood");
  const state = await (await fetch(brennix.base + "/state.json")).text();
  await browser.send("Network.clearBrowserCookies");
  await browser.send("Page.reload");
  await browser.expect("no cookie", `not paired | ${NotPaired}`);
  const forged = "0123456789abcdef".repeat(4);
  await browser.send("Network.setCookie", { name: "brennix_keypad", value: forged, url: brennix.base });
  await browser.send("Page.reload");
  await browser.expect("a forged cookie", `not paired | ${NotPaired}`);
  const code = await pairingAddress();
  const pair = () => fetch(code, { redirect: "manual" });
  const paired = await pair();
  const token = /^brennix_keypad=([0-9a-f]{64}); Path=\/; HttpOnly; SameSite=Strict$/
    .exec(paired.headers.get("set-cookie"));
  if (paired.status !== 303 || paired.headers.get("location") !== "/pad" || !token)
    mismatch(`pairing: ${paired.status} ${JSON.stringify([...paired.headers])}`);
  const again = await pair();
  const guessed = await fetch(brennix.base + "/k/0000000000", { redirect: "manual" });
  if (again.status !== 403 || guessed.status !== 403 || await again.text() !== await guessed.text())
    mismatch(`a code used twice: ${again.status}, a guessed one: ${guessed.status}, not the same`);
  await closeDialog();
  const keypad = (origin) => new WebSocket(brennix.base.replace("http", "ws") + "/pad/live",
                                        { headers: { Cookie: `brennix_keypad=${token?.[1]}` }, origin });
  const foreign = keypad("http://evil.example");
  if (await new Promise((resolve) => {
    foreign.once("open", () => resolve(true));
    foreign.once("error", () => resolve(false));
  }))
    mismatch("a WebSocket from another origin was let in");
  // Entries the board would refuse anyway, faster than a keypad may send.
  const flood = keypad(brennix.base);
  const replies = [];
  flood.on("message", (data) => {
    const message = JSON.parse(String(data));
    if (message.reply) replies.push(message.reply.why);
  });
  await new Promise((resolve) => flood.once("open", resolve));
  for (let id = 1; id <= 40; ++id) flood.send(JSON.stringify({ id, enter: 181, darts: 3 }));
  await waitFor(5000, () => replies.length === 40);
  flood.close();
  // Five entries in five seconds, each counted, then none.
  if (JSON.stringify(replies) !== JSON.stringify(Array(40).fill("too many entries: wait a moment")
                                                  .fill("not 0–180", 0, 5)))
    mismatch(`the flood's answers: ${JSON.stringify(replies)}`);
  if ((await (await fetch(brennix.base + "/state.json")).text()) !== state)
    mismatch("the game changed");
  await quit(brennix);
  const typed = files("-typed");
  if (JSON.stringify(pad) !== JSON.stringify(typed))
    mismatch(`the runs differ:\n  pad   ${pad.join("\n")}\n  typed ${typed.join("\n")}`);
  await browser.close();
}

run("pad", main);
