// The editor and the work around it: the assembler's messages in place and in
// "Diagnostica" (columns in characters), the examples, opening and saving
// files, the autosave across reloads, shared links, and a page that fits 360
// pixels.
import assert from 'node:assert/strict';
import { readFileSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';
import { test } from 'node:test';
import { examplesDir, runNative, tempFolder } from '../harness.mjs';
import { button, lines, openPage, region, setSource, skipNative, skipPage, sourceText, text, waitIdle, waitReady, waitText } from './features-page.mjs';

test('a typo is marked in place with the assembler\'s suggestion', { skip: skipPage }, async (t) => {
    const { page } = await openPage(t);
    await setSource(page, '        WTR msg\n        RST\nmsg:    DB "ciao", 0\n');
    const mark = page.locator('.cm-lintRange-error');
    await mark.waitFor();
    assert.equal(await mark.count(), 1);
    assert.equal(await mark.textContent(), 'WTR');
    await mark.hover();
    const tip = page.locator('.cm-tooltip-lint');
    await tip.waitFor();
    assert.equal(await tip.textContent(), "mnemonico sconosciuto 'WTR': forse intendevi WRT?");
    assert.deepEqual(await lines(page, 'diagnostics'), ["1:9: errore: mnemonico sconosciuto 'WTR': forse intendevi WRT?"]);

    // Corrected, the mark and the line go.
    await page.getByRole('textbox', { name: 'Sorgente' }).click();
    await page.keyboard.press('Control+Home');
    await page.keyboard.press('End');
    for (let i = 0; i < 4; i++) await page.keyboard.press('ArrowLeft');
    await page.keyboard.press('Backspace');
    await page.keyboard.press('Backspace');
    await page.keyboard.type('RT');
    await page.waitForFunction(() => document.getElementById('diagnostics').children.length === 0);
    assert.equal(await mark.count(), 0);
});

test('"Diagnostica" says the column in characters after accented letters, as tarnasm does', { skip: skipNative }, async (t) => {
    const source = 'msg:    DB "perché è così", 0, manca\n        WRT msg\n        RST\n        DB 300 ; più\n';
    const folder = tempFolder({ t }).path;
    writeFileSync(join(folder, 'a.asm'), source);
    const native = runNative('tarnasm', ['a.asm', '-o', 'a.bin'], { cwd: folder });
    assert.notEqual(native.status, 0);
    // tarnasm's lines, FILE:LINE:COLUMN: ..., without the file's name.
    const expected = native.stderr
        .split('\n')
        .filter((l) => /^a\.asm:\d+:\d+: /.test(l))
        .map((l) => l.slice('a.asm:'.length));
    assert.ok(expected.length >= 2, native.stderr);
    assert.match(expected[0], /^1:32: errore: /);

    const { page } = await openPage(t);
    await setSource(page, source);
    await page.waitForFunction((n) => document.getElementById('diagnostics').children.length >= n, expected.length);
    assert.deepEqual(await lines(page, 'diagnostics'), expected);
    // The mark covers the name itself, after the accented letters.
    const first = page.locator('.cm-lintRange-error').first();
    assert.equal(await first.textContent(), 'manca');
});

test('an example brings its source, its input and its name', { skip: skipPage }, async (t) => {
    const { page } = await openPage(t);
    await page.getByRole('combobox', { name: 'Esempi' }).selectOption('somma');
    assert.equal(await sourceText(page), readFileSync(join(examplesDir, 'somma.asm'), 'utf8'));
    assert.equal(await page.getByRole('textbox', { name: 'Ingresso' }).inputValue(), readFileSync(join(examplesDir, 'somma.in'), 'utf8'));
    assert.equal(await page.getByRole('textbox', { name: 'Nome del file' }).inputValue(), 'somma');
    // The highlighting knows the module's mnemonics.
    assert.ok((await page.locator('.tk-mnemonic').count()) > 0);
    assert.ok((await page.locator('.tk-directive').count()) > 0);
    assert.ok((await page.locator('.tk-comment').count()) > 0);
});

test('"Apri" reads a .asm up to 1 MiB, "Salva" downloads NAME.asm', { skip: skipPage }, async (t) => {
    const folder = tempFolder({ t }).path;
    const good = join(folder, 'mio programma.asm');
    writeFileSync(good, '; aperto da un file\n        RST\n');
    const big = join(folder, 'grande.asm');
    writeFileSync(big, Buffer.alloc(1024 * 1024 + 1, 0x3b));
    const { page } = await openPage(t);

    const chooser = page.waitForEvent('filechooser');
    await button(page, 'Apri').click();
    await (await chooser).setFiles(good);
    await waitText(page, 'messages', /Aperto «mio programma\.asm»/);
    assert.equal(await sourceText(page), '; aperto da un file\n        RST\n');
    assert.equal(await page.getByRole('textbox', { name: 'Nome del file' }).inputValue(), 'mio programma');

    const refused = page.waitForEvent('filechooser');
    await button(page, 'Apri').click();
    await (await refused).setFiles(big);
    await waitText(page, 'messages', /troppo grande.*al massimo 1 MiB/);
    assert.equal(await sourceText(page), '; aperto da un file\n        RST\n');

    const download = page.waitForEvent('download');
    await button(page, 'Salva').click();
    const saved = await download;
    assert.equal(saved.suggestedFilename(), 'mio programma.asm');
    const copy = join(folder, 'copia.asm');
    await saved.saveAs(copy);
    assert.equal(readFileSync(copy, 'utf8'), '; aperto da un file\n        RST\n');
});

test('the work survives a reload; a storage that refuses is said once', { skip: skipPage }, async (t) => {
    const { page, context } = await openPage(t);
    await setSource(page, '; il mio lavoro\n        RST\n');
    await page.getByRole('textbox', { name: 'Ingresso' }).fill('uno due');
    await page.getByRole('textbox', { name: 'Nome del file' }).fill('lavoro');
    await page.reload();
    await waitReady(page);
    assert.equal(await sourceText(page), '; il mio lavoro\n        RST\n');
    assert.equal(await page.getByRole('textbox', { name: 'Ingresso' }).inputValue(), 'uno due');
    assert.equal(await page.getByRole('textbox', { name: 'Nome del file' }).inputValue(), 'lavoro');

    const full = await context.newPage();
    await full.addInitScript(() => {
        Storage.prototype.setItem = () => {
            throw new DOMException('pieno', 'QuotaExceededError');
        };
    });
    await full.goto(page.url());
    await waitReady(full);
    await setSource(full, '; uno\n');
    await waitText(full, 'messages', /non permette di salvare il lavoro \(QuotaExceededError\)/);
    await full.keyboard.type('; due\n');
    await full.getByRole('textbox', { name: 'Ingresso' }).fill('x');
    await full.evaluate(() => new Promise((done) => setTimeout(done, 600)));
    assert.equal((await text(full, 'messages')).match(/non permette di salvare/g).length, 1);
});

test('a shared link carries source, input and name, and keeps the autosave until the student edits', { skip: skipPage }, async (t) => {
    const { page, context } = await openPage(t);
    await page.getByRole('combobox', { name: 'Esempi' }).selectOption('eco');
    await setSource(page, '; condiviso: però\n        RST\n');
    await page.getByRole('textbox', { name: 'Ingresso' }).fill('a b');
    await page.getByRole('textbox', { name: 'Nome del file' }).fill('condiviso');
    await context.grantPermissions(['clipboard-read', 'clipboard-write']);
    await button(page, 'Condividi').click();
    const box = page.getByRole('textbox', { name: 'Link da condividere' });
    await box.waitFor();
    const link = await box.inputValue();
    assert.match(link, /#c=[A-Za-z0-9_-]+$/);
    assert.equal(await page.evaluate(() => navigator.clipboard.readText()), link);

    // The autosave holds something else, and the link wins over it.
    await setSource(page, '; salvato\n');
    await page.getByRole('textbox', { name: 'Ingresso' }).fill('');
    await page.getByRole('textbox', { name: 'Nome del file' }).fill('salvato');
    await page.evaluate(() => new Promise((done) => setTimeout(done, 500)));
    const other = await context.newPage();
    await other.goto(link);
    await waitReady(other);
    assert.equal(await sourceText(other), '; condiviso: però\n        RST\n');
    assert.equal(await other.getByRole('textbox', { name: 'Ingresso' }).inputValue(), 'a b');
    assert.equal(await other.getByRole('textbox', { name: 'Nome del file' }).inputValue(), 'condiviso');
    // Not edited yet: the autosave is still the other work.
    const plain = link.replace(/#.*$/, '');
    const third = await context.newPage();
    await third.goto(plain);
    await waitReady(third);
    assert.equal(await sourceText(third), '; salvato\n');
    await third.close();

    // Once edited, the link leaves the address and the edit is what a reload gives.
    await other.getByRole('textbox', { name: 'Sorgente' }).click();
    await other.keyboard.press('Control+End');
    await other.keyboard.type('; modificato\n');
    await other.waitForFunction(() => location.hash === '');
    await other.reload();
    await waitReady(other);
    assert.equal(await sourceText(other), '; condiviso: però\n        RST\n; modificato\n');
});

test('a damaged link is one clear message and the page still works', { skip: skipPage }, async (t) => {
    const { page } = await openPage(t, { path: 'index.html#c=QUJDRA' });
    await waitText(page, 'messages', /^Il link condiviso non è valido: /);
    assert.equal((await text(page, 'messages')).split('Il link').length, 2);
    await setSource(page, '        RST\n');
    await button(page, 'Esegui').click();
    await waitText(page, 'messages', /terminato/);
});

test('nothing overflows 360 pixels, whatever the page shows', { skip: skipPage }, async (t) => {
    const { page } = await openPage(t, { viewport: { width: 360, height: 740 } });
    const fits = () => page.evaluate(() => [document.documentElement.scrollWidth, window.innerWidth]);
    let [width, viewport] = await fits();
    assert.ok(width <= viewport, `${width} > ${viewport} at start`);

    const long = 'x'.repeat(300);
    await setSource(page, `        WRT msg\n        RST\nmsg: DB "${long}\\n${long}", 0 ; ${long}\n        WTR ${long}\n`);
    await waitText(page, 'diagnostics', /WTR/);
    ;[width, viewport] = await fits();
    assert.ok(width <= viewport, `${width} > ${viewport} with long lines and diagnostics`);

    const line = 'x'.repeat(100);
    await setSource(page, `        WRT msg\n        RST\nmsg: DB "${line}\\n${line}", 0\n`);
    await button(page, 'Esegui').click();
    await waitText(page, 'messages', /terminato/);
    await waitIdle(page);
    await button(page, 'Passo').click();
    await waitText(page, 'messages', /istruzioni eseguite: 1/);
    await button(page, 'Condividi').click();
    await region(page, 'Memoria').locator('td').first().click();
    ;[width, viewport] = await fits();
    assert.ok(width <= viewport, `${width} > ${viewport} after a run, a step and a link`);
    await button(page, 'Aiuto').click();
    const dialog = page.getByRole('dialog', { name: 'Aiuto' });
    await dialog.waitFor();
    ;[width, viewport] = await fits();
    assert.ok(width <= viewport, `${width} > ${viewport} with the guide open`);
    await page.keyboard.press('Escape');
    await dialog.waitFor({ state: 'hidden' });
});

test('every control and region has its name, the memory its 16 × 16 cells', { skip: skipPage }, async (t) => {
    const { page } = await openPage(t);
    const buttons = ['Esegui', 'Ferma', 'Passo', 'Indietro', 'Continua', 'Ritorna', 'Ricomincia', 'Condividi', 'Apri', 'Salva', 'Apri esercizio', 'Verifica', 'Tasto', 'Punto di arresto', 'Osserva', "Chi l'ha scritto?", 'Aiuto'];
    for (const name of buttons) assert.equal(await button(page, name).count(), 1, name);
    for (const name of ['Sorgente', 'Ingresso']) assert.equal(await page.getByRole('textbox', { name, exact: true }).count(), 1, name);
    assert.equal(await page.getByRole('combobox', { name: 'Esempi', exact: true }).count(), 1);
    for (const name of ['Uscita', 'Console', 'Memoria', 'Registri', 'Messaggi', 'Diagnostica', 'Esiti']) {
        assert.equal(await region(page, name).count(), 1, name);
    }
    assert.equal(await region(page, 'Messaggi').locator('[aria-live="polite"]').count(), 1);
    const grid = await page.evaluate(() =>
        [...document.querySelectorAll('#memory tbody tr')].map((tr) => [
            tr.children[0].tagName + ':' + tr.children[0].getAttribute('scope'),
            [...tr.children].slice(1).map((c) => c.tagName + ':' + /^[0-9A-F]{2}$/.test(c.textContent)),
        ]),
    );
    assert.equal(grid.length, 16);
    for (const [header, cells] of grid) {
        assert.equal(header, 'TH:row');
        assert.deepEqual(cells, new Array(16).fill('TD:true'));
    }
    assert.deepEqual(await page.evaluate(() => [...document.querySelectorAll('#registers > :not(.hex)')].map((e) => e.textContent)), [
        'PC 0',
        'IR 0',
        'A 0',
        'B 0',
        'X 0',
        'D=0 Z=0 O=0 P=0 N=0',
    ]);
    assert.deepEqual(await page.evaluate(() => [...document.querySelectorAll('#registers > .hex')].map((e) => e.textContent)),
        new Array(5).fill('0x00 (0)'));
});
