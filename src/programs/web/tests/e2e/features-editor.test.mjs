// The editor and the work around it: the assembler's messages in place and in
// "Diagnostica" (columns in characters), the examples, opening and saving
// files, the autosave across reloads, shared links, and a page that fits 360
// pixels.
import assert from 'node:assert/strict';
import { readFileSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';
import { deflateRawSync } from 'node:zlib';
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
    await page.getByRole('textbox', { name: 'Programma', exact: true }).click();
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
    // Saved at once, as when the page goes away: refused again, not said again.
    await full.evaluate(() => dispatchEvent(new PageTransitionEvent('pagehide')));
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

    // The saved work is something else, and the link wins over it.
    await setSource(page, '; salvato\n');
    await page.getByRole('textbox', { name: 'Ingresso' }).fill('');
    await page.getByRole('textbox', { name: 'Nome del file' }).fill('salvato');
    await page.waitForFunction(() => Object.values(localStorage).some((v) => v.includes('"name":"salvato"')));
    await page.close();
    const other = await context.newPage();
    await other.goto(link);
    await waitReady(other);
    assert.equal(await sourceText(other), '; condiviso: però\n        RST\n');
    assert.equal(await other.getByRole('textbox', { name: 'Ingresso' }).inputValue(), 'a b');
    assert.equal(await other.getByRole('textbox', { name: 'Nome del file' }).inputValue(), 'condiviso');
    // Not edited yet: the last saved work is still the other one.
    const plain = link.replace(/#.*$/, '');
    const third = await context.newPage();
    await third.goto(plain);
    await waitReady(third);
    assert.equal(await sourceText(third), '; salvato\n');
    await third.close();

    // Once edited, the link leaves the address and the edit is what a reload gives.
    await other.getByRole('textbox', { name: 'Programma', exact: true }).click();
    await other.keyboard.press('Control+End');
    await other.keyboard.type('; modificato\n');
    await other.waitForFunction(() => location.hash === '');
    await other.reload();
    await waitReady(other);
    assert.equal(await sourceText(other), '; condiviso: però\n        RST\n; modificato\n');
});

test('a link is refused on opening when its input passes 1 MiB, as "Esegui" would refuse it', { skip: skipPage }, async (t) => {
    const { page, server } = await openPage(t);
    const mib = 1024 * 1024;
    const fragment = (input) => deflateRawSync(Buffer.from(JSON.stringify({ source: `; ${input.length}\n        RST\n`, name: 'grande', input }))).toString('base64url');
    // The limit is in bytes of UTF-8, as the worker counts them.
    const refused = 'Il link condiviso non è valido: l\'ingresso nel link è troppo grande (al massimo 1 MiB).';
    const cases = [
        { input: 'a'.repeat(mib), opened: true },
        { input: 'à'.repeat(mib / 2), opened: true },
        { input: 'a'.repeat(mib + 1), said: refused },
        { input: `${'à'.repeat(mib / 2)}a`, said: refused },
        // Past what a link may unpack at all.
        { input: 'a'.repeat(3 * mib), said: 'Il link condiviso non è valido: è troppo grande (al massimo 1 MiB di programma e 1 MiB di ingresso).' },
    ];
    for (const { input, opened, said: expected } of cases) {
        await page.goto('about:blank');
        await page.goto(server.url(`index.html#c=${fragment(input)}`));
        await waitReady(page);
        const said = await text(page, 'messages');
        if (opened) {
            assert.match(said, /^Aperto il programma «grande\.asm» dal link condiviso\.$/);
            assert.equal(await sourceText(page), `; ${input.length}\n        RST\n`);
            assert.equal((await page.getByRole('textbox', { name: 'Ingresso' }).inputValue()).length, input.length);
        } else {
            assert.equal(said, expected, `${input.length}`);
            assert.notEqual(await sourceText(page), `; ${input.length}\n        RST\n`);
        }
    }
    // Nor does "Condividi" make such a link.
    await page.getByRole('textbox', { name: 'Ingresso' }).fill('a'.repeat(mib + 1));
    await button(page, 'Condividi').click();
    await waitText(page, 'messages', /^Impossibile creare il link: l'ingresso è troppo grande per un link \(al massimo 1 MiB\)/);
});

test('bidirectional controls never reach a program\'s name nor its download', { skip: skipPage }, async (t) => {
    const { page, server } = await openPage(t);
    const name = page.getByRole('textbox', { name: 'Nome del file' });
    const cases = [
        {
            how: 'a link',
            give: async () => {
                const work = { source: '        RST\n', name: 'compiti\u202Etxt.asm' };
                await page.goto('about:blank');
                await page.goto(server.url(`index.html#c=${deflateRawSync(Buffer.from(JSON.stringify(work))).toString('base64url')}`));
                await waitReady(page);
            },
            shown: 'compititxt',
        },
        {
            how: 'typed',
            give: async () => {
                await name.fill('');
                await name.pressSequentially('a\u2067b\u200fc\u202ad\u2069');
            },
            shown: 'abcd',
        },
        {
            how: 'a file',
            give: async () => {
                const chooser = page.waitForEvent('filechooser');
                await button(page, 'Apri').click();
                await (await chooser).setFiles({ name: 'x\u202Dy\u061Cz.asm', mimeType: 'text/plain', buffer: Buffer.from('        RST\n') });
                await waitText(page, 'messages', /^Aperto «/);
            },
            shown: 'xyz',
        },
    ];
    for (const { how, give, shown } of cases) {
        await give();
        assert.equal(await name.inputValue(), shown, how);
        const download = page.waitForEvent('download');
        await button(page, 'Salva').click();
        assert.equal((await download).suggestedFilename(), `${shown}.asm`, how);
    }
});

test('Tab indents in the editor, Esc then Tab leaves it, and "Aiuto" says so', { skip: skipPage }, async (t) => {
    const { page } = await openPage(t);
    const editor = page.getByRole('textbox', { name: 'Programma', exact: true });
    const inEditor = () => page.evaluate(() => Boolean(document.activeElement?.closest('.cm-editor')));
    await setSource(page, '');
    // After a label, Tab reaches the column of the instructions.
    await page.keyboard.type('ciclo:');
    await page.keyboard.press('Tab');
    await page.keyboard.type('JMP ciclo');
    await page.keyboard.press('Enter');
    await page.keyboard.press('Tab');
    await page.keyboard.type('RST');
    assert.equal(await sourceText(page), 'ciclo:  JMP ciclo\n        RST');
    assert.ok(await inEditor());
    // Lines selected move a level each way.
    await page.keyboard.press('Control+A');
    await page.keyboard.press('Tab');
    assert.equal(await sourceText(page), '        ciclo:  JMP ciclo\n                RST');
    await page.keyboard.press('Shift+Tab');
    await page.keyboard.press('Shift+Tab');
    assert.equal(await sourceText(page), 'ciclo:  JMP ciclo\nRST');
    assert.ok(await inEditor());
    // Esc then Tab: the next field, the text as it was.
    await page.keyboard.press('Escape');
    await page.keyboard.press('Tab');
    assert.equal(await page.evaluate(() => document.activeElement?.id), 'input');
    assert.equal(await sourceText(page), 'ciclo:  JMP ciclo\nRST');
    await editor.click();
    assert.ok(await inEditor());

    await button(page, 'Aiuto').click();
    const help = page.getByRole('dialog', { name: 'Aiuto' });
    await help.waitFor();
    assert.match(await help.textContent(), /premi Esc e subito dopo\s+Tab/);
});

test('"Aiuto" opens at its beginning and names every part as the page titles it', { skip: skipPage }, async (t) => {
    const { page } = await openPage(t, { viewport: { width: 360, height: 640 } });
    const help = page.getByRole('dialog', { name: 'Aiuto' });
    for (let round = 0; round < 2; round++) {
        await button(page, 'Aiuto').click();
        await help.waitFor();
        const shown = await page.evaluate(() => {
            const dialog = document.getElementById('help-dialog');
            return { top: dialog.scrollTop, more: dialog.scrollHeight > dialog.clientHeight, focused: document.activeElement?.id };
        });
        assert.deepEqual(shown, { top: 0, more: true, focused: 'help-title' });
        // Read to its end, closed, and opened again: at its beginning again.
        await page.evaluate(() => document.getElementById('help-dialog').scrollTo(0, 1e6));
        await page.keyboard.press('Escape');
        await help.waitFor({ state: 'hidden' });
    }
    // Every «name» of the guide is a title, a button, a field or a menu that the page shows.
    const { quoted, visible } = await page.evaluate(() => {
        const guide = document.querySelector('#help-dialog .help-text').textContent;
        const quoted = [...guide.matchAll(/«([^»]+)»/g)].map((m) => m[1].replace(/\s+/g, ' '));
        const outside = [...document.querySelectorAll('h2, h3, h4, button, label, option')].filter((e) => !e.closest('#help-dialog'));
        const visible = outside.flatMap((e) => [e.textContent.trim(), e.firstChild?.textContent?.trim() ?? '']).map((x) => x.replace(/\s+/g, ' '));
        return { quoted, visible };
    });
    assert.ok(quoted.includes('Programma'));
    assert.deepEqual(quoted.filter((name) => !visible.includes(name)), []);
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
    // The run said "istruzioni eseguite: 1" too: the step's own words.
    await button(page, 'Passo').click();
    await waitText(page, 'messages', /^La macchina si è fermata: .* dopo 1 istruzione\./);
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
    for (const name of ['Programma', 'Ingresso']) assert.equal(await page.getByRole('textbox', { name, exact: true }).count(), 1, name);
    // The editor has the name of the pane it fills, as "Aiuto" calls it.
    assert.equal(await page.getByRole('textbox', { name: await page.locator('#source-title').textContent(), exact: true }).evaluate((e) => e.matches('#editor .cm-content')), true);
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
