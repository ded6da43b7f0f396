// A screenshot of a report page in chromium, once its table is drawn and
// the thumbnails in view have loaded.
//   node shot.js INDEX.HTML PNG [WIDTH HEIGHT]
"use strict";
const path = require("node:path");
const { pathToFileURL } = require("node:url");
const { launch } = require("./browser.js");

(async () => {
  const [index, png, w, h] = process.argv.slice(2);
  const browser = await launch(+(w || 1280), +(h || 1500));
  try {
    const page = await browser.newPage();
    await page.goto(pathToFileURL(path.resolve(index)).href, { waitUntil: "load" });
    await page.waitForSelector("html[data-ready='1']");
    await page.waitForFunction(() => [...document.querySelectorAll("img.thumb")]
      .filter((i) => i.getBoundingClientRect().top < innerHeight)
      .every((i) => i.complete && i.naturalWidth > 0), { timeout: 20000 });
    // Decoded and painted (thumbnails decode asynchronously).
    await page.evaluate(async () => {
      await Promise.all([...document.querySelectorAll("img.thumb")]
        .filter((i) => i.getBoundingClientRect().top < innerHeight)
        .map((i) => i.decode().catch(() => {})));
      await new Promise((r) => requestAnimationFrame(() => requestAnimationFrame(r)));
    });
    await new Promise((r) => setTimeout(r, 300));
    await page.screenshot({ path: png, type: "png" });
  } finally {
    await browser.close();
  }
})().catch((e) => { console.error(e); process.exit(1); });
