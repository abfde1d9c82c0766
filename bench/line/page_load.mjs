// Full page loads of each view in headless Chromium against a running line server: from navigation
// to the view's content drawn, p50/p95 over a few loads.
//   node page_load.mjs BASE_URL FROM_ISO BROWSER_TEST_DIR (where playwright-core is installed) [loads] [SCREENSHOT_DIR]
import { createRequire } from 'node:module';
import { resolve } from 'node:path';

const [base, from30, modules, loadsText, shots] = process.argv.slice(2);
const { chromium } = createRequire(resolve(modules, 'package.json'))('playwright-core');
const loads = Number(loadsText || 7);
const args = ['--headless=new', '--disable-gpu', '--disable-dev-shm-usage'];
if (process.getuid && process.getuid() === 0) args.push('--no-sandbox');
const browser = await chromium.launch({ executablePath: '/usr/bin/chromium', headless: true, args });
const page = await browser.newPage({ viewport: { width: 1400, height: 900 } });
const views = [
  ['status', '', '.tile'],
  ['yield', '', '#yield-table tr[data-station] td'],
  ['failures', '', '#pareto-chart canvas'],
  ['channel', '&station=ST042&channel=5', '#chart-i canvas'],
  ['capability', '&station=ST042', '#capability-table td'],
  ['health', '', '#gaps-table td'],
];
const pct = (v, p) => [...v].sort((a, b) => a - b)[Math.min(v.length - 1, Math.floor(p * v.length))];
for (const [range, extra] of [['1 day', ''], ['30 days', '&from=' + encodeURIComponent(from30)]]) {
  for (const [view, query, ready] of views) {
    if (view === 'capability' && range === '30 days') continue;
    const ms = [];
    for (let i = 0; i < loads; ++i) {
      const start = Date.now();
      await page.goto(`${base}/?view=${view}${query}${extra}&lang=en`);
      await page.waitForSelector(ready, { timeout: 60000 });
      ms.push(Date.now() - start);
    }
    if (shots) await page.screenshot({ path: `${shots}/${view}-${range.replace(' ', '')}.png`, fullPage: true });
    console.log(`${(view + ' ' + range).padEnd(24)} p50 ${pct(ms, 0.5)} ms  p95 ${pct(ms, 0.95)} ms`);
  }
}
await browser.close();
