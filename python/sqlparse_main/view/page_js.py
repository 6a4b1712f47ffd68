"""The page's script: highlighting, search, the statement panel, zoom and pan.
Plain browser JavaScript; the boxes and edges are already in the page."""

JS = r"""
(function () {
  'use strict';
  var data = JSON.parse(document.getElementById('lineage-data').textContent);
  var body = document.body, viewport = document.getElementById('viewport');
  var world = document.getElementById('world'), panel = document.getElementById('panel-body');
  var edges = Array.prototype.slice.call(document.querySelectorAll('#edges .edge'));
  var bySource = new Map(), byTarget = new Map(), columns = new Map(), tables = new Map();
  function add(map, key, value) { var l = map.get(key); if (!l) map.set(key, l = []); l.push(value); }
  edges.forEach(function (e) { add(bySource, e.dataset.source, e); add(byTarget, e.dataset.target, e); });
  document.querySelectorAll('.table').forEach(function (t) { tables.set(t.dataset.table, t); });
  document.querySelectorAll('.col').forEach(function (c) { columns.set(c.dataset.column, c); });
  function tableOf(key) { var c = columns.get(key); return c ? c.parentNode.dataset.table : null; }
  function visible(e) {
    if (e.classList.contains('indirect')) return body.classList.contains('show-indirect');
    return !body.classList.contains('hide-k-' + e.dataset.kind);
  }

  // ---- following a column upstream and downstream ----
  function trace(key) {
    var lit = new Set([key]), hit = new Set(), seen = new Set([key]), stack = [key], k;
    while (stack.length) {  // upstream: what feeds it, and what decides its rows when shown
      k = stack.pop();
      var ins = (byTarget.get(k) || []).concat(byTarget.get(tableOf(k)) || []);
      ins.forEach(function (e) {
        if (!visible(e) || hit.has(e)) return;
        hit.add(e);
        var s = e.dataset.source;
        if (!seen.has(s)) { seen.add(s); lit.add(s); stack.push(s); }
      });
    }
    seen = new Set([key]); stack = [key];
    while (stack.length) {  // downstream: what it flows into
      k = stack.pop();
      (bySource.get(k) || []).forEach(function (e) {
        if (!visible(e) || hit.has(e)) return;
        hit.add(e);
        var t = e.dataset.target;
        if (!seen.has(t)) { seen.add(t); lit.add(t); stack.push(t); }
      });
    }
    return { edges: hit, nodes: lit };
  }
  var selected = null, shown = null;
  function clearMarks() {
    document.querySelectorAll('.highlighted').forEach(function (e) { e.classList.remove('highlighted'); });
    document.querySelectorAll('.lit').forEach(function (e) { e.classList.remove('lit'); });
    body.classList.remove('focus');
    shown = null;
  }
  function mark(key) {
    clearMarks();
    var t = trace(key);
    t.edges.forEach(function (e) { e.classList.add('highlighted'); });
    t.nodes.forEach(function (n) {
      var c = columns.get(n), box = tables.get(c ? c.parentNode.dataset.table : n);
      if (c) c.classList.add('lit');
      if (box) box.classList.add('lit');
    });
    body.classList.add('focus');
    shown = key;
    return t;
  }
  function select(key) {
    document.querySelectorAll('.col.chosen').forEach(function (c) { c.classList.remove('chosen'); });
    selectEdge(null);
    selected = key;
    if (key === null) { clearMarks(); return; }
    var t = mark(key);
    columns.get(key).classList.add('chosen');
    showColumn(key, t);
  }
  function refresh() { if (selected !== null) mark(selected); }

  // ---- the panel ----
  function el(tag, cls, text) {
    var e = document.createElement(tag);
    if (cls) e.className = cls;
    if (text !== undefined) e.textContent = text;
    return e;
  }
  // A column's details fill the panel without opening it (it would cover
  // the right of the picture); an edge's statements and the failures open it.
  function openPanel(title, open) {
    panel.textContent = '';
    panel.appendChild(el('h3', null, title));
    if (open) body.classList.add('panel-open');
  }
  function statementBlock(k) {
    var s = data.statements[k], d = el('div', 'stmt');
    d.appendChild(el('div', null, s.file + ' \u00b7 statement ' + s.number + ' (line ' + s.line + ') \u00b7 ' +
                     s.kind + ' \u2192 ' + s.target));
    if (s.error) d.appendChild(el('div', 'error', s.error));
    if (s.warnings.length) {
      var ul = el('ul', 'warnings');
      s.warnings.forEach(function (w) { ul.appendChild(el('li', null, w)); });
      d.appendChild(ul);
    }
    if (s.sql) d.appendChild(el('pre', null, s.sql));
    return d;
  }
  function edgeList(title, list, end) {
    if (!list.length) return;
    panel.appendChild(el('div', null, title));
    var ul = el('ul', 'edges');
    list.forEach(function (e) {
      var li = el('li', null, e.dataset[end] + ' (' + e.dataset.kind + ')');
      li.addEventListener('click', function () { selectEdge(e); });
      ul.appendChild(li);
    });
    panel.appendChild(ul);
  }
  function showColumn(key, t) {
    openPanel(key, false);
    panel.appendChild(el('p', 'hint', t.edges.size + ' edges on its paths'));
    var ins = (byTarget.get(key) || []).filter(visible), outs = (bySource.get(key) || []).filter(visible);
    edgeList('From:', ins, 'source');
    edgeList('Into:', outs, 'target');
    var box = columns.get(key).parentNode, written = box.dataset.written;
    if (written) written.split(' ').forEach(function (k) { panel.appendChild(statementBlock(+k)); });
  }
  var selectedEdge = null;
  function selectEdge(e) {
    if (selectedEdge) selectedEdge.classList.remove('selected');
    selectedEdge = e;
    if (!e) return;
    e.classList.add('selected');
    openPanel(e.dataset.source + ' \u2192 ' + e.dataset.target + ' (' + e.dataset.kind + ')', true);
    e.dataset.stmts.split(' ').forEach(function (k) { panel.appendChild(statementBlock(+k)); });
  }
  function showFailed() {
    openPanel(data.failed.length + ' statement(s) did not parse', true);
    data.failed.forEach(function (k) { panel.appendChild(statementBlock(k)); });
  }

  // ---- zoom and pan ----
  var view = { x: 0, y: 0, s: 1 };
  function apply() { world.style.transform = 'translate(' + view.x + 'px,' + view.y + 'px) scale(' + view.s + ')'; }
  function zoomAt(factor, cx, cy) {
    var s = Math.min(4, Math.max(0.02, view.s * factor));
    view.x = cx - (cx - view.x) * s / view.s; view.y = cy - (cy - view.y) * s / view.s; view.s = s;
    apply();
  }
  function fit() {
    var w = viewport.clientWidth, h = viewport.clientHeight;
    view.s = Math.min(1, w / data.width, h / data.height);
    view.x = (w - data.width * view.s) / 2; view.y = Math.max(0, (h - data.height * view.s) / 2);
    apply();
  }
  function centreOn(node) {
    var x = 0, y = 0, n = node;
    while (n && n !== world) { x += n.offsetLeft; y += n.offsetTop; n = n.offsetParent; }
    if (view.s < 0.8) view.s = 1;
    // The middle of what the panel leaves visible.
    var side = body.classList.contains('panel-open') ? document.getElementById('panel').offsetWidth : 0;
    view.x = (viewport.clientWidth - side) / 2 - (x + node.offsetWidth / 2) * view.s;
    view.y = viewport.clientHeight / 2 - (y + node.offsetHeight / 2) * view.s;
    apply();
  }
  viewport.addEventListener('wheel', function (ev) {
    ev.preventDefault();
    var r = viewport.getBoundingClientRect();
    zoomAt(Math.exp(-ev.deltaY * 0.0015), ev.clientX - r.left, ev.clientY - r.top);
  }, { passive: false });
  var drag = null, moved = false;
  viewport.addEventListener('pointerdown', function (ev) {
    if (ev.button !== 0) return;
    drag = { x: ev.clientX, y: ev.clientY, vx: view.x, vy: view.y }; moved = false;
  });
  window.addEventListener('pointermove', function (ev) {
    if (!drag) return;
    var dx = ev.clientX - drag.x, dy = ev.clientY - drag.y;
    if (!moved && Math.abs(dx) + Math.abs(dy) < 4) return;
    moved = true; viewport.classList.add('panning');
    view.x = drag.vx + dx; view.y = drag.vy + dy; apply();
  });
  window.addEventListener('pointerup', function () { drag = null; viewport.classList.remove('panning'); });
  function button(id, f) { var b = document.getElementById(id); if (b) b.addEventListener('click', f); }
  function middle(f) { zoomAt(f, viewport.clientWidth / 2, viewport.clientHeight / 2); }
  button('zoom-in', function () { middle(1.25); });
  button('zoom-out', function () { middle(0.8); });
  button('fit', fit);
  button('failed', showFailed);
  button('panel-close', function () { body.classList.remove('panel-open'); });
  button('details', function () { body.classList.toggle('panel-open'); });

  // ---- clicks and hovers ----
  viewport.addEventListener('click', function (ev) {
    if (moved) { moved = false; return; }
    var c = ev.target.closest('.col');
    if (c) { select(c.dataset.column === selected ? null : c.dataset.column); return; }
    if (ev.target.classList && ev.target.classList.contains('edge')) { selectEdge(ev.target); return; }
    if (!ev.target.closest('.table')) { select(null); body.classList.remove('panel-open'); }
  });
  viewport.addEventListener('mouseover', function (ev) {
    var c = ev.target.closest && ev.target.closest('.col');
    if (c && selected === null && !drag) mark(c.dataset.column);
  });
  viewport.addEventListener('mouseout', function (ev) {
    var c = ev.target.closest && ev.target.closest('.col');
    if (c && selected === null && shown !== null) clearMarks();
  });

  // ---- filters ----
  document.querySelectorAll('[data-hide]').forEach(function (box) {
    box.addEventListener('change', function () { body.classList.toggle('hide-' + box.dataset.hide, !box.checked); refresh(); });
  });
  var indirect = document.getElementById('show-indirect'), warnings = document.getElementById('show-warnings');
  indirect.addEventListener('change', function () { body.classList.toggle('show-indirect', indirect.checked); refresh(); });
  warnings.addEventListener('change', function () { body.classList.toggle('hide-warnings', !warnings.checked); });

  // ---- search ----
  var search = document.getElementById('search'), count = document.getElementById('found-count');
  var matches = [], at = -1, found = null;
  function lookup(q) {
    q = q.trim().toLowerCase();
    if (!q) return [];
    var exact = [], tabs = [], cols = [];
    tables.forEach(function (t, name) {
      var n = name.toLowerCase();
      if (n === q || n.endsWith('.' + q)) exact.push(t); else if (n.indexOf(q) >= 0) tabs.push(t);
    });
    columns.forEach(function (c, key) {
      var n = key.toLowerCase(), last = c.textContent.toLowerCase();
      if (n === q || last === q) exact.push(c); else if (n.indexOf(q) >= 0) cols.push(c);
    });
    return exact.concat(tabs, cols);
  }
  function go(i) {
    if (found) found.classList.remove('found');
    found = null;
    if (!matches.length) { count.textContent = search.value.trim() ? 'none' : ''; return; }
    at = (i + matches.length) % matches.length;
    found = matches[at];
    found.classList.add('found');
    count.textContent = (at + 1) + '/' + matches.length;
    if (found.classList.contains('col')) select(found.dataset.column);
    centreOn(found);
  }
  search.addEventListener('input', function () { matches = lookup(search.value); go(0); });
  search.addEventListener('keydown', function (ev) {
    if (ev.key === 'Enter') { ev.preventDefault(); go(ev.shiftKey ? at - 1 : at + 1); }
    if (ev.key === 'Escape') { search.value = ''; matches = []; go(0); select(null); }
  });

  fit();
  body.classList.add('ready');
})();
"""
