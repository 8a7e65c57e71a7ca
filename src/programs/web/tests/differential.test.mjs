// The wasm module against the native libraries: random programs and inputs
// run as tarnsim shows them, in slices of every size, must print the same
// bytes and leave the same machine. The native side is tests/web_reference
// of the native build (TARNSIM_NATIVE_BUILD, default <repo>/build).
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { existsSync } from 'node:fs';
import { join } from 'node:path';
import { test } from 'node:test';

import { loadModule, moduleMissing, nativeBuild } from './harness.mjs';

const reference = join(nativeBuild, 'tests', 'web_reference');
const referenceMissing = existsSync(reference) || process.env.CI
    ? false
    : `manca ${reference} (cmake --build --preset default costruisce web_reference)`;

// A small generator with a seed: the same cases every time.
function generator(seed) {
    let state = seed >>> 0;
    return () => {
        state = (state + 0x6d2b79f5) >>> 0;
        let t = state;
        t = Math.imul(t ^ (t >>> 15), t | 1);
        t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
        return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
    };
}

const hex = (bytes) => Buffer.from(bytes).toString('hex');

// Images where the instructions that set and clear D, INP, WRT and jumps
// are frequent, so that traces, input and output all happen.
function randomCase(random) {
    const favoured = [0x01, 0x07, 0x86, 0x85, 0x46, 0x47, 0x40, 0x0c, 0x81, 0x00, 0x43, 0x80];
    const length = 1 + Math.floor(random() * 256);
    const image = [];
    for (let i = 0; i < length; i++)
        image.push(random() < 0.3 ? favoured[Math.floor(random() * favoured.length)] : Math.floor(random() * 256));
    const words = ['uno', 'due', '3', '42', 'àè', 'x\ty', '', '   ', 'parola-lunga-di-molte-lettere'];
    let input = '';
    const count = Math.floor(random() * 6);
    for (let i = 0; i < count; i++) input += words[Math.floor(random() * words.length)] + (random() < 0.5 ? ' ' : '\n');
    const budgets = [1, 2, 3, 7, 64, 1000, 100000];
    const budget = budgets[Math.floor(random() * budgets.length)];
    return { image, input, budget, limit: 5000 };
}

// The same run through the module, driven as web_reference drives it.
function runInModule(module, { image, input, budget, limit }) {
    const encoder = new TextEncoder();
    const put = (text) => {
        const bytes = typeof text === 'string' ? encoder.encode(text) : text;
        const pointer = module._tw_alloc(bytes.length);
        module.HEAPU8.set(bytes, pointer);
        return [pointer, bytes.length];
    };
    const take = (pointer) => Buffer.from(module.HEAPU8.slice(pointer, pointer + module._tw_size()));
    const source = `DB ${image.join(', ')}\n`;
    const args = [...put(source), ...put('casuale'), ...put(Buffer.from(input, 'utf8'))];
    const started = JSON.parse(take(module._tw_run_start(...args)).toString('utf8'));
    assert.equal(started.failed, false, JSON.stringify(started.diagnostics));
    for (let i = 0; i < args.length; i += 2) module._tw_free(args[i]);
    const consoleParts = [], outputParts = [];
    let traces = 0, state = 0;
    while (module._tw_run_executed() < limit) {
        state = module._tw_run_slice(budget);
        consoleParts.push(take(module._tw_run_take_console()));
        outputParts.push(take(module._tw_run_take_output()));
        if (state === 3) break;
        if (state === 1) {
            traces++;
            module._tw_run_key();
        } else if (state === 2) {
            module._tw_run_end_input();
        }
    }
    return {
        console: hex(Buffer.concat(consoleParts)),
        output: hex(Buffer.concat(outputParts)),
        executed: module._tw_run_executed(),
        traces,
        halted: state === 3,
        machine: hex(take(module._tw_run_machine())),
    };
}

test('random programs print and end the same in the wasm module and natively', { skip: moduleMissing || referenceMissing }, async () => {
    const module = await loadModule();
    const random = generator(20240611);
    const cases = Array.from({ length: 300 }, () => randomCase(random));
    const lines = cases.map((c) => `${hex(c.image)} ${c.input ? hex(Buffer.from(c.input, 'utf8')) : '-'} ${c.budget} ${c.limit}`);
    const native = spawnSync(reference, [], { input: lines.join('\n') + '\n', encoding: 'utf8', maxBuffer: 1 << 28 });
    assert.equal(native.status, 0, native.stderr);
    const expected = native.stdout.trim().split('\n').map((line) => JSON.parse(line));
    assert.equal(expected.length, cases.length);
    let traced = 0, halted = 0, printed = 0;
    cases.forEach((c, index) => {
        const actual = runInModule(module, c);
        const want = expected[index];
        const where = `caso ${index}: ${lines[index]}`;
        assert.equal(actual.console, want.console, where);
        assert.equal(actual.output, want.output, where);
        assert.equal(actual.executed, want.executed, where);
        assert.equal(actual.traces, want.traces, where);
        assert.equal(actual.halted, want.halted, where);
        assert.equal(actual.machine, want.machine, where);
        if (want.traces > 0) traced++;
        if (want.halted) halted++;
        if (want.output.length > 0) printed++;
    });
    // The cases did exercise what they are for.
    assert.ok(traced > 20 && halted > 20 && printed > 20, `traccia ${traced}, fermi ${halted}, stampe ${printed}`);
});
