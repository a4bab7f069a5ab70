// The web page's benchmark (a report, not a test): how soon a click on the screen shows its
// frame in the page, and the server's load with one page open and nothing happening.
import { readFileSync } from "node:fs";
import { browser, control, device, open } from "./pocketpc.mjs";

const run = await device();
const page = await open(run);

// A click on one radio button, then the other, each changing the screen: from the pointer
// going down on the screen to the new frame shown, timed in the page itself.
const times = [];
for (let i = 0; i < 20; ++i) {
  const point = control(i % 2 ? "IDC_TIME_RADIO" : "IDC_WAIT_RADIO");
  times.push(await page.evaluate((p) => new Promise((resolve) => {
    const screen = document.getElementById("screen");
    const box = screen.getBoundingClientRect();
    const zoom = box.width / screen.naturalWidth;
    new MutationObserver((changes, observer) => {
      observer.disconnect();
      resolve(performance.now() - start);
    }).observe(screen, { attributes: true, attributeFilter: ["data-frame"] });
    const start = performance.now();
    screen.dispatchEvent(new PointerEvent("pointerdown", {
      bubbles: true, clientX: box.left + (p.x + 0.5) * zoom, clientY: box.top + (p.y + 0.5) * zoom,
    }));
  }), point));
}
const mean = times.reduce((a, b) => a + b) / times.length;
console.log(`   a click to its frame in the page: ${mean.toFixed(1)} ms on average, ` +
            `${Math.max(...times).toFixed(1)} ms at worst over ${times.length} clicks ` +
            `(goal: under 100 ms)`);

// The server's processor time over 10 s with the dialog open at x1 and nobody acting.
const ticks = () => {
  const fields = readFileSync(`/proc/${run.child.pid}/stat`, "utf8").split(") ")[1].split(" ");
  return Number(fields[11]) + Number(fields[12]); // utime + stime, in clock ticks
};
const before = ticks();
await new Promise((resolve) => setTimeout(resolve, 10000));
const used = ticks() - before;
console.log(`   the server with one page open, nothing happening: ${used} clock ticks in 10 s, ` +
            `${used / 10}% of a core (one tick: 0.1 %; goal: under 1 %)`);

run.child.kill("SIGTERM");
await run.exited;
await browser.close();
