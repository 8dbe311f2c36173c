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
// page reconnects by itself): at 1920x1080 the cards stand two by two, at 390x844 all fit
// without scrolling, and eight stay legible; /overlay follows the same pushes on a transparent
// page. Screenshots go to ARTEFACTS.
"use strict";
const fs = require("fs");
const {
  MainTitle, Name, log, mismatch, waitFor, expectShown, stop, waitWindow, focus, press, type,
  startProgram, startLive, quit, writeSettings, Browser, run,
} = require("./harness");

function visit(score) {
  type(String(score));
  press("Return");
}

async function answerStartLeg() {
  await focus("Start Leg");
  press("Return");
  await focus(MainTitle);
}

const moduleLoaded = (pid) => fs.readFileSync(`/proc/${pid}/maps`, "utf8")
  .includes("/libbrennix-live.so");

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

const Caption = "301 Double Out · Best of 1 Set";
const Deciding = "first to 3 legs, tie-break at 2-2";
const Fresh = [`${Name} | 301 |  | 0 | 0 | 0.000 | 0.000 | – | to throw | starter`,
               "Anna | 301 |  | 0 | 0 | 0.000 | 0.000 | –"];
// Best of 1 set with the first `count` of four players.
const players = (count) =>
  writeSettings(3, [Name, "Anna", "Chris", "Maximilian Mustermann"], count);

async function main() {
  log("first run, without the switch: the module is not loaded; leaving writes the settings file");
  let brennix = startProgram([]);
  await waitWindow("Start Leg", 30000);
  if (moduleLoaded(brennix.pid) || brennix.output.includes("Live board"))
    mismatch(`without the switch the live board was started: ${brennix.output}`);
  await answerStartLeg();
  await quit(brennix);

  log(`the settings: 301 double out, best of 1 set, players ${Name} and Anna, no sound`);
  players(2);

  log("second run with /safe /live=127.0.0.1:0, then on the port it took");
  brennix = await startLive(0);
  const base = brennix.base + "/";
  await answerStartLeg();

  const browser = new Browser();
  try {
    await browser.open(1280, 720);
    await browser.navigate(base);
    const board = () => browser.evaluate(ReadBoard);
    // The board as expected, waited for (every push is an event; 5 s is only the bound).
    const expect = (what, players, { special = "", progress = "Set 1 · Leg 1 · " + Deciding,
                                     result = null } = {}) =>
      expectShown(what, board, { caption: Caption, special, progress, status: "live", result,
                                 markup: 0, players });
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
    brennix = await startLive(new URL(base).port);
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
    await browser.navigate(base + "overlay");
    const strip = (title, rows) => ({
      background: ["rgba(0, 0, 0, 0)", "rgba(0, 0, 0, 0)"], title, markup: 0, rows });
    // (While the page loads there is nothing to read.)
    const read = () => browser.evaluate(ReadOverlay).catch(() => null);
    const overlay = (what, expected) => expectShown(`overlay, ${what}`, read, expected);
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

run("live", main);
