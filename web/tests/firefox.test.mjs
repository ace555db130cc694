// The page and the self-playing .html in Debian's Firefox ESR, headless,
// driven by puppeteer-core over WebDriver BiDi, with Firefox's own autoplay
// policy: sound waits for the first click. Firefox plays only through a
// sound server: the tests start a private PulseAudio with a null sink.
// Environment as for page.test.mjs; the output goes into QUILLO_OUT/firefox.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { execFileSync, spawn } from 'node:child_process';
import puppeteer from 'puppeteer-core';
import { serve } from './server.mjs';
import { makeFixtures, sha256, toolDecode } from './fixtures.mjs';

const site = path.resolve(process.env.QUILLO_SITE);
const out = path.join(path.resolve(process.env.QUILLO_OUT), 'firefox');
const fixtures = path.join(out, 'fixtures');
let server, browser, expected, pulse;

// A PulseAudio of our own, whose only sink discards the sound.
async function startPulse() {
  const dir = path.join(out, 'pulse');
  fs.mkdirSync(path.join(dir, 'run'), { recursive: true });
  const socket = path.join(dir, 'native');
  fs.writeFileSync(path.join(dir, 'quillo.pa'), `load-module module-native-protocol-unix auth-anonymous=1 socket=${socket}
load-module module-null-sink sink_name=quillo_null
set-default-sink quillo_null
`);
  pulse = spawn('pulseaudio', ['-n', '-F', path.join(dir, 'quillo.pa'), '--exit-idle-time=-1',
    '--daemonize=no', '--use-pid-file=no'], { env: { ...process.env, HOME: dir, XDG_RUNTIME_DIR: path.join(dir, 'run') },
    stdio: ['ignore', 'ignore', fs.openSync(path.join(out, 'pulseaudio.log'), 'w')] });
  for (let i = 0; i < 100 && !fs.existsSync(socket); i++) await new Promise((r) => setTimeout(r, 100));
  assert.ok(fs.existsSync(socket), 'PulseAudio did not start (see pulseaudio.log)');
  return `unix:${socket}`;
}

before(async () => {
  fs.rmSync(out, { recursive: true, force: true });
  expected = makeFixtures(process.env.QUILLO_TOOL, fixtures, process.env.QUILLO_SAMPLE);
  server = await serve({ '/fixtures/': fixtures, '/': site });
  const PULSE_SERVER = await startPulse();
  browser = await puppeteer.launch({ browser: 'firefox', executablePath: '/usr/bin/firefox-esr',
    headless: true, env: { ...process.env, PULSE_SERVER } });
});

after(async () => {
  await browser?.close();
  server?.close();
  pulse?.kill();
});

async function openPage(url) {
  const page = await browser.newPage();
  const errors = [], requests = [];
  page.on('pageerror', (e) => errors.push(String(e)));
  page.on('request', (r) => requests.push(r.url()));
  await page.goto(url);
  return { page, errors, requests };
}

// The title's position in seconds, and waiting for it to pass `after`.
const seconds = async (page) => Number(/^QLO \[00:00:(\d\d)\]-/.exec(await page.title())[1]);
const playsOn = (page, after) => page.waitForFunction((s) =>
  Number(/^QLO \[00:00:(\d\d)\]-/.exec(document.title)?.[1] ?? -1) > s, { timeout: 15000 }, after);

// The SHA-256 of the samples the page's module decodes of the message the
// page holds (the self-playing page's, or the site's player's).
const decodedDigest = (page) => page.evaluate(async () => {
  const { q, bytes } = window.quilloMessage ??
    { q: await (await import('./quillo.js')).createQuillo(), bytes: window.quilloPage.player.bytes };
  const pcm = q.decode(bytes);
  return [...new Uint8Array(await crypto.subtle.digest('SHA-256', pcm.buffer))]
    .map((b) => b.toString(16).padStart(2, '0')).join('');
});

test('Firefox: quillo make\'s .html from the disk plays after a click; Stop, Play', async () => {
  const html = path.join(out, 'sample.html');
  execFileSync(process.env.QUILLO_TOOL, ['make', path.join(fixtures, 'sample.qlo.wav'), '-o', html],
    { stdio: 'ignore' });
  const { page, errors, requests } = await openPage(`file://${html}`);
  await page.waitForFunction(() => /Click or press a key/.test(document.getElementById('status').textContent));
  await new Promise((resolve) => setTimeout(resolve, 1000));
  assert.equal(await page.title(), 'QLO [00:00:00]-[00:00:13]', 'no sound, no time before the click');
  await page.click('body');
  await playsOn(page, 0);
  assert.equal(await page.$eval('#status', (e) => e.textContent), 'Playing.');
  await page.click('#stop');
  const paused = await seconds(page);
  await page.click('#play');
  await playsOn(page, paused);
  await page.screenshot({ path: path.join(out, 'html-message.png') });
  const made = path.join(out, 'sample.qlo');  // the same message, as a plain file
  execFileSync(process.env.QUILLO_TOOL, ['make', path.join(fixtures, 'sample.qlo.wav'), '-o', made]);
  assert.equal(await decodedDigest(page), sha256(toolDecode(process.env.QUILLO_TOOL, made)));
  assert.deepEqual(errors, []);
  assert.deepEqual(requests.filter((u) => !/^(file|data):/.test(u)), [], 'requests from the .html');
  await page.close();
});

test('Firefox: the page plays an opened message and decodes it as quillo decode', async () => {
  const { page, errors } = await openPage(`${server.url}/index.html`);
  await page.waitForFunction(() => window.quilloPage);
  await (await page.$('#file')).uploadFile(path.join(fixtures, 'rate64-reverb.qlo'));
  // Here Firefox starts the sound without a gesture, a little after the
  // context was made: the status must follow.
  await page.waitForFunction(() => /^QLO \[00:00:0[1-9]\]-/.test(document.title), { timeout: 15000 });
  assert.equal(await page.$eval('#status', (e) => e.textContent), 'Playing.');
  assert.equal(await decodedDigest(page), expected['rate64-reverb.qlo'].wet);
  await page.screenshot({ path: path.join(out, 'playing.png') });
  assert.deepEqual(errors, []);
  await page.close();
});
