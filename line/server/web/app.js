'use strict';
// The line page: every view reads its filters from the URL, so a view is shared by its link, and
// polls its view's data with ETags. Text from stations is only ever set as text.
(() => {
  const POLL_MS = 5000;
  const HIST_WIDTH = 320;
  const VIEWS = ['status', 'yield', 'failures', 'channel', 'capability', 'health'];
  const FILTERS = ['from', 'to', 'station', 'board', 'channel'];
  const cache = new Map(); // url -> {etag, data}
  const charts = [];
  let state = readUrl();
  let lastData = null;
  let timer = null;

  function readUrl() {
    const q = new URLSearchParams(location.search);
    const s = { view: VIEWS.includes(q.get('view')) ? q.get('view') : 'status', rules: q.get('rules') || '' };
    for (const f of FILTERS) s[f] = q.get(f) || '';
    const lang = q.get('lang');
    s.lang = lang === 'en' || lang === 'zh' ? lang : (navigator.language || '').startsWith('zh') ? 'zh' : 'en';
    return s;
  }

  function urlOf(s) {
    const q = new URLSearchParams();
    q.set('view', s.view);
    for (const f of FILTERS) if (s[f]) q.set(f, s[f]);
    if (s.rules) q.set('rules', s.rules);
    q.set('lang', s.lang);
    return '?' + q.toString();
  }

  function t(key) {
    const texts = window.LINE_TEXTS[state.lang];
    return key in texts ? texts[key] : key;
  }

  function el(tag, className, text) {
    const e = document.createElement(tag);
    if (className) e.className = className;
    if (text !== undefined && text !== null) e.textContent = String(text);
    return e;
  }

  function row(cells, header) {
    const tr = el('tr');
    for (const c of cells) {
      const td = el(header ? 'th' : 'td');
      if (c instanceof Node) td.appendChild(c); else td.textContent = c === null || c === undefined ? '' : String(c);
      tr.appendChild(td);
    }
    return tr;
  }

  function table(id, head, rows) {
    const tableEl = document.getElementById(id);
    tableEl.replaceChildren();
    tableEl.appendChild(row(head, true));
    if (rows.length === 0) tableEl.appendChild(row([t('health.none')]));
    for (const r of rows) tableEl.appendChild(r instanceof Node ? r : row(r));
  }

  const pct = (v) => (v === null || v === undefined ? '—' : v.toFixed(1) + ' %');
  const num = (v, d = 2) => (v === null || v === undefined ? '—' : v.toFixed(d));
  const time = (ms) => (ms === null || ms === undefined ? t('tile.never')
    : new Date(ms).toLocaleString(state.lang === 'zh' ? 'zh-CN' : 'en-GB'));

  // The API's range: the URL's ISO times, unset for the server's default.
  function apiQuery(extra) {
    const q = new URLSearchParams();
    if (state.from) q.set('from', state.from);
    if (state.to) q.set('to', state.to);
    for (const s of state.station.split(',').map((x) => x.trim()).filter(Boolean)) q.append('station', s);
    for (const [k, v] of Object.entries(extra || {})) if (v !== '' && v !== undefined) q.set(k, v);
    return q.toString();
  }

  async function getJson(url) {
    const known = cache.get(url);
    const res = await fetch(url, { cache: 'no-store', headers: known ? { 'If-None-Match': known.etag } : {} });
    if (res.status === 304 && known) return { data: known.data, changed: false };
    const data = await res.json();
    if (!res.ok) throw new Error(data && data.error ? data.error : String(res.status));
    cache.set(url, { etag: res.headers.get('ETag') || '', data });
    return { data, changed: true };
  }

  function fetchView() {
    switch (state.view) {
      case 'status': return getJson('/api/status?' + apiQuery().replace(/(^|&)(from|to)=[^&]*/g, ''));
      case 'yield': return getJson('/api/yield?' + apiQuery());
      case 'failures': return getJson('/api/pareto?' + apiQuery({ board: state.board }));
      case 'channel': return getJson('/api/channel?' + apiQuery({ channel: state.channel || '0' }));
      case 'capability': return getJson('/api/capability?' + apiQuery());
      default: return getJson('/api/health?' + apiQuery());
    }
  }

  async function refresh(force) {
    clearTimeout(timer);
    const view = state.view;
    try {
      const { data, changed } = await fetchView();
      if (view === state.view && (changed || force)) {
        lastData = data;
        render();
      }
      document.getElementById('message').textContent = '';
    } catch (e) {
      document.getElementById('message').textContent = t('error') + ': ' + e.message;
    }
    timer = setTimeout(() => refresh(false), POLL_MS);
  }

  function applyTexts() {
    document.documentElement.lang = state.lang === 'zh' ? 'zh' : 'en';
    document.title = t('title');
    for (const e of document.querySelectorAll('[data-t]')) e.textContent = t(e.dataset.t);
    document.getElementById('lang').textContent = t('lang');
  }

  function showState() {
    for (const v of VIEWS) document.getElementById('view-' + v).hidden = v !== state.view;
    for (const a of document.querySelectorAll('#views a')) {
      a.href = urlOf({ ...state, view: a.dataset.view });
      a.classList.toggle('current', a.dataset.view === state.view);
    }
    const form = document.getElementById('filters');
    form.from.value = isoToLocal(state.from);
    form.to.value = isoToLocal(state.to);
    form.station.value = state.station;
    form.channel.value = state.channel || '0';
    for (const e of form.querySelectorAll('.only-failures')) e.hidden = state.view !== 'failures';
    for (const e of form.querySelectorAll('.only-channel')) e.hidden = state.view !== 'channel';
    for (const c of document.querySelectorAll('[data-rule]')) c.checked = state.rules.includes(c.dataset.rule);
    applyTexts();
  }

  function isoToLocal(iso) {
    if (!iso) return '';
    const d = new Date(iso);
    if (isNaN(d)) return '';
    const p = (n) => String(n).padStart(2, '0');
    return `${d.getFullYear()}-${p(d.getMonth() + 1)}-${p(d.getDate())}T${p(d.getHours())}:${p(d.getMinutes())}:${p(d.getSeconds())}`;
  }
  const localToIso = (v) => (v ? new Date(v).toISOString().replace('.000Z', 'Z') : '');

  function go(next, push) {
    state = next;
    if (push) history.pushState(null, '', urlOf(state));
    else history.replaceState(null, '', urlOf(state));
    lastData = null;
    showState();
    clearCharts();
    refresh(true);
  }

  function clearCharts() {
    while (charts.length) charts.pop().destroy();
  }

  function render() {
    clearCharts();
    if (!lastData) return;
    ({ status: renderStatus, yield: renderYield, failures: renderFailures, channel: renderChannel,
       capability: renderCapability, health: renderHealth })[state.view](lastData);
  }

  function renderStatus(d) {
    const box = document.getElementById('tiles');
    box.replaceChildren();
    const names = document.getElementById('station-names');
    names.replaceChildren();
    for (const s of d.tiles) {
      const o = el('option');
      o.value = s.station;
      names.appendChild(o);
      const tile = el('div', 'tile state-' + s.state);
      tile.dataset.station = s.station;
      tile.dataset.state = s.state;
      const head = el('div', 'tile-head');
      head.appendChild(el('span', 'tile-name', s.station));
      if (s.config_differs || s.limits_differ) {
        const mark = el('span', 'differs', '≠');
        mark.title = t('tile.differs');
        head.appendChild(mark);
      }
      tile.appendChild(head);
      tile.appendChild(el('div', 'tile-state', t('state.' + s.state) + (s.expected ? '' : ' · ' + t('tile.unexpected'))));
      const dl = el('dl');
      const item = (k, v, cls) => { dl.appendChild(el('dt', null, t(k))); dl.appendChild(el('dd', cls, v)); };
      item('tile.lastSeen', time(s.last_seen_ms));
      item('tile.lastVerdict', s.last_pass === null ? '—' : t(s.last_pass ? 'pass' : 'fail'),
           s.last_pass === null ? '' : s.last_pass ? 'pass' : 'fail');
      item('tile.shiftYield', s.shift_total ? `${pct(s.shift_yield)} (${s.shift_passed}/${s.shift_total})` : '—', 'shift-yield');
      item('tile.backlog', s.backlog === null ? '—' : s.backlog);
      item('tile.oldest', s.oldest_unsent_ms === null ? '—' : time(s.oldest_unsent_ms));
      tile.appendChild(dl);
      box.appendChild(tile);
    }
  }

  function renderYield(d) {
    const stations = [...new Set([...d.expected, ...d.rows.map((r) => r.station)])].sort();
    const keys = [...new Set(d.rows.map((r) => r.date + ' #' + r.shift))].sort();
    const cells = new Map(d.rows.map((r) => [r.station + '\n' + r.date + ' #' + r.shift, r]));
    const head = [t('yield.station'), ...keys.map((k) => {
      const [date, n] = k.split(' #');
      return `${date} ${t('yield.shift')} ${n} (${d.shifts[Number(n) - 1]})`;
    })];
    const rows = stations.map((s) => {
      const tr = row([s]);
      tr.dataset.station = s;
      if (keys.length === 0) tr.appendChild(el('td', 'empty', t('yield.none')));
      for (const k of keys) {
        const r = cells.get(s + '\n' + k);
        const td = el('td', r ? (r.yield < 95 ? 'low' : '') : 'empty');
        if (r) {
          td.appendChild(el('span', 'yield', pct(r.yield)));
          td.appendChild(el('span', 'counts', ` ${r.passed}/${r.total}`));
        } else td.textContent = '—';
        tr.appendChild(td);
      }
      return tr;
    });
    table('yield-table', head, rows);
  }

  function chartWidth(id, reserve = 0) {
    return Math.max(320, (document.getElementById(id).clientWidth || 900) - reserve);
  }

  function renderFailures(d) {
    const select = document.getElementById('filters').board;
    select.replaceChildren(el('option', null, t('filter.all')));
    select.firstChild.value = '';
    for (const b of d.boards) { const o = el('option', null, b); o.value = b; select.appendChild(o); }
    select.value = state.board;

    const labels = d.channels.map((c) => String(c.channel));
    const target = document.getElementById('pareto-chart');
    target.replaceChildren();
    if (d.channels.length) {
      charts.push(new uPlot({
        width: chartWidth('pareto-chart'), height: 260,
        scales: { x: { time: false, range: [-0.5, labels.length - 0.5] },
                  y: { range: [0, Math.max(...d.channels.map((c) => c.failures)) * 1.1] }, pct: { range: [0, 100] } },
        axes: [{ splits: () => labels.map((_, i) => i), values: (u, splits) => splits.map((i) => labels[i] ?? ''),
                 label: t('failures.channel') },
               { label: t('failures.count') },
               { scale: 'pct', side: 1, grid: { show: false }, label: t('failures.cumulative') }],
        series: [{}, { label: t('failures.count'), stroke: '#b33', fill: '#b335', paths: uPlot.paths.bars({ size: [0.7] }) },
                 { label: t('failures.cumulative'), scale: 'pct', stroke: '#225' }],
      }, [d.channels.map((_, i) => i), d.channels.map((c) => c.failures), d.channels.map((c) => c.cumulative_pct)], target));
    }
    table('pareto-table', [t('failures.channel'), t('failures.count'), t('failures.cumulative')],
          d.channels.map((c) => row([c.channel, c.failures, num(c.cumulative_pct, 1)])));

    const map = document.getElementById('cell-map');
    map.replaceChildren();
    const pages = [...new Set(d.cells.map((c) => c.page))].sort((a, b) => a - b);
    for (const p of pages) {
      const cells = d.cells.filter((c) => c.page === p);
      const cols = Math.max(...cells.map((c) => c.column)) + 1, rows = Math.max(...cells.map((c) => c.row)) + 1;
      const grid = el('table', 'cell-map');
      grid.appendChild(row([`${t('failures.page')} ${p}`], true));
      for (let r = 0; r < rows; ++r) {
        const tr = el('tr');
        for (let c = 0; c < cols; ++c) {
          const cell = cells.find((x) => x.column === c && x.row === r);
          const td = el('td');
          if (cell) {
            const share = cell.total ? cell.failed / cell.total : 0;
            td.textContent = `${cell.failed}/${cell.total}`;
            td.style.backgroundColor = `rgba(200, 40, 40, ${Math.min(1, 0.1 + share).toFixed(2)})`;
            td.title = `${t('failures.failed')} ${cell.failed} / ${t('failures.records')} ${cell.total}`;
          }
          tr.appendChild(td);
        }
        grid.appendChild(tr);
      }
      map.appendChild(grid);
    }
  }

  // Vertical lines where the limits, the configuration or the board changed.
  function markerPlugin(xs) {
    return { hooks: { draw: (u) => {
      const ctx = u.ctx;
      ctx.save();
      ctx.strokeStyle = '#7a3ea0';
      ctx.setLineDash([4, 4]);
      for (const x of xs) {
        const px = u.valToPos(x, 'x', true);
        ctx.beginPath(); ctx.moveTo(px, u.bbox.top); ctx.lineTo(px, u.bbox.top + u.bbox.height); ctx.stroke();
      }
      ctx.restore();
    } } };
  }

  function renderChannel(d) {
    const limitsBox = document.getElementById('channel-limits');
    const markersBox = document.getElementById('channel-markers');
    for (const id of ['chart-i', 'chart-mr', 'chart-hist']) document.getElementById(id).replaceChildren();
    markersBox.replaceChildren();
    if (!d.n) { limitsBox.textContent = t('channel.none'); return; }
    const L = d.limits;
    limitsBox.textContent = `n = ${d.n} · ${t('channel.center')} ${num(L.center, 3)} · ${t('channel.ucl')} ${num(L.ucl, 3)}`
      + ` · ${t('channel.lcl')} ${num(L.lcl, 3)} · MR̄ ${num(L.mr_center, 3)} · MR ${t('channel.ucl')} ${num(L.mr_ucl, 3)}`;
    const x = d.t_ms.map((v) => v / 1000);
    const flat = (v) => x.map(() => v);
    const rule1 = d.values.map((v, i) => (d.rules[i] & 1 ? v : null));
    const mask = ['2', '4', '8'].filter((r) => state.rules.includes(r)).reduce((m, r) => m | Number(r), 0);
    const others = d.values.map((v, i) => (d.rules[i] & mask ? v : null));
    const markerX = d.markers.map((m) => x[m.index]);
    const dashed = { dash: [6, 4] };
    charts.push(new uPlot({
      width: chartWidth('view-channel', HIST_WIDTH + 40), height: 300, plugins: [markerPlugin(markerX)],
      series: [{}, { label: t('channel.value'), stroke: '#225', points: { show: true, size: 4 } },
               { label: t('channel.ucl'), stroke: '#c60', ...dashed }, { label: t('channel.center'), stroke: '#090' },
               { label: t('channel.lcl'), stroke: '#c60', ...dashed },
               { label: t('channel.usl'), stroke: '#c00' }, { label: t('channel.lsl'), stroke: '#c00' },
               { label: t('channel.flagged') + ' 1', stroke: '#e00', width: 0, points: { show: true, size: 10, fill: '#e00' } },
               { label: t('channel.flagged') + ' 2–4', stroke: '#e80', width: 0, points: { show: true, size: 8, fill: '#e80' } }],
    }, [x, d.values, flat(L.ucl), flat(L.center), flat(L.lcl), d.upper_spec, d.lower_spec, rule1, others],
    document.getElementById('chart-i')));
    charts.push(new uPlot({
      width: chartWidth('view-channel', HIST_WIDTH + 40), height: 180, plugins: [markerPlugin(markerX)],
      series: [{}, { label: t('channel.mr'), stroke: '#225' }, { label: 'MR̄', stroke: '#090' },
               { label: t('channel.ucl'), stroke: '#c60', ...dashed }],
    }, [x, d.moving_range, flat(L.mr_center), flat(L.mr_ucl)], document.getElementById('chart-mr')));
    const h = d.histogram;
    charts.push(new uPlot({
      width: HIST_WIDTH, height: 480,
      scales: { x: { time: false, range: [h.low - h.width / 2, h.low + (h.counts.length + 0.5) * h.width] } },
      series: [{}, { label: t('channel.count'), stroke: '#225', fill: '#2254', paths: uPlot.paths.bars({ size: [0.9] }) }],
    }, [h.counts.map((_, i) => h.low + (i + 0.5) * h.width), h.counts], document.getElementById('chart-hist')));
    for (const m of d.markers) {
      markersBox.appendChild(el('li', null, `${t('channel.marker')}: ${time(d.t_ms[m.index])} · `
        + m.kinds.map((k) => t('kind.' + k)).join(', ')));
    }
  }

  function renderCapability(d) {
    const stations = [...new Set(d.rows.map((r) => r.station))].sort();
    const byKey = new Map(d.rows.map((r) => [r.station + '\n' + r.channel, r]));
    const channels = [...new Set(d.rows.map((r) => r.channel))].sort((a, b) => a - b);
    const ci = (c) => (c ? ` [${num(c[0])}, ${num(c[1])}]` : '');
    const grade = (v) => (v === null || v === undefined ? '' : v < d.capable ? 'bad' : v < d.good ? 'fair' : 'good');
    const rows = channels.map((ch) => {
      const tr = row([ch]);
      for (const s of stations) {
        const r = byKey.get(s + '\n' + ch);
        const td = el('td');
        if (r) {
          if (r.n < d.min_n) td.classList.add('few');
          const cpk = el('div', 'cpk ' + grade(r.cpk), `Cpk ${num(r.cpk)}${ci(r.cpk_ci)}`);
          const ppk = el('div', 'ppk ' + grade(r.ppk), `Ppk ${num(r.ppk)}${ci(r.ppk_ci)}`);
          td.append(cpk, ppk, el('div', 'n', `n = ${r.n}` + (r.limits_changed ? ' *' : '')));
          if (r.limits_changed) td.title = t('capability.limitsChanged');
        }
        tr.appendChild(td);
      }
      return tr;
    });
    table('capability-table', [t('capability.channel'), ...stations], rows);
  }

  function renderHealth(d) {
    table('gaps-table', [t('health.station'), t('health.missing')],
          d.gaps.map((g) => [g.station, g.first_missing === g.last_missing ? g.first_missing : `${g.first_missing}–${g.last_missing}`]));
    table('quarantine-table', [t('health.station'), t('health.quarantined'), t('health.backlog')],
          d.quarantine.map((q) => [q.station, q.quarantined, q.backlog]));
    table('future-table', [t('health.station'), t('health.records'), t('health.ahead')],
          d.future.map((f) => [f.station, f.records, num(f.max_ahead_s, 0)]));
  }

  document.getElementById('views').addEventListener('click', (e) => {
    const a = e.target.closest('a[data-view]');
    if (!a) return;
    e.preventDefault();
    go({ ...state, view: a.dataset.view }, true);
  });
  document.getElementById('filters').addEventListener('submit', (e) => {
    e.preventDefault();
    const f = e.target;
    go({ ...state, from: localToIso(f.from.value), to: localToIso(f.to.value), station: f.station.value.trim(),
         board: f.board.value, channel: f.channel.value }, true);
  });
  document.getElementById('lang').addEventListener('click', () => {
    state = { ...state, lang: state.lang === 'zh' ? 'en' : 'zh' };
    history.replaceState(null, '', urlOf(state));
    showState();
    render();
  });
  for (const c of document.querySelectorAll('[data-rule]')) {
    c.addEventListener('change', () => {
      const rules = [...document.querySelectorAll('[data-rule]')].filter((x) => x.checked).map((x) => x.dataset.rule).join('');
      state = { ...state, rules };
      history.replaceState(null, '', urlOf(state));
      render();
    });
  }
  window.addEventListener('popstate', () => go(readUrl(), false));

  showState();
  refresh(true);
})();
