// The page: opens a message, plays it as the player does (the two silent
// start buffers, one block per buffer handed back, Stop pauses, Stop again
// rewinds, Play resumes one block back), and offers the WAV and a link.
// Decoding runs in worker.js; this thread only reads headers and titles.
import { createQuillo, toBase64Url, fromBase64Url } from './quillo.js';
import { createPlayer } from './player.js';

const $ = (id) => document.getElementById(id);
const q = await createQuillo();
const SAMPLE_RATE = q.sampleRate;

// --- The decoding thread ------------------------------------------------------
const worker = new Worker(new URL('./worker.js', import.meta.url), { type: 'module' });
const pending = new Map();
let callId = 0;
worker.onmessage = (e) => {
  const p = pending.get(e.data.id);
  pending.delete(e.data.id);
  if (e.data.error) p.reject(new Error(e.data.error));
  else p.resolve(e.data);
};
function call(op, data = {}) {
  return new Promise((resolve, reject) => {
    const id = ++callId;
    pending.set(id, { resolve, reject });
    worker.postMessage({ id, op, ...data });
  });
}

// --- What the page says -----------------------------------------------------------
function say(text, error = false) {
  $('status').textContent = text;
  $('status').classList.toggle('error', error);
}

function effectWords(info) {
  if (info.effectId === 0) return 'none';
  const effect = q.effects[info.effectId];
  if (!effect) return `unknown effect ${info.effectId}: plays without effect`;
  return `${effect.id} ${effect.name} (${effect.description}), depth ${info.depth} of 127 (depth byte ${info.depthByte})`;
}

function clock(info, block) { return q.title(info, block).slice(5, 13); }

function showInfo(info, name) {
  const rate = info.rateCode > 1 && info.rateCode !== 2
    ? `${info.rate} kbit/s (rate code ${info.rateCode})` : `${info.rate} kbit/s`;
  const blocks = [];
  if (info.blocks === 0) blocks.push('No blocks: there is nothing to play.');
  else if (info.rejected === 0) blocks.push(`${info.blocks} blocks, all of them play.`);
  else if (info.rejected === info.blocks) blocks.push(`All ${info.blocks} blocks are damaged: the message plays as silence.`);
  else blocks.push(`${info.blocks} blocks; ${info.rejected} damaged block${info.rejected > 1 ? 's play' : ' plays'} ` +
    `as silence, the first is block ${info.firstRejected} at ${clock(info, info.firstRejected)}.`);
  if (info.mismatched > 0)
    blocks.push(`${info.mismatched} blocks are at ${info.mismatchedRate} kbit/s, not the header's ${info.rate} kbit/s ` +
      `(the first is block ${info.firstMismatched}): their sound is cut or padded.`);
  if (info.shortLastBlock)
    blocks.push(`The last block is short (${info.lastBlockBytes} of 512 bytes); the rest is taken from the block before.`);
  const rows = [['Message', name], ['Rate', rate], ['Effect', effectWords(info)],
    ['Length', q.title(info, 0).slice(-9, -1)], ['Blocks', blocks.join(' ')]];
  const dl = $('info');
  dl.replaceChildren(...rows.flatMap(([k, v]) => {
    const dt = document.createElement('dt');
    const dd = document.createElement('dd');
    dt.textContent = k;
    dd.textContent = v;
    return [dt, dd];
  }));
  dl.hidden = false;
}

// --- The player ----------------------------------------------------------------
const ui = {
  setTitle(text) {
    $('title').textContent = text;
    document.title = text;
  },
  setPlaying(playing) {
    $('play').disabled = playing;
    $('stop').disabled = $('wav').disabled = $('link').disabled = false;
  },
  say,
  focus(which) { $(which).focus(); },
};
const player = createPlayer({
  title: q.title,
  start: async (blockPosition) => (await call('start', { blockPosition })).firstBlock,
  next: async () => {
    const r = await call('next');
    return r.end ? null : r.samples;
  },
  ui,
  sampleRate: SAMPLE_RATE,
});
window.quilloTiming = player.timing;
$('play').onclick = () => player.play();
$('stop').onclick = () => player.stopButton();

async function openMessage(bytes, name, openedAt = performance.now()) {
  let info;
  try {
    info = q.info(bytes);
    player.stop();
    await call('open', { bytes });
  } catch (err) {
    say(`${name}: ${err.message}`, true);
    return;
  }
  player.open(info, openedAt);
  window.quilloTiming = player.timing;
  player.bytes = bytes;
  player.name = name;
  showInfo(info, name);
  ui.setPlaying(false);
  await player.play();
}

async function openFile(file) {
  if (!file) return;
  const openedAt = performance.now();
  try {
    await openMessage(new Uint8Array(await file.arrayBuffer()), file.name, openedAt);
  } catch (err) {
    say(`${file.name}: cannot be read (${err.message})`, true);
  }
}

$('file').onchange = (e) => openFile(e.target.files[0]);
addEventListener('dragover', (e) => { e.preventDefault(); document.body.classList.add('over'); });
addEventListener('dragleave', () => document.body.classList.remove('over'));
addEventListener('drop', (e) => {
  e.preventDefault();
  document.body.classList.remove('over');
  openFile(e.dataTransfer.files[0]);
});

// --- Downloads and links ----------------------------------------------------------
function download(bytes, name, type) {
  const url = URL.createObjectURL(new Blob([bytes], { type }));
  const a = document.createElement('a');
  a.href = url;
  a.download = name;
  document.body.append(a);
  a.click();
  a.remove();
  setTimeout(() => URL.revokeObjectURL(url), 10000);
}

// A 44-byte PCM WAV header, 8 kHz mono 16-bit, then the samples.
function wavBytes(samples) {
  const out = new Uint8Array(44 + samples.length * 2);
  const v = new DataView(out.buffer);
  const text = (at, s) => [...s].forEach((c, i) => { out[at + i] = c.charCodeAt(0); });
  text(0, 'RIFF'); v.setUint32(4, 36 + samples.length * 2, true); text(8, 'WAVEfmt ');
  v.setUint32(16, 16, true); v.setUint16(20, 1, true); v.setUint16(22, 1, true);
  v.setUint32(24, SAMPLE_RATE, true); v.setUint32(28, 2 * SAMPLE_RATE, true);
  v.setUint16(32, 2, true); v.setUint16(34, 16, true); text(36, 'data');
  v.setUint32(40, samples.length * 2, true);
  new Int16Array(out.buffer, 44).set(samples);
  return out;
}

function baseName(name) { return name.replace(/\.[^.]*$/, '') || 'message'; }

$('wav').onclick = async () => {
  say('Decoding for the WAV file...');
  try {
    const { samples, ms } = await call('decode', {});
    window.quilloTiming.decodeMs = ms;
    download(wavBytes(samples), `${baseName(player.name)}.wav`, 'audio/wav');
    say(`WAV file made (${(samples.length / SAMPLE_RATE).toFixed(1)} s of sound).`);
  } catch (err) {
    say(`Cannot decode: ${err.message}`, true);
  }
};

// The link carries the header and blocks (not the player in front) as base64url.
export function messageLink(bytes) {
  return `${location.origin}${location.pathname}#m=${toBase64Url(bytes.subarray(q.payloadOffset))}`;
}

$('link').onclick = async () => {
  const link = messageLink(player.bytes);
  window.quilloTiming.link = link;
  try {
    await navigator.clipboard.writeText(link);
    say(`Link copied (${link.length} characters).`);
  } catch {
    say(`Copy this link (${link.length} characters) from the address bar.`);
    history.replaceState(null, '', link);
  }
};

async function openLink() {
  const m = /^#m=([A-Za-z0-9_-]*)$/.exec(location.hash);
  if (!m) return;
  let payload;
  try {
    payload = fromBase64Url(m[1]);
  } catch {
    say('The link does not hold a message.', true);
    return;
  }
  const bytes = new Uint8Array(q.payloadOffset + payload.length);
  bytes.set(payload, q.payloadOffset);
  await openMessage(bytes, 'the message of the link');
}
addEventListener('hashchange', openLink);
// --- Making a message ----------------------------------------------------------
const maker = { pcm: null, name: 'message', recording: null, player: null };
const sayMaking = (text, error = false) => {
  $('make-status').textContent = text;
  $('make-status').classList.toggle('error', error);
};

$('effect').append(...q.effects.map((e) => new Option(e.name, String(e.id))));
$('effect').onchange = () => { $('effect-about').textContent = q.effects[Number($('effect').value)].description; };
$('effect').onchange();
$('mix').oninput = () => { $('mix-value').textContent = `${$('mix').value} %`; };

// The depth byte of a mix of `percent` of the effect, as quillo make's --mix.
const depthByteForMix = (percent) => 127 - Math.floor((percent * 127 + 50) / 100);

function makeOptions(player) {
  return { rate: Number($('rate').value), effectId: Number($('effect').value),
    depthByte: depthByteForMix(Number($('mix').value)), player };
}

// 8 kHz mono 16-bit samples of an AudioBuffer: the channels averaged,
// resampled by the browser, rounded and limited to 16 bits.
async function toPcm8k(buffer) {
  let mono = buffer;
  if (buffer.sampleRate !== SAMPLE_RATE || buffer.numberOfChannels !== 1) {
    const length = Math.ceil(buffer.duration * SAMPLE_RATE);
    const offline = new OfflineAudioContext(1, Math.max(1, length), SAMPLE_RATE);
    const source = offline.createBufferSource();
    source.buffer = buffer;
    source.connect(offline.destination);
    source.start();
    mono = await offline.startRendering();
  }
  const data = mono.getChannelData(0);
  const pcm = new Int16Array(data.length);
  for (let i = 0; i < data.length; i++) pcm[i] = Math.max(-32768, Math.min(32767, Math.round(data[i] * 32768)));
  return pcm;
}

// The samples of a WAV file that already is 8 kHz mono 16-bit PCM, taken as
// they are (the browser's decoder may change a few of them); null for any
// other file.
function wavPcm8k(bytes) {
  const v = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
  const tag = (at) => String.fromCharCode(...bytes.subarray(at, at + 4));
  if (bytes.length < 12 || tag(0) !== 'RIFF' || tag(8) !== 'WAVE') return null;
  let plain = false;
  for (let at = 12; at + 8 <= bytes.length; at += 8 + v.getUint32(at + 4, true) + (v.getUint32(at + 4, true) & 1)) {
    const size = v.getUint32(at + 4, true);
    if (tag(at) === 'fmt ' && size >= 16)
      plain = v.getUint16(at + 8, true) === 1 && v.getUint16(at + 10, true) === 1 &&
        v.getUint32(at + 12, true) === SAMPLE_RATE && v.getUint16(at + 22, true) === 16;
    if (tag(at) === 'data' && plain) {
      const n = Math.floor(Math.min(size, bytes.length - at - 8) / 2);
      return new Int16Array(bytes.slice(at + 8, at + 8 + 2 * n).buffer);
    }
  }
  return null;
}

function haveRecording(pcm, name) {
  maker.pcm = pcm;
  maker.name = name;
  $('preview').disabled = $('get-qlo').disabled = $('get-html').disabled = $('make-link').disabled =
    pcm.length === 0;
  $('get-exe').disabled = pcm.length === 0 || !maker.player;
  sayMaking(pcm.length === 0 ? 'The recording is empty.'
    : `${(pcm.length / SAMPLE_RATE).toFixed(1)} s of sound ready. Choose rate, effect and mix, then preview or download.`,
  pcm.length === 0);
}

$('audio').onchange = async (e) => {
  const file = e.target.files[0];
  if (!file) return;
  try {
    const bytes = new Uint8Array(await file.arrayBuffer());
    const exact = wavPcm8k(bytes);
    if (exact) {
      haveRecording(exact, baseName(file.name));
      return;
    }
    const decoded = await new OfflineAudioContext(1, 1, SAMPLE_RATE).decodeAudioData(bytes.buffer);
    haveRecording(await toPcm8k(decoded), baseName(file.name));
  } catch (err) {
    sayMaking(`${file.name}: the browser cannot read it as sound (${err.message || err}).`, true);
  }
};

$('record').onclick = async () => {
  if (maker.recording) {  // stop recording
    const { context, stream, chunks, node } = maker.recording;
    maker.recording = null;
    node.disconnect();
    stream.getTracks().forEach((t) => t.stop());
    const length = chunks.reduce((n, c) => n + c.length, 0);
    const buffer = context.createBuffer(1, Math.max(1, length), context.sampleRate);
    let at = 0;
    for (const c of chunks) { buffer.getChannelData(0).set(c, at); at += c.length; }
    context.close();
    $('record').classList.remove('on');
    $('record').lastChild.textContent = ' Record';
    haveRecording(length ? await toPcm8k(buffer) : new Int16Array(0), 'recording');
    return;
  }
  try {
    const stream = await navigator.mediaDevices.getUserMedia({
      audio: { echoCancellation: false, noiseSuppression: false, autoGainControl: false, channelCount: 1 } });
    const context = new AudioContext();
    const input = context.createMediaStreamSource(stream);
    const node = context.createScriptProcessor(4096, 1, 1);
    const chunks = [];
    node.onaudioprocess = (ev) => chunks.push(new Float32Array(ev.inputBuffer.getChannelData(0)));
    input.connect(node);
    node.connect(context.destination);  // (the processor runs only when connected; it outputs silence)
    maker.recording = { context, stream, chunks, node };
    $('record').classList.add('on');
    $('record').lastChild.textContent = ' Stop recording';
    sayMaking('Recording... press Stop recording when done.');
  } catch (err) {
    sayMaking(`No microphone: ${err.message || err}`, true);
  }
};

async function makeMessage(player) {
  const r = await call('make', { pcm: maker.pcm, options: makeOptions(player) });
  if (r.unplayableBlocks > 0) sayMaking(`${r.unplayableBlocks} blocks of this message will play as silence.`, true);
  return r.bytes;
}

async function makeAnd(what, player) {
  try {
    const bytes = await makeMessage(player);
    await what(bytes);
  } catch (err) {
    sayMaking(`Cannot make the message: ${err.message}`, true);
  }
}

$('preview').onclick = () => makeAnd((bytes) => openMessage(bytes, `${maker.name} (preview)`));
$('get-qlo').onclick = () => makeAnd((bytes) => {
  download(bytes, `${maker.name}.qlo`, 'application/octet-stream');
  sayMaking(`${maker.name}.qlo made (${bytes.length} bytes).`);
});
$('get-exe').onclick = () => makeAnd((bytes) => {
  download(bytes, `${maker.name}.exe`, 'application/vnd.microsoft.portable-executable');
  sayMaking(`${maker.name}.exe made: it plays itself on Windows.`);
}, maker.player);
// The self-playing page: the site's template with the message in it.
$('get-html').onclick = () => makeAnd(async (bytes) => {
  const response = await fetch('./message.html');
  if (!response.ok) throw new Error('the site has no message.html');
  const page = (await response.text()).replace('QUILLO_MESSAGE', () => toBase64Url(bytes.subarray(q.payloadOffset)));
  download(page, `${maker.name}.html`, 'text/html');
  sayMaking(`${maker.name}.html made (${page.length} bytes): it plays itself in any browser, from a disk too.`);
});
$('make-link').onclick = () => makeAnd(async (bytes) => {
  const link = messageLink(bytes);
  window.quilloTiming.link = link;
  try {
    await navigator.clipboard.writeText(link);
    sayMaking(`Link copied (${link.length} characters).`);
  } catch {
    sayMaking(`The link (${link.length} characters) is in the address bar.`);
    history.replaceState(null, '', link);
  }
});

// The Windows player, when the site carries one.
fetch('./Quillo.exe').then(async (r) => {
  if (!r.ok) throw new Error(String(r.status));
  maker.player = new Uint8Array(await r.arrayBuffer());
  if (maker.pcm && maker.pcm.length) $('get-exe').disabled = false;
}).catch(() => { $('get-exe').title = 'This site has no Windows player (build the windows preset first).'; });

window.quilloPage = { player, maker, messageLink };
await openLink();
