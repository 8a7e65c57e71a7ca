#!/usr/bin/env node
// How fast the browser edition runs a program: bench/contatore.asm run by
// the site's worker in headless Chromium, the way "Esegui" runs it (in
// slices, yielding to the worker's messages between them), beside the native
// tarnsim running the same image on the same machine. Prints the guest
// instructions per second of each, the median and the best of RUNS runs (5
// by default), and their ratio.
//
//     node bench/web.mjs [BUILD_WEB [BUILD [RUNS]]]
//
// BUILD_WEB is the browser edition's build folder (build-web by default,
// with site/ built), BUILD the native one (build by default, with tarnsim,
// bench/contatore.bin and bench/tarncount). Nothing is built here.
import { spawnSync } from 'node:child_process';
import { existsSync, readFileSync } from 'node:fs';
import { dirname, join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';

const repo = resolve(dirname(fileURLToPath(import.meta.url)), '..');
const [webArg, nativeArg, runsArg = '5'] = process.argv.slice(2);
if (!/^[1-9][0-9]*$/.test(runsArg)) {
    console.error(`web: il numero di esecuzioni deve essere un intero positivo: '${runsArg}'`);
    process.exit(2);
}
const runs = Number(runsArg);
process.env.TARNWEB_SITE = resolve(webArg ?? join(repo, 'build-web'));
process.env.TARNSIM_NATIVE_BUILD = resolve(nativeArg ?? join(repo, 'build'));
const harness = await import('../src/programs/web/tests/harness.mjs');
const { nativeBuild, siteDir } = harness;

for (const missing of [
    harness.siteMissing,
    harness.chromiumMissing,
    ...['tarnsim', 'bench/contatore.bin', 'bench/tarncount']
        .map((file) => join(nativeBuild, file))
        .map((path) => !existsSync(path) && `manca ${path}`),
]) {
    if (missing) {
        console.error(`web: ${missing}`);
        process.exit(2);
    }
}

const source = readFileSync(join(repo, 'bench/contatore.asm'), 'utf8');
const image = join(nativeBuild, 'bench/contatore.bin');

// How many instructions the program executes, counted by the native machine.
const counted = spawnSync(join(nativeBuild, 'bench/tarncount'), [image], { input: '' });
const instructions = Number(counted.stdout.toString().trim());
if (counted.status !== 0 || !(instructions > 0)) {
    console.error(`web: tarncount non ha contato le istruzioni di ${image}`);
    process.exit(1);
}

function median(values) {
    const sorted = [...values].sort((a, b) => a - b);
    const middle = sorted.length >> 1;
    return sorted.length % 2 ? sorted[middle] : (sorted[middle - 1] + sorted[middle]) / 2;
}

const perSecond = (seconds) => instructions / seconds / 1e6;
const figure = (value) => value.toFixed(value < 10 ? 2 : 1).padStart(8);

// --- the native tarnsim: a whole run of the image, start-up included.
const nativeSeconds = [];
for (let i = 0; i < runs; i++) {
    const start = process.hrtime.bigint();
    const result = spawnSync(join(nativeBuild, 'tarnsim'), [image], { input: '', maxBuffer: 1 << 20 });
    const seconds = Number(process.hrtime.bigint() - start) / 1e9;
    if (result.status !== 0) {
        console.error(`web: tarnsim è uscito con stato ${result.status}`);
        process.exit(1);
    }
    nativeSeconds.push(seconds);
}

// --- the worker in Chromium, on a blank page of the site's origin.
const server = await harness.startServer({
    routes: { '/misura.html': { type: 'text/html; charset=utf-8', body: '<!doctype html><title>misura</title>' } },
});
const browser = await harness.openBrowser({ serviceWorkers: 'block' });
let worker;
try {
    await browser.page.goto(server.url('misura.html'));
    worker = await browser.page.evaluate(
        async ({ source, runs }) => {
            const wasm = await (await fetch('tarnweb.wasm')).arrayBuffer();
            const worker = new Worker('worker.js');
            let nextId = 1;
            const replies = new Map();
            let onEvent = () => {};
            worker.onmessage = ({ data }) => {
                if (data.id !== undefined) replies.get(data.id)?.(data);
                else onEvent(data);
            };
            const request = (op, args = {}, transfer = []) =>
                new Promise((done) => {
                    const id = nextId++;
                    replies.set(id, done);
                    worker.postMessage({ id, op, ...args }, transfer);
                });
            const init = await request('init', { wasm }, [wasm]);
            if (!init.ok) return { error: init.error };
            const timings = [];
            for (let i = 0; i < runs; i++) {
                const events = [];
                // What comes before the reply is about the run before.
                let started = false;
                const finished = new Promise((done) => {
                    onEvent = (event) => {
                        if (event.event !== 'run' || !started) return;
                        events.push(event.executed);
                        if (event.state !== 'running') done(event.state);
                    };
                });
                const start = performance.now();
                const reply = await request('run', { source, name: 'contatore', input: '' });
                started = true;
                if (!reply.ok || reply.failed) return { error: reply.error ?? JSON.stringify(reply.diagnostics) };
                const state = await finished;
                const seconds = (performance.now() - start) / 1000;
                if (state !== 'halted') return { error: `la macchina si è fermata nello stato ${state}` };
                timings.push({ seconds, events: events.length, sum: events.reduce((a, b) => a + b, 0), last: events.at(-1) });
            }
            worker.terminate();
            return { timings, userAgent: navigator.userAgent };
        },
        { source, runs },
    );
} finally {
    await browser.close();
    await server.stop();
}
if (worker.error) {
    console.error(`web: il worker: ${worker.error}`);
    process.exit(1);
}
// The worker reports what each slice executed, or the running total: either
// must add up to what tarncount counted.
for (const run of worker.timings) {
    if (run.sum !== instructions && run.last !== instructions) {
        console.error(`web: il worker dice di aver eseguito ${run.sum} istruzioni (ultima fetta ${run.last}), tarncount ${instructions}`);
        process.exit(1);
    }
}

const webSeconds = worker.timings.map((r) => r.seconds);
const events = median(worker.timings.map((r) => r.events));
const chromium = worker.userAgent.match(/(?:Headless)?Chrome\/[\d.]+/)?.[0] ?? 'Chromium';
console.log(`contatore.asm: ${instructions} istruzioni, ${runs} esecuzioni; milioni di istruzioni al secondo`);
console.log(`${''.padEnd(46)}  mediana  migliore`);
console.log(`  nativo (${join(nativeBuild, 'tarnsim').replace(repo + '/', '')})`.padEnd(46) + `${figure(perSecond(median(nativeSeconds)))}  ${figure(perSecond(Math.min(...nativeSeconds)))}`);
console.log(`  browser (${chromium}, worker)`.padEnd(46) + `${figure(perSecond(median(webSeconds)))}  ${figure(perSecond(Math.min(...webSeconds)))}`);
console.log(`  ${events} eventi "run" per esecuzione; il nativo è ${(median(webSeconds) / median(nativeSeconds)).toFixed(1)} volte più veloce (mediane)`);
console.log(`  sito: ${siteDir.replace(repo + '/', '')}; obiettivo nel browser: almeno 150 milioni al secondo`);
