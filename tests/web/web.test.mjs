// The emulated Pocket PC's web page as a person uses it: Debian's chromium, driven by
// Playwright, clicks the screen and types, and the page, its pixels, the timeline and the
// command's exit code are read back. VELMOT_WEB_COMMAND is the command that runs the device
// (the console with --image FILE, or the host build's), given --web PORT and the rest.
import { test, after } from "node:test";
import assert from "node:assert/strict";
import { spawn } from "node:child_process";
import { readFileSync } from "node:fs";
import { once } from "node:events";
import { chromium } from "playwright-core";

const command = process.env.VELMOT_WEB_COMMAND.split(" ");
const root = new URL("../../", import.meta.url);
let nextPort = 18240 + Math.floor(Math.random() * 500) * 2;

// ---- The device's geometry, as the emulator documents it (emulator/device.h) -------------
const NavigationBar = 26, MenuBar = 26, Unit = { w: 6, h: 12 };
// A dialog control's centre, from its place in the resource script's template.
const template = readFileSync(new URL("resources/velmot.rc", root), "utf8");
function control(name) {
  const line = template.split("\n").find((l) => l.includes(`, ${name}, `));
  const [x, y, cx, cy] = line.split(",").slice(-4).map(Number);
  const left = Math.floor((x * Unit.w) / 4), top = NavigationBar + Math.floor((y * Unit.h) / 8);
  const right = Math.floor(((x + cx) * Unit.w) / 4), bottom = NavigationBar + Math.floor(((y + cy) * Unit.h) / 8);
  return { x: Math.floor((left + right) / 2), y: Math.floor((top + bottom) / 2) };
}
const okButton = (width) => ({ x: width - 13, y: 13 });
const icon = (width, height) => ({ x: width - 12, y: height - MenuBar / 2 });

// ---- The device and its pages ------------------------------------------------------------
const browser = await chromium.launch({
  executablePath: "/usr/bin/chromium",
  args: ["--no-sandbox", "--disable-gpu", "--disable-background-networking",
         "--disable-component-update", "--disable-sync", "--no-first-run"],
});
after(() => browser.close());

// Starts the device on a port of its own; resolves once it has printed its address.
async function device(...args) {
  const port = nextPort++;
  const child = spawn(command[0], [...command.slice(1), "--web", String(port),
                                   "--at", "2002-10-07T21:10:40", ...args],
                      { stdio: ["ignore", "pipe", "inherit"] });
  let output = "";
  child.stdout.on("data", (chunk) => { output += chunk; });
  const exited = once(child, "exit").then(([code]) => code);
  while (!output.includes("\n")) {
    if (child.exitCode !== null) throw new Error(`the device ended at once: ${output}`);
    await new Promise((resolve) => setTimeout(resolve, 20));
  }
  const address = output.split("\n")[0];
  assert.equal(address, `http://127.0.0.1:${port}/`);
  return { port, address, exited, output: () => output, child };
}

async function open(run) {
  const page = await browser.newPage();
  await page.goto(run.address);
  await page.waitForSelector("#screen[data-frame]");
  return page;
}

// A click at a device pixel: where it lies in the page at the page's zoom.
async function tap(page, point) {
  const box = await page.locator("#screen").boundingBox();
  const size = await page.evaluate(() => [document.getElementById("screen").naturalWidth,
                                          document.getElementById("screen").naturalHeight]);
  await page.mouse.click(box.x + ((point.x + 0.5) * box.width) / size[0],
                         box.y + ((point.y + 0.5) * box.height) / size[1]);
}

const timeline = (page) => page.locator("#timeline").textContent();
async function waitForLine(page, text) {
  await page.waitForFunction((t) => document.getElementById("timeline").textContent.includes(t),
                             text, { timeout: 30000 });
}

// ---- The stories -------------------------------------------------------------------------
test("the typical road by clicks and keys: Wait to suspend, 0 hours 1 minute, ok", async () => {
  const run = await device();
  const page = await open(run);
  await tap(page, control("IDC_WAIT_RADIO"));
  await waitForLine(page, "it reaches Button 1003");
  await tap(page, control("IDC_WAIT_HOURS"));
  await page.keyboard.press("Backspace");
  await page.keyboard.press("0");
  await tap(page, control("IDC_WAIT_MINUTES"));
  await page.keyboard.press("Backspace");
  await page.keyboard.press("1");
  await waitForLine(page, "user types \"1\" into 1004");
  await tap(page, okButton(240));
  await waitForLine(page, "it reaches ok");
  await page.click("[data-speed='600']");
  await waitForLine(page, "key 0xDF down");
  await page.waitForSelector("#ending.shown");
  assert.equal(await page.getAttribute("#ending", "data-code"), "0");
  assert.match(await page.textContent("#ending"), /exit code 0/);
  assert.equal(await run.exited, 0);
  await page.close();
});

test("the menu at the icon, drawn where the emulator placed it; Exit application ends it", async () => {
  const run = await device("/W", "1:0");
  const page = await open(run);
  await waitForLine(page, "icon added");
  const before = await page.locator("#screen").screenshot();
  const frame = Number(await page.getAttribute("#screen", "data-frame"));
  await tap(page, icon(240, 320));
  await waitForLine(page, "menu shown at");
  const [, x, y] = (await timeline(page)).match(/menu shown at (\d+),(\d+)/).map(Number);
  // Four items, the longest "Exit application" (16 letters): (16 + 4) x 6 by 4 x 12 pixels,
  // its bottom right corner at the anchor.
  const menu = { left: x - 120, top: y - 48, right: x, bottom: y };
  await page.waitForFunction((n) => Number(document.getElementById("screen").dataset.frame) > n,
                             frame);
  const shown = await page.locator("#screen").screenshot();
  const pixels = await page.evaluate(async ([a, b, m]) => {
    const read = async (png) => {
      const image = new Image();
      image.src = "data:image/png;base64," + png;
      await image.decode();
      const canvas = new OffscreenCanvas(image.width, image.height);
      const context = canvas.getContext("2d");
      context.drawImage(image, 0, 0);
      return { data: context.getImageData(0, 0, image.width, image.height).data, width: image.width };
    };
    const [was, now] = [await read(a), await read(b)];
    const zoom = now.width / 240;
    const at = (picture, px, py) => {
      const i = (Math.floor(py * zoom) * picture.width + Math.floor(px * zoom)) * 4;
      return picture.data.slice(i, i + 3).join(",");
    };
    return {
      border: [at(now, m.left, m.top), at(now, m.right - 1, m.bottom - 1)],
      outsideSame: at(now, m.left - 2, m.top - 2) === at(was, m.left - 2, m.top - 2),
      changed: at(now, m.left, m.top) !== at(was, m.left, m.top),
    };
  }, [before.toString("base64"), shown.toString("base64"), menu]);
  assert.deepEqual(pixels.border, ["0,0,0", "0,0,0"], "the menu's 1-pixel black border");
  assert.ok(pixels.changed && pixels.outsideSame, "the menu appeared in its rectangle only");
  await tap(page, { x: x - 30, y: y - 6 }); // the last line: Exit application
  await page.waitForSelector("#ending.shown");
  assert.equal(await run.exited, 0);
  assert.doesNotMatch(run.output(), /key 0xDF/);
  await page.close();
});

test("at zoom x3 and on a scrolled page a click still taps the control under it", async () => {
  const run = await device();
  const page = await browser.newPage({ viewport: { width: 900, height: 500 } });
  await page.goto(run.address);
  await page.waitForSelector("#screen[data-frame]");
  await page.click("[data-zoom='3']");
  assert.equal((await page.locator("#screen").boundingBox()).width, 720);
  await page.evaluate(() => window.scrollTo(0, 180));
  await tap(page, control("IDC_WAIT_RADIO"));
  await waitForLine(page, "it reaches Button 1003");
  await page.evaluate(() => window.scrollTo(0, 120));
  await tap(page, control("IDC_WAIT_MINUTES"));
  await waitForLine(page, "it reaches Edit 1004");
  run.child.kill("SIGTERM");
  await page.waitForSelector("#ending.shown");
  assert.equal(await run.exited, 143);
  await page.close();
});

test("two pages at once see the same timeline, and a page opened late sees it whole", async () => {
  const run = await device();
  const [first, second] = [await open(run), await open(run)];
  await tap(second, control("IDC_WAIT_RADIO"));
  await waitForLine(first, "it reaches Button 1003");
  await waitForLine(second, "it reaches Button 1003");
  const late = await open(run);
  await waitForLine(late, "it reaches Button 1003");
  assert.equal(await timeline(first), await timeline(second));
  assert.equal(await timeline(late), await timeline(first));
  run.child.kill("SIGINT");
  assert.equal(await run.exited, 130);
  for (const page of [first, second, late]) {
    await page.waitForSelector("#ending.shown");
    assert.match(await page.textContent("#ending"), /exit code 130/);
    await page.close();
  }
});

test("the server refuses, with its status, whatever does not come from its page", async () => {
  const run = await device();
  const page = await open(run);
  const token = await page.evaluate(() => token);
  const json = { "Content-Type": "application/json", "X-Velmot-Token": token };
  const before = await timeline(page);
  const requests = [
    ["another Host (DNS rebinding)", 421, "/tap", { ...json, Host: "velmot.example:80" }, '{"x":5,"y":5}'],
    ["no token", 403, "/tap", { "Content-Type": "application/json" }, '{"x":5,"y":5}'],
    ["a wrong token", 403, "/key", { ...json, "X-Velmot-Token": "0".repeat(32) }, '{"key":"i"}'],
    ["another origin", 403, "/key", { ...json, Origin: "http://velmot.example" }, '{"key":"i"}'],
    ["a bad method", 405, "/tap", json, null, "PUT"],
    ["bad JSON", 400, "/tap", json, '{"x":5,'],
    ["a tap outside the screen", 400, "/tap", json, '{"x":240,"y":10}'],
    ["an unknown key", 400, "/key", json, '{"key":"q"}'],
    ["an unknown speed", 400, "/speed", json, '{"speed":7}'],
    ["not JSON", 415, "/key", { ...json, "Content-Type": "text/plain" }, '{"key":"i"}'],
    ["a body over the limit", 413, "/key", json, JSON.stringify({ key: "i".repeat(1000) })],
  ];
  for (const [what, status, path, headers, body, method = "POST"] of requests) {
    const response = await fetchRaw(run.port, method, path, headers, body);
    assert.equal(response.status, status, `${what}: ${response.text}`);
    assert.ok(response.text.length > 5, `${what}: a message says why`);
  }
  await new Promise((resolve) => setTimeout(resolve, 300));
  assert.equal(await timeline(page), before, "no refused request reached the device");
  // A flood of taps is answered (each taken, or refused while 64 wait), and leaves the device
  // working: a tap after it reaches its control.
  for (let round = 0; round < 40; ++round) {
    const flood = await Promise.all(Array.from({ length: 5 }, () =>
      fetchRaw(run.port, "POST", "/tap", json, '{"x":1,"y":300}')));
    assert.deepEqual(flood.filter((r) => r.status !== 204 && r.status !== 429), []);
  }
  await tap(page, control("IDC_WAIT_RADIO"));
  await waitForLine(page, "it reaches Button 1003");
  run.child.kill("SIGTERM");
  assert.equal(await run.exited, 143);
  await page.close();
});

// A request as any client can make it, Host header included (fetch would not send that one).
async function fetchRaw(port, method, path, headers, body) {
  const http = await import("node:http");
  return new Promise((resolve, reject) => {
    const request = http.request({ host: "127.0.0.1", port, method, path, headers,
                                   setHost: !("Host" in headers) }, (response) => {
      let text = "";
      response.on("data", (chunk) => { text += chunk; });
      response.on("end", () => resolve({ status: response.statusCode, text }));
    });
    request.on("error", reject);
    request.end(body ?? undefined);
  });
}
