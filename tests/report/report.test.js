// seedreport in a real browser (Debian's chromium, headless) on a made-up
// cohort of 30 scans with every flag, and seedreport's command line on
// bad input.  Environment: SEEDREPORT (the program), REPORT_NODE_DIR
// (puppeteer-core, see npmdeps.sh), BUILD_DIR (optional: installs there
// and runs the installed program too).
"use strict";
const { test, describe, before, after, afterEach } = require("node:test");
const assert = require("node:assert/strict");
const fs = require("node:fs");
const os = require("node:os");
const path = require("node:path");
const { spawnSync, execFileSync } = require("node:child_process");
const { pathToFileURL } = require("node:url");
const { launch } = require("./browser.js");

const prog = process.env.SEEDREPORT;
const python = "/usr/bin/python3";
const tmp = fs.mkdtempSync(path.join(process.env.TMPDIR || os.tmpdir(), "seedreport-test-"));
after(() => fs.rmSync(tmp, { recursive: true, force: true }));

function run(args, opts = {}) {
  const r = spawnSync(prog, args, { encoding: "utf8", ...opts });
  return { status: r.status, out: r.stdout, err: r.stderr };
}

function cohort(name) {
  const dir = path.join(tmp, name);
  execFileSync(python, [path.join(__dirname, "makecohort.py"), dir]);
  return dir;
}

// Every file below a folder with its bytes, to see that nothing changed.
function snapshot(dir) {
  const out = {};
  for (const n of fs.readdirSync(dir, { recursive: true }).sort()) {
    const p = path.join(dir, n);
    out[n] = fs.statSync(p).isFile() ? fs.readFileSync(p, "latin1") : "<dir>";
  }
  return out;
}

// A path's kind and content: a link's target, a file's bytes, a folder's files.
function state(p) {
  const st = fs.lstatSync(p);
  if (st.isSymbolicLink()) return "link to " + fs.readlinkSync(p);
  return st.isDirectory() ? snapshot(p) : fs.readFileSync(p, "latin1");
}

describe("the page", () => {
  let browser, page, dir, expect;
  const requests = [];

  before(async () => {
    dir = cohort("page");
    expect = JSON.parse(fs.readFileSync(path.join(dir, "expected.json"), "utf8"));
    const r = run([path.join(dir, "results.tsv"), path.join(dir, "report")]);
    assert.equal(r.status, 0, r.out);
    fs.rmSync(path.join(dir, "pics", "ct02-l.png"));
    browser = await launch();
    page = await browser.newPage();
    page.on("request", (q) => requests.push(q.url()));
    page.on("pageerror", (e) => requests.push("pageerror: " + e.message));
    await page.goto(pathToFileURL(path.join(dir, "report", "index.html")).href, { waitUntil: "load" });
    await page.waitForSelector("html[data-ready='1']");
  });
  after(async () => { if (browser) await browser.close(); });
  // Each test starts from the page as it opens.
  afterEach(async () => {
    await page.reload({ waitUntil: "load" });
    await page.waitForSelector("html[data-ready='1']");
  });

  const rowsshown = () => page.$$eval("#seeds tbody tr", (trs) => trs.map((t) => ({
    key: t.dataset.scan + "\t" + t.dataset.side,
    flags: t.dataset.flags ? t.dataset.flags.split(" ").sort() : [],
    meas: t.querySelector("td.meas").textContent,
    scantext: t.querySelector("td.scan").textContent,
  })));

  test("the summary counts the scans, seeds, failures and flags", async () => {
    const got = await page.$$eval(".summary .stat", (s) =>
      Object.fromEntries(s.map((d) => [d.id.slice(4), +d.querySelector("dd").textContent])));
    assert.deepEqual(got, expect.summary);
    assert.equal(await page.$eval("#run-date", (e) => e.textContent), "2026-12-11T08:30:00Z");
    assert.equal(await page.$eval("#run-version", (e) => e.textContent), "1.1.0");
  });

  test("each flag shows on its rows and nowhere else", async () => {
    const got = await rowsshown();
    assert.equal(got.length, 60);
    for (const r of got) assert.deepEqual(r.flags, expect.rows[r.key].flags, r.key);
    // Every flag occurs, and the explanations count them.
    const counts = {};
    for (const v of Object.values(expect.rows)) for (const f of v.flags) counts[f] = (counts[f] || 0) + 1;
    assert.deepEqual(Object.keys(counts).sort(),
      ["close", "failed", "negative", "nocand", "outlier", "outside"]);
    for (const [f, n] of Object.entries(counts)) {
      assert.equal(await page.$eval("#flag-" + f + " .count", (e) => +e.textContent), n, f);
    }
    const why = await page.$eval("#flag-negative .why", (e) => e.textContent);
    assert.match(why, /-a 1024/);
    assert.match(await page.$eval("#flag-outlier .why", (e) => e.textContent), /median/);
    // A failed run shows its step and line.
    const line = await page.$eval("tr[data-scan='ct03.nii.gz'][data-side='r'] td.status",
      (e) => e.textContent);
    assert.match(line, /failed at quorral.*can't read image ct03 slice: 5/);
  });

  test("table text is shown as text", async () => {
    const got = await rowsshown();
    assert.ok(got.some((r) => r.scantext === "ct 28 <b>&amp;.nii.gz"));
    assert.equal(await page.$$eval("#seeds tbody b", (b) => b.filter((e) => !e.closest(".status")).length), 0);
  });

  test("sorting by meas: up, then down, failed runs last", async () => {
    const measof = (rows) => rows.map((r) => r.meas);
    const numeric = (m) => m.filter((v) => v !== "").map(Number);
    await page.click("th[data-key='meas']");
    let m = measof(await rowsshown());
    let n = numeric(m);
    assert.deepEqual(n, [...n].sort((a, b) => a - b));
    assert.equal(n[0], -580.812345);
    assert.deepEqual(m.slice(n.length), ["", "", "", ""]);
    assert.equal(await page.$eval("th[data-key='meas']", (e) => e.getAttribute("aria-sort")), "ascending");
    await page.click("th[data-key='meas']");
    m = measof(await rowsshown());
    n = numeric(m);
    assert.deepEqual(n, [...n].sort((a, b) => b - a));
    assert.equal(n[0], 9999.99);
    assert.deepEqual(m.slice(n.length), ["", "", "", ""]);
  });

  test("filtering by a flag, by a flag's button and by scan name", async () => {
    const want = (f) => Object.keys(expect.rows).filter((k) => expect.rows[k].flags.includes(f)).sort();
    for (const f of ["outlier", "close", "outside", "nocand"]) {
      await page.select("#filter-flag", f);
      const got = (await rowsshown()).map((r) => r.key).sort();
      assert.deepEqual(got, want(f), f);
    }
    await page.select("#filter-flag", "any");
    assert.equal((await rowsshown()).length, expect.summary.flagged);
    await page.select("#filter-flag", "");
    await page.click("#flag-failed button");
    assert.deepEqual((await rowsshown()).map((r) => r.key).sort(), want("failed"));
    assert.equal(await page.$eval("#filter-flag", (e) => e.value), "failed");
    await page.select("#filter-flag", "");
    await page.type("#filter-scan", "CT2");
    await page.waitForFunction(() => document.querySelectorAll("#seeds tbody tr").length === 18);
    const keys = (await rowsshown()).map((r) => r.key);
    assert.ok(keys.every((k) => k.startsWith("ct2") || k.startsWith("dicom/ct27")), keys.join());
  });

  test("pages of rows", async () => {
    await page.select("#pagesize", "50");
    assert.equal((await rowsshown()).length, 50);
    assert.match(await page.$eval("#pageinfo", (e) => e.textContent), /1–50 of 60, page 1 of 2/);
    await page.click("#next");
    assert.equal((await rowsshown()).length, 10);
    assert.equal(await page.$eval("#next", (e) => e.disabled), true);
  });

  test("a thumbnail enlarges to its own picture", async () => {
    for (const key of ["ct21.nii.gz\tl", "dicom/ct27\tr", "ct 28 <b>&amp;.nii.gz\tl"]) {
      const [scan, side] = key.split("\t");
      const sel = `tr[data-side='${side}'] img.thumb`;
      const thumb = await page.evaluateHandle((s, sc) =>
        [...document.querySelectorAll(s)].find((i) => i.closest("tr").dataset.scan === sc), sel, scan);
      assert.ok(await thumb.evaluate((e) => !!e), "no thumbnail for " + key);
      await thumb.click();
      await page.waitForFunction(() => {
        const b = document.getElementById("lightbox-img");
        return !document.getElementById("lightbox").hidden && b.complete && b.naturalWidth > 0;
      });
      const big = await page.$eval("#lightbox-img", (b) => ({ src: b.src, w: b.naturalWidth }));
      const want = pathToFileURL(path.join(dir, expect.rows[key].picture)).href;
      assert.equal(decodeURIComponent(big.src), decodeURIComponent(want));
      assert.equal(big.w, expect.rows[key].width, key);
      assert.match(await page.$eval("#lightbox-caption", (e) => e.textContent), new RegExp(scan.replace(/[.*+?^${}()|[\]\\]/g, "\\$&")));
      await page.keyboard.press("Escape");
      assert.equal(await page.$eval("#lightbox", (e) => e.hidden), true);
    }
    // From the keyboard too.
    await page.focus("tr[data-scan='ct04.nii.gz'][data-side='r'] img.thumb");
    await page.keyboard.press("Enter");
    assert.equal(await page.$eval("#lightbox", (e) => e.hidden), false);
    assert.match(await page.$eval("#lightbox-img", (b) => decodeURIComponent(b.src)), /\/pics\/ct04-r\.png$/);
  });

  test("missing pictures show a placeholder", async () => {
    const miss = await page.$eval("tr[data-scan='ct25.nii.gz'][data-side='l'] td.pic", (e) => e.textContent);
    assert.equal(miss, "picture missing: pics/ct25-l.png");
    const none = await page.$eval("tr[data-scan='ct03.nii.gz'][data-side='r'] td.pic .nopic", (e) => e.textContent);
    assert.equal(none, "no picture");
    // A picture removed after the report was made: the page notices once
    // the lazy thumbnail comes into view.
    await page.$eval("tr[data-scan='ct02.nii.gz'][data-side='l']", (e) => e.scrollIntoView());
    await page.waitForFunction(() => {
      const c = document.querySelector("tr[data-scan='ct02.nii.gz'][data-side='l'] td.pic");
      return c.textContent === "picture missing: pics/ct02-l.png";
    });
  });

  test("the plots mark the flagged measures", async () => {
    assert.equal(await page.$$eval("#histogram rect.flag-outlier", (r) => r.length), 2);
    assert.equal(await page.$$eval("#histogram rect.flag-nocand", (r) => r.length), 1);
    assert.equal(await page.$$eval("#histogram rect.flag-negative", (r) => r.length), 1);
    assert.ok(await page.$$eval("#offsets-y circle.side-l", (c) => c.length) > 3);
    assert.equal(await page.$$eval("#offsets-z path.mean", (c) => c.length), 2);
  });

  test("no request leaves file://", async () => {
    // Scroll the whole table so that every lazy thumbnail loads.
    await page.evaluate(() => window.scrollTo(0, document.body.scrollHeight));
    await new Promise((r) => setTimeout(r, 300));
    assert.ok(requests.length > 10);
    assert.deepEqual(requests.filter((u) => !u.startsWith("file://")), []);
  });
});

describe("the command line", () => {
  const good = () => {
    const dir = cohort("cl" + Math.random().toString(36).slice(2, 8));
    return { dir, table: path.join(dir, "results.tsv"), text: fs.readFileSync(path.join(dir, "results.tsv"), "utf8") };
  };
  const head = "scan\tside\tx\ty\tz\tmeas\tstatus\tstep\tline\tpicture\tcolumns\trows\tslices\tcx\tcy\tcz\n";
  const okrow = "a.nii\tl\t40\t32\t16\t0.250000\tok\t\t\ta.png\t64\t64\t32\t32\t32\t16\n";

  test("usage", () => {
    const r = run([]);
    assert.equal(r.status, 1);
    assert.equal(r.out, " usage: seedreport TABLE OUTDIR\n");
  });

  test("bad tables give one line and status 1, and no report", () => {
    const d = fs.mkdtempSync(path.join(tmp, "bad-"));
    const fifo = path.join(d, "fifo");
    execFileSync("mkfifo", [fifo]);
    const cases = [
      ["missing", null, /can't read table .*missing: No such file or directory$/],
      ["folder", "<dir>", /can't read table .*folder: not a regular file$/],
      ["fifo", "<fifo>", /can't read table .*fifo: not a regular file$/],
      ["empty", "", /no header line \(the table is empty\)$/],
      ["comments only", "# date: 2026-01-01T00:00:00Z\n", /no header line/],
      ["wrong header", head.replace("meas", "measure") + okrow, /line 1: wrong header, expecting the 16 columns scan side/],
      ["spaces", head.replace(/\t/g, " ") + okrow, /line 1: wrong header/],
      ["short row", head + okrow.replace("\tcz", "").replace(/\t16\n$/, "\n"), /line 2: 15 fields, expecting 16/],
      ["bad side", head + okrow.replace("\tl\t", "\tleft\t"), /line 2: side must be l or r, not 'left'/],
      ["bad status", head + okrow.replace("\tok\t", "\tOK\t"), /line 2: status must be ok or failed/],
      ["ok, no meas", head + okrow.replace("0.250000", ""), /line 2: meas is not a decimal number: ''/],
      ["bad x", head + okrow.replace("\t40\t", "\t4o\t"), /line 2: x is not a whole number: '4o'/],
      ["failed, bad step", head + "a\tl\t\t\t\t\tfailed\tparse\toops\t\t\t\t\t\t\t\n", /line 2: a failed run's step must be one of input, dcm2niix/],
      ["failed with seed", head + "a\tl\t1\t2\t3\t0.5\tfailed\tquorral\toops\t\t\t\t\t\t\t\n", /line 2: a failed run has no seed or meas/],
      ["bad size", head + okrow.replace("\t64\t64\t32\t", "\t0\t64\t32\t"), /line 2: columns must be at least 1/],
      ["twice", head + okrow + okrow, /line 3: scan a.nii side l again \(first on line 2\)/],
      ["not UTF-8", head + okrow + "b\xff\n", /line 3: not UTF-8 text/],
      ["bad date", "# date: yesterday\n" + head + okrow, /line 1: date is not ISO 8601/],
    ];
    for (const [name, text, re] of cases) {
      const file = path.join(d, name);
      if (text === "<dir>") fs.mkdirSync(file);
      else if (text === "<fifo>") fs.renameSync(fifo, file);
      else if (text !== null) fs.writeFileSync(file, /\xff/.test(text) ? Buffer.from(text, "latin1") : text);
      const out = path.join(d, "out-" + name);
      const r = run([file, out], { timeout: 20000 });
      assert.equal(r.status, 1, name + ": " + r.out);
      assert.equal(r.err, "", name);
      assert.equal(r.out.split("\n").length, 2, name + ": " + r.out);
      assert.ok(r.out.startsWith("seedreport: "), name + ": " + r.out);
      assert.match(r.out.trimEnd(), re, name);
      assert.equal(fs.existsSync(out), false, name);
    }
    // Nothing half-made stays beside the output.
    assert.deepEqual(fs.readdirSync(d).filter((n) => n.startsWith(".")), []);
  });

  test("a failed run leaves the older report as it was; a good one replaces it", () => {
    const { dir, table, text } = good();
    const out = path.join(dir, "report");
    assert.equal(run([table, out]).status, 0);
    const before = snapshot(out);
    const bad = path.join(dir, "bad.tsv");
    fs.writeFileSync(bad, text.replace("\tok\t", "\tfine\t"));
    const r = run([bad, out]);
    assert.equal(r.status, 1, r.out);
    assert.deepEqual(snapshot(out), before);
    // A second, different table: the new report stands whole in its place.
    fs.writeFileSync(table, text.split("\n").slice(0, 8).join("\n") + "\n");
    const r2 = run([table, out]);
    assert.equal(r2.status, 0, r2.out);
    assert.match(r2.out, /^seedreport: 5 seeds, \d+ flagged: .*report\/index.html\n$/);
    assert.deepEqual(Object.keys(snapshot(out)).sort(), [".seedreport", "index.html", "report.css", "report.js"]);
    assert.notEqual(snapshot(out)["index.html"], before["index.html"]);
    assert.deepEqual(fs.readdirSync(dir).filter((n) => n.startsWith(".seedreport")), []);
  });

  test("an output that is not a report is never replaced", () => {
    const { dir, table } = good();
    const cases = [
      ["a folder with other files", (p) => { fs.mkdirSync(p); fs.writeFileSync(path.join(p, "keep.txt"), "mine"); },
        /is a folder that holds no report; not replacing it$/],
      ["a file", (p) => fs.writeFileSync(p, "mine"), /exists and is not a folder$/],
      ["a link to a report", (p) => { fs.mkdirSync(p + "-real"); fs.writeFileSync(path.join(p + "-real", ".seedreport"), ""); fs.symlinkSync(p + "-real", p); },
        /exists and is not a folder$/],
    ];
    for (const [name, make, re] of cases) {
      const out = path.join(dir, name);
      make(out);
      const before = state(out);
      const r = run([table, out]);
      assert.equal(r.status, 255, name + ": " + r.out);
      assert.match(r.out.trimEnd(), re, name);
      assert.deepEqual(state(out), before, name);
    }
    const r = run([table, path.join(dir, "no", "such", "folder")]);
    assert.equal(r.status, 255, r.out);
    assert.match(r.out, /^seedreport: can't write .*folder: No such file or directory\n$/);
    // An empty folder is taken.
    fs.mkdirSync(path.join(dir, "emptyfolder"));
    assert.equal(run([table, path.join(dir, "emptyfolder")]).status, 0);
  });

  test("small and odd tables make whole pages", async () => {
    const cases = [
      ["header only", head, { scans: 0, seeds: 0, succeeded: 0, failed: 0, flagged: 0 }],
      ["failed, and a seed with no sizes or centre",
        head + "a\tl\t\t\t\t\tfailed\tinput\t\t\t\t\t\t\t\t\n" +
        "b\tr\t3\t4\t5\t9999.990000\tok\t\t\t\t\t\t\t\t\t\n",
        { scans: 2, seeds: 2, succeeded: 1, failed: 1, flagged: 2 }],
      ["CR LF line ends", (head + okrow).replace(/\n/g, "\r\n"),
        { scans: 1, seeds: 1, succeeded: 1, failed: 0, flagged: 0 }],
    ];
    const d = fs.mkdtempSync(path.join(tmp, "odd-"));
    const browser = await launch();
    try {
      for (const [name, text, want] of cases) {
        const table = path.join(d, name + ".tsv");
        fs.writeFileSync(table, text);
        const out = path.join(d, name);
        const r = run([table, out]);
        assert.equal(r.status, 0, name + ": " + r.out);
        const page = await browser.newPage();
        const errors = [];
        page.on("pageerror", (e) => errors.push(e.message));
        await page.goto(pathToFileURL(path.join(out, "index.html")).href, { waitUntil: "load" });
        await page.waitForSelector("html[data-ready='1']");
        const got = await page.$$eval(".summary .stat", (st) =>
          Object.fromEntries(st.map((e) => [e.id.slice(4), +e.querySelector("dd").textContent])));
        for (const k of Object.keys(want)) assert.equal(got[k], want[k], name + ": " + k);
        assert.equal(await page.$$eval("#seeds tbody tr", (t) => t.length), want.seeds, name);
        assert.equal(await page.$eval("#empty", (e) => e.hidden), want.seeds !== 0, name);
        assert.deepEqual(errors, [], name);
        await page.close();
      }
    } finally {
      await browser.close();
    }
  });

  test("without comment lines: the table's time and the tool's version", () => {
    const { dir, table, text } = good();
    fs.writeFileSync(table, text.replace(/^#.*\n/gm, ""));
    fs.utimesSync(table, new Date("2026-03-04T05:06:07Z"), new Date("2026-03-04T05:06:07Z"));
    assert.equal(run([table, path.join(dir, "r")]).status, 0);
    const html = fs.readFileSync(path.join(dir, "r", "index.html"), "utf8");
    const version = fs.readFileSync(path.join(__dirname, "..", "..", "VERSION"), "utf8").trim();
    assert.match(html, /<span id="run-date">2026-03-04T05:06:07Z \(the table's modification time\)<\/span>/);
    assert.match(html, new RegExp(`<span id="run-version">${version.replace(/\./g, "\\.")}</span>`));
  });

  test("installed, it finds its page and version, and its man page is clean", { skip: !process.env.BUILD_DIR }, () => {
    const prefix = fs.mkdtempSync(path.join(tmp, "prefix-"));
    execFileSync("cmake", ["--install", process.env.BUILD_DIR, "--prefix", prefix], { stdio: "ignore" });
    const { dir, table, text } = good();
    fs.writeFileSync(table, text.replace(/^#.*\n/gm, ""));
    const r = spawnSync(path.join(prefix, "bin", "seedreport"), [table, path.join(dir, "r")], { encoding: "utf8" });
    assert.equal(r.status, 0, r.stdout);
    const html = fs.readFileSync(path.join(dir, "r", "index.html"), "utf8");
    assert.match(html, /<span id="run-version">\d+\.\d+\.\d+<\/span>/);
    const page = path.join(prefix, "share", "man", "man1", "seedreport.1");
    const g = spawnSync("groff", ["-man", "-Tutf8", "-ww", "-z", page], { encoding: "utf8" });
    assert.equal(g.status, 0);
    assert.equal(g.stderr, "");
  });
});
