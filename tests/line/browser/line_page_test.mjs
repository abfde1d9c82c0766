// Drives headless Chromium over the line page served from a seeded line and checks what it shows
// against figures the harness computed in SQL.
//   node line_page_test.mjs BASE_URL EXPECTED_JSON SCREENSHOT_DIR
import { chromium } from 'playwright-core';
import { readFileSync } from 'node:fs';
import { join } from 'node:path';

const [base, expectedFile, shots] = process.argv.slice(2);
const expected = JSON.parse(readFileSync(expectedFile, 'utf8'));
const failures = [];
const check = (ok, what) => { if (!ok) failures.push(what); };
const MARCH = 'from=2026-03-01T00%3A00%3A00Z&to=2026-03-03T00%3A00%3A00Z';

const args = ['--headless=new', '--disable-gpu', '--disable-dev-shm-usage', '--no-first-run'];
if (process.getuid && process.getuid() === 0) args.push('--no-sandbox');
const browser = await chromium.launch({ executablePath: process.env.CHROMIUM || '/usr/bin/chromium', headless: true, args });
try {
  const page = await browser.newPage({ viewport: { width: 1400, height: 900 } });
  const consoleErrors = [];
  page.on('console', (m) => { if (m.type() === 'error') consoleErrors.push(m.text()); });
  page.on('pageerror', (e) => consoleErrors.push(String(e)));
  page.on('dialog', async (d) => { consoleErrors.push('dialog: ' + d.message()); await d.dismiss(); });
  page.on('requestfailed', (r) => consoleErrors.push('request failed: ' + r.url()));
  const shot = (name) => page.screenshot({ path: join(shots, name + '.png'), fullPage: true });
  const text = (sel) => page.locator(sel).first().textContent({ timeout: 10000 });

  // Status: one tile per station, the silent expected one offline, the hostile name as text.
  await page.goto(`${base}/?view=status&lang=en`);
  await page.waitForSelector('.tile', { timeout: 15000 });
  const tiles = await page.$$eval('.tile', (ts) => ts.map((t) => ({
    station: t.querySelector('.tile-name').textContent, state: t.dataset.state,
    stateText: t.querySelector('.tile-state').textContent, shiftYield: t.querySelector('.shift-yield').textContent })));
  for (const e of expected.tiles) {
    const tile = tiles.find((t) => t.station === e.station);
    check(tile, `tile for ${e.station}`);
    if (!tile) continue;
    check(tile.state === e.state, `${e.station} is ${tile.state}, expected ${e.state}`);
    if (e.shift_total > 0)
      check(tile.shiftYield.includes(`(${e.shift_passed}/${e.shift_total})`), `${e.station} shift yield ${tile.shiftYield}`);
  }
  const s3 = tiles.find((t) => t.station === 'S3');
  check(s3 && s3.stateText.startsWith('Offline'), 'S3 shown offline');
  check(tiles.some((t) => t.station === '<img src=x onerror=alert(1)>'), 'the hostile name shown as text');
  check((await page.$$('#tiles img')).length === 0, 'no markup from station names');
  await shot('status');

  // A station that starts forwarding now appears within the polling period.
  console.log('READY');
  await page.waitForSelector('.tile[data-station="S9"]', { timeout: 15000 });

  // Language: the texts change and back.
  const titleEn = await text('h1');
  await page.click('#lang');
  await page.waitForFunction(() => document.querySelector('h1').textContent === '产线质量', null, { timeout: 5000 });
  check((await text('.tile[data-station="S3"] .tile-state')).startsWith('离线'), 'offline in Chinese');
  check(page.url().includes('lang=zh'), 'language kept in the URL');
  await shot('status-zh');
  await page.click('#lang');
  check((await text('h1')) === titleEn, 'English title back');

  // Yield: each station × shift shows the counts computed in SQL.
  await page.goto(`${base}/?view=yield&${MARCH}&lang=en`);
  await page.waitForSelector('#yield-table tr[data-station="S1"] .yield', { timeout: 10000 });
  for (const y of expected.yield) {
    const row = await text(`#yield-table tr[data-station="${y.station}"]`);
    check(row.includes(`${(100 * y.passed / y.total).toFixed(1)} %`) && row.includes(`${y.passed}/${y.total}`),
          `yield of ${y.station} ${y.date} shift ${y.shift}: ${row}`);
  }
  check((await text('#yield-table tr[data-station="S3"]')).includes('—'), 'S3 listed with no yield');
  await shot('yield');

  // Failures: the top channel is the one SQL counts most failures for.
  await page.goto(`${base}/?view=failures&${MARCH}&lang=en`);
  await page.waitForSelector('#pareto-chart canvas', { timeout: 10000 });
  const first = await page.$$eval('#pareto-table tr:nth-child(2) td', (tds) => tds.map((t) => t.textContent));
  check(first[0] === String(expected.pareto_top.channel) && first[1] === String(expected.pareto_top.failures),
        `top Pareto channel ${first}`);
  check((await page.$$('#cell-map td')).length > 0, 'failure map drawn');
  await shot('failures');

  // Channel: I-MR with the limits, the rule-1 point and the limits' change.
  await page.goto(`${base}/?view=channel&${MARCH}&station=S6&channel=0&lang=en`);
  await page.waitForSelector('#chart-i canvas', { timeout: 10000 });
  check((await text('#channel-limits')).includes('Center 12.500'), 'channel centre line');
  check((await text('#channel-markers')).includes('limits'), 'limits change marked');
  await page.waitForSelector('#chart-hist canvas');
  await shot('channel');

  // Capability: S1's channels with Cpk 1.88, greyed for n < 30.
  await page.goto(`${base}/?view=capability&${MARCH}&station=S1&lang=en`);
  await page.waitForSelector('#capability-table td.few', { timeout: 10000 });
  check((await text('#capability-table')).includes('Cpk 1.88 [0.68, 3.08]'), 'Cpk with its interval');
  await shot('capability');

  await page.goto(`${base}/?view=health&${MARCH}&lang=en`);
  await page.waitForSelector('#gaps-table td', { timeout: 10000 });
  check((await text('#gaps-table')).includes('S1'), 'gap of S1 shown');
  check((await text('#future-table')).includes('S2'), 'clock skew of S2 shown');
  await shot('health');

  check(consoleErrors.length === 0, 'console errors: ' + consoleErrors.join(' | '));
} catch (e) {
  failures.push(String(e && e.stack || e));
} finally {
  await browser.close();
}
if (failures.length) {
  console.error(failures.join('\n'));
  process.exit(1);
}
console.log('line page: all checks passed');
