// The page's main flows, stated once and run in each engine (TARNWEB_ENGINE:
// chromium, firefox or webkit; see ../engines/engines.mjs): a typed program
// run with a word typed in "Parola" and saved, the tracer, a step forwards
// and back in the debugger, "Fase" through one instruction, an exercise
// verified, a shared link copied and opened, and the single file from
// file://. What a flow shows is compared
// with the native programs. Every wait is for the flow's own result, on a
// page just loaded.
import assert from 'node:assert/strict';
import { copyFileSync, readFileSync } from 'node:fs';
import { join } from 'node:path';
import { after, before, test } from 'node:test';
import { pathToFileURL } from 'node:url';
import { deflateRawSync } from 'node:zlib';
import { examplesDir, nativeMissing, runNative, singleFile, singleFileMissing, siteMissing, startServer, tempFolder } from '../harness.mjs';
import { engine, engineMissing, openEngine } from '../engines/engines.mjs';
import { nativeRun } from './features-page.mjs';

const skip = (await engineMissing(engine)) || siteMissing || nativeMissing;
const example = (name, ext = 'asm') => readFileSync(join(examplesDir, `${name}.${ext}`), 'utf8');
const exercisesDir = join(examplesDir, 'esercizi');

let page;
let server;
before(async () => {
    if (skip) return;
    server = await startServer();
    page = await openEngine(engine);
});
after(async () => {
    await page?.close();
    await server?.stop();
});

// ------------------------------------------------------------ the page

// Loads an address, or a path of the site, and waits for the page to be ready.
async function open(address) {
    await page.goto(/^[a-z]+:/.test(address) ? address : server.url(address));
    await page.waitFor(() => document.body.dataset.ready === 'true');
}

const idle = () => page.waitFor(() => !document.getElementById('run').disabled && document.getElementById('stop').disabled);

// A run that has ended by itself, with the buttons back.
const ended = () =>
    page.waitFor(
        () =>
            /Il programma è terminato\./.test(document.getElementById('messages').textContent) &&
            !document.getElementById('run').disabled &&
            document.getElementById('stop').disabled,
    );

// The debugger's answer to a command: the buttons back, and `count`
// instructions executed.
const debuggerAt = (count) =>
    page.waitFor(
        (n) => !document.getElementById('step').disabled && new RegExp(`istruzioni eseguite: ${n}\\b`).test(document.getElementById('messages').textContent),
        count,
    );

// The editor, found by its name as a screen reader finds it: the pane's title.
const editorField = '[role="textbox"][aria-label="Programma"]';

const sourceText = () => page.evaluate(() => [...document.querySelectorAll('#editor .cm-line')].map((l) => l.textContent).join('\n'));

const machine = () =>
    page.evaluate(() => ({
        registers: [...document.querySelectorAll('#registers > :not(.hex)')].map((e) => e.textContent),
        memory: [...document.querySelectorAll('#memory tbody td')].map((td) => td.textContent),
    }));

// The address of the page with `work` in a shared link, built here as the
// page builds it: JSON, raw deflate, base64url.
function linkTo(path, work) {
    return `${path}#c=${deflateRawSync(Buffer.from(JSON.stringify(work))).toString('base64url')}`;
}

// Typed without indentation, as the editor keeps the indentation of the
// line before on Enter.
const typedProgram = [
    '; legge una parola e la ripete',
    'inizio: INP parola',
    'WRT saluto',
    'WRT parola',
    'RST',
    'saluto: DB "Hai scritto: ", 0',
    'parola: DB 0, 0, 0, 0, 0, 0, 0, 0, 0, 0',
    '',
].join('\n');

// ------------------------------------------------------------- the flows

test(`${engine}: a typed program runs as tarnsim runs it, with a word typed in "Parola", and "Salva" saves it`, { skip }, async (t) => {
    await open('index.html');
    await page.fill(editorField, typedProgram);
    assert.equal(await sourceText(), typedProgram);
    await page.fill('#file-name', 'prova');
    await page.fill('#input', '');
    const native = nativeRun(t, typedProgram, { name: 'prova', input: 'però' });

    await page.click('#run');
    await page.waitFor(() => !document.getElementById('word-box').hidden);
    await page.fill('#word', 'però');
    await page.press('Enter');
    await ended();
    assert.equal(await page.text('#console'), native.console);
    assert.equal(await page.text('#output'), 'Hai scritto: però');

    const saved = await page.download(() => page.click('#save'));
    assert.deepEqual(saved, { name: 'prova.asm', text: typedProgram });
});

test(`${engine}: the tracer waits for a key in the console, then for "Tasto", and ends as tarnsim does`, { skip }, async (t) => {
    await open('index.html');
    await page.choose('#examples', 'traccia');
    assert.equal(await sourceText(), example('traccia'));
    const native = nativeRun(t, example('traccia'), { name: 'traccia', input: example('traccia', 'in') });

    await page.click('#run');
    // Waiting on a traced instruction, or over; the console has grown past `shown`.
    const next = (shown) =>
        page.waitFor(
            (n) =>
                document.getElementById('console').textContent.length > n &&
                (!document.getElementById('key').disabled || /terminato/.test(document.getElementById('messages').textContent)),
            shown,
        );
    const tracing = () => page.evaluate(() => !document.getElementById('key').disabled);
    await next(0);
    assert.ok(await tracing());
    assert.doesNotMatch(await page.text('#console'), /Dopo la traccia/);
    // The console took the focus: any key goes on.
    assert.equal(await page.evaluate(() => document.activeElement.id), 'console');
    let shown = (await page.text('#console')).length;
    await page.press('x');
    await next(shown);
    for (let presses = 0; await tracing(); presses++) {
        assert.ok(presses < 50, 'the trace should end');
        shown = (await page.text('#console')).length;
        await page.click('#key');
        await next(shown);
    }
    await ended();
    assert.equal(await page.text('#console'), native.console);
    assert.equal(await page.text('#output'), 'Prima della traccia.\nDopo la traccia.\nFine.\n');
});

test(`${engine}: the debugger steps forwards and back, and the machine comes back as it was`, { skip }, async () => {
    await open('index.html');
    await page.choose('#examples', 'parole');
    assert.equal(await sourceText(), example('parole'));

    await page.click('#step');
    await debuggerAt(1);
    const first = await machine();
    assert.equal(first.registers[0], 'PC 3');
    assert.equal(first.memory.length, 256);

    await page.click('#step');
    await debuggerAt(2);
    const second = await machine();
    // INP wrote the first word where the counter stands.
    const word = example('parole', 'in').split(/\s+/)[0];
    const at = first.memory.findIndex((cell, i) => cell !== second.memory[i]);
    assert.ok(at > 0, 'INP changed no byte');
    assert.deepEqual(second.memory.slice(at, at + word.length), [...word].map((c) => c.charCodeAt(0).toString(16).toUpperCase().padStart(2, '0')));
    assert.notDeepEqual(second.registers, first.registers);

    await page.click('#back');
    await debuggerAt(1);
    assert.deepEqual(await machine(), first);
});

test(`${engine}: "Fase" goes through an instruction's three phases, the third making the step "Passo" makes`, { skip }, async () => {
    await open('index.html');
    await page.choose('#examples', 'parole');
    const shown = () =>
        page.evaluate(() => ({
            phase: document.querySelector('#processor svg').dataset.phase,
            headings: [...document.querySelectorAll('#explanation h4')].map((h) => h.textContent),
        }));
    const phaseDrawn = (phase) => page.waitFor((p) => document.querySelector('#processor svg')?.dataset.phase === p, phase);

    await page.click('#phase');
    await phaseDrawn('Prelievo');
    assert.deepEqual(await shown(), { phase: 'Prelievo', headings: ['Prelievo'] });
    // The fetch has put MUL's bytes in IR, A and B, and moved PC on.
    assert.deepEqual((await machine()).registers.slice(0, 4), ['PC 3', 'IR 131', 'A 19', 'B 18']);
    await page.click('#phase');
    await phaseDrawn('Decodifica');
    assert.deepEqual((await shown()).headings, ['Prelievo', 'Decodifica']);
    await page.click('#phase');
    await debuggerAt(1);
    await phaseDrawn('Esecuzione');
    await page.waitFor(() => document.querySelectorAll('#explanation h4').length === 3);
    assert.deepEqual((await shown()).headings, ['Prelievo', 'Decodifica', 'Esecuzione']);
    const byPhase = await machine();

    await page.click('#back');
    await debuggerAt(0);
    await page.click('#step');
    await debuggerAt(1);
    assert.deepEqual(await machine(), byPhase);
});

// tarngrade's verdicts on `solution`: the lines "Esiti" shows for the
// visible cases, and their points.
function nativeVerdicts(t, solution) {
    const report = join(tempFolder({ t }).path, 'rapporto.json');
    const graded = runNative('tarngrade', [join(exercisesDir, 'somma.toml'), join(exercisesDir, `${solution}.asm`), '--json', report]);
    assert.ok(graded.status === 0 || graded.status === 1, graded.stderr);
    const cases = JSON.parse(readFileSync(report, 'utf8')).consegne[0].casi.filter((c) => !c.nascosto);
    return {
        lines: cases.map((c) => `${c.superato ? 'superato' : 'non superato'} ${c.nome}`),
        points: cases.reduce((sum, c) => sum + c.punti, 0),
    };
}

test(`${engine}: an exercise named in the address verifies a wrong and a right solution as tarngrade does`, { skip }, async (t) => {
    for (const solution of ['somma-sbagliata', 'somma-giusta']) {
        const expected = nativeVerdicts(t, solution);
        const source = readFileSync(join(exercisesDir, `${solution}.asm`), 'utf8');
        await open(linkTo('index.html?esercizio=esercizi/somma.toml', { source, name: solution }));
        assert.match(await page.text('#exercise-info'), /Somma di due cifre/);
        assert.equal(await sourceText(), source);
        assert.equal(await page.text('#results-summary'), '');

        await page.click('#verify');
        await page.waitFor(() => /^Punti: /.test(document.getElementById('results-summary').textContent));
        const lines = await page.evaluate(() => [...document.querySelectorAll('#results > li')].map((li) => li.firstChild.textContent));
        assert.deepEqual(lines, expected.lines, solution);
        assert.match(await page.text('#results-summary'), new RegExp(`^Punti: ${expected.points} su \\d+\\.`), solution);
    }
});

test(`${engine}: "Condividi" copies a link, which opens the same program, input and name`, { skip }, async () => {
    const shared = '; condiviso: però\nRST\n';
    await open('index.html');
    await page.fill(editorField, shared);
    await page.fill('#input', 'a b');
    await page.fill('#file-name', 'condiviso');

    await page.click('#share');
    await page.waitFor(() => /Link copiato|Copia il link/.test(document.getElementById('messages').textContent));
    const link = await page.value('#share-link');
    assert.match(link, /#c=[A-Za-z0-9_-]+$/);
    assert.match(await page.text('#messages'), /^Link copiato negli appunti/);
    assert.equal(await page.clipboard(), link);

    await open(link);
    assert.equal(await sourceText(), shared);
    assert.equal(await page.value('#input'), 'a b');
    assert.equal(await page.value('#file-name'), 'condiviso');
});

test(`${engine}: the single file runs saluto from file:// as tarnsim does`, { skip: skip || singleFileMissing }, async (t) => {
    const folder = tempFolder({ t }).path;
    copyFileSync(singleFile, join(folder, 'tarnsim.html'));
    const native = nativeRun(t, example('saluto'), { name: 'saluto', input: example('saluto', 'in') });
    await open(pathToFileURL(join(folder, 'tarnsim.html')).href);
    await page.choose('#examples', 'saluto');
    await page.click('#run');
    await ended();
    assert.equal(await page.text('#console'), native.console);
});
