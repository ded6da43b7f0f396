// Times a report page in chromium: from navigation start until the page
// is interactive (its table drawn and its controls live: the mark
// report.js sets), then a sort by meas and a flag filter on the whole
// table.  Prints the median of RUNS loads (default 5), each in a new tab.
//   node pagetime.js INDEX.HTML [RUNS]
"use strict";
const path = require("node:path");
const { pathToFileURL } = require("node:url");
const { launch } = require("./browser.js");

function median(v) {
  const s = [...v].sort((a, b) => a - b);
  return s[Math.floor(s.length / 2)];
}

(async () => {
  const url = pathToFileURL(path.resolve(process.argv[2])).href;
  const runs = +(process.argv[3] || 5);
  const browser = await launch();
  const t = { ready: [], load: [], sort: [], filter: [] };
  let rows = 0;
  try {
    for (let i = 0; i < runs; i++) {
      const page = await browser.newPage();
      await page.goto(url, { waitUntil: "load" });
      await page.waitForSelector("html[data-ready='1']");
      const m = await page.evaluate(() => ({
        ready: window.reportready,
        load: performance.getEntriesByType("navigation")[0].loadEventEnd,
        rows: JSON.parse(document.getElementById("rows").textContent).length,
      }));
      rows = m.rows;
      t.ready.push(m.ready);
      t.load.push(m.load);
      // One user action each, timed inside the page up to the next frame.
      const act = (sel, how) => page.evaluate((s, h) => new Promise((done) => {
        const t0 = performance.now();
        const e = document.querySelector(s);
        if (h === "click") e.click();
        else { e.value = h; e.dispatchEvent(new Event("change")); }
        requestAnimationFrame(() => setTimeout(() => done(performance.now() - t0), 0));
      }), sel, how);
      t.sort.push(await act("th[data-key='meas']", "click"));
      t.filter.push(await act("#filter-flag", "outlier"));
      await page.close();
    }
  } finally {
    await browser.close();
  }
  const f = (v) => (median(v) / 1000).toFixed(3);
  console.log(`rows ${rows}  interactive ${f(t.ready)} s  load ${f(t.load)} s  ` +
    `sort by meas ${f(t.sort)} s  filter ${f(t.filter)} s  (median of ${runs})`);
})().catch((e) => { console.error(e); process.exit(1); });
