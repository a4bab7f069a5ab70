// The emulated Pocket PC's web page as a person uses it: Debian's chromium, driven by
// Playwright, clicks the screen and types, and the page, its pixels, the timeline and the
// command's exit code are read back. VELMOT_WEB_PROGRAM runs the device (pocketpc_console with
// --image VELMOT_WEB_IMAGE, or the host build's velmot_host_console when that is empty), given
// --web PORT and the rest.
import { test, after } from "node:test";
import assert from "node:assert/strict";
import { browser, control, device, fetchRaw, icon, okButton, open, tap, timeline,
         waitForLine } from "./pocketpc.mjs";

after(() => browser.close());
// Each story, with a guard against a hang (not a time limit on what it checks).
const story = (name, fn) => test(name, { timeout: 120000 }, fn);

// ---- The stories -------------------------------------------------------------------------
story("the typical road by clicks and keys: Wait to suspend, 0 hours 1 minute, ok", async () => {
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
  // The page as a person sees it at this moment, for the README (build/web/page.png).
  await page.screenshot({ path: new URL("../../build/web/page.png", import.meta.url).pathname });
  await tap(page, okButton(240));
  await waitForLine(page, "it reaches ok");
  await page.click("[data-speed='600']");
  await waitForLine(page, "key 0xDF down");
  await page.waitForSelector("#ending.shown");
  assert.equal(await page.getAttribute("#ending", "data-code"), "0");
  assert.match(await page.textContent("#ending"), /exit code 0/);
  assert.equal(await run.exited, 0);
  // The program that ran is the one asked for: the device image, or the host build.
  assert.match(run.output(), process.env.VELMOT_WEB_IMAGE ? /velmot\.exe exited with code 0/
                                                          : /velmot \(host build\) exited/);
  await page.close();
});

story("the menu at the icon, drawn where the emulator placed it; Exit application ends it", async () => {
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

story("at zoom x3 and on a scrolled page a click still taps the control under it", async () => {
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

story("two pages at once see the same timeline, and a page opened late sees it whole", async () => {
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

story("the server refuses, with its status, whatever does not come from its page", async () => {
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

