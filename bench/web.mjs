#!/usr/bin/env node
// How fast the browser edition runs a program: bench/contatore.asm and
// bench/misto.asm run by the site's worker in headless Chromium, the way
// "Esegui" runs them (in slices, yielding to the worker's messages between
// them), beside the native tarnsim running the same images on the same
// machine, the two sides taking turns. Prints the guest instructions per
// second of each, the median and the best of RUNS runs (5 by default), and
// the browser's speed as a fraction of the native one.
//
//     node bench/web.mjs [BUILD_WEB [BUILD [RUNS]]]
//
// BUILD_WEB is the browser edition's build folder (build-web by default,
// with site/ built), BUILD the native one (build by default, with tarnsim,
// bench/*.bin and bench/tarncount). Nothing is built here.
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
const programs = ['contatore', 'misto'];
process.env.TARNWEB_SITE = resolve(webArg ?? join(repo, 'build-web'));
process.env.TARNSIM_NATIVE_BUILD = resolve(nativeArg ?? join(repo, 'build'));
const harness = await import('../src/programs/web/tests/harness.mjs');
const { nativeBuild, siteDir } = harness;

for (const missing of [
    harness.siteMissing,
    harness.chromiumMissing,
    ...['tarnsim', ...programs.map((name) => `bench/${name}.bin`), 'bench/tarncount']
        .map((file) => join(nativeBuild, file))
        .map((path) => !existsSync(path) && `manca ${path}`),
]) {
    if (missing) {
        console.error(`web: ${missing}`);
        process.exit(2);
    }
}

// How many instructions a program executes, counted by the native machine.
function countInstructions(image) {
    const counted = spawnSync(join(nativeBuild, 'bench/tarncount'), [image], { input: '' });
    const instructions = Number(counted.stdout.toString().trim());
    if (counted.status !== 0 || !(instructions > 0)) {
        console.error(`web: tarncount non ha contato le istruzioni di ${image}`);
        process.exit(1);
    }
    return instructions;
}

const benches = programs.map((name) => {
    const image = join(nativeBuild, `bench/${name}.bin`);
    return { name, image, source: readFileSync(join(repo, `bench/${name}.asm`), 'utf8'), instructions: countInstructions(image) };
});

function median(values) {
    const sorted = [...values].sort((a, b) => a - b);
    const middle = sorted.length >> 1;
    return sorted.length % 2 ? sorted[middle] : (sorted[middle - 1] + sorted[middle]) / 2;
}

const figure = (value) => value.toFixed(value < 10 ? 2 : 1).padStart(8);

// --- the native tarnsim: a whole run of the image, start-up included.
function nativeSeconds(image) {
    const start = process.hrtime.bigint();
    const result = spawnSync(join(nativeBuild, 'tarnsim'), [image], { input: '', maxBuffer: 1 << 20 });
    const seconds = Number(process.hrtime.bigint() - start) / 1e9;
    if (result.status !== 0) {
        console.error(`web: tarnsim è uscito con stato ${result.status}`);
        process.exit(1);
    }
    return seconds;
}

// --- the worker in Chromium, on a blank page of the site's origin: it
// loads the module and stays, running a program when asked.
const server = await harness.startServer({
    routes: { '/misura.html': { type: 'text/html; charset=utf-8', body: '<!doctype html><title>misura</title>' } },
});
const browser = await harness.openBrowser({ serviceWorkers: 'block' });
const fail = async (message) => {
    console.error(`web: ${message}`);
    await browser.close();
    await server.stop();
    process.exit(1);
};
await browser.page.goto(server.url('misura.html'));
const started = await browser.page.evaluate(async () => {
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
    // One run of a program: its time and what the worker said it executed.
    globalThis.runOnce = async ({ source, name }) => {
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
        const reply = await request('run', { source, name, input: '' });
        started = true;
        if (!reply.ok || reply.failed) return { error: reply.error ?? JSON.stringify(reply.diagnostics) };
        const state = await finished;
        const seconds = (performance.now() - start) / 1000;
        if (state !== 'halted') return { error: `la macchina si è fermata nello stato ${state}` };
        return { seconds, events: events.length, sum: events.reduce((a, b) => a + b, 0), last: events.at(-1) };
    };
    const init = await request('init', { wasm }, [wasm]);
    return init.ok ? { userAgent: navigator.userAgent } : { error: init.error };
});
if (started.error) await fail(`il worker: ${started.error}`);

// The two sides take turns, run after run, so that a busier stretch of the
// machine falls on both.
for (const bench of benches) {
    bench.native = [];
    bench.web = [];
    bench.events = [];
    for (let i = 0; i < runs; i++) {
        bench.native.push(nativeSeconds(bench.image));
        const run = await browser.page.evaluate((args) => globalThis.runOnce(args), { source: bench.source, name: bench.name });
        if (run.error) await fail(`il worker: ${run.error}`);
        // The worker reports what each slice executed, or the running
        // total: either must add up to what tarncount counted.
        if (run.sum !== bench.instructions && run.last !== bench.instructions) {
            await fail(`il worker dice di aver eseguito ${run.sum} istruzioni (ultima fetta ${run.last}), tarncount ${bench.instructions}`);
        }
        bench.web.push(run.seconds);
        bench.events.push(run.events);
    }
}
await browser.close();
await server.stop();

const chromium = started.userAgent.match(/(?:Headless)?Chrome\/[\d.]+/)?.[0] ?? 'Chromium';
console.log(`${runs} esecuzioni per parte, alternate; milioni di istruzioni al secondo`);
console.log(`${''.padEnd(46)}  mediana  migliore`);
for (const bench of benches) {
    const perSecond = (seconds) => bench.instructions / seconds / 1e6;
    console.log(`${bench.name}.asm: ${bench.instructions} istruzioni`);
    console.log(`  nativo (${join(nativeBuild, 'tarnsim').replace(repo + '/', '')})`.padEnd(46) + `${figure(perSecond(median(bench.native)))}  ${figure(perSecond(Math.min(...bench.native)))}`);
    console.log(`  browser (${chromium}, worker)`.padEnd(46) + `${figure(perSecond(median(bench.web)))}  ${figure(perSecond(Math.min(...bench.web)))}`);
    console.log(`  ${median(bench.events)} eventi "run" per esecuzione; il browser va a ${(median(bench.native) / median(bench.web)).toFixed(2)} volte il nativo (mediane; obiettivo 0,5)`);
}
console.log(`  sito: ${siteDir.replace(repo + '/', '')}`);
