// What the browser tests and the benchmark share: the device on a port of its own, Debian's
// chromium driven by Playwright, and the device's geometry, as the emulator documents it.
import assert from "node:assert/strict";
import { spawn } from "node:child_process";
import { readFileSync } from "node:fs";
import http from "node:http";
import { chromium } from "playwright-core";

const image = process.env.VELMOT_WEB_IMAGE;
const command = [process.env.VELMOT_WEB_PROGRAM, ...(image ? ["--image", image] : [])];
const root = new URL("../../", import.meta.url);
let nextPort = 18240 + Math.floor(Math.random() * 500) * 2;

// ---- The device's geometry, as the emulator documents it (emulator/device.h) -------------
export const NavigationBar = 26, MenuBar = 26, Unit = { w: 6, h: 12 };
// A dialog control's centre, from its place in the resource script's template.
const template = readFileSync(new URL("resources/velmot.rc", root), "utf8");
export function control(name) {
  const line = template.split("\n").find((l) => l.includes(`, ${name}, `));
  const [x, y, cx, cy] = line.split(",").slice(-4).map(Number);
  const left = Math.floor((x * Unit.w) / 4), top = NavigationBar + Math.floor((y * Unit.h) / 8);
  const right = Math.floor(((x + cx) * Unit.w) / 4), bottom = NavigationBar + Math.floor(((y + cy) * Unit.h) / 8);
  return { x: Math.floor((left + right) / 2), y: Math.floor((top + bottom) / 2) };
}
export const okButton = (width) => ({ x: width - 13, y: 13 });
export const icon = (width, height) => ({ x: width - 12, y: height - MenuBar / 2 });

// ---- The device and its pages ------------------------------------------------------------
export const browser = await chromium.launch({
  executablePath: "/usr/bin/chromium",
  args: ["--no-sandbox", "--disable-gpu", "--disable-background-networking",
         "--disable-component-update", "--disable-sync", "--no-first-run"],
});

// Starts the device on a port of its own; resolves once it has printed its address.
export async function device(...args) {
  const port = nextPort++;
  const child = spawn(command[0], [...command.slice(1), "--web", String(port),
                                   "--at", "2002-10-07T21:10:40", ...args],
                      { stdio: ["ignore", "pipe", "inherit"] });
  let output = "";
  child.stdout.on("data", (chunk) => { output += chunk; });
  const exited = new Promise((resolve, reject) => {
    child.on("exit", (code) => resolve(code));
    child.on("error", reject);
  });
  // Its first line, the address; a guard against a hang, not a time limit on the device.
  const deadline = Date.now() + 60000;
  while (!output.includes("\n")) {
    if (child.exitCode !== null || Date.now() > deadline) {
      child.kill();
      throw new Error(`the device printed no address: ${output} (exit code ${child.exitCode})`);
    }
    await Promise.race([new Promise((resolve) => setTimeout(resolve, 20)), exited]);
  }
  const address = output.split("\n")[0];
  assert.equal(address, `http://127.0.0.1:${port}/`);
  return { port, address, exited, output: () => output, child };
}

export async function open(run) {
  const page = await browser.newPage();
  await page.goto(run.address);
  await page.waitForSelector("#screen[data-frame]");
  return page;
}

// A click at a device pixel: where it lies in the page at the page's zoom.
export async function tap(page, point) {
  const box = await page.locator("#screen").boundingBox();
  const size = await page.evaluate(() => [document.getElementById("screen").naturalWidth,
                                          document.getElementById("screen").naturalHeight]);
  await page.mouse.click(box.x + ((point.x + 0.5) * box.width) / size[0],
                         box.y + ((point.y + 0.5) * box.height) / size[1]);
}

export const timeline = (page) => page.locator("#timeline").textContent();
export async function waitForLine(page, text) {
  await page.waitForFunction((t) => document.getElementById("timeline").textContent.includes(t),
                             text, { timeout: 30000 });
}

// A request as any client can make it, Host header included (fetch would not send that one).
export async function fetchRaw(port, method, path, headers, body) {
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
