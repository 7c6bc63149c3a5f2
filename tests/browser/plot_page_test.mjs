// telegram-plot's page in a real browser (Debian's chromium, driven by
// playwright-core): served live by --serve, and opened from a folder made
// by -o with no server. Every figure it checks comes from the receiver's
// own report, read here the plain way.
//
// usage: node plot_page_test.mjs (with TELEGRAM_PLOT, TELEGRAM_SENDER and
// TELEGRAM_RECEIVER naming the programs; TELEGRAM_PAGE_PICTURE, if set, a
// PNG to write of the page). Exit status 0 if all holds, 1 if not, 77 if
// the browser or playwright-core is missing (1 under CI=true).
import { spawn, spawnSync } from 'node:child_process';
import { existsSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { connect } from 'node:net';
import { tmpdir } from 'node:os';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';

const here = dirname(fileURLToPath(import.meta.url));
const browserPath = '/usr/bin/chromium';
let failures = 0;
const ok = (what) => console.log('ok: ' + what);
const fail = (what) => { console.log('FAIL: ' + what); failures++; };
const check = (holds, what) => (holds ? ok(what) : fail(what));

if (!existsSync(join(here, 'node_modules', 'playwright-core')) || !existsSync(browserPath)) {
  console.log('plot_page_test: needs playwright-core (npm ci in tests/browser) and ' + browserPath);
  process.exit(process.env.CI === 'true' ? 1 : 77);
}
const { chromium } = await import('playwright-core');

const plotProgram = process.env.TELEGRAM_PLOT;
const work = mkdtempSync(join(tmpdir(), 'telegram-page-'));

// --- The report, and its blocks read the plain way ---------------------------

const demo = spawnSync(process.env.TELEGRAM_SENDER,
  ['--receiver', process.env.TELEGRAM_RECEIVER, '--scans', '4', '--blocks', '3', '--size', '65507', '--smooth'],
  {encoding: 'latin1', maxBuffer: 64 << 20});
const report = demo.stdout;
// Each block 0 or 1: where its TotalSize line starts, and its values.
function blocksOf(text) {
  const blocks = [];
  const line = /TotalSize: (-?\d+)\t ScanNo:(-?\d+)\t BlockNo:([01])\r+\n\r*\n/g;
  let match;
  while ((match = line.exec(text)) !== null) {
    const values = [];
    let at = line.lastIndex;
    for (;;) {
      const tab = text.indexOf('\t', at);
      const digits = tab < 0 ? '' : text.slice(at, tab);
      if (!/^\d{1,5}$/.test(digits)) break;
      values.push(Number(digits));
      at = tab + 1;
    }
    blocks.push({start: match.index, scan: Number(match[2]), block: Number(match[3]), values});
  }
  return blocks;
}
const reportBlocks = blocksOf(report);
check(reportBlocks.length === 8 && reportBlocks.every((b) => b.values.length === 32743),
  'the receiver\'s report holds 8 blocks of 32743 values');
// The report up to the start of block `n` (from 0), and on from there.
const typeLineBefore = (n) => report.lastIndexOf('--> Telegram Type', reportBlocks[n].start);

const browser = await chromium.launch({
  executablePath: browserPath,
  args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
    '--disable-component-update', '--disable-sync'],
});

async function newPage() {
  const page = await browser.newPage({viewport: {width: 1200, height: 1000}});
  page.on('pageerror', (error) => fail('the page threw: ' + error.message));
  return page;
}

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));
async function until(page, test, arg, ms = 10000) {
  const deadline = Date.now() + ms;
  while (Date.now() < deadline) {
    if (await page.evaluate(test, arg)) return true;
    await sleep(20);
  }
  return false;
}

// A block's CSV, as the plot's CSV files hold it.
const csvOf = (values) => 'index,value\n' + values.map((v, i) => i + ',' + v + '\n').join('');

// The CSV the page offers for the block shown, downloaded: its name and
// its bytes.
async function downloadCsv(page) {
  const [download] = await Promise.all([page.waitForEvent('download', {timeout: 10000}), page.click('#csv')]);
  return {name: download.suggestedFilename(), text: readFileSync(await download.path(), 'latin1')};
}

// Whether the list's highlighted block can be seen in the list's box.
const shownInList = () => {
  const box = document.getElementById('scans').getBoundingClientRect();
  const shown = document.querySelector('#scans button.shown');
  if (!shown) return false;
  const at = shown.getBoundingClientRect();
  return at.top >= box.top - 1 && at.bottom <= box.bottom + 1;
};

// A telegram of type 6 with `count` values, `first` on, as the receiver
// reports it.
const shortBlock = (scan, count, first) => '--> Telegram Type: 6\r\nTotalSize: ' + 2 * count + '\t ScanNo:' + scan +
  '\t BlockNo:0\r\n\n' + Array.from({length: count}, (_, i) => String((first + i * 37) % 65536) + '\t').join('');

// Reads the value under the cursor at full zoom: index `i` of the block shown.
async function readOutAt(page, i) {
  await page.evaluate((i) => {
    const chart = telegramPlotPage.chart();
    chart.setScale('x', {min: i - 5, max: i + 5});
  }, i);
  const box = await page.locator('#chart .u-over').boundingBox();
  const x = await page.evaluate((i) => telegramPlotPage.chart().valToPos(i, 'x'), i);
  await page.mouse.move(box.x + x, box.y + box.height / 2);
  await sleep(100);
  return page.locator('#readout').textContent();
}

// --- Served live ---------------------------------------------------------------

async function servedLive() {
  const plot = spawn(plotProgram, ['--serve', '127.0.0.1:0'], {stdio: ['pipe', 'ignore', 'pipe']});
  let said = '';
  plot.stderr.on('data', (data) => { said += data; });
  const address = await new Promise((resolve, reject) => {
    const timer = setTimeout(() => reject(new Error('no address said: ' + said)), 10000);
    const look = () => {
      const match = /serving the report at (http:\/\/[^ ]+)/.exec(said);
      if (match) { clearTimeout(timer); resolve(match[1]); } else { setTimeout(look, 20); }
    };
    look();
  });
  check(/^http:\/\/127\.0\.0\.1:\d+\/$/.test(address), 'it says where it serves, on loopback: ' + address);
  // The first four blocks before the page opens.
  plot.stdin.write(report.slice(0, typeLineBefore(4)));
  await sleep(300);

  const page = await newPage();
  await page.goto(address);
  check(await until(page, () => telegramPlotPage.ids().length === 4 && telegramPlotPage.shown() === 4),
    'the blocks received before the page opened are shown, the newest drawn');
  // The list is drawn anew at most twice a second.
  const listedInOrder = () => {
    const listed = document.getElementById('scans').textContent;
    return listed.indexOf('Scan 2') >= 0 && listed.indexOf('Scan 1') > listed.indexOf('Scan 2');
  };
  check(await until(page, listedInOrder), 'the list goes newest first, by scan');
  await page.evaluate(() => { window.notReloaded = true; });

  // A new block, pushed: drawn with no reload.
  const sent = Date.now();
  plot.stdin.write(report.slice(typeLineBefore(4), typeLineBefore(5)));
  const pushed = await until(page, () => telegramPlotPage.shown() === 5);
  const latency = Date.now() - sent;
  check(pushed && await page.evaluate(() => window.notReloaded === true),
    'a new block is pushed to the page and drawn, with no reload, ' + latency + ' ms after its report line');
  check(await page.evaluate(() => document.querySelectorAll('#scans button').length === telegramPlotPage.ids().length &&
    document.querySelector('#scans button.shown').title.startsWith('scan-3-block-0:')),
    'the list is in step with the block drawn');
  const heading = await page.locator('#source').textContent();
  check(/^telegram-receiver's run of \d{4}-\d\d-\d\d \d\d:\d\d:\d\d \(standard input\)$/.test(heading),
    'the heading names the receiver\'s run and when it began: ' + heading);
  check(await page.locator('#live').isVisible(), 'while the run goes on, it can be paused');
  // The picture of the page for the README: live, the cursor on the chart.
  if (process.env.TELEGRAM_PAGE_PICTURE) {
    const over = await page.locator('#chart .u-over').boundingBox();
    await page.mouse.move(over.x + over.width * 0.3, over.y + over.height / 2);
    await sleep(200);
    await page.screenshot({path: process.env.TELEGRAM_PAGE_PICTURE, clip: {x: 0, y: 0, width: 1200, height: 700}});
  }

  // The read-out at full zoom: the exact value.
  const values = reportBlocks[4].values;
  for (const i of [0, 105, 32740]) {
    const text = await readOutAt(page, i);
    check(text === 'value ' + i + ': ' + values[i], 'the read-out at full zoom: "' + text + '", the report says ' + values[i]);
  }
  // Zoomed out, a pixel holds many values: their range.
  await page.click('#reset');
  const box = await page.locator('#chart .u-over').boundingBox();
  await page.mouse.move(box.x + box.width / 2, box.y + box.height / 2);
  await sleep(100);
  const range = await page.locator('#readout').textContent();
  const parts = /^values (\d+) to (\d+) \(under this pixel\): from (\d+) to (\d+)$/.exec(range);
  if (parts) {
    const under = values.slice(Number(parts[1]), Number(parts[2]) + 1);
    check(Number(parts[3]) === Math.min(...under) && Number(parts[4]) === Math.max(...under),
      'zoomed out, the read-out gives the range under the pixel: ' + range);
  } else {
    fail('zoomed out, the read-out: ' + range);
  }

  // Zoom by dragging, by the wheel; reset.
  await page.mouse.move(box.x + box.width * 0.4, box.y + box.height / 2);
  await page.mouse.down();
  await page.mouse.move(box.x + box.width * 0.6, box.y + box.height / 2, {steps: 5});
  await page.mouse.up();
  let scale = await page.evaluate(() => [telegramPlotPage.chart().scales.x.min, telegramPlotPage.chart().scales.x.max]);
  check(scale[0] > 10000 && scale[1] < 22000, 'a drag zooms in: ' + scale.map(Math.round).join(' to '));
  await page.mouse.wheel(0, -300);
  await sleep(100);
  const wheeled = await page.evaluate(() => [telegramPlotPage.chart().scales.x.min, telegramPlotPage.chart().scales.x.max]);
  check(wheeled[1] - wheeled[0] < scale[1] - scale[0], 'the wheel zooms in further');
  await page.click('#reset');
  scale = await page.evaluate(() => [telegramPlotPage.chart().scales.x.min, telegramPlotPage.chart().scales.x.max]);
  check(scale[0] === 0 && scale[1] === 32742, 'reset shows the whole block again');

  const xScale = () => page.evaluate(() => [telegramPlotPage.chart().scales.x.min, telegramPlotPage.chart().scales.x.max]);

  // The scales: the block's own, the run's, the whole 16-bit range.
  const yScale = () => page.evaluate(() => [telegramPlotPage.chart().scales.y.min, telegramPlotPage.chart().scales.y.max]);
  await page.check('input[value=full]');
  const full = await yScale();
  check(full[0] === 0 && full[1] === 65535, 'the common scale of 0 to 65535, never above: ' + full.join(' to '));
  await page.check('input[value=run]');
  // The server finds the run's range a few blocks at a time; the page asks
  // until it has them all.
  check(await until(page, () => document.getElementById('runnote').textContent === '' &&
    telegramPlotPage.chart().scales.y.max < 65535), 'the run\'s range is found from every block kept');
  const run = await yScale();
  const runMin = Math.min(...reportBlocks.slice(0, 5).map((b) => Math.min(...b.values)));
  const runMax = Math.max(...reportBlocks.slice(0, 5).map((b) => Math.max(...b.values)));
  check(run[0] <= runMin && run[1] >= runMax && run[1] <= 65535 && run[1] - run[0] < 1.2 * (runMax - runMin),
    'the run\'s scale covers every block\'s values: ' + run.join(' to '));
  await page.check('input[value=own]');

  // The CSV of the block shown, made by the page: the report's values, the
  // bytes of a CSV file of the plot.
  let csv = await downloadCsv(page);
  check(csv.name === 'scan-3-block-0.csv' && csv.text === csvOf(reportBlocks[4].values),
    'the page gives the CSV of the block shown, ' + csv.name + ', the report\'s values exactly');
  await page.evaluate(() => telegramPlotPage.show(1));
  check(await until(page, () => telegramPlotPage.shown() === 1), 'an older block is chosen');
  csv = await downloadCsv(page);
  check(csv.name === 'scan-1-block-0.csv' && csv.text === csvOf(reportBlocks[0].values),
    'and the CSV of that block: ' + csv.name);
  check(await page.evaluate(() => telegramPlotPage.csv()) === csvOf(reportBlocks[0].values), 'the same from the console');
  await page.click('#live');
  check(await until(page, () => telegramPlotPage.shown() === 5 && telegramPlotPage.live()), 'live again');

  // Pause: the view holds, and says what came meanwhile.
  await page.click('#live');
  plot.stdin.write(report.slice(typeLineBefore(5), typeLineBefore(6)));
  check(await until(page, () => document.getElementById('paused').textContent.indexOf('1 block has arrived') >= 0) &&
    await page.evaluate(() => telegramPlotPage.shown() === 5), 'paused, the view holds and says a block has arrived');
  await page.keyboard.press('ArrowLeft');
  check(await until(page, () => telegramPlotPage.shown() === 4), 'the left arrow goes to the previous block');
  await page.fill('#scan', '1');
  await page.click('#go');
  check(await until(page, () => telegramPlotPage.shown() === 1), 'going to scan 1 shows its first block');
  await page.click('#live');
  check(await until(page, () => telegramPlotPage.shown() === 6), 'live again, the newest block is drawn');

  // A zoom takes whole indexes, and is kept while the user explores.
  await page.evaluate(() => telegramPlotPage.chart().setScale('x', {min: 7.6, max: 7.65}));
  let zoom = await xScale();
  check(zoom[0] === 7 && zoom[1] === 8, 'a zoom below one value is one whole index wide: ' + zoom.join(' to '));
  await page.evaluate(() => telegramPlotPage.chart().setScale('x', {min: 1000.3, max: 1020.6}));
  await page.keyboard.press('ArrowLeft');
  check(await until(page, () => telegramPlotPage.shown() === 5), 'the arrow goes back a block');
  zoom = await xScale();
  check(zoom[0] === 1000 && zoom[1] === 1021, 'the arrow keeps the zoom: ' + zoom.join(' to '));
  await page.click('#live');
  check(await until(page, () => telegramPlotPage.shown() === 6), 'live again');
  zoom = await xScale();
  check(zoom[0] === 1000 && zoom[1] === 1021, 'a new block live keeps the zoom: ' + zoom.join(' to '));
  await page.click('#reset');

  // Drawing a block of 32,743 values takes no more than a frame.
  const draws = [];
  for (let round = 0; round < 3; ++round) {
    for (const id of [1, 2, 3, 4, 5, 6]) {
      await page.evaluate((id) => telegramPlotPage.show(id), id);
      await until(page, (id) => telegramPlotPage.shown() === id, id);
      await sleep(30);
      draws.push(await page.evaluate(() => telegramPlotPage.stats.lastDrawMs));
    }
  }
  draws.sort((a, b) => a - b);
  const median = draws[draws.length >> 1];
  check(median <= 1000 / 60, 'a block of 32743 values is drawn in ' + median.toFixed(1) + ' ms (median of ' +
    draws.length + ', longest ' + draws[draws.length - 1].toFixed(1) + ' ms); a frame is 16.7 ms');
  await page.click('#live');

  // At full rate: many blocks at once; the page draws the newest and says
  // how many it passed over.
  let many = report.slice(typeLineBefore(6));
  const burst = [];
  for (let scan = 100; scan < 400; ++scan) {
    burst.push(many.replace(/ScanNo:4\t/g, 'ScanNo:' + scan + '\t'));
  }
  plot.stdin.write(burst.join(''));
  check(await until(page, () => telegramPlotPage.state().blocks === 606, null, 20000) &&
    await until(page, () => telegramPlotPage.shown() === 606 && telegramPlotPage.stats.skipped > 0, null, 20000),
    'at full rate the newest block is drawn, ' +
      await page.evaluate(() => telegramPlotPage.stats.skipped) + ' in between passed over and said: "' +
      await page.locator('#drawn').textContent() + '"');

  // Every block the server kept, none missed in the burst: the page's
  // list is the server's, page for page.
  const kept = [];
  for (let after = 0, more = true; more;) {
    const answer = await (await fetch(address + 'blocks?after=' + after)).json();
    for (const block of answer.blocks) kept.push(block.id);
    more = answer.more;
    if (answer.blocks.length > 0) after = answer.blocks[answer.blocks.length - 1].id;
  }
  const listed = await page.evaluate(() => telegramPlotPage.ids());
  check(kept.length === 606 && JSON.stringify(listed) === JSON.stringify(kept),
    'after a burst the page knows every block the server keeps: ' + listed.length + ' of ' + kept.length);
  check(await page.evaluate(() => document.querySelectorAll('#scans button').length === telegramPlotPage.ids().length),
    'after a burst the list holds every block');
  // Scan 1 again, as from a second run: a row of its own, not scan 1's.
  plot.stdin.write(report.slice(typeLineBefore(0), typeLineBefore(1)));
  check(await until(page, () => telegramPlotPage.state().blocks === 607), 'scan 1 again');
  const rows = await page.evaluate(() => [...document.querySelectorAll('#scans .scan span')].map((s) => s.textContent));
  check(rows.length === 304 && rows[0] === 'Scan 1' && rows[1] === 'Scan 399' && rows[303] === 'Scan 1',
    'a row for each scan as it came, newest first, a scan seen again apart: ' + rows.length + ' rows');

  // The block shown is scrolled into the list's view: far down, by going
  // to a scan, and by the arrows.
  await page.fill('#scan', '120');
  await page.click('#go');
  check(await until(page, () => telegramPlotPage.shown() > 0 && document.querySelector('#scans button.shown') !== null &&
    document.querySelector('#scans button.shown').title.startsWith('scan-120-block-0')) &&
    await until(page, shownInList), 'going to scan 120, its block is seen in the list');
  for (let i = 0; i < 60; ++i) await page.keyboard.press('ArrowLeft');
  check(await until(page, shownInList), 'after 60 left arrows, the block shown is seen in the list: ' +
    await page.evaluate(() => telegramPlotPage.shown()));

  // The zoom is kept as far as a next block of another length reaches.
  await page.click('#live');
  check(await until(page, () => telegramPlotPage.live() && telegramPlotPage.shown() === 607), 'live again');
  await page.evaluate(() => telegramPlotPage.chart().setScale('x', {min: 391, max: 784}));
  plot.stdin.write(shortBlock(500, 1500, 3));
  check(await until(page, () => telegramPlotPage.shown() === 608), 'a block of 1500 values comes');
  zoom = await xScale();
  check(zoom[0] === 391 && zoom[1] === 784, 'the zoom is kept on a block of another length: ' + zoom.join(' to '));
  await page.evaluate(() => telegramPlotPage.chart().setScale('x', {min: 1200, max: 1499}));
  plot.stdin.write(report.slice(typeLineBefore(0), typeLineBefore(1)));
  check(await until(page, () => telegramPlotPage.shown() === 609), 'a longer block again');
  zoom = await xScale();
  check(zoom[0] === 1200 && zoom[1] === 1499, 'and kept on a longer one: ' + zoom.join(' to '));
  await page.click('#reset');

  // Eight pages have the news at most: a ninth says it is not live, and
  // why, until one closes.
  const held = [];
  for (let i = 0; i < 7; ++i) {
    const socket = connect(Number(/:(\d+)\//.exec(address)[1]), '127.0.0.1');
    socket.on('error', () => {});
    socket.write('GET /events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n');
    held.push(socket);
  }
  await sleep(300);
  const ninth = await newPage();
  await ninth.goto(address);
  check(await until(ninth, () => document.getElementById('link').textContent.indexOf('Not live') === 0),
    'the ninth page says it is not live: ' + await ninth.locator('#link').textContent());
  check(!await ninth.locator('#live').isVisible() && (await ninth.locator('#drawn').textContent()).indexOf('Live') < 0,
    'not live, it shows no Pause and no word of live drawing');
  held.pop().destroy();
  check(await until(ninth, () => document.getElementById('link').textContent === '', null, 12000),
    'once a page closes, the ninth is live');
  check(await until(ninth, () => !document.getElementById('live').hidden), 'and it can be paused again');
  for (const socket of held) socket.destroy();
  await ninth.close();

  // The run ends, as the receiver's does when it is stopped: no closing
  // lines, every telegram whole. Nothing more can come.
  plot.stdin.end();
  check(await until(page, () => !telegramPlotPage.state().reading), 'the end is pushed to the page');
  const ended = await page.locator('#state').textContent();
  check(ended.indexOf('it was stopped') >= 0 && await page.getAttribute('#state', 'class') === 'quiet',
    'a stopped run is said so, in plain colour: ' + ended);
  check(!await page.locator('#live').isVisible() && (await page.locator('#drawn').textContent()).indexOf('Live') < 0,
    'once the run is over, no Pause and no word of live drawing');
  await page.close();
  plot.kill('SIGINT');
  await new Promise((resolve) => plot.on('exit', resolve));
}

// A page whose server has gone says it is not live, and offers no Pause.
async function serverGone() {
  const plot = spawn(plotProgram, ['--serve', '127.0.0.1:0'], {stdio: ['pipe', 'ignore', 'pipe']});
  let said = '';
  plot.stderr.on('data', (data) => { said += data; });
  const deadline = Date.now() + 10000;
  while (!/serving the report at (http:\/\/[^ ]+)/.test(said) && Date.now() < deadline) await sleep(20);
  const address = /serving the report at (http:\/\/[^ ]+)/.exec(said)[1];
  plot.stdin.write(report.slice(0, typeLineBefore(2)));
  const page = await newPage();
  await page.goto(address);
  check(await until(page, () => telegramPlotPage.shown() === 2) && await page.locator('#live').isVisible(),
    'a second server\'s page is live');
  plot.kill('SIGKILL');
  check(await until(page, () => document.getElementById('link').textContent.indexOf('Not live') === 0),
    'its server gone, the page says it is not live: ' + await page.locator('#link').textContent());
  check(!await page.locator('#live').isVisible() && (await page.locator('#drawn').textContent()).indexOf('Live') < 0,
    'and shows no Pause and no word of live drawing');
  await page.close();
}

// --- A folder opened from the disk ---------------------------------------------

async function fromTheDisk() {
  writeFileSync(join(work, 'report.txt'), report, 'latin1');
  const made = spawnSync(plotProgram, ['-o', join(work, 'run'), '--csv', join(work, 'report.txt')], {encoding: 'utf8'});
  check(made.status === 0, 'the folder is made: ' + made.stderr.trim());
  const page = await newPage();
  await page.goto('file://' + join(work, 'run', 'index.html'));
  check(await until(page, () => telegramPlotPage.ids().length === 8 && telegramPlotPage.shown() === 8),
    'from the disk, with no server, the page lists every block and draws the newest');
  await page.evaluate(() => telegramPlotPage.show(3));
  check(await until(page, () => telegramPlotPage.shown() === 3), 'a block is chosen');
  const text = await readOutAt(page, 200);
  check(text === 'value 200: ' + reportBlocks[2].values[200], 'from the disk, the read-out: "' + text + '"');
  const state = await page.locator('#state').textContent();
  check(state.indexOf('it was stopped') >= 0, 'the demo\'s run, stopped, is said so: ' + state);
  check(!await page.locator('#live').isVisible(), 'a finished report has no Pause');
  // A report cut inside a block's values is said to be cut short, in red.
  writeFileSync(join(work, 'cut.txt'), report.slice(0, reportBlocks[7].start + 5000), 'latin1');
  const cut = spawnSync(plotProgram, ['-o', join(work, 'cut'), join(work, 'cut.txt')], {encoding: 'utf8'});
  check(cut.status === 0, 'a cut report is plotted: ' + cut.stderr.trim());
  await page.goto('file://' + join(work, 'cut', 'index.html'));
  check(await until(page, () => (document.getElementById('state').textContent.indexOf('cut short') >= 0)),
    'a report cut inside its values is said to be cut short');
  check(await page.getAttribute('#state', 'class') === 'note', 'in red');
  await page.close();
}

async function fromTheDiskMore() {
  const page = await newPage();
  await page.goto('file://' + join(work, 'run', 'index.html'));
  check(await until(page, () => telegramPlotPage.shown() === 8), 'the folder again');
  // The CSV made by the page from the disk: the bytes of the CSV file the
  // plot wrote with --csv.
  await page.evaluate(() => telegramPlotPage.show(3));
  check(await until(page, () => telegramPlotPage.shown() === 3), 'a block is chosen');
  const csv = await downloadCsv(page);
  check(csv.name === 'scan-2-block-0.csv' && csv.text === readFileSync(join(work, 'run', 'scan-2-block-0.csv'), 'latin1') &&
    csv.text === csvOf(reportBlocks[2].values), 'from the disk, the page\'s CSV is the CSV file\'s bytes exactly');
  check(!existsSync(join(work, 'run', 'scan-2-block-0.svg')), 'no picture unless asked for');
  // The run's range, from every file of values.
  await page.check('input[value=run]');
  const runMin = Math.min(...reportBlocks.map((b) => Math.min(...b.values)));
  const runMax = Math.max(...reportBlocks.map((b) => Math.max(...b.values)));
  // Found once every block's range is in it (the note is empty before it is asked for, too).
  check(await until(page, () => document.getElementById('runnote').textContent === '' &&
    telegramPlotPage.ranged() === telegramPlotPage.ids().length), 'the run\'s range is found');
  const run = await page.evaluate(() => [telegramPlotPage.chart().scales.y.min, telegramPlotPage.chart().scales.y.max]);
  check(run[0] <= runMin && run[1] >= runMax && run[1] - run[0] < 1.2 * (runMax - runMin),
    'from the disk, the run\'s scale covers every block\'s values: ' + run.join(' to '));
  await page.close();

  // A report of 1200 blocks: every one listed.
  let many = report.slice(0, typeLineBefore(0));
  for (let scan = 1; scan <= 1200; ++scan) many += shortBlock(scan, 3, scan);
  writeFileSync(join(work, 'many.txt'), many, 'latin1');
  const made = spawnSync(plotProgram, ['-o', join(work, 'many'), join(work, 'many.txt')], {encoding: 'utf8'});
  check(made.status === 0, 'a folder of 1200 blocks is made: ' + made.stderr.trim());
  const listing = await newPage();
  await listing.goto('file://' + join(work, 'many', 'index.html'));
  check(await until(listing, () => telegramPlotPage.ids().length === 1200 && telegramPlotPage.shown() === 1200 &&
    document.querySelectorAll('#scans button').length === 1200, null, 20000),
  'all 1200 blocks listed: ' + await listing.evaluate(() => document.querySelectorAll('#scans button').length));
  await listing.close();
}

// --- The telegrams themselves, from two scanners ---------------------------------

async function twoScanners() {
  const plot = spawn(plotProgram, ['--serve', '127.0.0.1:0', '--port', '0', '--address', '127.0.0.1', '-o',
    join(work, 'scanners')],
    {stdio: ['ignore', 'ignore', 'pipe']});
  let said = '';
  plot.stderr.on('data', (data) => { said += data; });
  const ended = new Promise((resolve) => plot.on('exit', (code) => resolve(code)));
  const deadline = Date.now() + 10000;
  while (!/receiving on UDP port (\d+)/.test(said) && Date.now() < deadline) await sleep(20);
  const address = /serving the telegrams at (http:\/\/[^ ]+)/.exec(said)[1];
  const port = /receiving on UDP port (\d+)/.exec(said)[1];
  const page = await newPage();
  await page.goto(address);
  // Two scanners, each from a port of its own: 1000 values a block, then 500.
  const send = (size, scans) => spawnSync(process.env.TELEGRAM_SENDER,
    ['--port', port, '--scans', String(scans), '--blocks', '2', '--size', String(size), '--no-beam']);
  send(2020, 3);
  send(1020, 2);
  check(await until(page, () => telegramPlotPage.ids().length === 10 && telegramPlotPage.senders().length === 2),
    'the blocks of two scanners come, each with its sender');
  const [first, second] = await page.evaluate(() => telegramPlotPage.senders());
  check(await page.locator('#sender option').count() === 3 && await page.locator('#senders').isVisible(),
    'the page offers either scanner, or every one');
  check(!await page.locator('#reportnote').isVisible() &&
    (await page.locator('#state').textContent()).indexOf('as they are received') >= 0,
  'it speaks of telegrams received, not of a report');
  check(await until(page, () => telegramPlotPage.shown() === 10), 'every scanner: the newest block is drawn');
  // One picked: the view goes through its blocks alone.
  await page.selectOption('#sender', first);
  check(await until(page, () => telegramPlotPage.shown() === 6 && telegramPlotPage.values().length === 1000),
    'the first scanner picked, live: its newest block is drawn');
  check((await page.locator('#heading').textContent()).indexOf(first + ': scan 3, block 1') === 0,
    'its heading names the scanner: ' + await page.locator('#heading').textContent());
  check(await page.locator('#scans .scan:not([hidden])').count() === 3, 'the list holds its three scans alone');
  await page.keyboard.press('ArrowLeft');
  check(await until(page, () => telegramPlotPage.shown() === 5), 'the previous block is its own');
  await page.selectOption('#sender', second);
  check(await until(page, () => telegramPlotPage.shown() === 10 && telegramPlotPage.values().length === 500),
    'the second scanner picked: its block is drawn');
  check(await page.locator('#scans .scan:not([hidden])').count() === 2, 'the list holds its two scans alone');
  // Side by side: each scanner's block of the scan and block drawn large.
  await page.check('#sides');
  const sideBySide = (expected) => until(page, (e) => JSON.stringify(telegramPlotPage.sideBlocks()) === e,
    JSON.stringify(expected));
  check(await sideBySide([[first, 4], [second, 10]]) && await page.locator('#sidecharts canvas').count() === 2,
    'side by side, each scanner\'s scan 2, block 1: ' + JSON.stringify(await page.evaluate(() => telegramPlotPage.sideBlocks())));
  await page.evaluate(() => telegramPlotPage.goLive());
  check(await sideBySide([[first, 6], [second, 10]]), 'live, each scanner\'s newest block');
  await page.close();
  plot.kill('SIGINT');
  const code = await ended;
  check(code === 0 && /10 blocks with values of 10 telegrams from 2 senders in /.test(said),
    'Ctrl-C ends it with status 0 and its count: ' + said.trim().split('\n').pop());
  // The folder written beside: the same choice from the disk.
  const folder = await newPage();
  await folder.goto('file://' + join(work, 'scanners', 'index.html'));
  check(await until(folder, () => telegramPlotPage.ids().length === 10 && telegramPlotPage.senders().length === 2),
    'from the disk, the blocks of both scanners, each with its sender');
  check((await folder.locator('#state').textContent()).indexOf('Receiving has ended.') >= 0,
    'and the words of a run received: ' + await folder.locator('#state').textContent());
  await folder.selectOption('#sender', second);
  check(await until(folder, () => telegramPlotPage.shown() === 10) &&
    await folder.locator('#scans .scan:not([hidden])').count() === 2, 'the second scanner alone, from the disk');
  await folder.close();
}

try {
  await servedLive();
  await serverGone();
  await fromTheDisk();
  await fromTheDiskMore();
  await twoScanners();
} catch (error) {
  fail(String(error.stack || error));
} finally {
  await browser.close();
  rmSync(work, {recursive: true, force: true});
}
console.log(failures === 0 ? 'plot_page_test: all ok' : 'plot_page_test: ' + failures + ' failed');
process.exit(failures === 0 ? 0 : 1);
