// Stepping back in the browser edition's debugger after a long run: the
// wasm module under node, a program that loops for ever, the session run
// forwards ten million instructions (in the worker's slices), then steps
// back one at a time. The session keeps a bounded history: each step back
// re-executes from the nearest snapshot, at most one interval.
//
//     node bench/web_history.mjs [BUILD-WEB] [INSTRUCTIONS]
import { readFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';

const root = resolve(fileURLToPath(import.meta.url), '../..');
const build = resolve(process.argv[2] || join(root, 'build-web'));
const total = Number(process.argv[3] || 10_000_000);
const module = await createRequire(import.meta.url)(join(build, 'tarnweb.js'))({ wasmBinary: readFileSync(join(build, 'tarnweb.wasm')) });

const encoder = new TextEncoder();
const decoder = new TextDecoder();
function call(fn, ...texts) {
    const args = [], pointers = [];
    for (const text of texts) {
        if (typeof text === 'number') { args.push(text); continue; }
        const bytes = encoder.encode(text);
        const pointer = module._tw_alloc(bytes.length);
        module.HEAPU8.set(bytes, pointer);
        pointers.push(pointer);
        args.push(pointer, bytes.length);
    }
    const result = fn(...args);
    for (const pointer of pointers) module._tw_free(pointer);
    return JSON.parse(decoder.decode(module.HEAPU8.subarray(result, result + module._tw_size())));
}
const debug = (op, number = 0) => call(module._tw_debug, op, number, '');

// Adds, copies and counts in memory for ever: every step writes.
const source = `
ciclo:  ADD somma, uno
        CPY somma, copia
        INC conta
        JMP ciclo
somma:  DB 0
uno:    DB 1
copia:  DB 0
conta:  DB 0
`;
call(module._tw_debug_start, source, 'storia', '');
let start = performance.now();
let view;
while ((view = debug('continue', Math.min(2_000_000, total - (view?.view.position ?? 0)))).view.position < total);
const forwards = performance.now() - start;
console.log(`avanti: ${view.view.position} istruzioni in ${forwards.toFixed(0)} ms (${(view.view.position / forwards / 1000).toFixed(1)} milioni al secondo, con la vista)`);

const backs = 2000;
const times = [];
for (let i = 0; i < backs; i++) {
    const t = performance.now();
    const answer = debug('back');
    times.push(performance.now() - t);
    if (answer.view.position !== total - i - 1) throw new Error(`posizione ${answer.view.position} invece di ${total - i - 1}`);
}
times.sort((a, b) => a - b);
const mean = times.reduce((a, b) => a + b, 0) / times.length;
console.log(`indietro: ${backs} passi dopo ${total} istruzioni: media ${mean.toFixed(3)} ms, mediana ${times[backs >> 1].toFixed(3)} ms, ` +
            `95% ${times[Math.floor(backs * 0.95)].toFixed(3)} ms, massimo ${times[backs - 1].toFixed(3)} ms (vista JSON compresa)`);
// The view alone, for comparison: what every reply costs anyway.
start = performance.now();
for (let i = 0; i < 1000; i++) debug('view');
console.log(`solo la vista: ${((performance.now() - start) / 1000).toFixed(3)} ms`);
