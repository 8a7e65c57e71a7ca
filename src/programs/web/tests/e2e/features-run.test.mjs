// Running as tarnsim runs: the console shows what the native tarnsim prints
// for the same source and input, the tracer waits for "Tasto", INP asks for a
// "Parola" when the input is over, and "Ferma" ends an endless loop and
// says which it was.
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import { join } from 'node:path';
import { test } from 'node:test';
import { examplesDir } from '../harness.mjs';
import { button, memory, nativeRun, openHolding, openPage, region, registers, setSource, skipNative, skipPage, sourceText, text, waitIdle, waitReady, waitText } from './features-page.mjs';

const example = (name, ext) => readFileSync(join(examplesDir, `${name}.${ext}`), 'utf8');

test('a typed program runs as tarnsim runs it: the same console, its own output', { skip: skipNative }, async (t) => {
    const { page, errors } = await openPage(t);
    await setSource(page, '');
    // Typed key by key, as a student would.
    await page.keyboard.type('; legge una parola e la ripete\n');
    await page.keyboard.type('inizio: INP parola\nWRT saluto\nWRT parola\nRST\n');
    await page.keyboard.type('saluto: DB "Hai scritto: ", 0\nparola: DB 0, 0, 0, 0, 0, 0, 0, 0, 0, 0\n');
    await page.getByRole('textbox', { name: 'Nome del file' }).fill('prova');
    await page.getByRole('textbox', { name: 'Ingresso' }).fill('però altro');
    const source = await sourceText(page);
    const native = nativeRun(t, source, { name: 'prova', input: 'però altro' });
    assert.equal(native.status, 0);

    await button(page, 'Esegui').click();
    await waitText(page, 'messages', /terminato/);
    await waitIdle(page);
    assert.equal(await region(page, 'Console').locator('pre').textContent(), native.console);
    assert.match(native.console, /Caricamento del programma \(prova\.bin\)/);
    assert.equal(await region(page, 'Uscita').locator('pre').textContent(), 'Hai scritto: però');
    assert.match(await text(page, 'messages'), /istruzioni eseguite: 3\b/);
    assert.deepEqual(errors.filter((e) => !/favicon/.test(e)), []);
});

test('the tracer waits for "Tasto" or a key in the console, and ends as tarnsim does', { skip: skipNative }, async (t) => {
    const { page } = await openPage(t);
    await page.getByRole('combobox', { name: 'Esempi' }).selectOption('traccia');
    assert.equal(await sourceText(page), example('traccia', 'asm'));
    const native = nativeRun(t, example('traccia', 'asm'), { name: 'traccia', input: example('traccia', 'in') });

    await button(page, 'Esegui').click();
    const key = button(page, 'Tasto');
    await page.waitForFunction(() => !document.getElementById('key').disabled);
    const consoleText = () => region(page, 'Console').locator('pre').textContent();
    // Waiting: the first traced instruction is shown, nothing after it ran.
    assert.match(await consoleText(), /Prima della traccia\.\n[\s\S]*Virtual Processor State[\s\S]*= VAL\s/);
    assert.doesNotMatch(await consoleText(), /Dopo la traccia/);
    assert.match(await text(page, 'messages'), /Traccia: premi «Tasto»/);
    // The console took the focus: any key goes on.
    assert.equal(await page.evaluate(() => document.activeElement.id), 'console');
    const before = (await consoleText()).length;
    await page.keyboard.press('x');
    await page.waitForFunction((n) => document.getElementById('console').textContent.length > n, before);

    let presses = 0;
    while ((await text(page, 'messages')).includes('Traccia')) {
        await page.waitForFunction(() => !document.getElementById('key').disabled || /terminato/.test(document.getElementById('messages').textContent));
        if (await key.isDisabled()) break;
        await key.click();
        presses++;
        assert.ok(presses < 50, 'the trace should end');
        await page.waitForFunction(
            () => !document.getElementById('key').disabled || /terminato/.test(document.getElementById('messages').textContent),
        );
    }
    await waitText(page, 'messages', /terminato/);
    assert.equal(await consoleText(), native.console);
    assert.equal(await region(page, 'Uscita').locator('pre').textContent(), 'Prima della traccia.\nDopo la traccia.\nFine.\n');
});

test('INP with the input over asks for a "Parola", Enter sends it, "Fine dell\'ingresso" ends it', { skip: skipNative }, async (t) => {
    const { page } = await openPage(t);
    await page.getByRole('combobox', { name: 'Esempi' }).selectOption('eco');
    await page.getByRole('textbox', { name: 'Ingresso' }).fill('');
    const native = nativeRun(t, example('eco', 'asm'), { name: 'eco', input: 'ciao mondo\n' });

    await button(page, 'Esegui').click();
    const word = page.getByRole('textbox', { name: 'Parola' });
    await word.waitFor({ state: 'visible' });
    await waitText(page, 'messages', /aspetta una parola/);
    await word.fill('ciao');
    await word.press('Enter');
    await waitText(page, 'output', /^ciao\n$/);
    await word.waitFor({ state: 'visible' });
    await word.fill('mondo');
    await word.press('Enter');
    await waitText(page, 'output', /^ciao\nmondo\n$/);
    await word.waitFor({ state: 'visible' });
    await button(page, "Fine dell'ingresso").click();
    await waitText(page, 'messages', /terminato/);
    await waitIdle(page);
    assert.equal(await word.isVisible(), false);
    assert.equal(await region(page, 'Console').locator('pre').textContent(), native.console);
});

test('"Ferma" ends an endless loop and the page goes on working', { skip: skipPage }, async (t) => {
    const { page } = await openHolding(t);
    await setSource(page, 'giro:   JMP giro\n');
    await button(page, 'Esegui').click();
    // Running: the count grows while the page keeps answering.
    await page.waitForFunction(() => {
        const m = /istruzioni eseguite: (\d+)/.exec(document.getElementById('messages').textContent);
        return m && Number(m[1]) > 100000;
    });
    assert.equal(await button(page, 'Esegui').isDisabled(), true);
    await button(page, 'Ferma').click();
    await waitText(page, 'messages', /Esecuzione fermata\./);
    // Then the loop it was in, looked for from where it stopped, as the
    // debugger's "Continua" says it.
    await waitText(page, 'messages', /Ciclo infinito: dal passo 1 la macchina ripete sempre lo stesso passo \(riga 1\): il programma non finirebbe mai\./);
    await waitIdle(page);
    const stopped = await text(page, 'messages');
    // Nothing more comes once stopped: not before the worker's answer to a
    // request sent now.
    await page.evaluate(() => globalThis.pingWorker());
    assert.equal(await text(page, 'messages'), stopped);

    await page.getByRole('combobox', { name: 'Esempi' }).selectOption('saluto');
    await button(page, 'Esegui').click();
    await waitText(page, 'messages', /terminato/);
    assert.match(await region(page, 'Uscita').locator('pre').textContent(), /^Ciao, mondo!/);
});

test('"Ferma" also stops the debugger\'s "Continua" in a loop that goes on and on', { skip: skipPage }, async (t) => {
    const { page } = await openPage(t);
    // A counter of four bytes: no state comes back for billions of steps, so
    // that, however slow the machine, no endless loop is proved before "Ferma".
    await setSource(page, [
        'giro:   INC a', '        CLZ', '        CMP a, zero', '        JPZ alto', '        JMP giro',
        'alto:   INC b', '        CLZ', '        CMP b, zero', '        JPZ piu', '        JMP giro',
        'piu:    INC c', '        CLZ', '        CMP c, zero', '        JPZ ancora', '        JMP giro',
        'ancora: INC d', '        JMP giro',
        'zero:   DB 0', 'a:      DB 0', 'b:      DB 0', 'c:      DB 0', 'd:      DB 0', '',
    ].join('\n'));
    await button(page, 'Passo').click();
    await waitText(page, 'messages', /^Eseguito il passo 1\./);
    await button(page, 'Continua').click();
    // While it goes on, the messages say how far it has gone, and nothing of the step before.
    await page.waitForFunction(() => {
        const [, count] = /^Continuo fino al prossimo arresto: «Ferma» interrompe\.istruzioni eseguite: (\d+)$/.exec(document.getElementById('messages').textContent) ?? [];
        return Number(count) > 1;
    });
    assert.doesNotMatch(await text(page, 'messages'), /Eseguito il passo/);
    await button(page, 'Ferma').click();
    await waitText(page, 'messages', /^Interrotto dopo \d+ istruzioni\./);
    await page.waitForFunction(() => !document.getElementById('step').disabled);
    const count = Number(/istruzioni eseguite: (\d+)/.exec(await text(page, 'messages'))[1]);
    assert.ok(count > 0, await text(page, 'messages'));
    // The session is still there: one more step goes on from where it stopped.
    await button(page, 'Passo').click();
    await waitText(page, 'messages', new RegExp(`istruzioni eseguite: ${count + 1}\\b`));
});

test('"Ferma" while the session is starting stops the Continua or Passo that started it before its first instruction', { skip: skipPage }, async (t) => {
    const { page } = await openHolding(t);
    await setSource(page, 'giro:   INC x\n        JMP giro\nx:      DB 0\n');
    for (const command of ['Continua', 'Passo']) {
        // The session's first reply held: the page is between the click and the session.
        await page.evaluate(() => globalThis.heldOps.add('debug'));
        await button(page, command).click();
        await page.waitForFunction(() => globalThis.heldCount() === 1);
        assert.equal(await button(page, 'Ferma').isDisabled(), false, command);
        await button(page, 'Ferma').click();
        await page.evaluate(() => {
            globalThis.heldOps.clear();
            globalThis.releaseReplies();
        });
        // The command is over once its buttons are back.
        await page.waitForFunction(() => !document.getElementById('step').disabled);
        const said = await text(page, 'messages');
        assert.match(said, /^Fermato: il debug è iniziato, ma nessuna istruzione è stata eseguita\. .*istruzioni eseguite: 0$/, command);
        assert.deepEqual(await page.evaluate(() => ['step', 'continue', 'run'].map((id) => document.getElementById(id).disabled)), [false, false, false], command);
        assert.equal(await button(page, 'Ferma').isDisabled(), true, command);
        assert.equal((await registers(page))[0], 'PC 0', command);
        // The session is there, at its first instruction: Passo runs it.
        await button(page, 'Passo').click();
        await waitText(page, 'messages', /istruzioni eseguite: 1\b/);
        // Ended by an edit, for the next command to start another.
        await setSource(page, `${await sourceText(page)}; ${command}\n`);
        await waitText(page, 'messages', /la sessione di debug è finita/);
    }
});

test('the loop a stopped run was in is not said once the page has gone on to something else', { skip: skipPage }, async (t) => {
    const { page } = await openHolding(t);
    await setSource(page, 'giro:   JMP giro\n');
    await page.evaluate(() => globalThis.heldOps.add('runLoop'));
    await button(page, 'Esegui').click();
    await waitText(page, 'messages', /istruzioni eseguite: [1-9]/);
    await button(page, 'Ferma').click();
    await waitText(page, 'messages', /^Esecuzione fermata\./);
    await page.waitForFunction(() => globalThis.heldCount() === 1);
    // An example opened before the search answers: its message is the last word.
    await page.getByRole('combobox', { name: 'Esempi' }).selectOption('saluto');
    await waitText(page, 'messages', /^Caricato l'esempio «saluto\.asm»\./);
    const said = await text(page, 'messages');
    await page.evaluate(() => globalThis.releaseReplies());
    // The search's answer, handed on, has been taken before this evaluation.
    assert.equal(await page.evaluate(() => globalThis.heldCount()), 0);
    assert.equal(await text(page, 'messages'), said);
});

test('what the page says while a program runs or a Continua goes on stays there, and the count goes on under it', { skip: skipPage }, async (t) => {
    const { page } = await openPage(t);
    const count = async () => Number(/istruzioni eseguite: (\d+)/.exec(await text(page, 'messages'))?.[1] ?? 0);
    const shared = /^(Link copiato negli appunti|Copia il link dalla casella)/;
    // Once in a run, once in a Continua (on a counter of four bytes, which
    // proves no loop for billions of steps).
    await setSource(page, [
        'giro:   INC a', '        CLZ', '        CMP a, zero', '        JPZ alto', '        JMP giro',
        'alto:   INC b', '        CLZ', '        CMP b, zero', '        JPZ piu', '        JMP giro',
        'piu:    INC c', '        CLZ', '        CMP c, zero', '        JPZ ancora', '        JMP giro',
        'ancora: INC d', '        JMP giro',
        'zero:   DB 0', 'a:      DB 0', 'b:      DB 0', 'c:      DB 0', 'd:      DB 0', '',
    ].join('\n'));
    for (const command of ['Esegui', 'Continua']) {
        await button(page, command).click();
        await waitText(page, 'messages', /istruzioni eseguite: [1-9]/);
        await button(page, 'Condividi').click();
        await waitText(page, 'messages', shared);
        await page.waitForFunction((n) => Number(/istruzioni eseguite: (\d+)/.exec(document.getElementById('messages').textContent)?.[1]) > n, await count());
        const said = await page.evaluate(() => [...document.querySelectorAll('#messages p')].map((p) => p.textContent));
        assert.match(said[0], shared, command);
        assert.match(said.at(-1), /^istruzioni eseguite: \d+$/, command);
        assert.equal(said.length, 2, command);
        await button(page, 'Ferma').click();
        await waitText(page, 'messages', /^(Esecuzione fermata|Interrotto dopo)/);
        await page.waitForFunction(() => !document.getElementById('step').disabled && !document.getElementById('run').disabled);
    }
});

test('another work opened while a program runs stops it: the buttons are back, and the work\'s message stays', { skip: skipPage }, async (t) => {
    const { page } = await openHolding(t);
    await setSource(page, 'INP x\ngiro:   JMP giro\nx:      DB 0\n');
    await page.getByRole('textbox', { name: 'Ingresso' }).fill('');
    for (const state of ['aspetta una parola', 'istruzioni eseguite: [1-9]']) {
        // Waiting for a word, then running for ever.
        if (state !== 'aspetta una parola') await setSource(page, 'giro:   JMP giro\n');
        await button(page, 'Esegui').click();
        await waitText(page, 'messages', new RegExp(state));
        await page.getByRole('combobox', { name: 'Esempi' }).selectOption('saluto');
        await waitText(page, 'messages', /^Caricato l'esempio «saluto\.asm»\./);
        await waitIdle(page);
        await page.evaluate(() => globalThis.pingWorker());
        assert.match(await text(page, 'messages'), /^Caricato l'esempio «saluto\.asm»\. Il programma di prima è in «I miei programmi»\.$/, state);
        assert.equal(await page.getByRole('textbox', { name: 'Parola' }).isVisible(), false, state);
    }
});

test('a worker that does not answer "Ferma" is replaced, and the page goes on', { skip: skipPage }, async (t) => {
    const { page, context } = await openPage(t);
    // From here on, every worker of the page loses the requests to stop.
    const deaf = await context.newPage();
    await deaf.addInitScript(() => {
        const Original = Worker;
        globalThis.Worker = class extends Original {
            postMessage(message, transfer) {
                if (message?.op === 'stop') return;
                super.postMessage(message, transfer);
            }
        };
    });
    await page.close();
    await deaf.goto(page.url());
    await deaf.waitForSelector('body[data-ready="true"]', { state: 'attached' });
    await setSource(deaf, 'giro:   JMP giro\n');
    await button(deaf, 'Esegui').click();
    await waitText(deaf, 'messages', /istruzioni eseguite: [1-9]/);
    await button(deaf, 'Ferma').click();
    await waitText(deaf, 'messages', /Il simulatore non rispondeva: è stato riavviato\./);
    await waitIdle(deaf);
    await deaf.getByRole('combobox', { name: 'Esempi' }).selectOption('saluto');
    await button(deaf, 'Esegui').click();
    await waitText(deaf, 'messages', /terminato/);
    assert.match(await text(deaf, 'output'), /^Ciao, mondo!/);
});

const cutNote = '\n[… il resto è stato tralasciato: qui si vede solo il primo MiB]\n';

test('an endless printer fills the console up to 1 MiB, then says the rest was left out', { skip: skipPage }, async (t) => {
    const { page } = await openPage(t);
    await setSource(page, `giro:   WRT riga\n        JMP giro\nriga:   DB "${'è'.repeat(60)}\\n", 0\n`);
    await button(page, 'Esegui').click();
    await waitText(page, 'console', /il resto è stato tralasciato/);
    await waitText(page, 'output', /il resto è stato tralasciato/);
    await button(page, 'Ferma').click();
    await waitText(page, 'messages', /^Esecuzione fermata\./);
    for (const id of ['console', 'output']) {
        const shown = await text(page, id);
        assert.ok(shown.endsWith(cutNote), id);
        // The first MiB, less the bytes of an è the cut would split.
        const bytes = Buffer.byteLength(shown.slice(0, -cutNote.length));
        assert.ok(bytes <= 1024 * 1024 && bytes >= 1024 * 1024 - 1, `${id}: ${bytes}`);
        // Decoded whole: no character split between two events, nor by the cut.
        assert.ok(!shown.includes('\ufffd'), id);
        assert.equal(shown.split('tralasciato').length, 2, id);
    }
    // How much was printed is said.
    const said = await text(page, 'messages');
    for (const name of ['Console', 'Uscita']) {
        const [, total] = new RegExp(`«${name}»: il programma ha scritto ([\\d.]+) byte, qui si vede il primo MiB\\.`).exec(said) ?? [];
        assert.ok(Number(total?.replaceAll('.', '')) > 1024 * 1024, `${name}: ${said}`);
    }
});

// Counts, in the page, the bytes of printed output that come from its
// worker (a run's console and output, a view's output).
function countBytesFromWorker() {
    globalThis.bytesFromWorker = 0;
    const Original = Worker;
    globalThis.Worker = class extends Original {
        set onmessage(handler) {
            super.onmessage = (event) => {
                const data = event.data ?? {};
                for (const part of [data.console, data.output, data.view?.output]) globalThis.bytesFromWorker += part?.byteLength ?? 0;
                handler(event);
            };
        }
        get onmessage() {
            return super.onmessage;
        }
    };
}

test('a program that prints for ever: once "Console" and "Uscita" are full, no byte of it reaches the page, whose heap stays small', { skip: skipPage }, async (t) => {
    const { page } = await openPage(t);
    await page.context().addInitScript(countBytesFromWorker);
    await page.reload();
    await waitReady(page);
    // 231 bytes a round.
    await setSource(page, `giro:   WRT riga\n        JMP giro\nriga:   DB "${'x'.repeat(230)}\\n", 0\n`);
    const heap = await page.context().newCDPSession(page);
    const executed = async () => Number(/istruzioni eseguite: (\d+)/.exec(await text(page, 'messages'))?.[1] ?? 0);
    await button(page, 'Esegui').click();
    await waitText(page, 'console', /il resto è stato tralasciato/);
    await waitText(page, 'output', /il resto è stato tralasciato/);
    const received = await page.evaluate(() => globalThis.bytesFromWorker);
    assert.equal(received, 2 * 1024 * 1024);
    // Fifteen seconds of printing. The page's heap: V8's objects, the
    // browser's own (Blink's) and the storage of array buffers, where bytes
    // posted by the worker would pile up.
    let largest = 0;
    const start = await executed();
    for (let second = 0; second < 15; second++) {
        await page.waitForTimeout(1000);
        const usage = await heap.send('Runtime.getHeapUsage');
        assert.equal(typeof usage.backingStorageSize, 'number', JSON.stringify(usage));
        largest = Math.max(largest, usage.usedSize + (usage.embedderHeapUsedSize ?? 0) + usage.backingStorageSize);
    }
    assert.ok((await executed()) > start, 'the program should still be running');
    assert.equal(await page.evaluate(() => globalThis.bytesFromWorker), received);
    t.diagnostic(`heap della pagina: al massimo ${(largest / 1e6).toFixed(1)} MB; istruzioni eseguite: ${await executed()}`);
    assert.ok(largest < 200e6, `${largest} byte`);
    await button(page, 'Ferma').click();
    await waitText(page, 'messages', /^Esecuzione fermata\./);
    assert.equal(await page.evaluate(() => globalThis.bytesFromWorker), received);
});

test('after "Esegui", "Registri" and "Memoria" show the machine the run left, of the program that ran', { skip: skipPage }, async (t) => {
    const { page } = await openPage(t);
    // A first program, its image shown once the editor has checked it.
    await setSource(page, '        RST\n        DB 17, 34, 51\n');
    await page.waitForFunction(() => [...document.querySelectorAll('#memory td')].slice(1, 4).map((td) => td.textContent).join() === '11,22,33');
    // Another one run at once, before the editor checks it: INC x twice
    // makes x (at 7) 7; the string without a 0 brings the editor a warning.
    await setSource(page, 'INC x\nINC x\nWRT s\nRST\nx: DB 5\ns: DB "ok"\n');
    await button(page, 'Esegui').click();
    await waitText(page, 'messages', /^Il programma è terminato\./);
    // The editor has checked it by now: the machine stays the run's.
    await page.waitForFunction(() => /manca uno 0/.test(document.getElementById('diagnostics').textContent));
    const afterRun = { registers: await registers(page), memory: await memory(page) };
    assert.equal(afterRun.memory[7], 7);
    assert.equal(afterRun.registers[0], 'PC 6');
    // The debugger, run to the end (past its warning about the WRT), shows the same machine.
    for (let run = 0; run < 3 && !/^La macchina si è fermata/.test(await text(page, 'messages')); run++) {
        await button(page, 'Continua').click();
        await page.waitForFunction(() => !document.getElementById('step').disabled);
    }
    assert.match(await text(page, 'messages'), /^La macchina si è fermata/);
    assert.deepEqual({ registers: await registers(page), memory: await memory(page) }, afterRun);
});

test('a program with errors does not run: its errors are listed', { skip: skipPage }, async (t) => {
    const { page } = await openPage(t);
    await setSource(page, '        WTR msg\n        RST\nmsg:    DB "x", 0\n');
    await button(page, 'Esegui').click();
    await waitText(page, 'messages', /contiene errori/);
    await waitIdle(page);
    assert.match(await text(page, 'diagnostics'), /^1:9: errore: mnemonico sconosciuto 'WTR': forse intendevi WRT\?/);
    assert.equal(await text(page, 'console'), '');
});
