// The page and its module in Debian's Chromium, headless, against the site
// served on 127.0.0.1. Environment: QUILLO_SITE (build/web/site),
// QUILLO_TOOL (the host build's quillo), QUILLO_OUT (fixtures, screenshots,
// figures), QUILLO_SAMPLE (the bundled sample's frames).
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { execFileSync } from 'node:child_process';
import { chromium } from 'playwright-core';
import { serve } from './server.mjs';
import { makeFixtures, sha256, toolDecode, speechLikeness } from './fixtures.mjs';

const site = path.resolve(process.env.QUILLO_SITE);
const out = path.resolve(process.env.QUILLO_OUT);
const fixtures = path.join(out, 'fixtures');
const figures = {};
let server, browser, expected;

before(async () => {
  fs.rmSync(out, { recursive: true, force: true });
  expected = makeFixtures(process.env.QUILLO_TOOL, fixtures, process.env.QUILLO_SAMPLE);
  server = await serve({ '/fixtures/': fixtures, '/': site });
  browser = await chromium.launch({
    executablePath: '/usr/bin/chromium',
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync',
      '--autoplay-policy=no-user-gesture-required',
      // The microphone is the bundled sample's speech, played in a loop.
      '--use-fake-device-for-media-stream', '--use-fake-ui-for-media-stream',
      `--use-file-for-fake-audio-capture=${path.join(fixtures, 'sample.qlo.wav')}`],
    // (launch gives every run a fresh, empty profile of its own)
  });
});

after(async () => {
  await browser?.close();
  server?.close();
  fs.writeFileSync(path.join(out, 'figures.json'), JSON.stringify(figures, null, 2));
  console.log('figures', JSON.stringify(figures));
});

async function openPage(hash = '', viewport = { width: 900, height: 800 }) {
  const context = await browser.newContext({ viewport, acceptDownloads: true });
  const page = await context.newPage();
  const errors = [];
  page.on('pageerror', (e) => errors.push(String(e)));
  await page.goto(`${server.url}/index.html${hash}`);
  await page.waitForFunction(() => window.quilloPage);
  return { page, errors, close: () => context.close() };
}

const titleRe = (total) => new RegExp(`^QLO \\[\\d\\d:\\d\\d:\\d\\d\\]-\\[${total}\\]$`);

async function waitTitle(page, re) {
  await page.waitForFunction((src) => new RegExp(src).test(document.title), re.source, { timeout: 15000 });
  return page.title();
}

test('q.info and q.decode equal quillo info and decode byte for byte', async () => {
  const { page, close } = await openPage();
  const names = Object.keys(expected);
  const got = await page.evaluate(async (names) => {
    const { createQuillo } = await import('./quillo.js');
    const q = await createQuillo();
    const hex = async (a) => [...new Uint8Array(await crypto.subtle.digest('SHA-256', a))]
      .map((b) => b.toString(16).padStart(2, '0')).join('');
    const r = {};
    for (const name of names) {
      const bytes = new Uint8Array(await (await fetch(`/fixtures/${name}`)).arrayBuffer());
      const info = q.info(bytes);
      let wet, ms = Infinity;
      for (let i = 0; i < 3; i++) {
        const t = performance.now();
        wet = q.decode(bytes);
        ms = Math.min(ms, performance.now() - t);
      }
      r[name] = { info, ms, wet: await hex(wet.buffer), dry: await hex(q.decode(bytes, { dry: true }).buffer) };
    }
    let error = '';
    try { q.info(new Uint8Array(1000)); } catch (e) { error = e.message; }
    r.error = error;
    return r;
  }, names);
  for (const name of names) {
    assert.equal(got[name].wet, expected[name].wet, `${name}: decode`);
    assert.equal(got[name].dry, expected[name].dry, `${name}: decode --dry`);
    assert.equal(got[name].info.blocks, expected[name].blocks, `${name}: blocks`);
    assert.equal(got[name].info.rejected, expected[name].rejected, `${name}: rejected`);
  }
  assert.ok(got['rate80-delay-rejected.qlo'].info.rejected > 0);
  assert.ok(got['rate80-short.qlo'].info.shortLastBlock);
  assert.match(got.error, /not a message: 1000 bytes/);
  figures.decode = Object.fromEntries(['long6.4.qlo', 'long8.qlo', 'long11.8.qlo'].map((n) =>
    [n, { browserMs: +got[n].ms.toFixed(1), nativeToolMs: +expected[n].nativeMs.toFixed(1) }]));
  await close();
});

test('a message opened plays with the player\'s titles; Stop, Stop, Play; Download WAV', async () => {
  const { page, errors, close } = await openPage();
  await page.setInputFiles('#file', path.join(fixtures, 'sample.qlo'));
  assert.equal(await waitTitle(page, /^QLO \[00:00:00\]-\[00:00:13\]$/), 'QLO [00:00:00]-[00:00:13]');
  assert.equal(await page.textContent('h1'), 'QLO [00:00:00]-[00:00:13]');
  await waitTitle(page, /^QLO \[00:00:0[2-9]\]-\[00:00:13\]$/);
  assert.ok(await page.isDisabled('#play'));
  figures.timing = await page.evaluate(() => window.quilloTiming);
  await page.screenshot({ path: path.join(out, 'playing.png') });

  await page.click('#stop');  // pause: the position stays
  const paused = await page.title();
  await page.waitForTimeout(1200);
  assert.equal(await page.title(), paused);
  assert.ok(!(await page.isDisabled('#play')));
  assert.match(await page.textContent('#status'), /Paused/);
  await page.screenshot({ path: path.join(out, 'paused.png') });
  await page.click('#stop');  // rewind
  assert.equal(await page.title(), 'QLO [00:00:00]-[00:00:13]');
  await page.click('#play');
  await waitTitle(page, /^QLO \[00:00:01\]-\[00:00:13\]$/);

  const [download] = await Promise.all([page.waitForEvent('download'), page.click('#wav')]);
  assert.equal(download.suggestedFilename(), 'sample.wav');
  assert.equal(sha256(fs.readFileSync(await download.path())), expected['sample.qlo'].wav);

  // Damaged, then not a message: each says so and the page goes on working.
  await page.setInputFiles('#file', path.join(fixtures, 'rate80-delay-rejected.qlo'));
  await page.waitForFunction(() => /damaged block/.test(document.getElementById('info').textContent));
  await page.setInputFiles('#file', path.join(fixtures, 'not-a-message.txt'));
  await page.waitForFunction(() => /not a message/.test(document.getElementById('status').textContent));
  await page.setInputFiles('#file', path.join(fixtures, 'rate64-reverb.qlo'));
  await waitTitle(page, /^QLO \[00:00:0[1-9]\]-/);
  assert.deepEqual(errors, []);
  const foreign = server.requests.filter((p) => !p.startsWith('/fixtures/') && p !== '/Quillo.exe' &&
    !fs.existsSync(path.join(site, p)));
  assert.deepEqual(foreign, [], 'requests other than the site\'s own files');
  await close();
});

test('a link of a 30-second message at each rate opens in a fresh page and decodes equal', async () => {
  figures.linkLength = {};
  for (const rate of ['6.4', '8', '11.8']) {
    const name = `long${rate}.qlo`;
    const maker = await openPage();
    await maker.page.setInputFiles('#file', path.join(fixtures, name));
    await maker.page.waitForFunction(() => !document.getElementById('link').disabled);
    const link = await maker.page.evaluate(() => window.quilloPage.messageLink(window.quilloPage.player.bytes));
    await maker.close();
    figures.linkLength[rate] = link.length;
    const { page, close } = await openPage(link.slice(link.indexOf('#')));
    await waitTitle(page, titleRe('00:00:3[01]'));
    const digest = await page.evaluate(async () => {
      const { createQuillo } = await import('./quillo.js');
      const q = await createQuillo();
      const pcm = q.decode(window.quilloPage.player.bytes);
      return [...new Uint8Array(await crypto.subtle.digest('SHA-256', pcm.buffer))]
        .map((b) => b.toString(16).padStart(2, '0')).join('');
    });
    assert.equal(digest, expected[name].wet, `${name} through its link`);
    await close();
  }
});

test('phone-sized layout', async () => {
  const { page, close } = await openPage('', { width: 375, height: 740 });
  await page.setInputFiles('#file', path.join(fixtures, 'rate118-pitch-stray.qlo'));
  await page.waitForFunction(() => !document.getElementById('info').hidden);
  const width = await page.evaluate(() => document.documentElement.scrollWidth);
  assert.ok(width <= 375, `no sideways scrolling (${width} px)`);
  await page.screenshot({ path: path.join(out, 'phone.png'), fullPage: true });
  await close();
});

test('making: an opened sound file and the microphone each give a message of that speech', async () => {
  const { page, errors, close } = await openPage();
  await page.context().grantPermissions(['microphone']);
  const source = fs.readFileSync(path.join(fixtures, 'sample.qlo.raw'));
  const made = async (name) => {
    await page.waitForFunction(() => /ready/.test(document.getElementById('make-status').textContent));
    const [download] = await Promise.all([page.waitForEvent('download'), page.click('#get-qlo')]);
    const file = path.join(fixtures, name);
    fs.copyFileSync(await download.path(), file);
    return file;
  };

  await page.setInputFiles('#audio', path.join(fixtures, 'sample.qlo.wav'));
  const fromFile = await made('made-from-file.qlo');
  const likeness = speechLikeness(toolDecode(process.env.QUILLO_TOOL, fromFile), source, false);
  assert.ok(likeness > 0.9, `decoded file message against its speech: ${likeness}`);
  // The page's bytes are quillo make's.
  const theirs = path.join(fixtures, 'made-by-tool.qlo');
  execFileSync(process.env.QUILLO_TOOL, ['make', path.join(fixtures, 'sample.qlo.wav'), '-o', theirs,
    '--rate', '8', '--player', 'none'], { stdio: 'ignore' });
  assert.equal(sha256(fs.readFileSync(fromFile)), sha256(fs.readFileSync(theirs)), 'quillo make');

  // The self-playing page of that message: the page's download equals
  // quillo make's NAME.html, which plays from the disk with no network.
  const [htmlDownload] = await Promise.all([page.waitForEvent('download'), page.click('#get-html')]);
  const html = path.join(out, 'made-by-tool.html');
  const said = execFileSync(process.env.QUILLO_TOOL, ['make', path.join(fixtures, 'sample.qlo.wav'),
    '-o', html, '--rate', '8']).toString();
  assert.ok(said.includes(fs.realpathSync(path.join(site, 'message.html'))), `the site's template: ${said}`);
  assert.equal(sha256(fs.readFileSync(await htmlDownload.path())), sha256(fs.readFileSync(html)), 'quillo make .html');
  const template = fs.readFileSync(path.join(site, 'message.html'), 'utf8');
  const sample = fs.readFileSync(path.join(fixtures, 'sample.qlo')).subarray(98304);
  figures.htmlMessageBytesOfSample = template.replace('QUILLO_MESSAGE', sample.toString('base64url')).length;
  const disk = await browser.newContext({ offline: true });
  const local = await disk.newPage();
  const localErrors = [], requests = [];
  local.on('pageerror', (e) => localErrors.push(String(e)));
  local.on('request', (r) => requests.push(r.url()));
  await local.goto(`file://${html}`);
  await waitTitle(local, /^QLO \[00:00:0[1-9]\]-\[00:00:13\]$/);  // at once: no gesture is asked for here
  await local.click('#stop');
  const paused = Number(/\[00:00:(\d\d)\]-/.exec(await local.title())[1]);
  await local.click('#play');  // resumes one block back, then goes on
  await local.waitForFunction((s) => Number(/\[00:00:(\d\d)\]-/.exec(document.title)[1]) > s, paused);
  const localDigest = await local.evaluate(async () => {
    const { q, bytes } = window.quilloMessage;
    const pcm = q.decode(bytes);
    return [...new Uint8Array(await crypto.subtle.digest('SHA-256', pcm.buffer))]
      .map((b) => b.toString(16).padStart(2, '0')).join('');
  });
  assert.equal(localDigest, sha256(toolDecode(process.env.QUILLO_TOOL, fromFile)), 'the .html message');
  await local.click('#stop');
  await local.screenshot({ path: path.join(out, 'html-message.png') });
  assert.deepEqual(localErrors, []);
  assert.deepEqual(requests.filter((u) => !/^(file|data):/.test(u)), [], 'requests from the .html');
  await disk.close();

  await page.selectOption('#rate', '6.4');
  await page.selectOption('#effect', '3');
  await page.fill('#mix', '50');
  await page.click('#record');
  await page.waitForTimeout(4000);
  await page.screenshot({ path: path.join(out, 'recording.png') });
  await page.click('#record');
  const fromMic = await made('made-from-microphone.qlo');
  const info = execFileSync(process.env.QUILLO_TOOL, ['info', fromMic]).toString();
  assert.match(info, /rate: +6\.4 kbit\/s/);
  assert.match(info, /effect: +3, reverberation/);
  assert.match(info, /depth byte 63/);
  const mic = speechLikeness(toolDecode(process.env.QUILLO_TOOL, fromMic, true), source, true);
  assert.ok(mic > 0.6, `decoded microphone message against the speech: ${mic}`);
  figures.likeness = { file: +likeness.toFixed(3), microphone: +mic.toFixed(3) };
  const player = path.join(site, 'Quillo.exe');
  if (fs.existsSync(player)) {  // the site carries the Windows player
    await page.waitForFunction(() => !document.getElementById('get-exe').disabled);
    const [download] = await Promise.all([page.waitForEvent('download'), page.click('#get-exe')]);
    const exe = fs.readFileSync(await download.path());
    const program = fs.readFileSync(player);
    assert.equal(sha256(exe.subarray(0, program.length)), sha256(program));
    assert.equal(sha256(exe.subarray(program.length, 98304)), sha256(Buffer.alloc(98304 - program.length)));
  }
  await page.click('#preview');
  await waitTitle(page, /^QLO \[00:00:0[1-9]\]-/);
  await page.screenshot({ path: path.join(out, 'making.png'), fullPage: true });
  assert.deepEqual(errors, []);
  await close();
});
