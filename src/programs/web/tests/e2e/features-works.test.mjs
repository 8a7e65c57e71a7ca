// "I miei programmi": every typed work kept in an entry of its own, each tab
// saving into its own entry (after a reload too, never a duplicated tab's or
// another tab's), examples, links and "Nuovo" opening new works beside the
// typed ones, the single saved work of earlier versions as the list's first,
// deleting, and a full list or storage said once with nothing lost.
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import { join } from 'node:path';
import { deflateRawSync } from 'node:zlib';
import { test } from 'node:test';
import { examplesDir, openBrowser, startServer, tempFolder } from '../harness.mjs';
import { button, openPage, setSource, skipPage, sourceText, text, waitReady, waitText } from './features-page.mjs';

const example = (name) => readFileSync(join(examplesDir, `${name}.asm`), 'utf8');

// The fragment of a shared link ("c=...") carrying `work`.
function linkFragment(work) {
    return `c=${deflateRawSync(Buffer.from(JSON.stringify(work))).toString('base64url')}`;
}

// The works kept in the page's origin: { key, name, source, input, ... }.
async function stored(page) {
    return page.evaluate(() =>
        Object.keys(localStorage)
            .filter((key) => /^tarnsim-lavoro(-[0-9a-z]+)?$/.test(key))
            .sort()
            .map((key) => ({ key, ...JSON.parse(localStorage.getItem(key)) })),
    );
}

// Waits until a kept work has `fields` (source, name, input).
async function waitStored(page, fields) {
    await page.waitForFunction((wanted) => {
        return Object.keys(localStorage).some((key) => {
            if (!/^tarnsim-lavoro(-[0-9a-z]+)?$/.test(key)) return false;
            const work = JSON.parse(localStorage.getItem(key));
            return Object.entries(wanted).every(([field, value]) => work[field] === value);
        });
    }, fields);
}

const nameBox = (page) => page.getByRole('textbox', { name: 'Nome del file' });
const inputBox = (page) => page.getByRole('textbox', { name: 'Ingresso' });
const worksDialog = (page) => page.getByRole('dialog', { name: 'I miei programmi' });

// Opens "I miei programmi" and gives back its lines: [name, details].
async function openList(page) {
    await button(page, 'I miei programmi').click();
    await page.waitForFunction(() => document.getElementById('works-note').textContent !== '');
    return page.evaluate(() =>
        [...document.querySelectorAll('#works-list .work')].map((li) => [li.querySelector('.work-name').textContent, li.querySelector('.work-details').textContent]),
    );
}

async function closeList(page) {
    await worksDialog(page).getByRole('button', { name: 'Chiudi' }).click();
    await worksDialog(page).waitFor({ state: 'hidden' });
}

async function open(page, server, path = 'index.html') {
    await page.goto(server.url(path));
    await waitReady(page);
}

// Types `text` at the end of the editor's text.
async function typeAtEnd(page, text) {
    await page.getByRole('textbox', { name: 'Programma', exact: true }).click();
    await page.keyboard.press('Control+End');
    await page.keyboard.type(text);
}

test('each tab keeps its own work: a second tab, an example, a link or "Nuovo" never take the place of a typed one', { skip: skipPage }, async (t) => {
    const server = await startServer({ t });
    const { context, page } = await openBrowser({ t, serviceWorkers: 'block' });
    await open(page, server);
    const mine = '; il mio programma\n        RST\n';
    await setSource(page, mine);
    await nameBox(page).fill('mio');
    await waitStored(page, { source: mine, name: 'mio' });

    // A second tab starts on a new program: the first tab's work is open there.
    const second = await context.newPage();
    await open(second, server);
    assert.equal(await sourceText(second), '');
    assert.equal(await nameBox(second).inputValue(), 'programma');
    await waitText(second, 'messages', /quelli salvati sono in «I miei programmi»/);
    await second.getByRole('combobox', { name: 'Esempi' }).selectOption('conto');
    await second.reload();
    await waitReady(second);
    assert.equal(await sourceText(second), example('conto'));

    // An example in the same tab is a new work; the typed one stays saved.
    await page.getByRole('combobox', { name: 'Esempi' }).selectOption('somma');
    await waitText(page, 'messages', /Caricato l'esempio «somma\.asm»\. Il programma di prima è in «I miei programmi»/);
    await page.reload();
    await waitReady(page);
    assert.equal(await sourceText(page), example('somma'));
    // Ctrl+Z stays within the example: the typed program never comes into it.
    await page.getByRole('textbox', { name: 'Programma', exact: true }).click();
    await page.keyboard.press('Control+z');
    assert.equal(await sourceText(page), example('somma'));
    assert.deepEqual((await openList(page)).map(([name]) => name), ['mio.asm']);
    await worksDialog(page).getByRole('button', { name: 'Apri mio.asm' }).click();
    await waitText(page, 'messages', /Aperto «mio\.asm» da «I miei programmi»/);
    assert.equal(await sourceText(page), mine);
    assert.equal(await nameBox(page).inputValue(), 'mio');

    // "Nuovo": an empty program named programma, in the list once typed.
    await button(page, 'Nuovo').click();
    await waitText(page, 'messages', /^Nuovo programma\. Il programma di prima è in «I miei programmi»/);
    assert.equal(await sourceText(page), '');
    assert.equal(await nameBox(page).inputValue(), 'programma');
    assert.equal(await inputBox(page).inputValue(), '');
    await setSource(page, '; secondo\n');
    await waitStored(page, { source: '; secondo\n', name: 'programma' });

    // Both tabs closed, a new one opens the last work changed.
    await page.close();
    await second.close();
    const third = await context.newPage();
    await open(third, server);
    assert.equal(await sourceText(third), '; secondo\n');

    // A link opens as a new work, saved only when edited.
    const shared = { source: '; dal link\n        RST\n', name: 'condiviso', input: 'a b' };
    await third.evaluate((fragment) => (location.hash = fragment), linkFragment(shared));
    await waitText(third, 'messages', /Aperto il programma «condiviso\.asm» dal link condiviso/);
    assert.equal(await sourceText(third), shared.source);
    assert.deepEqual((await openList(third)).map(([name]) => name), ['mio.asm', 'programma.asm']);
    await closeList(third);
    await typeAtEnd(third, '; modificato\n');
    await waitStored(third, { source: `${shared.source}; modificato\n`, name: 'condiviso', input: 'a b' });
    assert.equal(await third.evaluate(() => location.hash), '');
    const lines = await openList(third);
    assert.deepEqual(lines.map(([name]) => name), ['mio.asm', 'programma.asm', 'condiviso.asm']);
    assert.match(lines[2][1], /^modificato il .*, in questa scheda$/);
    assert.deepEqual((await stored(third)).map((w) => w.source).sort(), [mine, '; secondo\n', `${shared.source}; modificato\n`].sort());

    // Deleting asks first; deleting this tab's work leaves a new program.
    const dialog = worksDialog(third);
    await dialog.getByRole('button', { name: 'Elimina mio.asm' }).click();
    await dialog.getByRole('button', { name: 'No, tienilo' }).click();
    await dialog.getByRole('button', { name: 'Elimina mio.asm' }).click();
    await dialog.getByRole('button', { name: 'Sì, elimina mio.asm' }).click();
    await waitText(third, 'messages', /^Eliminato «mio\.asm»\.$/);
    await dialog.getByRole('button', { name: 'Elimina condiviso.asm' }).click();
    await dialog.getByRole('button', { name: 'Sì, elimina condiviso.asm' }).click();
    await waitText(third, 'messages', /Eliminato «condiviso\.asm»: qui c'è un nuovo programma/);
    assert.equal(await sourceText(third), '');
    assert.deepEqual((await stored(third)).map((w) => w.source), ['; secondo\n']);
    await third.waitForFunction(() => document.querySelectorAll('#works-list .work').length === 1);
});

test('a duplicated tab, or a work open in two tabs, never saves into the other tab\'s entry', { skip: skipPage }, async (t) => {
    const server = await startServer({ t });
    const { browser } = await openBrowser({ t, serviceWorkers: 'block' });
    // With the browser's Web Locks, and without them (an address that is not https).
    for (const locks of [true, false]) {
        const context = await browser.newContext({ serviceWorkers: 'block' });
        t.after(() => context.close());
        if (!locks) await context.addInitScript(() => Object.defineProperty(Navigator.prototype, 'locks', { get: () => undefined, configurable: true }));
        const first = await context.newPage();
        await open(first, server);
        const mine = `; di una scheda sola (${locks})\n`;
        await setSource(first, mine);
        await nameBox(first).fill('primo');
        await waitStored(first, { source: mine, name: 'primo' });
        const [{ key }] = await stored(first);

        // A duplicated tab gets a copy of the first tab's sessionStorage.
        const session = await first.evaluate(() => sessionStorage.getItem('tarnsim-scheda'));
        assert.equal(JSON.parse(session).key, key);
        const duplicate = await context.newPage();
        await duplicate.addInitScript((state) => {
            if (!sessionStorage.getItem('tarnsim-scheda')) sessionStorage.setItem('tarnsim-scheda', state);
        }, session);
        await open(duplicate, server);
        assert.equal(await sourceText(duplicate), mine, `locks ${locks}`);
        await waitText(duplicate, 'messages', /«primo\.asm» è aperto anche in un'altra scheda: qui ne hai una copia/);
        await typeAtEnd(duplicate, '; copia\n');
        await nameBox(duplicate).fill('copia');
        await waitStored(duplicate, { source: `${mine}; copia\n`, name: 'copia' });
        assert.equal((await stored(first)).find((w) => w.key === key).source, mine);
        // Its own entry survives its reload.
        await duplicate.reload();
        await waitReady(duplicate);
        assert.equal(await sourceText(duplicate), `${mine}; copia\n`);

        // The first tab, reloaded, is still on its own work.
        await first.reload();
        await waitReady(first);
        assert.equal(await sourceText(first), mine);
        await typeAtEnd(first, '; prima\n');
        await waitStored(first, { source: `${mine}; prima\n` });
        assert.equal((await stored(first)).find((w) => w.key === key).source, `${mine}; prima\n`);

        const lines = await openList(duplicate);
        assert.deepEqual(lines.map(([name]) => name), ['primo.asm', 'copia.asm']);
        const list = worksDialog(duplicate);
        if (locks) {
            // Open in the first tab: it cannot be opened or deleted here.
            assert.match(lines[0][1], /aperto in un'altra scheda$/);
            assert.equal(await list.getByRole('button', { name: 'Apri primo.asm' }).isDisabled(), true);
            assert.equal(await list.getByRole('button', { name: 'Elimina primo.asm' }).isDisabled(), true);
            await closeList(duplicate);
        } else {
            // Nothing tells; once the second tab writes it, the first goes on in an entry of its own.
            await list.getByRole('button', { name: 'Apri primo.asm' }).click();
            await waitText(duplicate, 'messages', /Aperto «primo\.asm»/);
            assert.equal(await sourceText(duplicate), `${mine}; prima\n`);
            await typeAtEnd(duplicate, '; seconda\n');
            await waitText(first, 'messages', /«primo\.asm» è stato modificato in un'altra scheda: quello di questa scheda è salvato a parte/);
            await typeAtEnd(first, '; ancora la prima\n');
            await waitStored(first, { source: `${mine}; prima\n; ancora la prima\n` });
            await waitStored(first, { source: `${mine}; prima\n; seconda\n` });
            const sources = (await stored(first)).map((w) => w.source).sort();
            assert.deepEqual(sources, [`${mine}; copia\n`, `${mine}; prima\n; ancora la prima\n`, `${mine}; prima\n; seconda\n`].sort());
        }
        await context.close();
    }
});

test('the single saved work of earlier versions is the first of the list, saved again where it was', { skip: skipPage }, async (t) => {
    const server = await startServer({ t });
    const { context, page } = await openBrowser({ t, serviceWorkers: 'block' });
    await open(page, server);
    const old = { source: '; di prima\n        RST\n', name: 'vecchio', input: 'uno due' };
    await page.evaluate((work) => localStorage.setItem('tarnsim-lavoro', JSON.stringify(work)), old);
    await page.close();

    const tab = await context.newPage();
    await open(tab, server);
    assert.equal(await sourceText(tab), old.source);
    assert.equal(await nameBox(tab).inputValue(), 'vecchio');
    assert.equal(await inputBox(tab).inputValue(), 'uno due');
    await button(tab, 'Nuovo').click();
    await setSource(tab, '; nuovo\n');
    await waitStored(tab, { source: '; nuovo\n' });
    assert.deepEqual((await openList(tab)).map(([name]) => name), ['vecchio.asm', 'programma.asm']);
    await worksDialog(tab).getByRole('button', { name: 'Apri vecchio.asm' }).click();
    await typeAtEnd(tab, '; ripreso\n');
    await waitStored(tab, { source: `${old.source}; ripreso\n` });
    const kept = await stored(tab);
    assert.equal(kept.length, 2);
    assert.equal(kept.find((w) => w.key === 'tarnsim-lavoro').source, `${old.source}; ripreso\n`);
});

test('a full list or a storage that refuses is said once; nothing saved is lost, nor the typed work', { skip: skipPage }, async (t) => {
    const server = await startServer({ t });
    const { browser } = await openBrowser({ t, serviceWorkers: 'block' });
    const cases = [
        {
            what: '100 programmi',
            fill: () => {
                for (let i = 0; i < 100; i++) localStorage.setItem(`tarnsim-lavoro-pieno${i}`, JSON.stringify({ source: `; ${i}\n`, name: `n${i}`, created: 1 + i }));
            },
            said: /non è salvato: «I miei programmi» ne tiene al massimo 100\./,
            free: 'n0.asm',
        },
        {
            what: '2 milioni di caratteri',
            fill: () => localStorage.setItem('tarnsim-lavoro-grande', JSON.stringify({ source: ';'.repeat(1_999_950), name: 'grande', created: 1 })),
            said: /non è salvato: «I miei programmi» tiene al massimo 2 milioni di caratteri\./,
            free: 'grande.asm',
        },
        {
            what: 'un browser che rifiuta',
            fill: () => {
                localStorage.setItem('tarnsim-lavoro-tenuto', JSON.stringify({ source: '; tenuto\n', name: 'tenuto', created: 1 }));
                const setItem = Storage.prototype.setItem;
                Storage.prototype.setItem = function (key, value) {
                    if (this === localStorage) throw new DOMException('pieno', 'QuotaExceededError');
                    return setItem.call(this, key, value);
                };
            },
            said: /Il browser non permette di salvare il lavoro \(QuotaExceededError\)/,
            free: null,
        },
    ];
    for (const { what, fill, said, free } of cases) {
        const context = await browser.newContext({ serviceWorkers: 'block', acceptDownloads: true });
        t.after(() => context.close());
        const page = await context.newPage();
        await open(page, server);
        await page.evaluate(fill);
        const before = await stored(page);
        await button(page, 'Nuovo').click();
        await setSource(page, '; scritto\n');
        await waitText(page, 'messages', said);
        // More typing, and a save that the page makes at once (as when it goes away).
        await page.keyboard.type('; ancora\n');
        await inputBox(page).fill('x');
        await page.evaluate(() => dispatchEvent(new PageTransitionEvent('pagehide')));
        const messages = await text(page, 'messages');
        assert.equal((messages.match(/non è salvato|non permette di salvare/g) ?? []).length, 1, `${what}: ${messages}`);
        assert.deepEqual(await stored(page), before, what);
        // Another work would take its place: refused, and the typed one stays.
        await page.getByRole('combobox', { name: 'Esempi' }).selectOption('conto');
        await waitText(page, 'messages', /«programma\.asm» non è ancora salvato: scaricalo con «Salva», o fai posto/);
        assert.equal(await sourceText(page), '; scritto\n; ancora\n');

        if (!free) {
            // Downloaded with "Salva", it may give its place to another work.
            const download = page.waitForEvent('download');
            await button(page, 'Salva').click();
            const copy = join(tempFolder({ t }).path, 'scaricato.asm');
            await (await download).saveAs(copy);
            assert.equal(readFileSync(copy, 'utf8'), '; scritto\n; ancora\n');
            await page.getByRole('combobox', { name: 'Esempi' }).selectOption('conto');
            await waitText(page, 'messages', /^Caricato l'esempio «conto\.asm»\.$/);
            assert.deepEqual(await stored(page), before, what);
        } else {
            // Room made: saved at once, whole.
            await openList(page);
            await worksDialog(page).getByRole('button', { name: `Elimina ${free}` }).click();
            await worksDialog(page).getByRole('button', { name: `Sì, elimina ${free}` }).click();
            await waitText(page, 'messages', /Il programma è di nuovo salvato in «I miei programmi»/);
            const source = '; scritto\n; ancora\n';
            await waitStored(page, { source, input: 'x' });
            const after = await stored(page);
            assert.deepEqual(
                after.filter((w) => w.source !== source),
                before.filter((w) => `${w.name}.asm` !== free),
                what,
            );
        }
        await context.close();
    }
});

test('while the work cannot be saved the page keeps saying so, under a run\'s count and after it', { skip: skipPage }, async (t) => {
    const { page } = await openPage(t);
    await setSource(page, 'giro:   JMP giro\n');
    await waitStored(page, { source: 'giro:   JMP giro\n' });
    // From here on the browser refuses to save.
    await page.evaluate(() => {
        const setItem = Storage.prototype.setItem;
        Storage.prototype.setItem = function (key, value) {
            if (this === localStorage) throw new DOMException('pieno', 'QuotaExceededError');
            return setItem.call(this, key, value);
        };
    });
    const count = async () => Number(/istruzioni eseguite: (\d+)/.exec(await text(page, 'messages'))?.[1] ?? 0);
    const note = /Il browser non permette di salvare il lavoro \(QuotaExceededError\): usa «Salva» per non perderlo\./g;
    await button(page, 'Esegui').click();
    await waitText(page, 'messages', /istruzioni eseguite: [1-9]/);
    // Typed while the program runs: the save is refused, and said.
    await inputBox(page).fill('x');
    await waitText(page, 'messages', note);
    // The count goes on in its own line.
    await page.waitForFunction((n) => Number(/istruzioni eseguite: (\d+)/.exec(document.getElementById('messages').textContent)?.[1]) > n, await count());
    assert.equal((await text(page, 'messages')).match(note)?.length, 1);
    // Stopped: what the page says of the run replaces the rest, not the note.
    await button(page, 'Ferma').click();
    await waitText(page, 'messages', /^Esecuzione fermata\./);
    assert.equal((await text(page, 'messages')).match(note)?.length, 1);
});
