// node bundle.mjs SITE_DIR TEMPLATE_DIR OUT: writes the self-playing page's
// template: message.html with quillo.js, player.js (their import and export
// words taken out), the WebAssembly as base64 and message.js inlined; the
// word QUILLO_MESSAGE is left for the message.
import fs from 'node:fs';
import path from 'node:path';

const [site, template, out] = process.argv.slice(2);
const module = (file) => fs.readFileSync(file, 'utf8')
  .replace(/^import .*$/gm, '')
  .replace(/^export /gm, '');
const script = [
  `const QUILLO_WASM = '${fs.readFileSync(path.join(site, 'quillo.wasm')).toString('base64')}';`,
  module(path.join(site, 'quillo.js')),
  module(path.join(site, 'player.js')),
  module(path.join(template, 'message.js')),
].join('\n');
const html = fs.readFileSync(path.join(template, 'message.html'), 'utf8');
fs.writeFileSync(out, html.replace('QUILLO_SCRIPT', () => script));
