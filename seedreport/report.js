// The seed table: sort, filter, pages, thumbnails and their enlargement.
// Rows come as JSON in the page; only one page of them is in the DOM, so
// 10,000 seeds cost what 100 do, and thumbnails load lazily.
"use strict";
(function () {
  var raw = JSON.parse(document.getElementById("rows").textContent);
  var flaginfo = JSON.parse(document.body.dataset.flags);  // name -> [bit, label]
  var flagorder = Object.keys(flaginfo);

  // One plain object a row; its index keeps sorting stable.
  var rows = raw.map(function (a, i) {
    return {
      i: i, scan: a[0], side: a[1], x: a[2], y: a[3], z: a[4], meastext: a[5], meas: a[6],
      ok: a[7] === 1, step: a[8], line: a[9], pic: a[10], picpath: a[11],
      columns: a[12], rows: a[13], slices: a[14], cx: a[15], cy: a[16], cz: a[17], flags: a[18],
      lscan: a[0].toLowerCase()
    };
  });

  var state = { key: null, dir: 1, flag: "", text: "", page: 0, size: 100 };
  var shown = rows;
  var tbody = document.querySelector("#seeds tbody");
  var pageinfo = document.getElementById("pageinfo");

  function esc(s) {
    return String(s).replace(/&/g, "&amp;").replace(/</g, "&lt;")
      .replace(/>/g, "&gt;").replace(/"/g, "&quot;");
  }

  function flagnames(f) {
    return flagorder.filter(function (n) { return f & flaginfo[n][0]; });
  }

  // Sort keys; null (a failed run has no seed) always sorts last.
  var keyfn = {
    scan: function (r) { return r.scan; },
    side: function (r) { return r.side; },
    x: function (r) { return r.x; },
    y: function (r) { return r.y; },
    z: function (r) { return r.z; },
    meas: function (r) { return r.meas; },
    flags: function (r) { return r.flags ? flagnames(r.flags).length * 64 + r.flags : 0; },
    status: function (r) { return r.ok ? "" : r.step; },
    centre: function (r) { return r.cx; },
    sizes: function (r) {
      return r.columns === null ? null : (r.columns * 1e4 + (r.rows || 0)) * 1e4 + (r.slices || 0);
    }
  };

  function order() {
    var list = rows.filter(match);
    if (state.key) {
      var f = keyfn[state.key], d = state.dir;
      var keyed = list.map(function (r) { return [f(r), r]; });
      keyed.sort(function (a, b) {
        var u = a[0], v = b[0];
        if (u === null || u === undefined) return (v === null || v === undefined) ? a[1].i - b[1].i : 1;
        if (v === null || v === undefined) return -1;
        if (u < v) return -d;
        if (u > v) return d;
        return a[1].i - b[1].i;
      });
      list = keyed.map(function (p) { return p[1]; });
    }
    shown = list;
  }

  function match(r) {
    if (state.text && r.lscan.indexOf(state.text) < 0) return false;
    if (state.flag === "any") return r.flags !== 0;
    if (state.flag === "none") return r.flags === 0;
    if (state.flag) return (r.flags & flaginfo[state.flag][0]) !== 0;
    return true;
  }

  function picture(r) {
    if (r.pic) {
      return '<img class="thumb" tabindex="0" loading="lazy" decoding="async" src="' + esc(r.pic) +
        '" alt="seed picture of ' + esc(r.scan + " " + r.side) + '" data-i="' + r.i + '">';
    }
    if (r.picpath) {
      return '<span class="nopic missing" title="' + esc(r.picpath) + '">picture missing: ' +
        esc(r.picpath) + "</span>";
    }
    return '<span class="nopic none">no picture</span>';
  }

  function rowhtml(r) {
    var names = flagnames(r.flags);
    var badges = names.map(function (n) {
      return '<span class="badge flag-' + n + '">' + esc(flaginfo[n][1]) + "</span>";
    }).join("");
    var status = r.ok ? "ok" : 'failed at <b>' + esc(r.step) + '</b><div class="line">' +
      esc(r.line || "(no line)") + "</div>";
    var centre = r.cx === null ? "" : r.cx + ", " + r.cy + ", " + r.cz;
    var sizes = r.columns === null ? "" : r.columns + " &#215; " + r.rows + " &#215; " + r.slices;
    return '<tr data-i="' + r.i + '" data-scan="' + esc(r.scan) + '" data-side="' + r.side +
      '" data-flags="' + names.join(" ") + '"' + (r.flags ? ' class="flagged"' : "") + ">" +
      '<td class="pic">' + picture(r) + "</td>" +
      '<td class="scan">' + esc(r.scan) + "</td>" +
      '<td class="side">' + r.side + "</td>" +
      '<td class="num x">' + (r.ok ? r.x : "") + "</td>" +
      '<td class="num y">' + (r.ok ? r.y : "") + "</td>" +
      '<td class="num z">' + (r.ok ? r.z : "") + "</td>" +
      '<td class="num meas">' + esc(r.meastext) + "</td>" +
      '<td class="flagcell">' + badges + "</td>" +
      '<td class="status">' + status + "</td>" +
      '<td class="num centre">' + centre + "</td>" +
      '<td class="num sizes">' + sizes + "</td></tr>";
  }

  function render() {
    var pages = Math.max(1, Math.ceil(shown.length / state.size));
    if (state.page >= pages) state.page = pages - 1;
    var from = state.page * state.size;
    var part = shown.slice(from, from + state.size);
    tbody.innerHTML = part.map(rowhtml).join("");
    document.getElementById("empty").hidden = shown.length !== 0;
    pageinfo.textContent = shown.length ?
      "seeds " + (from + 1) + "\u2013" + (from + part.length) + " of " + shown.length +
      (shown.length !== rows.length ? " (of " + rows.length + ")" : "") +
      ", page " + (state.page + 1) + " of " + pages : "no seeds";
    document.getElementById("prev").disabled = state.page === 0;
    document.getElementById("next").disabled = state.page >= pages - 1;
    var buttons = document.querySelectorAll("button.badge[data-flag]");
    for (var k = 0; k < buttons.length; k++) {
      buttons[k].classList.toggle("active", buttons[k].dataset.flag === state.flag);
    }
  }

  function update() {
    order();
    render();
  }

  // The flag filter's options, in the order the flags are explained.
  var select = document.getElementById("filter-flag");
  flagorder.forEach(function (n) {
    var o = document.createElement("option");
    o.value = n;
    o.textContent = flaginfo[n][1];
    select.appendChild(o);
  });
  select.addEventListener("change", function () {
    state.flag = select.value;
    state.page = 0;
    update();
  });

  var text = document.getElementById("filter-scan");
  var timer = 0;
  text.addEventListener("input", function () {
    clearTimeout(timer);
    timer = setTimeout(function () {
      state.text = text.value.trim().toLowerCase();
      state.page = 0;
      update();
    }, 120);
  });

  document.getElementById("pagesize").addEventListener("change", function (e) {
    state.size = parseInt(e.target.value, 10);
    state.page = 0;
    render();
  });
  document.getElementById("prev").addEventListener("click", function () {
    state.page--;
    render();
  });
  document.getElementById("next").addEventListener("click", function () {
    state.page++;
    render();
  });

  var heads = document.querySelectorAll("#seeds th.sortable");
  Array.prototype.forEach.call(heads, function (th) {
    th.addEventListener("click", function () {
      var key = th.dataset.key;
      state.dir = state.key === key ? -state.dir : 1;
      state.key = key;
      Array.prototype.forEach.call(heads, function (h) { h.removeAttribute("aria-sort"); });
      th.setAttribute("aria-sort", state.dir > 0 ? "ascending" : "descending");
      state.page = 0;
      update();
    });
  });

  // Flag buttons in the explanations filter the table too.
  Array.prototype.forEach.call(document.querySelectorAll("button.badge[data-flag]"), function (b) {
    b.addEventListener("click", function () {
      select.value = state.flag === b.dataset.flag ? "" : b.dataset.flag;
      select.dispatchEvent(new Event("change"));
      document.getElementById("table-section").scrollIntoView();
    });
  });

  // A picture that fails to load (moved or deleted since) shows a placeholder.
  document.addEventListener("error", function (e) {
    var t = e.target;
    if (t && t.classList && t.classList.contains("thumb")) {
      var s = document.createElement("span");
      s.className = "nopic missing";
      s.textContent = "picture missing: " + rows[+t.dataset.i].picpath;
      t.replaceWith(s);
    }
  }, true);

  var box = document.getElementById("lightbox");
  var big = document.getElementById("lightbox-img");
  function closebox() {
    box.hidden = true;
    big.removeAttribute("src");
  }
  function openbox(t) {
    var r = rows[+t.dataset.i];
    big.src = r.pic;
    big.alt = "seed picture of " + r.scan + " " + r.side;
    document.getElementById("lightbox-caption").textContent =
      r.scan + " (" + r.side + ")" + (r.ok ? ": x=" + r.x + " y=" + r.y + " z=" + r.z +
      " meas=" + r.meastext : "") + " \u2014 " + r.picpath;
    box.hidden = false;
  }
  tbody.addEventListener("click", function (e) {
    if (e.target.classList.contains("thumb")) openbox(e.target);
  });
  tbody.addEventListener("keydown", function (e) {
    if ((e.key === "Enter" || e.key === " ") && e.target.classList.contains("thumb")) {
      e.preventDefault();
      openbox(e.target);
    }
  });
  box.addEventListener("click", closebox);
  document.addEventListener("keydown", function (e) {
    if (e.key === "Escape" && !box.hidden) closebox();
  });

  // A reload may bring back the controls' last values: start from them.
  state.flag = flaginfo[select.value] || select.value === "any" || select.value === "none" ?
    select.value : "";
  state.text = text.value.trim().toLowerCase();
  state.size = parseInt(document.getElementById("pagesize").value, 10) || 100;
  update();
  // The tests and the benchmark wait for this mark.
  window.reportready = performance.now();
  document.documentElement.dataset.ready = "1";
})();
