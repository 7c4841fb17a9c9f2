#include "collector/web/static_assets.h"

namespace tallygate::collector::web {

const char* const kAppCss = R"css(:root { color-scheme: light dark; --accent: #2458a6; --warn: #b3261e; }
* { box-sizing: border-box; }
body { margin: 0; font: 15px/1.45 system-ui, "Noto Sans CJK SC", "WenQuanYi Micro Hei", sans-serif; }
header { display: flex; flex-wrap: wrap; gap: .5em 1.5em; align-items: baseline;
         padding: .6em 1em; background: var(--accent); color: #fff; }
header a { color: #fff; text-decoration: none; padding: .2em .4em; }
header a[aria-current] { border-bottom: 2px solid #fff; }
main { padding: 0 1em 2em; }
h1 { font-size: 1.3em; }
.scroll { overflow-x: auto; -webkit-overflow-scrolling: touch; }
table { border-collapse: collapse; min-width: 100%; }
th, td { padding: .35em .6em; border-bottom: 1px solid #8884; text-align: left; white-space: nowrap; }
td.error, td.name { white-space: normal; min-width: 10em; }
th { position: sticky; top: 0; background: Canvas; }
tr.stale td { background: #b3261e22; }
tr.stale td:first-child { border-left: 4px solid var(--warn); }
.legend { font-size: .9em; opacity: .8; }
p.error { color: var(--warn); font-weight: bold; }
p.flash { color: var(--accent); font-weight: bold; }
form#search { display: flex; flex-wrap: wrap; gap: .6em 1em; align-items: end; margin: 1em 0; }
form#search label { display: flex; flex-direction: column; font-size: .9em; }
input, select, button { font: inherit; padding: .3em .5em; }
button { cursor: pointer; }
.actions { display: flex; flex-wrap: wrap; gap: 1em; margin: 1em 0; align-items: center; }
dl.facts { display: grid; grid-template-columns: max-content 1fr; gap: .2em 1em; }
dl.facts dd { margin: 0; }
tr.single td { background: #e6a10026; }
td.note { color: var(--warn); font-weight: bold; }
.chart { max-width: 60em; }
svg.hourly { width: 100%; height: auto; }
svg.hourly .bar { fill: var(--accent); }
svg.hourly line.day { stroke: #8888; }
svg.hourly text { font-size: 9px; fill: currentColor; }
svg.hourly text.count { text-anchor: end; }
)css";

const char* const kAppJs = R"js("use strict";
(function () {
  function pad(n) { return (n < 10 ? "0" : "") + n; }
  document.querySelectorAll("time[datetime]").forEach(function (el) {
    var d = new Date(el.getAttribute("datetime"));
    if (isNaN(d.getTime())) return;
    el.title = el.getAttribute("datetime");
    el.textContent = d.getFullYear() + "-" + pad(d.getMonth() + 1) + "-" + pad(d.getDate()) +
        " " + pad(d.getHours()) + ":" + pad(d.getMinutes()) + ":" + pad(d.getSeconds());
  });
  // The first page of all punches: new ones at the top as they are stored,
  // with the cells punches_page.cpp gives a row. The feed follows on from
  // the newest punch when the page was made (data-after), then from the
  // last one shown; one the server refused (its places all taken), which
  // EventSource does not try again, is asked for again every 5 s.
  var live = document.getElementById("live-note");
  var rows = document.querySelector("#punches tbody");
  if (live && rows && window.EventSource) {
    var after = live.getAttribute("data-after") || "";
    var follow = function () {
      var feed = new EventSource(live.getAttribute("data-events") + "?after=" + after);
      feed.onopen = function () { live.hidden = false; };
      feed.onerror = function () {
        if (feed.readyState !== EventSource.CLOSED) return;
        live.hidden = true;
        setTimeout(follow, 5000);
      };
      feed.onmessage = function (event) {
        after = event.lastEventId;
        if (rows.querySelector('tr[data-id="' + after + '"]')) return;
        var punch = JSON.parse(event.data);
        var row = document.createElement("tr");
        row.className = "punch";
        row.setAttribute("data-id", after);
        [["terminal", punch.terminal], ["card-hex", punch.card_hex], ["card", String(punch.card)],
         ["staff", punch.staff], ["name", punch.name],
         ["time", punch.local_time || "\u2014"]].forEach(function (cell) {
          var td = document.createElement("td");
          td.className = cell[0];
          td.textContent = cell[1];
          row.appendChild(td);
        });
        rows.insertBefore(row, rows.firstChild);
      };
    };
    follow();
  }
  var refresh = parseInt(document.body.getAttribute("data-refresh") || "0", 10);
  if (refresh > 0) {
    setTimeout(function () {
      if (!document.hidden) location.reload();
      else document.addEventListener("visibilitychange", function () { location.reload(); });
    }, refresh * 1000);
  }
})();
)js";

}  // namespace tallygate::collector::web
