// Debian's chromium, headless, through puppeteer-core from the folder that
// npmdeps.sh filled (REPORT_NODE_DIR): shared by the browser tests, the
// benchmark and the screenshot script.  Each launch has its own fresh
// profile folder, removed on close, and no background traffic.
"use strict";
const fs = require("node:fs");
const os = require("node:os");
const path = require("node:path");
const { createRequire } = require("node:module");

function puppeteer() {
  const dir = process.env.REPORT_NODE_DIR;
  if (!dir) throw new Error("REPORT_NODE_DIR is not set (run tests/report/npmdeps.sh DIR)");
  return createRequire(path.join(path.resolve(dir), "package.json"))("puppeteer-core");
}

async function launch(width = 1280, height = 900) {
  const profile = fs.mkdtempSync(path.join(process.env.TMPDIR || os.tmpdir(), "report-chromium-"));
  const browser = await puppeteer().launch({
    executablePath: "/usr/bin/chromium",
    headless: true,
    userDataDir: profile,
    defaultViewport: { width, height },
    args: ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
      "--disable-background-networking", "--disable-component-update", "--disable-sync",
      "--disable-dev-shm-usage"],
  });
  const close = browser.close.bind(browser);
  browser.close = async () => {
    try { await close(); } finally { fs.rmSync(profile, { recursive: true, force: true }); }
  };
  return browser;
}

module.exports = { launch };
