// What the page teaches of memory and of the instructions: a cell's label
// and role on hovering or choosing it, the table of instructions in «Aiuto»
// as the module gives it, a mnemonic's row in the editor, and the grid and
// the debugger's buttons on a phone of 360 pixels.
import assert from 'node:assert/strict';
import { test } from 'node:test';
import { loadModule, moduleMissing } from '../harness.mjs';
import { button, openPage, region, registers, setSource, skipPage, text, waitText } from './features-page.mjs';

// The module's own reference and texts of the numbers, read in node.
async function moduleWords() {
    const module = await loadModule();
    const at = module._tw_init();
    return JSON.parse(new TextDecoder().decode(module.HEAPU8.subarray(at, at + module._tw_size())));
}

const source = [
    'ciclo:  INP parola', // 0x00
    '        JPZ ciclo', // 0x02
    '        RST', // 0x04
    'parola: DB "abc", 0', // 0x05
].join('\n');

const jpzMeaning = (words) => words.reference.find((r) => r.mnemonic === 'JPZ').meaning;

const cell = (page, address) => page.locator('#memory td').nth(address);

test('a cell, hovered or chosen, names its label and whether it is an instruction or data', { skip: skipPage }, async (t) => {
    const { page } = await openPage(t);
    await setSource(page, source);
    await page.waitForFunction(() => document.querySelector('#memory td[data-address="6"]').title === 'parola+1, dato');
    const cases = [
        [0, "ciclo, codice di un'istruzione", ['code', 'opcode']],
        [1, "ciclo+1, operando di un'istruzione", ['code']],
        [3, "ciclo+3, operando di un'istruzione", ['code']],
        [4, "ciclo+4, codice di un'istruzione", ['code', 'opcode']],
        [5, 'parola, dato', ['data']],
        [8, 'parola+3, dato', ['data']],
        [9, 'parola+4, fuori dal programma', []],
    ];
    for (const [address, said, classes] of cases) {
        const shown = await cell(page, address).evaluate((td) => ({
            title: td.title,
            classes: ['code', 'opcode', 'data'].filter((name) => td.classList.contains(name)),
        }));
        assert.deepEqual(shown, { title: said, classes }, `cell ${address}`);
        await cell(page, address).hover();
        await waitText(page, 'cell-owner', new RegExp(`^0x0${address} \\(${address}\\): ${said.replace(/[+()]/g, '\\$&')}$`));
    }
    // The pointer gone, the line names the chosen cell; the arrows choose another.
    await cell(page, 1).click();
    await page.mouse.move(0, 0);
    await waitText(page, 'cell-owner', /^0x01 \(1\): ciclo\+1, operando/);
    await page.keyboard.press('ArrowRight');
    await waitText(page, 'cell-owner', /^0x02 \(2\): ciclo\+2, codice/);
    assert.equal(await text(page, 'cell-info'), "Cella 0x02 (2): 0x43 (67, 'C')");
    // A source with errors leaves the last program's cells as the grid shows them.
    await setSource(page, `${source}\n        JMP nessuna`);
    await waitText(page, 'diagnostics', /nessuna/);
    assert.equal(await cell(page, 6).getAttribute('title'), 'parola+1, dato');
});

test('"Aiuto" has the table of instructions, and a mnemonic in the editor shows its row', { skip: skipPage || moduleMissing }, async (t) => {
    const words = await moduleWords();
    const { page } = await openPage(t);
    await button(page, 'Aiuto').click();
    const table = page.getByRole('table', { name: 'Le istruzioni della macchina' });
    await table.waitFor();
    const rows = await table.locator('tbody tr').evaluateAll((trs) => trs.map((tr) => [...tr.children].map((c) => c.textContent)));
    const expected = words.reference.map((r) => [words.numbers.addresses[r.opcode], r.mnemonic, `${r.length} byte`, r.unit, r.meaning]);
    assert.deepEqual(rows, expected);
    // On a phone each row is a block, and still a row of the table.
    const size = page.viewportSize();
    await page.setViewportSize({ width: 360, height: 740 });
    assert.equal(await table.getByRole('row').count(), expected.length + 1);
    assert.equal(await table.getByRole('cell', { name: jpzMeaning(words), exact: true }).count(), 1);
    await page.setViewportSize(size);
    await page.keyboard.press('Escape');

    await setSource(page, `${source}  ; JPZ in un commento`);
    const jpz = words.reference.find((r) => r.mnemonic === 'JPZ');
    // The pointer on JPZ: its row in a tooltip; on the label after it, none.
    await page.locator('.cm-line .tk-mnemonic', { hasText: 'JPZ' }).hover();
    const tip = page.locator('.instruction-tip');
    await tip.waitFor();
    assert.equal(await tip.textContent(), "JPZ: codice 0x43 (67), 2 byte, unità controllo. Salta all'indirizzo A se il flag Z è acceso.");
    assert.ok((await tip.textContent()).includes(jpz.meaning.slice(1)));
    await page.locator('.cm-line .tk-name', { hasText: 'parola' }).first().hover();
    await tip.waitFor({ state: 'detached' });

    // The cursor on a mnemonic: its row in the status line; in a comment, none.
    const status = page.getByRole('status', { name: 'Istruzione al cursore' });
    await page.locator('.cm-line .tk-mnemonic', { hasText: 'RST' }).click();
    await waitText(page, 'instruction-status', /^RST: codice 0x00 \(0\), 1 byte, unità nessuna\. Ferma la macchina/);
    await page.keyboard.press('End');
    await page.keyboard.press('ArrowDown');
    await page.keyboard.press('End');
    await waitText(page, 'instruction-status', /^$/);
    assert.equal(await status.textContent(), '');
});

// Where the digits of each cell are drawn: the box of its text and how many
// lines it takes.
async function cellTexts(page) {
    return page.evaluate(() =>
        [...document.querySelectorAll('#memory tbody td')].map((td) => {
            const range = document.createRange();
            range.selectNodeContents(td);
            const { left, right } = range.getBoundingClientRect();
            return { left, right, lines: range.getClientRects().length };
        }),
    );
}

test('the grid keeps two digits on a line with room between bytes, at 360 pixels too', { skip: skipPage }, async (t) => {
    const { page } = await openPage(t, { viewport: { width: 360, height: 740 } });
    for (const width of [360, 600, 950, 1100, 1280]) {
        await page.setViewportSize({ width, height: 800 });
        const texts = await cellTexts(page);
        for (let address = 0; address < 256; address++) {
            assert.equal(texts[address].lines, 1, `${width} px, cell ${address}`);
            if (address % 16 === 15) continue;
            const room = texts[address + 1].left - texts[address].right;
            assert.ok(room >= 3, `${width} px: ${room} px between cells ${address} and ${address + 1}`);
        }
        // The whole grid in view, beside nothing wider than the page.
        const right = await page.evaluate(() => document.getElementById('memory').getBoundingClientRect().right);
        assert.ok(right <= width, `${width} px: the grid ends at ${right}`);
    }
});

test('on a phone the debugger\'s buttons stay in view over the source and the machine', { skip: skipPage }, async (t) => {
    const { page } = await openPage(t, { viewport: { width: 360, height: 740 } });
    await page.getByRole('combobox', { name: 'Esempi' }).selectOption('parole');
    // In view, and the topmost thing where it is drawn.
    const reachable = () =>
        page.evaluate(() => {
            const step = document.getElementById('step');
            const box = step.getBoundingClientRect();
            const inView = box.top >= 0 && box.bottom <= innerHeight && box.left >= 0 && box.right <= innerWidth;
            return inView && document.elementFromPoint(box.left + box.width / 2, box.top + box.height / 2) === step;
        });
    for (const part of ['Programma', 'Memoria', 'Esiti']) {
        await (part === 'Programma' ? page.getByRole('heading', { name: part }) : region(page, part)).scrollIntoViewIfNeeded();
        assert.ok(await reachable(), `over ${part}`);
    }
    // The page ends above the bar: its last line is not under it.
    await page.evaluate(() => scrollTo(0, document.documentElement.scrollHeight));
    const [end, bar] = await page.evaluate(() => [
        document.getElementById('results-summary').closest('section.exercise').getBoundingClientRect().bottom,
        document.getElementById('step').parentElement.getBoundingClientRect().top,
    ]);
    assert.ok(end <= bar, `the page ends at ${end}, the bar begins at ${bar}`);
    await button(page, 'Passo').click();
    await waitText(page, 'messages', /istruzioni eseguite: 1\b/);
    assert.equal((await registers(page))[0], 'PC 3');
});
