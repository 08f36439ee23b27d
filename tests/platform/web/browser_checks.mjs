// The web page in headless Chromium (Debian's), driven by puppeteer-core.
//
//   node browser_checks.mjs --site DIR --render LUMENFALL_RENDER --scenario NAME
//
// Scenarios:
//   pixels  with frames=N&bare=1 the canvas holds, pixel for pixel, the last frame that
//           lumenfall-render --frames N writes as PNG: every depth, both sets, the
//           low-quality blur, and own lines from the text parameter against the same
//           lines in a --text-file.
//   page    the live page draws with no console error; the controls and the box of own
//           lines change the picture and the link; bad parameters (own lines the font
//           cannot draw among them) show one visible line and fall back to the defaults
//           (the picture is then the renderer's default one).
//   saver   the screen-saver mode hides the cursor and ends on a key, a click and a
//           pointer movement of 5 pixels (across plus down), not of 4.
//   bench   not a check (not registered with ctest): the sizes of lumenfall.wasm and
//           lumenfall.js, raw and gzipped, and the time of one frame step in the page at
//           each depth on the simulated clock, for BENCHMARKS.md.
//
// Exit 0: passed; 1: failed; 77: a tool is missing (a failure when CI=true).
import { execFileSync } from 'node:child_process';
import { existsSync, mkdtempSync, readFileSync, rmSync, statSync, writeFileSync } from 'node:fs';
import { createServer } from 'node:http';
import { tmpdir } from 'node:os';
import { extname, join, resolve } from 'node:path';
import { gzipSync, inflateSync } from 'node:zlib';

const SKIP = 77;
const CHROMIUM = process.env.LUMENFALL_CHROMIUM || '/usr/bin/chromium';
const WAIT_MS = 20000;     // any single wait in the page
const OVERALL_MS = 240000; // the whole scenario

function options() {
  const out = {};
  const argv = process.argv.slice(2);
  for (let i = 0; i + 1 < argv.length; i += 2) out[argv[i].replace(/^--/, '')] = argv[i + 1];
  return out;
}

function missing(what) {
  console.error(`missing: ${what}`);
  process.exit(process.env.CI === 'true' ? 1 : SKIP);
}

// ---- PNG (8-bit RGB or RGBA, not interlaced): enough to read the renderer's files.
function decodePng(bytes) {
  let at = 8, width = 0, height = 0, channels = 0;
  const data = [];
  while (at < bytes.length) {
    const length = bytes.readUInt32BE(at), type = bytes.toString('latin1', at + 4, at + 8);
    const body = bytes.subarray(at + 8, at + 8 + length);
    if (type === 'IHDR') {
      width = body.readUInt32BE(0); height = body.readUInt32BE(4);
      const depth = body[8], colour = body[9], interlace = body[12];
      if (depth !== 8 || (colour !== 2 && colour !== 6) || interlace !== 0)
        throw new Error(`unsupported PNG (depth ${depth}, colour type ${colour})`);
      channels = colour === 2 ? 3 : 4;
    } else if (type === 'IDAT') {
      data.push(body);
    }
    at += 12 + length;
  }
  const raw = inflateSync(Buffer.concat(data));
  const stride = width * channels, out = Buffer.alloc(stride * height);
  for (let y = 0; y < height; ++y) {
    const filter = raw[y * (stride + 1)], row = raw.subarray(y * (stride + 1) + 1, (y + 1) * (stride + 1));
    for (let x = 0; x < stride; ++x) {
      const a = x >= channels ? out[y * stride + x - channels] : 0;
      const b = y > 0 ? out[(y - 1) * stride + x] : 0;
      const c = x >= channels && y > 0 ? out[(y - 1) * stride + x - channels] : 0;
      let p = row[x];
      if (filter === 1) p += a;
      else if (filter === 2) p += b;
      else if (filter === 3) p += (a + b) >> 1;
      else if (filter === 4) {
        const e = a + b - c, pa = Math.abs(e - a), pb = Math.abs(e - b), pc = Math.abs(e - c);
        p += pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
      }
      out[y * stride + x] = p & 0xFF;
    }
  }
  return { width, height, channels, pixels: out };
}

// ---- the site, served from this process on 127.0.0.1.
function serve(site) {
  const types = { '.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm' };
  const server = createServer((request, response) => {
    const path = join(site, new URL(request.url, 'http://x').pathname.replace(/\/$/, '/index.html'));
    if (!path.startsWith(site) || !existsSync(path) || !statSync(path).isFile()) {
      response.writeHead(404).end();
      return;
    }
    response.writeHead(200, { 'Content-Type': types[extname(path)] || 'application/octet-stream' });
    response.end(readFileSync(path));
  });
  return new Promise((done) => server.listen(0, '127.0.0.1', () => done(server)));
}

// ---- the checks
const failures = [];
function check(ok, what) {
  console.log(`${ok ? 'ok  ' : 'FAIL'} ${what}`);
  if (!ok) failures.push(what);
}

async function canvasPixels(page) {
  const b64 = await page.evaluate(() => {
    const c = document.getElementById('picture');
    const d = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
    let s = '';
    for (let i = 0; i < d.length; i += 0x8000) s += String.fromCharCode(...d.subarray(i, i + 0x8000));
    return JSON.stringify({ w: c.width, h: c.height, b: btoa(s) });
  });
  const { w, h, b } = JSON.parse(b64);
  return { width: w, height: h, rgba: Buffer.from(b, 'base64') };
}

// Loads a frames=N query and waits until the page has run them all.
async function runFrames(page, base, query) {
  await page.goto(`${base}/?${query}`, { waitUntil: 'load', timeout: WAIT_MS });
  await page.waitForSelector('body[data-state="done"]', { timeout: WAIT_MS });
  return canvasPixels(page);
}

// Every pixel of the canvas against the renderer's PNG; '' when equal.
function difference(canvas, png) {
  if (canvas.width !== png.width || canvas.height !== png.height)
    return `canvas ${canvas.width}x${canvas.height}, PNG ${png.width}x${png.height}`;
  let wrong = 0, first = '';
  for (let i = 0; i < png.width * png.height; ++i) {
    const c = canvas.rgba.subarray(i * 4, i * 4 + 4), p = png.pixels.subarray(i * png.channels, i * png.channels + 3);
    if (c[0] !== p[0] || c[1] !== p[1] || c[2] !== p[2] || c[3] !== 255) {
      if (wrong++ === 0)
        first = ` first at (${i % png.width}, ${Math.floor(i / png.width)}): canvas ${[...c]}, PNG ${[...p]}`;
    }
  }
  return wrong === 0 ? '' : `${wrong} pixels differ;${first}`;
}

function lit(image) {
  let n = 0;
  for (let i = 0; i < image.rgba.length; i += 4) n += image.rgba[i] | image.rgba[i + 1] | image.rgba[i + 2] ? 1 : 0;
  return n;
}

function rendered(render, work, args, frames) {
  const out = join(work, `frame-${args.join('_').replace(/[^a-z0-9_-]/gi, '')}-${frames}.png`);
  // --every N keeps only the last of the N frames: one file.
  execFileSync(render, [...args, '--frames', String(frames), '--every', String(frames), '--out', out],
               { timeout: 60000 });
  return decodePng(readFileSync(out));
}

async function pixels(page, base, render, work) {
  const cases = [];
  for (const set of ['malachi-red', 'deep-blue'])
    for (const [depth, layout] of [[8], [16, 565], [16, 555], [24], [32]])
      cases.push({ set, depth, layout, low: false, frames: 90 });
  cases.push({ set: 'deep-blue', depth: 16, layout: 655, low: true, frames: 170 });
  cases.push({ set: 'malachi-red', depth: 32, low: true, frames: 170, seed: 7 });
  // Into the second line, where the vector kernels have run on a full trail.
  cases.push({ set: 'deep-blue', depth: 24, low: false, frames: 700 });
  cases.push({ set: 'malachi-red', depth: 32, low: false, frames: 700 });
  // Own lines: the address's against the same text in a file (a comment, a blank line,
  // spaces kept), into the second line.
  const text = '# ours\nOur own words\n\n  second, spaced  \n';
  writeFileSync(join(work, 'lines.txt'), text);
  cases.push({ set: 'deep-blue', depth: 16, layout: 556, low: false, frames: 200, text });
  cases.push({ set: 'malachi-red', depth: 32, low: true, frames: 200, text });
  for (const c of cases) {
    const args = ['--text-set', c.set, '--depth', String(c.depth)];
    let query = `set=${c.set}&depth=${c.depth}`;
    if (c.text) { args.push('--text-file', join(work, 'lines.txt')); query += `&text=${encodeURIComponent(c.text)}`; }
    if (c.layout) { args.push('--layout', String(c.layout)); query += `&layout=${c.layout}`; }
    if (c.low) { args.push('--low-quality'); query += '&low=1'; }
    if (c.seed !== undefined) { args.push('--seed', String(c.seed)); query += `&seed=${c.seed}`; }
    const png = rendered(render, work, args, c.frames);
    const canvas = await runFrames(page, base, `${query}&frames=${c.frames}&bare=1`);
    const diff = difference(canvas, png);
    check(diff === '' && lit(canvas) > 1000, `${query}&frames=${c.frames}: canvas equals the renderer's PNG ${diff}`);
  }
  // A page built without its vector kernels gives the same pixels, only slower.
  const level = await page.evaluate(() => Module._lf_simd_level());
  check(level === 2, `the blur runs the SSE2 kernels as WebAssembly SIMD (level ${level})`);
}

async function pageChecks(page, base, render, work) {
  // Live: the picture moves.
  await page.goto(`${base}/`, { waitUntil: 'load', timeout: WAIT_MS });
  await page.waitForFunction(() => typeof Module !== 'undefined' && Module.calledRun &&
                                   Module._lf_frames_run() >= 60, { timeout: WAIT_MS, polling: 100 });
  check(lit(await canvasPixels(page)) > 1000, 'the live page draws the effect');
  // On a HiDPI screen the picture is drawn at the device pixels, not smoothed up by CSS.
  await page.setViewport({ width: 800, height: 600, deviceScaleFactor: 2 });
  await page.waitForFunction(() => {
    const c = document.getElementById('picture'), box = c.getBoundingClientRect();
    return c.width === Math.round(box.width * 2) && c.height === Math.round(box.height * 2);
  }, { timeout: WAIT_MS, polling: 100 }).catch(() => {});
  const sizes = await page.$eval('#picture', (c) => [c.width, c.height, c.getBoundingClientRect().width]);
  check(sizes[0] === Math.round(sizes[2] * 2) && sizes[0] > 400, `at 2 device pixels per CSS pixel the canvas has them all (${sizes})`);
  await page.setViewport({ width: 800, height: 600, deviceScaleFactor: 1 });
  check(await page.$eval('#message', (m) => m.hidden), 'the default page shows no message');

  // The controls: another set, then the rough blur, then 16 bits give other pictures
  // and a link that says so.
  const first = await runFrames(page, base, 'frames=90');
  const steps = [['#set', 'deep-blue', 'set=deep-blue'], ['#low', null, 'low=1'], ['#depth', '16', 'depth=16'],
                 ['#text', 'Hello there\nsecond', 'text=Hello+there%0Asecond']];
  let before = first;
  for (const [control, value, param] of steps) {
    if (control === '#text') {
      await page.click(control);
      await page.keyboard.type(value);
      await page.click('h1');  // the box changes when it loses the focus
    } else if (value === null) await page.click(control); else await page.select(control, value);
    await page.waitForSelector('body[data-state="done"]', { timeout: WAIT_MS });
    const after = await canvasPixels(page);
    const url = page.url();
    check(!after.rgba.equals(before.rgba) && url.includes(param), `the ${control} control changes the picture and the address (${url})`);
    before = after;
  }

  // Bad parameters: one visible line, and the picture of the defaults.
  const png = rendered(render, work, [], 90);
  const bad = await runFrames(page, base, 'depth=13&set=green&layout=999&low=yes&seed=-4&zzz=1&frames=90&bare=1');
  const message = await page.$eval('#message', (m) => ({
    text: m.textContent, shown: !m.hidden && m.offsetHeight > 0 && m.offsetHeight < 40 }));
  check(message.shown && !message.text.includes('\n') &&
        ['depth', 'set', 'layout', 'low', 'seed', 'zzz'].every((w) => message.text.includes(w)),
        `bad parameters show one line naming each: "${message.text}"`);
  const diff = difference(bad, png);
  check(diff === '', `bad parameters fall back to the defaults ${diff}`);
  // Own lines that the font cannot draw: the line and column in one visible line, the
  // text set's own lines drawn, the text left in the box to be mended.
  const refused = await runFrames(page, base, `text=${encodeURIComponent('fine\ncaf\u00e9')}&frames=90&bare=1`);
  const said = await page.$eval('#message', (m) => !m.hidden && m.offsetHeight > 0 && m.offsetHeight < 40 ? m.textContent : '');
  const kept = await page.$eval('#text', (t) => t.value);
  const refusedDiff = difference(refused, png);
  check(said.includes('text:2:4: the font has no U+00E9') && kept === 'fine\ncaf\u00e9' && refusedDiff === '',
        `own lines the font cannot draw are named in one line and kept in the box: "${said}" ${refusedDiff}`);
  await page.goto(`${base}/?text=${'a'.repeat(2049)}`, { waitUntil: 'load', timeout: WAIT_MS });
  await page.waitForFunction(() => document.getElementById('message').textContent !== '', { timeout: WAIT_MS });
  const long = await page.$eval('#message', (m) => m.hidden ? '' : m.textContent);
  check(long.includes('text holds 2049 bytes, more than 2048'), `a text too long for a link is refused: "${long}"`);
  for (const query of ['frames=0', 'frames=999999999999', 'bare=2', 'depth=', '%zz=%', 'layout=556']) {
    await page.goto(`${base}/?${query}`, { waitUntil: 'load', timeout: WAIT_MS });
    await page.waitForFunction(() => document.getElementById('message').textContent !== '', { timeout: WAIT_MS });
    const shown = await page.$eval('#message', (m) => !m.hidden && m.offsetHeight > 0);
    const canvas = await page.$eval('#picture', (c) => c.offsetWidth > 0 && c.offsetHeight > 0);
    check(shown && canvas, `?${query} shows a message beside the picture`);
  }
}

async function saverChecks(page, base) {
  await page.goto(`${base}/`, { waitUntil: 'load', timeout: WAIT_MS });
  await page.waitForFunction(() => typeof Module !== 'undefined' && Module.calledRun, { timeout: WAIT_MS });
  const state = () => page.evaluate(() => ({
    saver: document.body.classList.contains('saver'),
    cursor: getComputedStyle(document.getElementById('picture')).cursor,
    full: document.fullscreenElement !== null,
  }));
  const settle = () => page.evaluate(() => new Promise((r) => requestAnimationFrame(() => setTimeout(r, 50))));
  const enter = async () => {
    const box = await page.$eval('#saver', (b) => { const r = b.getBoundingClientRect(); return { x: r.x + 5, y: r.y + 5 }; });
    await page.mouse.move(box.x, box.y);
    await page.mouse.click(box.x, box.y);
    await settle();
    // A desktop Chromium reports the resting pointer again once the page has gone full
    // screen under it; the headless one does not, so it is reported here.
    await page.mouse.move(box.x, box.y);
    await settle();
    return box;
  };

  let at = await enter();
  let s = await state();
  check(s.saver && s.cursor === 'none' && s.full, `the button enters the mode: full screen, no cursor (${JSON.stringify(s)})`);
  await page.mouse.move(at.x + 2, at.y + 2);
  await settle();
  check((await state()).saver, 'a movement of 2 across and 2 down (4 pixels) keeps the mode');
  await page.mouse.move(at.x + 3, at.y + 2);
  await settle();
  s = await state();
  check(!s.saver && s.cursor !== 'none', 'one pixel more (5 pixels) leaves it');

  at = await enter();
  await page.mouse.move(at.x + 3, at.y);
  await page.mouse.move(at.x, at.y);
  await settle();
  check((await state()).saver, '3 pixels across and back keeps the mode');
  await page.keyboard.press('KeyA');
  await settle();
  s = await state();
  check(!s.saver, 'a key leaves it');

  await enter();
  await page.mouse.down();
  await page.mouse.up();
  await settle();
  check(!(await state()).saver, 'a click leaves it');
}

// The frame step as lumenfall-bench's FrameStep/<depth>/full/running: 100 ticks into
// the first line untimed, then the effect running on; the median of five runs.
async function bench(page, base, site) {
  const files = ['lumenfall.wasm', 'lumenfall.js'].map((f) => readFileSync(join(site, f)));
  const raw = files.reduce((n, f) => n + f.length, 0);
  const gz = files.reduce((n, f) => n + gzipSync(f, { level: 9 }).length, 0);
  console.log(`size: wasm ${files[0].length} + js ${files[1].length} = ${raw} bytes (budget 256000); ` +
              `gzip ${gz} bytes (budget 102400)`);
  for (const depth of [8, 16, 24, 32]) {
    await runFrames(page, base, `depth=${depth}&bare=1&frames=1`);
    const us = await page.evaluate((query) => {
      const times = [];
      for (let run = 0; run < 5; ++run) {
        Module.ccall('lf_configure', 'number', ['string'], [query]);
        Module._lf_step(100);
        const t0 = performance.now();
        Module._lf_step(1000);
        times.push((performance.now() - t0) * 1000 / 1000);
      }
      return times.sort((a, b) => a - b)[2];
    }, `depth=${depth}&bare=1&frames=1`);
    console.log(`frame step ${depth} bits, full blur, running: ${us.toFixed(0)} us`);
  }
}

async function main() {
  const o = options();
  const site = resolve(o.site || '');
  if (!existsSync(join(site, 'index.html')) || !existsSync(join(site, 'lumenfall.wasm'))) missing(`the built page in ${site}`);
  if ((o.scenario === 'pixels' || o.scenario === 'page') && !existsSync(o.render || '')) missing('lumenfall-render');
  if (!existsSync(CHROMIUM)) missing(CHROMIUM);
  let puppeteer;
  try {
    puppeteer = (await import('puppeteer-core')).default;
  } catch {
    missing('puppeteer-core (npm ci in tests/platform/web)');
  }

  const work = mkdtempSync(join(tmpdir(), 'lumenfall-web-'));
  const server = await serve(site);
  const base = `http://127.0.0.1:${server.address().port}`;
  const args = ['--headless=new', '--disable-gpu', '--no-first-run', '--disable-extensions'];
  if (process.getuid && process.getuid() === 0) args.push('--no-sandbox');
  const browser = await puppeteer.launch({ executablePath: CHROMIUM, args, timeout: WAIT_MS,
                                           protocolTimeout: 60000, headless: true });
  const watchdog = setTimeout(() => {
    console.error(`FAIL the scenario took more than ${OVERALL_MS / 1000} s`);
    browser.process()?.kill('SIGKILL');
    process.exit(1);
  }, OVERALL_MS);

  try {
    const page = await browser.newPage();
    await page.setViewport({ width: 800, height: 600, deviceScaleFactor: 1 });
    const errors = [];
    page.on('console', (m) => {
      // The advice about repeated getImageData is about this harness's own reading.
      if ((m.type() === 'error' || m.type() === 'warn') && !m.text().includes('willReadFrequently'))
        errors.push(m.text());
    });
    page.on('pageerror', (e) => errors.push(String(e)));
    page.on('requestfailed', (r) => errors.push(`request failed: ${r.url()}`));
    if (o.scenario === 'pixels') await pixels(page, base, o.render, work);
    else if (o.scenario === 'page') await pageChecks(page, base, o.render, work);
    else if (o.scenario === 'saver') await saverChecks(page, base);
    else if (o.scenario === 'bench') await bench(page, base, site);
    else throw new Error(`unknown scenario ${o.scenario}`);
    check(errors.length === 0, `no console error or warning${errors.length ? ': ' + errors.join(' | ') : ''}`);
  } catch (e) {
    check(false, `the scenario ran to its end: ${e && e.stack ? e.stack : e}`);
  } finally {
    clearTimeout(watchdog);
    await browser.close().catch(() => browser.process()?.kill('SIGKILL'));
    server.close();
    rmSync(work, { recursive: true, force: true });
  }
  if (failures.length) {
    console.error(`${failures.length} check(s) failed`);
    process.exit(1);
  }
}

main();
