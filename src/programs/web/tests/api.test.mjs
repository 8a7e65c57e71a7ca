// The worker's protocol in node, on the real wasm module: the assembler's
// positions for the editor, a run as tarnsim shows it (examples byte for
// byte against their expected output, traces, input asked for, Ferma), the
// debugger's session (its warnings, endless loops and the texts of its
// numbers) and the exercises, whose hidden cases stay inside.
import assert from 'node:assert/strict';
import { readFileSync, readdirSync } from 'node:fs';
import { createRequire } from 'node:module';
import { join } from 'node:path';
import { test } from 'node:test';

import { examplesDir, gluePath, loadModule, moduleMissing, wasmPath } from './harness.mjs';
import { SHOWN_BYTES, createProtocol } from '../worker/protocol.js';

// A worker in this process: requests answered through the protocol, events collected.
async function startWorker() {
    const createModule = createRequire(import.meta.url)(gluePath);
    const pending = new Map();
    const events = [];
    const progress = [];  // a continue's, apart from the run events
    let waiter = null;
    let nextId = 1;
    const handle = createProtocol({
        createModule,
        post: (message) => {
            if (message.id !== undefined) {
                pending.get(message.id)(message);
                pending.delete(message.id);
            } else if (message.event === 'continue') {
                progress.push(message);
            } else {
                events.push(message);
                if (waiter) waiter();
            }
        },
        schedule: (fn) => setImmediate(fn),
    });
    const request = (op, args = {}) =>
        new Promise((resolve) => {
            const id = nextId++;
            pending.set(id, resolve);
            handle({ id, op, ...args });
        });
    // The next run event; the events already arrived come first.
    const nextEvent = async () => {
        while (events.length === 0) await new Promise((resolve) => { waiter = resolve; });
        waiter = null;
        return events.shift();
    };
    const wasm = readFileSync(wasmPath);
    const init = await request('init', { wasm: wasm.buffer.slice(wasm.byteOffset, wasm.byteOffset + wasm.length) });
    assert.equal(init.ok, true, init.error);
    return { request, nextEvent, events, progress, init };
}

// A whole run: keys pressed at traces, input lines given when asked and
// then ended; the console bytes and the events' states.
async function runToEnd(worker, { source, name, input = '', lines = [] }) {
    const reply = await worker.request('run', { source, name, input });
    assert.equal(reply.ok, true, reply.error);
    assert.equal(reply.failed, false, JSON.stringify(reply.diagnostics));
    const parts = [], output = [], states = [];
    for (;;) {
        const event = await worker.nextEvent();
        assert.equal(event.event, 'run');
        parts.push(Buffer.from(event.console));
        output.push(Buffer.from(event.output));
        states.push(event.state);
        if (event.state === 'halted' || event.state === 'stopped') break;
        if (event.state === 'trace') assert.equal((await worker.request('key')).ok, true);
        if (event.state === 'input') {
            const answer = lines.length > 0 ? await worker.request('word', { text: lines.shift() }) : await worker.request('endInput');
            assert.equal(answer.ok, true, answer.error);
        }
    }
    return { console: Buffer.concat(parts), output: Buffer.concat(output).toString('utf8'), states };
}

const examples = readdirSync(examplesDir).filter((f) => f.endsWith('.asm')).map((f) => f.slice(0, -4)).sort();
const example = (name, extension) => readFileSync(join(examplesDir, name + extension), 'utf8');

test('the worker', { skip: moduleMissing }, async (t) => {
    const worker = await startWorker();

    await t.test('init gives the mnemonics of the table, each one the assembler knows, and the directives', async () => {
        const { mnemonics, directives } = worker.init;
        assert.ok(mnemonics.length > 20);
        assert.equal(new Set(mnemonics).size, mnemonics.length);
        for (const word of [...mnemonics, ...directives]) {
            const reply = await worker.request('assemble', { source: `${word.toLowerCase()}\n` });
            for (const d of reply.diagnostics) assert.doesNotMatch(d.message, /sconosciut/, `${word}: ${d.message}`);
        }
        const unknown = await worker.request('assemble', { source: 'FOO\n' });
        assert.match(unknown.diagnostics[0].message, /sconosciut/);
        assert.deepEqual(directives, ['DB', 'ORG']);
    });

    await t.test("init's instruction reference has a row for each mnemonic, with the assembler's opcode and length", async () => {
        const { reference, mnemonics } = worker.init;
        assert.deepEqual(reference.map((row) => row.mnemonic), mnemonics);
        const operands = { 1: '', 2: ' 1', 3: ' 1, 2' };
        for (const row of reference) {
            const reply = await worker.request('assemble', { source: `${row.mnemonic}${operands[row.length]}\n` });
            assert.equal(reply.failed, false, row.mnemonic);
            assert.equal(reply.image[0], row.opcode, row.mnemonic);
            assert.equal(reply.image.length, row.length, row.mnemonic);
            assert.ok(['controllo', 'aritmetica', 'ingresso/uscita', 'nessuna'].includes(row.unit), row.mnemonic);
            assert.match(row.meaning, /^[a-z].{8,}[^.]$/, row.mnemonic);
        }
    });

    await t.test("the assembler tells each byte's label (the nearest at or before it) and role", async () => {
        const source = [
            '        JMP inizio',
            'inizio: INP parola',
            '        RST',
            'parola: DB "ab", 0',
            '        ORG 0x10',
            'a:',
            'b:      DB 9',
        ].join('\n');
        const { cells } = await worker.request('assemble', { source });
        const cases = [
            [0, null, 'istruzione'],
            [1, null, 'operando'],
            [2, 'inizio', 'istruzione'],
            [3, 'inizio+1', 'operando'],
            [4, 'inizio+2', 'istruzione'],
            [5, 'parola', 'dato'],
            [7, 'parola+2', 'dato'],
            [8, 'parola+3', null],
            [0x10, 'b', 'dato'],   // of two labels at one address, the last
            [0x11, 'b+1', null],
            [255, 'b+239', null],
        ];
        for (const [address, label, role] of cases) {
            assert.equal(cells.labels[address], label, `label of ${address}`);
            assert.equal(cells.roles[address], role, `role of ${address}`);
        }
        assert.equal((await worker.request('assemble', { source: 'JMP nessuna\n' })).cells, null);
    });

    await t.test('diagnostics count columns in characters, as tarnasm does, and the editor in UTF-16 units', async () => {
        const cases = [
            { before: 'DB "abc", ', line: 1 },
            { before: 'DB "àèìòù", ', line: 1 },              // two bytes, one unit each
            { before: 'DB "😀", ', line: 1 },                  // four bytes, two units
            { before: 'DB "é😀e\u0301", ', line: 1 },          // combining accent: a character of its own
            { before: '\tDB "ü", ', line: 1 },
            { lead: '; però già così\r\n; 😀😀\n', before: 'DB "ß", ', line: 3 },
        ];
        for (const { lead = '', before, line } of cases) {
            const source = `${lead}${before}nessuna\n`;
            const reply = await worker.request('assemble', { source, name: 'prova' });
            assert.equal(reply.failed, true);
            const [d] = reply.diagnostics;
            const where = JSON.stringify(before);
            assert.equal(d.line, line, where);
            assert.equal(d.column, [...before].length + 1, where);
            assert.equal(d.character, d.column, where);
            assert.equal(d.from, lead.length + before.length, where);
            assert.equal(source.slice(d.from, d.to), 'nessuna', where);
            assert.equal(d.severity, 'errore');
            assert.equal(d.text, `${line}:${d.character}: errore: ${d.message}`);
            assert.match(d.message, /nessuna/);
            assert.equal(reply.image, null);
        }
    });

    await t.test('a diagnostic at the end of the source still covers a character', async () => {
        const source = 'DB 1,';
        const reply = await worker.request('assemble', { source });
        const [d] = reply.diagnostics;
        assert.ok(d.to > d.from && d.to <= source.length, JSON.stringify(d));
    });

    await t.test('assemble gives the image and the lines that produced bytes', async () => {
        const reply = await worker.request('assemble', { source: '; commento\ninizio: WRT testo\n RST\ntesto: DB "ok", 0\n' });
        assert.equal(reply.failed, false);
        assert.deepEqual(reply.image, [0x47, 3, 0, 0x6f, 0x6b, 0]);
        assert.deepEqual(reply.lines, [
            { number: 2, address: 0, data: false },
            { number: 3, address: 2, data: false },
            { number: 4, address: 3, data: true },
        ]);
    });

    await t.test('errors beyond the first ones are counted in the lines tarnasm ends with', async () => {
        const source = Array.from({ length: 25 }, (_, i) => `DB x${i}\n`).join('');
        const reply = await worker.request('assemble', { source, name: 'tanti' });
        assert.equal(reply.diagnostics.length, 20);
        assert.deepEqual(reply.omitted, ['tanti.asm: altri 5 errori non mostrati']);
    });

    await t.test('every example runs as tarnsim prints it, with its input typed when asked', async () => {
        for (const name of examples) {
            let input = '';
            try { input = example(name, '.in'); } catch { /* none */ }
            const expected = readFileSync(join(examplesDir, `${name}.out`));
            // All the input at once, then the same a line at a time.
            const whole = await runToEnd(worker, { source: example(name, '.asm'), name: `examples/${name}`, input });
            assert.equal(whole.console.toString('latin1'), expected.toString('latin1'), name);
            const typed = await runToEnd(worker, { source: example(name, '.asm'), name: `examples/${name}`, lines: input.split('\n').filter((l, i, all) => i < all.length - 1 || l) });
            assert.equal(typed.console.toString('latin1'), expected.toString('latin1'), `${name}, a riga a riga`);
        }
    });

    await t.test('a source with errors does not run', async () => {
        const reply = await worker.request('run', { source: 'JMP via\n', name: 'x', input: '' });
        assert.equal(reply.failed, true);
        assert.match(reply.diagnostics[0].message, /via/);
        assert.equal(worker.events.length, 0);
    });

    await t.test('Ferma stops a run that never ends, and the run goes no further', async () => {
        const reply = await worker.request('run', { source: 'ciclo: JMP ciclo\n', name: 'ciclo', input: '' });
        assert.equal(reply.ok, true);
        let event;
        do event = await worker.nextEvent(); while (event.executed < 1_000_000);
        assert.equal(event.state, 'running');
        assert.equal((await worker.request('stop')).ok, true);
        do event = await worker.nextEvent(); while (event.state === 'running');
        assert.equal(event.state, 'stopped');
        await new Promise((resolve) => setTimeout(resolve, 30));
        assert.equal(worker.events.length, 0);
        assert.equal((await worker.request('key')).ok, false);
    });

    await t.test('a run that prints for ever posts the first MiB of each stream, then only counts what it prints', async () => {
        // 231 bytes a round: 230 letters and a line end.
        const source = `giro:   WRT riga\n        JMP giro\nriga:   DB "${'x'.repeat(230)}\\n", 0\n`;
        assert.equal((await worker.request('run', { source, name: 'giro', input: '' })).ok, true);
        const posted = { console: 0, output: 0 };
        let event;
        let afterCut = 0;
        let cut = false;
        do {
            event = await worker.nextEvent();
            assert.equal(event.state, 'running');
            if (cut) afterCut += event.console.length + event.output.length;
            posted.console += event.console.length;
            posted.output += event.output.length;
            cut = event.consoleCut && event.outputCut;
            assert.equal(event.consoleTotal >= posted.console && event.outputTotal >= posted.output, true);
        } while (event.outputTotal < 8 * SHOWN_BYTES);
        assert.deepEqual(posted, { console: SHOWN_BYTES, output: SHOWN_BYTES });
        assert.equal(afterCut, 0);
        assert.equal(event.outputTotal % 231, 0);
        assert.equal((await worker.request('stop')).ok, true);
        do event = await worker.nextEvent(); while (event.state === 'running');
        assert.equal(event.state, 'stopped');
        assert.deepEqual([event.console.length, event.output.length, event.consoleCut, event.outputCut], [0, 0, true, true]);
        // Stopped at one of the two instructions of the loop.
        assert.ok(['0x00 (0)', '0x02 (2)'].includes(event.machine.registersText.PC), event.machine.registersText.PC);
        assert.equal(Buffer.from(event.machine.memory.slice(4, 6)).toString(), 'xx');
    });

    await t.test('a run\'s machine, where it waits or ends, is the one the debugger shows there', async () => {
        const cases = [
            { name: 'somma', source: example('somma', '.asm'), input: '3 4', state: 'halted' },
            { name: 'eco', source: example('eco', '.asm'), input: 'uno', state: 'input' },
            { name: 'flags', source: 'VAL x, 200\nADD x, x\nRST\nx: DB 0\n', input: '', state: 'halted' },
        ];
        for (const { name, source, input, state } of cases) {
            assert.equal((await worker.request('run', { source, name, input })).ok, true, name);
            let event;
            do event = await worker.nextEvent(); while (event.state === 'running');
            assert.equal(event.state, state, name);
            if (state === 'input') await worker.request('stop');
            await worker.request('debug', { source, name, input });
            let view;
            do ({ view } = await worker.request('continue')); while (!view.halted && !view.needsInput);
            const shown = ({ registers, registersText, flags, memory, characters }) => ({ registers, registersText, flags, memory, characters });
            assert.deepEqual(event.machine, shown(view), name);
            while (worker.events.length > 0) await worker.nextEvent();
        }
    });

    await t.test('after Ferma, the endless loop the run was in, as Continua says it, looked for from where it stopped', async () => {
        // Three nested countdowns: some 900 thousand instructions before `fine`.
        const countdowns = [
            '        VAL a, 60', 'uno:    VAL b, 60', 'due:    VAL c, 60', 'tre:    CLZ', '        DEC c', '        JPZ finec',
            '        JMP tre', 'finec:  CLZ', '        DEC b', '        JPZ fineb', '        JMP due', 'fineb:  CLZ', '        DEC a',
            '        JPZ fine', '        JMP uno', 'a:      DB 0', 'b:      DB 0', 'c:      DB 0', 'fine:', '',
        ].join('\n');
        const cases = [
            {
                what: 'a jump to itself',
                source: 'ciclo: JMP ciclo\n',
                stopAfter: 1_000_000,
                loop: { start: 1, length: 1, lines: [1] },
                message: 'Ciclo infinito: dal passo 1 la macchina ripete sempre lo stesso passo (riga 1): il programma non finirebbe mai.',
            },
            {
                // Stopped during the countdowns: the loop comes after them.
                what: 'a loop still ahead',
                source: `${countdowns}giro:   NOP\n        JMP giro\n`,
                stopAfter: 100_000,
                loop: { start: 878_641, length: 2, lines: [20, 21] },
                message: 'Ciclo infinito: dal passo 878641 la macchina ripete gli stessi 2 passi (righe 20-21): il programma non finirebbe mai.',
            },
            // An INP ahead that will find no word: the run waits there.
            { what: 'an INP ahead', source: `${countdowns}        INP w\nqui:    JMP qui\nw:      DB 0, 0\n`, stopAfter: 100_000, loop: null },
        ];
        for (const { what, source, stopAfter, loop, message } of cases) {
            assert.equal((await worker.request('run', { source, name: 'p', input: '' })).ok, true, what);
            // Stopped where it stands by then: before the loop or after it
            // began, or at the INP, the answer is the same.
            let event;
            do event = await worker.nextEvent(); while (event.state === 'running' && event.executed < stopAfter);
            assert.equal((await worker.request('stop')).ok, true);
            do event = await worker.nextEvent(); while (event.state === 'running');
            assert.equal(event.state, 'stopped');
            const reply = await worker.request('runLoop');
            assert.equal(reply.ok, true, what);
            assert.deepEqual(reply.loop, loop, what);
            if (loop) assert.equal(reply.message, message, what);
        }
        // A run waiting for a word, and no run at all: nothing to look for.
        assert.equal((await worker.request('run', { source: 'INP w\nRST\nw: DB 0\n', name: 'p', input: '' })).ok, true);
        let event;
        do event = await worker.nextEvent(); while (event.state === 'running');
        assert.equal(event.state, 'input');
        await worker.request('stop');
        do event = await worker.nextEvent(); while (event.state !== 'stopped');
        assert.equal((await worker.request('runLoop')).loop, null);
        assert.equal((await worker.request('runLoop')).loop, null);
        // Another run given up the search under way: its answer is no loop.
        await worker.request('run', { source: `${countdowns}qui:    JMP qui\n`, name: 'p', input: '' });
        await worker.request('stop');
        const looking = worker.request('runLoop');
        await worker.request('run', { source: 'RST\n', name: 'p', input: '' });
        assert.equal((await looking).loop, null);
        do event = await worker.nextEvent(); while (event.state !== 'halted');
        worker.events.length = 0;
    });

    await t.test('the debugger steps, goes back, continues, and tells who wrote a byte', async () => {
        const source = example('somma', '.asm');
        const started = await worker.request('debug', { source, name: 'somma', input: '3 4' });
        assert.equal(started.failed, false);
        assert.equal(started.lines.length, source.split('\n').length - (source.endsWith('\n') ? 1 : 0));
        let { view } = started;
        assert.equal(view.position, 0);
        assert.equal(view.memory.length, 256);
        assert.deepEqual(Object.keys(view.flags), ['D', 'Z', 'O', 'P', 'N']);
        const firstLine = view.line;
        ({ view } = await worker.request('step'));
        assert.equal(view.position, 1);
        assert.ok(view.changed.length > 0);
        assert.equal(view.message, 'Eseguito il passo 1.');
        ({ view } = await worker.request('back'));
        assert.equal(view.position, 0);
        assert.equal(view.line, firstLine);
        assert.equal(view.message, 'Un passo indietro: annullato il passo 1.');
        ({ view } = await worker.request('back'));
        assert.equal(view.message, "Sei già all'inizio.");
        ({ view } = await worker.request('watch', { address: 200 }));
        assert.equal(view.message, 'Osservo il byte 0xC8 (200), che ora vale 0x00 (0): «Continua» si fermerà quando cambia.');
        ({ view } = await worker.request('watch', { address: 200 }));
        assert.equal(view.message, 'Non osservo più il byte 0xC8 (200).');
        const ran = await worker.request('continue');
        assert.equal(ran.view.halted, true);
        assert.match(ran.view.message, /fermata/);
        assert.equal(Buffer.from(ran.view.output).toString(), '3 + 4 = 7\n');
        assert.equal(ran.view.outputLength, 10);
        const halted = await worker.request('step');
        assert.match(halted.view.message, /^La macchina è ferma .*«Indietro» torna indietro, «Ricomincia» all'inizio\.$/);
        const who = await worker.request('whoWrote', { address: ran.view.changed[0] ?? 41 });
        assert.match(who.text, /Il byte/);
        assert.equal(who.view.message, who.text);
        const bad = await worker.request('breakpoint', { address: 256 });
        assert.equal(bad.ok, false);
        const empty = await worker.request('breakpointLine', { line: 1 });  // a comment
        assert.equal(empty.ok, false);
        assert.equal(empty.error, 'Questa riga non ha istruzioni.');
        const line = started.lines.find((l) => l.address !== null && !l.data);
        const set = await worker.request('breakpointLine', { line: line.number });
        assert.deepEqual(set.view.breakpointLines, [line.number]);
        assert.deepEqual(set.view.breakpoints, [line.address]);
        const address = `0x${line.address.toString(16).toUpperCase().padStart(2, '0')} (${line.address})`;
        assert.equal(set.view.message, `Punto di arresto sull'indirizzo ${address}, riga ${line.number}.`);
        ({ view } = await worker.request('restart'));
        assert.equal(view.message, "Di nuovo all'inizio: la macchina è come appena caricata.");
    });

    await t.test('a view gives only the printed bytes the page has not had yet', async () => {
        // Prints "a", "b", "c" one WRT at a time, then halts.
        const source = 'WRT a\nWRT b\nWRT c\nRST\na: DB "a", 0\nb: DB "b", 0\nc: DB "c", 0\n';
        const shown = async (op, args) => {
            const reply = await worker.request(op, args);
            assert.equal(reply.ok, true, reply.error);
            return [reply.view.outputLength, Buffer.from(reply.view.output).toString()];
        };
        assert.deepEqual(await shown('debug', { source, name: 'abc', input: '' }), [0, '']);
        assert.deepEqual(await shown('step'), [1, 'a']);
        assert.deepEqual(await shown('step'), [2, 'b']);
        assert.deepEqual(await shown('back'), [1, '']);
        assert.deepEqual(await shown('restart'), [0, '']);
        assert.deepEqual(await shown('continue'), [3, 'c']);
        assert.deepEqual(await shown('goto', { position: 1 }), [1, '']);
        // A new session starts from nothing.
        assert.deepEqual(await shown('debug', { source, name: 'abc', input: '' }), [0, '']);
        assert.deepEqual(await shown('continue'), [3, 'abc']);
    });

    await t.test('animate makes the steps a continue makes, stopping where it stops', async () => {
        const endless = 'ciclo: INC conta\nJMP ciclo\nconta: DB 0\n';
        assert.equal((await worker.request('debug', { source: endless, name: 'p', input: '' })).failed, false);
        const some = await worker.request('animate', { count: 5 });
        assert.deepEqual([some.stopped, some.view.position, some.view.message], [false, 5, '']);
        // Never more than a second's worth at once.
        const most = await worker.request('animate', { count: 1e9 });
        assert.deepEqual([most.stopped, most.view.position], [false, 1005]);
        await worker.request('breakpoint', { address: 2 });
        const atBreakpoint = await worker.request('animate', { count: 1000 });
        assert.deepEqual([atBreakpoint.stopped, atBreakpoint.view.position, atBreakpoint.view.registers.PC], [true, 1007, 2]);
        assert.match(atBreakpoint.view.message, /arresto/);
        // Every step is in the history.
        assert.equal((await worker.request('back')).view.position, 1006);

        await worker.request('debug', { source: 'NOP\nNOP\nRST\n', name: 'p', input: '' });
        const ended = await worker.request('animate', { count: 1000 });
        assert.deepEqual([ended.stopped, ended.view.halted, ended.view.position], [true, true, 2]);
    });

    await t.test('explain gives the coming instruction, and the last step as it was explained before it ran', async () => {
        // An INP, whose explanation needs the input as it was before it.
        const source = 'INP parola\nVAL 1, 7\nRST\nparola: DB 0, 0, 0\n';
        assert.equal((await worker.request('debug', { source, name: 'p', input: 'ciao mondo' })).failed, false);
        const explained = [];
        for (let position = 0; position <= 2; position++) {
            const reply = await worker.request('explain');
            assert.equal(reply.position, position);
            explained.push(reply);
            if (position < 2) await worker.request('step');
        }
        assert.equal(explained[0].last, null);
        for (let position = 1; position <= 2; position++) assert.deepEqual(explained[position].last, explained[position - 1].next, `passo ${position}`);
        const inp = explained[0].next;
        assert.deepEqual([inp.address, inp.opcode, inp.mnemonic, inp.length, inp.unit], [0, 0x46, 'INP', 2, 'ingresso/uscita']);
        assert.deepEqual(inp.fetched.registers, { PC: 2, IR: 0x46, A: 6, B: 0 });
        assert.equal(inp.fetched.registersText.A, '0x06 (6)');
        assert.deepEqual(inp.phases.map((p) => p.name), ['Prelievo', 'Decodifica', 'Esecuzione']);
        for (const phase of inp.phases) assert.ok(phase.lines.length > 0 && phase.lines.every((l) => typeof l === 'string' && l !== ''), phase.name);
        // Going back and forth explains the same step the same way.
        await worker.request('goto', { position: 0 });
        await worker.request('goto', { position: 1 });
        const again = await worker.request('explain');
        assert.deepEqual([again.next, again.last], [explained[1].next, explained[1].last]);
        // At the RST the machine stops: it is explained, never executed.
        assert.equal(explained[2].next.mnemonic, 'RST');
        // Without a session there is nothing to explain.
        await worker.request('debug', { source: 'RST\n', name: 'p', input: '' });
        assert.equal((await worker.request('explain')).last, null);
    });

    await t.test('the debugger asks for a word and takes it', async () => {
        const started = await worker.request('debug', { source: 'INP w\nWRT w\nRST\nw: DB 0, 0, 0\n', name: 'p', input: '' });
        assert.equal(started.view.needsInput, true);
        const asked = await worker.request('step');
        assert.equal(asked.view.position, 0);
        assert.match(asked.view.message, /aspetta una parola/);
        assert.equal((await worker.request('word', { text: 'ok' })).view.needsInput, false);
        const done = await worker.request('continue');
        assert.equal(Buffer.from(done.view.output).toString(), 'ok');
    });

    await t.test('stop ends a continue that would never end', async () => {
        // A counter of three bytes: no state comes back for 80 million steps.
        const counter = [
            'giro:   INC a', '        CLZ', '        CMP a, zero', '        JPZ alto', '        JMP giro',
            'alto:   INC b', '        CLZ', '        CMP b, zero', '        JPZ piu', '        JMP giro',
            'piu:    INC c', '        JMP giro',
            'zero:   DB 0', 'a:      DB 0', 'b:      DB 0', 'c:      DB 0', '',
        ].join('\n');
        await worker.request('debug', { source: counter, name: 'c', input: '' });
        worker.progress.length = 0;
        const running = worker.request('continue');
        // On the way, how far it has gone.
        while (worker.progress.length === 0) await new Promise((resolve) => setTimeout(resolve, 10));
        assert.ok(worker.progress[0].position > 0);
        assert.equal((await worker.request('stop')).ok, true);
        const { view } = await running;
        assert.ok(view.position >= worker.progress.at(-1).position);
        assert.equal(view.halted, false);
        assert.equal(view.message, `Interrotto dopo ${view.position} istruzioni.`);
    });

    await t.test('init and the view give the numbers written as every program writes them', async () => {
        const { addresses, bytes, characters } = worker.init.numbers;
        assert.equal(addresses.length, 256);
        assert.equal(bytes.length, 256);
        assert.equal(characters.length, 256);
        const cases = [
            [0, '0x00 (0)', '0x00 (0)', '.'],
            [10, '0x0A (10)', '0x0A (10)', '.'],
            [31, '0x1F (31)', '0x1F (31)', '.'],
            [32, '0x20 (32)', "0x20 (32, ' ')", ' '],
            [39, '0x27 (39)', "0x27 (39, '\\'')", "'"],
            [92, '0x5C (92)', "0x5C (92, '\\\\')", '\\'],
            [111, '0x6F (111)', "0x6F (111, 'o')", 'o'],
            [126, '0x7E (126)', "0x7E (126, '~')", '~'],
            [127, '0x7F (127)', '0x7F (127)', '.'],
            [200, '0xC8 (200)', '0xC8 (200)', '.'],
            [255, '0xFF (255)', '0xFF (255)', '.'],
        ];
        for (const [value, address, byte, character] of cases) {
            assert.deepEqual([addresses[value], bytes[value], characters[value]], [address, byte, character], String(value));
        }

        const started = await worker.request('debug', { source: 'WRT m\nRST\nm: DB "Ok\\n", 0\n', name: 'n', input: '' });
        assert.deepEqual(started.lines.map((l) => [l.number, l.address, l.hex]), [[1, 0, '00'], [2, 2, '02'], [3, 3, '03']]);
        const { view } = await worker.request('step');
        assert.deepEqual(view.registersText, { PC: '0x02 (2)', IR: '0x47 (71)', A: '0x03 (3)', B: '0x00 (0)', X: '0x00 (0)' });
        assert.equal(view.characters, view.memory.map((value) => characters[value]).join(''));
        assert.equal(view.characters.slice(0, 8), 'G..Ok...');
        assert.equal(view.loop, null);
    });

    await t.test('an INP about to write past its label\'s data stops before it runs, whether its word was typed before or asked for', async () => {
        const source = 'NOP\nINP a\nRST\na: DB 0, 0, 0\nb: DB "xy", 0\n';
        const warning = 'INP (riga 2, indirizzo 0x01) sta per scrivere una parola di 6 caratteri da 0x04 (4): ' +
            'va oltre la fine dei dati di a e scrive nei byte di b (riga 5, indirizzo 0x07).';
        await worker.request('debug', { source, name: 'p', input: 'abcdef' });
        let reply = await worker.request('continue');
        assert.deepEqual([reply.done, reply.view.position, reply.view.message], [true, 1, `Avviso: ${warning}`]);
        assert.deepEqual(reply.view.warnings, [warning]);
        // The next continue runs the INP.
        reply = await worker.request('continue');
        assert.equal(reply.view.halted, true);
        assert.equal(Buffer.from(reply.view.memory.slice(4, 10)).toString(), 'abcdef');

        // A word that fits brings nothing.
        await worker.request('debug', { source, name: 'p', input: 'ab' });
        reply = await worker.request('continue');
        assert.equal(reply.view.halted, true);
        assert.deepEqual(reply.view.warnings, []);

        // Asked for: the word brings the warning, and the INP waits for the next command.
        await worker.request('debug', { source, name: 'p', input: '' });
        reply = await worker.request('continue');
        assert.equal(reply.view.needsInput, true);
        reply = await worker.request('word', { text: 'abcdef' });
        assert.deepEqual([reply.warning, reply.view.position, reply.view.needsInput], [true, 1, false]);
        assert.equal(reply.view.message, `Avviso: ${warning}`);
        reply = await worker.request('step');
        assert.equal(reply.view.position, 2);
        assert.equal(Buffer.from(reply.view.memory.slice(4, 10)).toString(), 'abcdef');

        await worker.request('debug', { source, name: 'p', input: '' });
        await worker.request('continue');
        reply = await worker.request('word', { text: 'ab' });
        assert.deepEqual([reply.warning, reply.view.message], [false, '']);
    });

    await t.test('a WRT about to print past its label\'s data, with no 0, stops before it runs', async () => {
        await worker.request('debug', { source: 'NOP\nWRT a\nRST\na: DB "ab"\nb: DB "cd", 0\n', name: 'p', input: '' });
        let reply = await worker.request('continue');
        assert.equal(reply.view.position, 1);
        assert.equal(reply.view.message, 'Avviso: WRT (riga 2, indirizzo 0x01) sta per stampare la stringa di a da 0x04 (4), ' +
            'ma nessuno 0 la chiude: andrebbe avanti nei byte di b (riga 5, indirizzo 0x06).');
        reply = await worker.request('continue');
        assert.equal(reply.view.halted, true);
        assert.equal(Buffer.from(reply.view.output).toString(), 'abcd');
    });

    await t.test('continue stops on an endless loop, which reverse goes back to the start of', async () => {
        const cases = [
            {
                source: 'qui: JMP qui\n',
                loop: { start: 1, length: 1, lines: [1], rewritten: [] },
                said: 'ciclo infinito: dal passo 1 la macchina ripete sempre lo stesso passo (riga 1)',
            },
            {
                source: 'NOP\nNOP\ngiro:   INC x\n        DEC x\n        JMP giro\n        RST\nx:      DB 0\n',
                loop: { start: 4, length: 3, lines: [3, 4, 5], rewritten: [] },
                said: 'ciclo infinito: dal passo 4 la macchina ripete gli stessi 3 passi (righe 3-5)',
            },
        ];
        for (const { source, loop, said } of cases) {
            const started = await worker.request('debug', { source, name: 'p', input: '' });
            assert.equal(started.view.loop, null);
            const stopped = `C${said.slice(1)}: il programma non finirebbe mai. «Ritorna» torna dove comincia.`;
            let reply = await worker.request('continue');
            assert.deepEqual([reply.done, reply.view.position, reply.view.halted], [true, loop.start + loop.length, false], source);
            assert.equal(reply.view.message, stopped);
            assert.deepEqual(reply.view.loop, loop);
            // From inside the loop, one more round.
            reply = await worker.request('continue');
            assert.equal(reply.view.position, loop.start + 2 * loop.length);
            assert.equal(reply.view.message, stopped);
            reply = await worker.request('reverse');
            assert.equal(reply.view.position, loop.start);
            assert.equal(reply.view.message, `Sei dove comincia il ${said}.`);
            // The loop stays proved from the start again; a new session has none.
            reply = await worker.request('restart');
            assert.deepEqual(reply.view.loop, loop);
        }
        assert.equal((await worker.request('debug', { source: 'RST\n', name: 'p', input: '' })).view.loop, null);
    });

    await t.test('an instruction the program rewrote is shown as it runs, in the messages and the loop', async () => {
        // ADD becomes MUL; then INC x becomes JMP p, a loop that no line shows.
        const source = 'VAL p, 131\np: ADD x, y\nVAL q, 64\nVAL q+1, 12\nq: INC x\nRST\nx: DB 2\ny: DB 3\n';
        await worker.request('debug', { source, name: 'p', input: '' });
        let reply = await worker.request('step');
        assert.equal(reply.view.message,
            'Eseguito il passo 1. La prossima istruzione, alla riga 2, è MUL x, y (riscritta dal programma).');
        // The VALs that rewrite q are warned of; then the loop.
        do reply = await worker.request('continue');
        while (reply.view.loop === null && /^Avviso/.test(reply.view.message));
        assert.deepEqual(reply.view.loop, {
            start: 5, length: 1, lines: [5], rewritten: [{ line: 5, text: 'JMP q (riscritta dal programma)' }],
        });
        assert.equal(reply.view.message, 'Ciclo infinito: dal passo 5 la macchina ripete sempre lo stesso passo (riga 5): ' +
            'il programma non finirebbe mai. Alla riga 5 il ciclo esegue JMP q (riscritta dal programma). «Ritorna» torna dove comincia.');
        // Who wrote x: the MUL, as it ran.
        reply = await worker.request('whoWrote', { address: 0x0F });
        assert.equal(reply.text, 'Il byte 0x0F (15), che vale 0x06 (6), è stato scritto per ultimo dall\'istruzione ' +
            'all\'indirizzo 0x03 (riga 2: p: MUL x, y (riscritta dal programma)), al passo 2.');
    });

    await t.test('a loop that reads a word each round is no endless loop: it waits when the words end', async () => {
        const source = [
            'giro:   MUL w, zero', '        INP w', '        CLZ', '        CMP w, zero', '        JPZ fine', '        JMP giro',
            'fine:   RST', 'zero:   DB 0', 'w:      DB 0, 0, 0, 0', '',
        ].join('\n');
        // Every round the same word: only the input read tells the rounds apart.
        await worker.request('debug', { source, name: 'p', input: 'a\n'.repeat(2000) });
        let reply = await worker.request('continue');
        // 2000 rounds of 6 steps, then the MUL of the next one.
        assert.equal(reply.view.position, 2000 * 6 + 1);
        assert.equal(reply.view.needsInput, true);
        assert.match(reply.view.message, /^INP \(riga 2, indirizzo 0x03\) aspetta una parola/);
        assert.equal(reply.view.loop, null);
        await worker.request('endInput');
        reply = await worker.request('continue');
        assert.equal(reply.view.halted, true);
        assert.equal(reply.view.loop, null);
    });

    await t.test('a loop waiting on INP waits for a word while the input is open, and is endless once it has ended', async () => {
        await worker.request('debug', { source: 'ciclo:  INP buf\n        JMP ciclo\nbuf:    DB 0, 0, 0, 0\n', name: 'p', input: 'uno due' });
        let reply = await worker.request('continue');
        assert.equal(reply.view.needsInput, true);
        assert.equal(reply.view.loop, null);
        await worker.request('endInput');
        reply = await worker.request('continue');
        const { start, length, lines } = reply.view.loop;
        assert.deepEqual({ start, length, lines }, { start: 5, length: 2, lines: [1, 2] });
        assert.match(reply.view.message, /^Ciclo infinito: dal passo 5 la macchina ripete gli stessi 2 passi \(righe 1-2\)/);
    });

    await t.test('exercises: the visible cases are graded with tarngrade\'s details, the hidden ones never leave', async () => {
        const text = [
            'titolo = "Eco"',
            '[[caso]]', 'nome = "una parola"', 'ingresso = "ciao\\n"', 'uscita = "ciao"', 'punti = 2',
            '[[caso]]', 'nome = "segreto-nascosto"', 'ingresso = "zebra-segreta\\n"', 'uscita = "zebra-segreta"', 'nascosto = true',
        ].join('\n');
        const exercise = await worker.request('exercise', { text, name: 'eco.toml' });
        assert.equal(exercise.ok, true, exercise.error);
        assert.equal(exercise.title, 'Eco');
        assert.deepEqual(exercise.cases.map(({ name, hidden, points }) => ({ name, hidden, points })), [{ name: 'una parola', hidden: false, points: 2 }]);
        assert.equal(exercise.total, 3);
        assert.doesNotMatch(JSON.stringify(exercise), /segret/);

        const good = await worker.request('verify', { source: 'INP w\nWRT w\nRST\nw: DB 0,0,0,0,0,0,0,0,0,0,0,0,0,0\n', name: 'eco' });
        assert.equal(good.failed, false);
        assert.deepEqual(good.results.map((r) => [r.name, r.passed, r.points, r.maxPoints, r.details]), [['una parola', true, 2, 2, '']]);
        assert.equal(good.hidden, 1);
        assert.equal(good.points, 2);
        assert.doesNotMatch(JSON.stringify(good), /segret|zebra/);

        const wrong = await worker.request('verify', { source: 'WRT w\nRST\nw: DB "no", 0\n', name: 'eco' });
        assert.equal(wrong.results[0].passed, false);
        assert.match(wrong.results[0].details, /uscita/);
        assert.doesNotMatch(JSON.stringify(wrong), /segret|zebra/);

        const broken = await worker.request('verify', { source: 'JMP via\n', name: 'eco' });
        assert.equal(broken.failed, true);

        // An empty program is not run: said once, as tarngrade says it.
        const empty = await worker.request('verify', { source: '', name: 'eco' });
        assert.equal(empty.failed, false);
        assert.deepEqual(empty.results.map((r) => [r.passed, r.details]),
            [[false, '  ✗ una parola: programma non eseguito\n    il file è vuoto\n']]);

        const bad = await worker.request('exercise', { text: 'titolo = \n', name: 'rotto.toml' });
        assert.equal(bad.ok, false);
        assert.match(bad.error, /^rotto\.toml:1:\d+: errore: /);

        // Every fault of a file that parses, one a line, in the file's order.
        const faults = 'titolo = "T"\nlimite_istruzioni = 0\n[[caso]]\nnome = "a"\nuscita = "x"\npunti = -1\n';
        const many = await worker.request('exercise', { text: faults, name: 'due.toml' });
        assert.equal(many.ok, false);
        const lines = many.error.split('\n');
        assert.equal(lines.length, 2, many.error);
        assert.match(lines[0], /^due\.toml:2:\d+: errore: 'limite_istruzioni'/);
        assert.match(lines[1], /^due\.toml:6:\d+: errore: 'punti'/);
    });

    await t.test('an exercise shows its statement and what each visible case gives and expects; of a hidden case, only that there is one', async () => {
        const visible = [
            'titolo = "Tabella"',
            'testo = """',
            'Somma i byte della tabella.',
            '\tPoi stampa «fatto».',
            '"""',
            '[[caso]]', 'nome = "stampa"', 'ingresso = "3 4\\n"', 'uscita = "fatto\\n"', 'confronto = "spazi"', 'punti = 1.5',
            '[[caso]]', 'nome = "somma"', 'memoria = { "0xC8" = [5, 7, -1], "0" = 9 }',
            'atteso.memoria = { "240" = [21] }', 'atteso.registri = { x = 3, pc = 0x10 }', 'atteso.flag = ["z", "N"]',
        ];
        const hidden = [
            '[[caso]]', 'nome = "tabella vuota"', 'ingresso = "8 9\\n"', 'uscita = "zero\\n"', 'nascosto = true', 'punti = 4',
            'memoria = { "0x9D" = [157, 211] }', 'atteso.memoria = { "0xEE" = [199] }', 'atteso.registri = { A = 177 }', 'atteso.flag = ["O"]',
        ];
        const shown = await worker.request('exercise', { text: visible.join('\n'), name: 'tabella.toml' });
        assert.equal(shown.ok, true, shown.error);
        assert.equal(shown.statement, 'Somma i byte della tabella.\n\tPoi stampa «fatto».\n');
        assert.deepEqual(shown.cases, [
            {
                name: 'stampa', hidden: false, points: 1.5, input: '3 4\n', memory: [],
                expected: { output: 'fatto\n', comparison: 'spazi', memory: [], registers: [], flags: [] },
            },
            {
                name: 'somma', hidden: false, points: 1, input: '', memory: [{ address: 0, bytes: [9] }, { address: 200, bytes: [5, 7, 255] }],
                expected: {
                    output: null, comparison: 'esatto', memory: [{ address: 240, bytes: [21] }],
                    registers: [{ name: 'PC', value: 16 }, { name: 'X', value: 3 }], flags: ['Z', 'N'],
                },
            },
        ]);
        // With a hidden case, only its count and the total change: nothing
        // it gives or expects reaches the page.
        const withHidden = await worker.request('exercise', { text: [...visible, ...hidden].join('\n'), name: 'tabella.toml' });
        assert.equal(withHidden.ok, true, withHidden.error);
        assert.deepEqual({ ...withHidden, id: 0 }, { ...shown, id: 0, hidden: 1, total: shown.total + 4 });
    });

    await t.test('the largest program the exercise allows, and one byte more', async () => {
        const text = 'titolo = "D"\ndimensione_massima = 3\n[[caso]]\nnome = "a"\nuscita = ""\n';
        assert.equal((await worker.request('exercise', { text, name: 'd.toml' })).ok, true);
        assert.equal((await worker.request('verify', { source: 'DB 0, 0, 0\n', name: 'p' })).results[0].passed, true);
        const over = await worker.request('verify', { source: 'DB 0, 0, 0, 0\n', name: 'p' });
        assert.equal(over.results[0].passed, false);
        assert.match(over.results[0].details, /al massimo 3/);
    });

    await t.test('unknown requests and requests out of place get an Italian error', async () => {
        assert.match((await worker.request('vola')).error, /sconosciuta/);
        const tooLong = await worker.request('assemble', { source: 'x'.repeat((1 << 20) + 1), name: 'grande' });
        assert.equal(tooLong.ok, false);
        assert.match(tooLong.error, /supera il limite/);
    });
});

// The module called directly, as the worker does, with slices of a given size.
function directSession(module) {
    const encoder = new TextEncoder();
    const call = (fn, texts, ...numbers) => {
        const pointers = texts.map((text) => {
            const bytes = encoder.encode(text);
            const pointer = module._tw_alloc(bytes.length);
            module.HEAPU8.set(bytes, pointer);
            return [pointer, bytes.length];
        });
        try {
            const flat = pointers.flat();
            const result = numbers.length ? fn(flat[0], flat[1], ...numbers, flat[2], flat[3]) : fn(...flat);
            return JSON.parse(Buffer.from(module.HEAPU8.slice(result, result + module._tw_size())).toString());
        } finally {
            for (const [pointer] of pointers) module._tw_free(pointer);
        }
    };
    return {
        start: (source, input = '') => call(module._tw_debug_start, [source, 'p', input]),
        debug: (op, number = 0, text = '') => call(module._tw_debug, [op, text], number),
    };
}

test('the calls of one continue are one run, however small, until one is done', { skip: moduleMissing }, async () => {
    const session = directSession(await loadModule());
    // A byte that counts: its loop is 256 steps long, far more than a call
    // runs, so only calls that are one run see the state come back.
    const counter = 'giro: INC conta\nJMP giro\nconta: DB 0\n';
    const continueBy = (budget) => {
        for (let calls = 1; calls <= 200; calls++) {
            const reply = session.debug('continue', budget);
            if (reply.done) return { calls, reply };
        }
        return { calls: Infinity };
    };
    assert.equal(session.start(counter).failed, false);
    const { calls, reply } = continueBy(100);
    assert.ok(calls > 2 && calls < 200, String(calls));
    assert.match(reply.view.message, /^Ciclo infinito: dal passo \d+ la macchina ripete gli stessi 256 passi /);
    assert.equal(reply.view.position, reply.view.loop.start + 256);

    // A continue left half way by another command, then by a new session:
    // the new one runs on its own program.
    session.start(counter);
    assert.equal(session.debug('continue', 100).done, false);
    assert.equal(session.debug('view').view.position, 100);
    assert.equal(session.debug('continue', 100).done, false);
    session.start('NOP\nNOP\nRST\n');
    const ended = session.debug('continue', 100);
    assert.deepEqual([ended.done, ended.view.halted, ended.view.position], [true, true, 2]);
});
